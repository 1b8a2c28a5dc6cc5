#pragma once
// Helpers shared by the tests: temp folders and locating built tools.
#include <filesystem>
#include <string>
#include <vector>

// A fresh folder under $TMPDIR (or /tmp), removed with everything in it on destruction.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::filesystem::path& Path() const { return m_path; }

private:
    std::filesystem::path m_path;
};

// Sets an environment variable for the lifetime of the object, restoring the old value after.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const char* value); // value nullptr: unset
    ~ScopedEnv();
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    std::string m_name;
    std::string m_old;
    bool m_hadOld;
};

// Folder of the built executables ($ZP_BIN_DIR, set by CTest).
std::filesystem::path BinDir();
// Root of the source tree ($ZP_SOURCE_DIR, set by CTest).
std::filesystem::path SourceDir();
// The real receiver captures' folder; empty when it is absent.
std::filesystem::path CorpusDir();
// The folder CorpusDir looks for: $ZP_CORPUS_DIR, else shared/corpus/gpsd beside the checkout.
std::filesystem::path CorpusWanted();
// True under CI (the CI variable set and not "false" or "0"): missing captures fail the test.
bool CorpusRequired();

// First statement of a test that reads the captures. Without them it fails under CI and is
// skipped elsewhere (a fresh clone), with one line naming the folder to provide.
#define ZP_REQUIRE_CORPUS()                                                                        \
    do {                                                                                           \
        if (CorpusDir().empty()) {                                                                 \
            if (CorpusRequired()) {                                                                \
                FAIL() << "receiver captures missing: " << CorpusWanted().string();                \
            }                                                                                      \
            GTEST_SKIP() << "receiver captures missing: provide " << CorpusWanted().string()       \
                         << " (or set ZP_CORPUS_DIR)";                                             \
        }                                                                                          \
    } while (false)

std::string ReadFileBytes(const std::filesystem::path& file);
void WriteFileBytes(const std::filesystem::path& file, const std::string& bytes);

// Starts a built tool (BinDir()/name) with args, its standard output and error in the given
// files; returns the process id (-1 on failure). WaitTool gives its exit status, or 128 + the
// signal that ended it.
int SpawnTool(const std::string& name, const std::vector<std::string>& args,
              const std::filesystem::path& out, const std::filesystem::path& err);
int WaitTool(int pid);
