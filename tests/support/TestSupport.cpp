#include "TestSupport.h"

#include <cstdlib>
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

fs::path CorpusDir() {
    const char* dir = std::getenv("ZP_CORPUS_DIR");
    if (!dir) {
        dir = ZP_CORPUS_DIR;
    }
    std::error_code ec;
    if (dir && fs::is_directory(dir, ec)) {
        return dir;
    }
    // A silent skip would let a run without the captures pass as a full one.
    ADD_FAILURE() << "receiver captures missing: " << (dir ? dir : "(none)")
                  << " (the shared/ folder beside the checkout holds corpus/gpsd; "
                     "ZP_CORPUS_DIR names another place)";
    return {};
}

std::string ReadFileBytes(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteFileBytes(const fs::path& file, const std::string& bytes) {
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}
