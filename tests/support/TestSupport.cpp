#include "TestSupport.h"

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <stdexcept>
#include <unistd.h>

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
