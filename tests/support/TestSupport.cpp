#include "TestSupport.h"

#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <spawn.h>
#include <stdexcept>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace fs = std::filesystem;

TempDir::TempDir() {
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string((tmp && *tmp) ? tmp : "/tmp") + "/zptest.XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr) {
        throw std::runtime_error("mkdtemp failed");
    }
    m_path = pattern;
}

TempDir::~TempDir() {
    std::error_code ec;
    fs::remove_all(m_path, ec);
}

ScopedEnv::ScopedEnv(const char* name, const char* value) : m_name(name) {
    const char* old = std::getenv(name);
    m_hadOld = old != nullptr;
    if (old) {
        m_old = old;
    }
    if (value) {
        setenv(name, value, 1);
    } else {
        unsetenv(name);
    }
}

ScopedEnv::~ScopedEnv() {
    if (m_hadOld) {
        setenv(m_name.c_str(), m_old.c_str(), 1);
    } else {
        unsetenv(m_name.c_str());
    }
}

fs::path BinDir() {
    const char* dir = std::getenv("ZP_BIN_DIR");
    return dir ? fs::path(dir) : fs::path(ZP_BIN_DIR);
}

fs::path SourceDir() {
    const char* dir = std::getenv("ZP_SOURCE_DIR");
    return dir ? fs::path(dir) : fs::path(ZP_SOURCE_DIR);
}

fs::path CorpusWanted() {
    const char* dir = std::getenv("ZP_CORPUS_DIR");
    return fs::path(dir != nullptr ? dir : ZP_CORPUS_DIR).lexically_normal();
}

fs::path CorpusDir() {
    const fs::path dir = CorpusWanted();
    std::error_code ec;
    return fs::is_directory(dir, ec) ? dir : fs::path();
}

bool CorpusRequired() {
    // A silent skip under CI would let a run without the captures pass as a full one.
    const char* ci = std::getenv("CI");
    return ci != nullptr && *ci != '\0' && std::strcmp(ci, "false") != 0 &&
           std::strcmp(ci, "0") != 0;
}

std::string ReadFileBytes(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteFileBytes(const fs::path& file, const std::string& bytes) {
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

int SpawnTool(const std::string& name, const std::vector<std::string>& args, const fs::path& out,
              const fs::path& err) {
    std::vector<std::string> line{(BinDir() / name).string()};
    line.insert(line.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& a : line) {
        argv.push_back(a.data());
    }
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    pid_t pid = -1;
    const int error = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    return error == 0 ? pid : -1;
}

int WaitTool(int pid) {
    int status = 0;
    if (pid < 0 || waitpid(pid, &status, 0) != pid) {
        return -1;
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}
