#include "IniFile.h"
#include "TestSupport.h"

#include <algorithm>
#include <climits>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <functional>
#include <grp.h>
#include <gtest/gtest.h>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

constexpr uid_t kNobody = 65534;
constexpr int kChildCannotStart = 77;

struct ReadResult {
    int result;
    std::string text;
};

ReadResult Read(const fs::path& file, const char* section, const char* key, const char* def = "DEF",
                int size = 100) {
    std::vector<char> buffer(static_cast<size_t>(size) + 1, '#');
    int result = IniReadString(section, key, def, buffer.data(), size, file);
    return {result, std::string(buffer.data())};
}

std::vector<std::string> FolderEntries(const fs::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

// Runs `body` in a child process and returns its exit code. When we are root the child first
// becomes "nobody", so that file permissions apply to it. kChildCannotStart: the child could
// not drop its privileges or reach `folder`.
int RunUnprivileged(const fs::path& folder, const std::function<int()>& body) {
    pid_t pid = fork();
    if (pid == 0) {
        if (geteuid() == 0 &&
            (setgroups(0, nullptr) != 0 || setgid(kNobody) != 0 || setuid(kNobody) != 0)) {
            _exit(kChildCannotStart);
        }
        if (access(folder.c_str(), X_OK) != 0) {
            _exit(kChildCannotStart);
        }
        _exit(body());
    }
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

class IniFile : public ::testing::Test {
protected:
    void Write(const std::string& bytes) { WriteFileBytes(m_file, bytes); }
    std::string Bytes() const { return ReadFileBytes(m_file); }

    TempDir m_dir;
    fs::path m_file = m_dir.Path() / "Zenithprobe.ini";
};

TEST_F(IniFile, EveryLineEndReadsTheSameValue) {
    struct Case {
        const char* label;
        std::string bytes;
    } cases[] = {
        {"CR LF", "[Zenithprobe]\r\nBAUD_RATE=9600\r\nTEST_MODE=1\r\n"},
        {"LF", "[Zenithprobe]\nBAUD_RATE=9600\nTEST_MODE=1\n"},
        {"CR", "[Zenithprobe]\rBAUD_RATE=9600\rTEST_MODE=1\r"},
        {"LF CR", "[Zenithprobe]\n\rBAUD_RATE=9600\n\rTEST_MODE=1\n\r"},
        {"no end at end of file", "[Zenithprobe]\nTEST_MODE=1\nBAUD_RATE=9600"},
        {"blank lines between groups",
         "[SONY]\r\n1=x\r\n\r\n[Zenithprobe]\r\n\r\nBAUD_RATE=9600\r\n"},
        {"blank line after LF CR", "[Zenithprobe]\n\r\nBAUD_RATE=9600"},
    };
    for (const auto& c : cases) {
        Write(c.bytes);
        EXPECT_EQ(IniReadInt("Zenithprobe", "BAUD_RATE", 4800, m_file), 9600) << c.label;
    }
}

TEST_F(IniFile, NamesMatchExactly) {
    struct Case {
        const char* label;
        std::string bytes;
        ReadResult expected;
    } cases[] = {
        {"plain", "[Zenithprobe]\nCOM_PORT=COM2\n", {4, "COM2"}},
        {"blanks around =", "[Zenithprobe]\nCOM_PORT = COM2\n", {-1, "DEF"}},
        {"key in small letters", "[Zenithprobe]\ncom_port=COM2\n", {-1, "DEF"}},
        {"section in small letters", "[zenithprobe]\nCOM_PORT=COM2\n", {-2, "DEF"}},
        {"comment", "[Zenithprobe]\n;COM_PORT=COM2\n", {-1, "DEF"}},
        {"first of two wins", "[Zenithprobe]\nCOM_PORT=COM2\nCOM_PORT=COM5\n", {4, "COM2"}},
        {"first section of two wins",
         "[Zenithprobe]\nA=1\n[Zenithprobe]\nCOM_PORT=COM5\n",
         {-1, "DEF"}},
        {"other section only", "[Zenithprobe]\nA=1\n[SONY]\nCOM_PORT=COM2\n", {-1, "DEF"}},
        {"byte-order mark", "\xEF\xBB\xBF[Zenithprobe]\nCOM_PORT=COM2\n", {-2, "DEF"}},
        {"header without ]", "[Zenithprobe\nCOM_PORT=COM2\n", {-2, "DEF"}},
        {"text after ] ignored", "[Zenithprobe] ; main\nCOM_PORT=COM2\n", {4, "COM2"}},
        {"blank inside name", "[Zenithprobe ]\nCOM_PORT=COM2\n", {-2, "DEF"}},
        {"blank before [", " [Zenithprobe]\nCOM_PORT=COM2\n", {-2, "DEF"}},
        {"backspace before [", "\b\b[Zenithprobe]\nCOM_PORT=COM2\n", {4, "COM2"}},
        {"value holds =", "[Zenithprobe]\nCOM_PORT=a=b\n", {3, "a=b"}},
        {"value keeps blanks", "[Zenithprobe]\nCOM_PORT= COM2 \n", {6, " COM2 "}},
        {"line without =", "[Zenithprobe]\nCOM_PORT\nCOM_PORT=COM2\n", {4, "COM2"}},
    };
    for (const auto& c : cases) {
        Write(c.bytes);
        ReadResult r = Read(m_file, "Zenithprobe", "COM_PORT");
        EXPECT_EQ(r.result, c.expected.result) << c.label;
        EXPECT_EQ(r.text, c.expected.text) << c.label;
    }
}

TEST_F(IniFile, QuotesAreStripped) {
    struct Case {
        const char* label;
        std::string value;
        ReadResult expected;
    } cases[] = {
        {"single quotes", "'COM2'", {4, "COM2"}},
        {"double quotes, tail dropped", "\"COM2\"x", {4, "COM2"}},
        {"up to the last quote", "\"a\"b\"c", {3, "a\"b"}},
        {"no closing quote", "'COM2", {5, "'COM2"}},
        {"lone quote", "\"", {1, "\""}},
        {"mixed quotes", "'COM2\"", {6, "'COM2\""}},
        {"empty quotes read as empty", "''", {0, "DEF"}},
        {"backspace before quote", "\b'COM2'", {4, "COM2"}},
        {"blank before quote", " 'COM2'", {7, " 'COM2'"}},
    };
    for (const auto& c : cases) {
        Write("[Zenithprobe]\nCOM_PORT=" + c.value + "\n");
        ReadResult r = Read(m_file, "Zenithprobe", "COM_PORT");
        EXPECT_EQ(r.result, c.expected.result) << c.label;
        EXPECT_EQ(r.text, c.expected.text) << c.label;
    }
}

TEST_F(IniFile, ResultsAndDefaults) {
    EXPECT_EQ(Read(m_file, "Zenithprobe", "COM_PORT", "COM1").result, -1) << "missing file";
    EXPECT_EQ(Read(m_file, "Zenithprobe", "COM_PORT", "COM1").text, "COM1") << "missing file";
    EXPECT_EQ(IniReadInt("Zenithprobe", "BAUD_RATE", 4800, m_file), 4800) << "missing file";

    Write("[Zenithprobe]\nCOM_PORT=\nLONG=abcdefghij\n");
    struct Case {
        const char* label;
        const char* section;
        const char* key;
        const char* def;
        int size;
        ReadResult expected;
    } cases[] = {
        {"empty value gives the default", "Zenithprobe", "COM_PORT", "COM1", 100, {0, "COM1"}},
        {"missing key", "Zenithprobe", "BAUD", "COM1", 100, {-1, "COM1"}},
        {"missing section", "SIRF", "1", "", 100, {-2, ""}},
        {"no default", "SIRF", "1", nullptr, 100, {-2, ""}},
        {"value cut to the buffer", "Zenithprobe", "LONG", "x", 5, {4, "abcd"}},
        {"default cut to the buffer", "Zenithprobe", "NONE", "0123456789", 4, {-1, "012"}},
        {"one-byte buffer", "Zenithprobe", "LONG", "x", 1, {0, ""}},
    };
    for (const auto& c : cases) {
        ReadResult r = Read(m_file, c.section, c.key, c.def, c.size);
        EXPECT_EQ(r.result, c.expected.result) << c.label;
        EXPECT_EQ(r.text, c.expected.text) << c.label;
    }
    // A zero-sized buffer is never written.
    char untouched = '#';
    EXPECT_EQ(IniReadString("Zenithprobe", "LONG", "x", &untouched, 0, m_file), 0);
    EXPECT_EQ(untouched, '#');

    // A path that cannot be read as a file.
    EXPECT_EQ(Read(m_dir.Path(), "Zenithprobe", "COM_PORT", "COM1").result, -1);
}

TEST_F(IniFile, IntegersFollowTheDecimalRule) {
    struct Case {
        const char* label;
        const char* line;
        int expected;
    } cases[] = {
        {"plain", "N=9600", 9600},
        {"letters only", "N=abc", 0},
        {"digits then letters", "N=12abc", 12},
        {"leading blanks and sign", "N= \t-42", -42},
        {"plus sign", "N=+7", 7},
        {"blank after sign", "N=- 3", 0},
        {"hexadecimal is not decimal", "N=0x10", 0},
        {"quoted", "N='15'", 15},
        {"empty gives default", "N=", 77},
        {"missing gives default", "M=1", 77},
        {"too large saturates", "N=99999999999", INT_MAX},
        {"too small saturates", "N=-99999999999", INT_MIN},
        {"smallest int", "N=-2147483648", INT_MIN},
    };
    for (const auto& c : cases) {
        Write(std::string("[Zenithprobe]\n") + c.line + "\n");
        EXPECT_EQ(IniReadInt("Zenithprobe", "N", 77, m_file), c.expected) << c.label;
    }
}

TEST_F(IniFile, RewriteWritesExactBytes) {
    struct Case {
        const char* label;
        std::string before;
        const char* section;
        const char* key;
        const char* value;
        std::string after;
    } cases[] = {
        {"new key at end of section", "[Zenithprobe]\r\nBAUD_RATE=4800", "Zenithprobe", "COM_PORT",
         "COM3", "[Zenithprobe]\nBAUD_RATE=4800\nCOM_PORT=COM3\r\n"},
        {"changed key keeps its place", "[Zenithprobe]\nA=1\nCOM_PORT=COM1\nB=2\n", "Zenithprobe",
         "COM_PORT", "COM3", "[Zenithprobe]\nA=1\nCOM_PORT=COM3\r\nB=2\n"},
        {"only the first of two replaced", "[SONY]\n1=a\n1=b\n", "SONY", "1", "c",
         "[SONY]\n1=c\r\n1=b\n"},
        {"new key before the next header", "[Zenithprobe]\nA=1\n[SONY]\n1=x\n", "Zenithprobe", "B",
         "2", "[Zenithprobe]\nA=1\nB=2\r\n[SONY]\n1=x\n"},
        {"new section at the end", "[Zenithprobe]\nA=1", "SIRF", "1", "cmd",
         "[Zenithprobe]\nA=1\n[SIRF]\n1=cmd\r\n"},
        {"empty file", "", "Zenithprobe", "COM_PORT", "COM3", "[Zenithprobe]\nCOM_PORT=COM3\r\n"},
        {"blank lines kept", "[Zenithprobe]\r\n\r\nA=1\r\n\r\n[SONY]\r\n", "Zenithprobe", "B", "2",
         "[Zenithprobe]\n\nA=1\n\nB=2\r\n[SONY]\n"},
        {"line ends become LF", "[SONY]\r1=a\n\r;c\r\n", "SONY", "2", "b",
         "[SONY]\n1=a\n;c\n2=b\r\n"},
        {"comment not replaced", "[SONY]\n;1=a\n", "SONY", "1", "b", "[SONY]\n;1=a\n1=b\r\n"},
        {"key of other section untouched", "[SONY]\n1=a\n[SIRF]\n", "SIRF", "1", "b",
         "[SONY]\n1=a\n[SIRF]\n1=b\r\n"},
        {"header copied whole", "[SONY] x\n1=a\n", "SONY", "1", "b", "[SONY] x\n1=b\r\n"},
        {"first section of two", "[SONY]\n[SIRF]\n[SONY]\n1=a\n", "SONY", "1", "b",
         "[SONY]\n1=b\r\n[SIRF]\n[SONY]\n1=a\n"},
        {"value written as given", "[SONY]\n", "SONY", "1", "'$PSRF101' x",
         "[SONY]\n1='$PSRF101' x\r\n"},
        {"empty value", "[SONY]\n1=a\n", "SONY", "1", "", "[SONY]\n1=\r\n"},
    };
    for (const auto& c : cases) {
        Write(c.before);
        EXPECT_EQ(IniWriteString(c.section, c.key, c.value, m_file),
                  static_cast<int>(std::strlen(c.value)))
            << c.label;
        EXPECT_EQ(Bytes(), c.after) << c.label;
        EXPECT_EQ(FolderEntries(m_dir.Path()), std::vector<std::string>{"Zenithprobe.ini"})
            << c.label;
    }
}

TEST_F(IniFile, MissingFileIsCreatedAndReadsBack) {
    EXPECT_EQ(IniWriteString("Zenithprobe", "COM_PORT", "COM3", m_file), 4);
    EXPECT_EQ(Bytes(), "[Zenithprobe]\nCOM_PORT=COM3\r\n");
    EXPECT_EQ(IniWriteString("Zenithprobe", "BAUD_RATE", "38400", m_file), 5);
    EXPECT_EQ(IniWriteString("SONY", "1", "$PSRF100,1,9600,8,1,0", m_file), 21);
    EXPECT_EQ(Read(m_file, "Zenithprobe", "COM_PORT").text, "COM3");
    EXPECT_EQ(IniReadInt("Zenithprobe", "BAUD_RATE", 4800, m_file), 38400);
    EXPECT_EQ(Read(m_file, "SONY", "1").text, "$PSRF100,1,9600,8,1,0");
    EXPECT_EQ(FolderEntries(m_dir.Path()), std::vector<std::string>{"Zenithprobe.ini"});

    // A missing folder: nothing is created anywhere.
    EXPECT_EQ(IniWriteString("Zenithprobe", "COM_PORT", "COM3", m_dir.Path() / "no" / "x.ini"), 0);
    EXPECT_FALSE(fs::exists(m_dir.Path() / "no"));
}

TEST_F(IniFile, LongLinesAreCutForLookupsAndKeptByRewrites) {
    // 300 characters: a key line whose tail, read as a line of its own, would be BAUD_RATE=1234
    // and a header whose "]" lies beyond what a lookup sees.
    std::string longKey = "NOTE=" + std::string(250, 'n') + "BAUD_RATE=1234" + std::string(31, 'z');
    std::string longHeader = "[" + std::string(299, 'h') + "]";
    ASSERT_EQ(longKey.size(), 300u);
    Write("[Zenithprobe]\r\n" + longKey + "\r\n" + longHeader + "\r\nTEST_MODE=1\r\n");

    EXPECT_EQ(IniReadInt("Zenithprobe", "BAUD_RATE", 4800, m_file), 4800) << "tail is no line";
    EXPECT_EQ(IniReadInt("Zenithprobe", "TEST_MODE", 0, m_file), 1) << "long header no header";
    ReadResult note = Read(m_file, "Zenithprobe", "NOTE", "", 1000);
    EXPECT_EQ(note.result, 249);
    EXPECT_EQ(note.text, longKey.substr(5, 249));

    EXPECT_EQ(IniWriteString("Zenithprobe", "COM_PORT", "COM3", m_file), 4);
    EXPECT_EQ(Bytes(),
              "[Zenithprobe]\n" + longKey + "\n" + longHeader + "\nTEST_MODE=1\nCOM_PORT=COM3\r\n");
}

TEST_F(IniFile, PlantedLinkAtTheOldTemporaryNameIsIgnored) {
    TempDir tmp;
    TempDir elsewhere;
    ScopedEnv env("TMPDIR", tmp.Path().c_str());
    fs::path victim = elsewhere.Path() / "victim";
    WriteFileBytes(victim, "precious\n");
    fs::create_symlink(victim, tmp.Path() / "TMPINI.tmp");
    Write("[Zenithprobe]\nA=1\n");

    EXPECT_EQ(IniWriteString("Zenithprobe", "COM_PORT", "COM3", m_file), 4);
    EXPECT_EQ(ReadFileBytes(victim), "precious\n");
    EXPECT_EQ(Bytes(), "[Zenithprobe]\nA=1\nCOM_PORT=COM3\r\n");
    EXPECT_EQ(FolderEntries(tmp.Path()), std::vector<std::string>{"TMPINI.tmp"});
}

TEST_F(IniFile, TemporaryFileIsMadeBesideTheFile) {
    // Neither the working folder nor $TMPDIR can take a file: only the configuration's own
    // folder can, so a rewrite that puts its temporary file anywhere else fails here.
    TempDir tmp;
    const fs::path gone = tmp.Path() / "gone";
    fs::create_directory(gone);
    const fs::path cwd = fs::current_path();
    ScopedEnv env("TMPDIR", (tmp.Path() / "absent").c_str());
    ASSERT_EQ(chdir(gone.c_str()), 0);
    fs::remove(gone);
    Write("[Zenithprobe]\nA=1\n");
    const int written = IniWriteString("Zenithprobe", "A", "2", m_file);
    ASSERT_EQ(chdir(cwd.c_str()), 0);
    EXPECT_EQ(written, 1);
    EXPECT_EQ(Bytes(), "[Zenithprobe]\nA=2\r\n");
    EXPECT_EQ(FolderEntries(m_dir.Path()), std::vector<std::string>{"Zenithprobe.ini"});
}

TEST_F(IniFile, SymlinkedFileRewritesItsTargetAndKeepsMode) {
    TempDir real;
    fs::path target = real.Path() / "settings.ini";
    WriteFileBytes(target, "[Zenithprobe]\nA=1\n");
    ASSERT_EQ(chmod(target.c_str(), 0640), 0);
    bool root = geteuid() == 0;
    if (root) {
        ASSERT_EQ(chown(target.c_str(), kNobody, kNobody), 0);
    }
    fs::create_symlink(target, m_file);

    EXPECT_EQ(IniWriteString("Zenithprobe", "B", "2", m_file), 1);
    EXPECT_TRUE(fs::is_symlink(m_file));
    EXPECT_EQ(ReadFileBytes(target), "[Zenithprobe]\nA=1\nB=2\r\n");
    struct stat st {};
    ASSERT_EQ(stat(target.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    if (root) {
        EXPECT_EQ(st.st_uid, kNobody);
        EXPECT_EQ(st.st_gid, kNobody);
    }
    EXPECT_EQ(FolderEntries(real.Path()), std::vector<std::string>{"settings.ini"});
    EXPECT_EQ(FolderEntries(m_dir.Path()), std::vector<std::string>{"Zenithprobe.ini"});
}

// Files that a rewrite must leave exactly as they are, each tried by an unprivileged child.
TEST_F(IniFile, FilesWeMayNotChangeStayIntact) {
    const std::string original = "[Zenithprobe]\r\nCOM_PORT=COM1\r\n";
    const bool root = geteuid() == 0;
    struct Case {
        const char* label;
        mode_t fileMode;
        bool folderWritable;
    } cases[] = {
        {"folder we may not write", 0644, false}, // no temporary file can be created
        {"file we may not read", 0200, true},     // replacing it would lose its settings
        {"read-only file", 0444, true},           // the user protected it
    };
    for (const auto& c : cases) {
        TempDir dir;
        fs::path file = dir.Path() / "Zenithprobe.ini";
        WriteFileBytes(file, original);
        if (root) {
            // The child runs as nobody: the file is its own, the folder only when writable.
            ASSERT_EQ(chown(file.c_str(), kNobody, kNobody), 0);
            uid_t folderOwner = c.folderWritable ? kNobody : 0;
            ASSERT_EQ(chown(dir.Path().c_str(), folderOwner, folderOwner), 0);
        }
        ASSERT_EQ(chmod(file.c_str(), c.fileMode), 0);
        ASSERT_EQ(chmod(dir.Path().c_str(), c.folderWritable ? 0755 : 0555), 0);
        int code = RunUnprivileged(dir.Path(), [&] {
            return IniWriteString("Zenithprobe", "COM_PORT", "COM3", file) == 0 ? 0 : 1;
        });
        if (code == kChildCannotStart) {
            GTEST_SKIP() << "cannot run a child without privileges here";
        }
        EXPECT_EQ(code, 0) << c.label;
        chmod(dir.Path().c_str(), 0700);
        chmod(file.c_str(), 0600);
        EXPECT_EQ(ReadFileBytes(file), original) << c.label;
        EXPECT_EQ(FolderEntries(dir.Path()), std::vector<std::string>{"Zenithprobe.ini"})
            << c.label;
    }
}

TEST_F(IniFile, FailedWriteLeavesOldFileAndNoTemporary) {
    // The file system refuses the temporary file's content part-way (file size limit).
    const std::string original = "[SONY]\n" + std::string(200, 'x') + "\n";
    Write(original);
    pid_t pid = fork();
    if (pid == 0) {
        std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit{64, 64};
        setrlimit(RLIMIT_FSIZE, &limit);
        _exit(IniWriteString("SONY", "1", "a", m_file) == 0 ? 0 : 1);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(Bytes(), original);
    EXPECT_EQ(FolderEntries(m_dir.Path()), std::vector<std::string>{"Zenithprobe.ini"});
}

} // namespace
