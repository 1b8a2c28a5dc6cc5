// Fuzzes the INI store on arbitrary file contents: reads of a key as text and as a number, then
// one rewrite, which must keep every line it does not replace byte for byte and make the new
// value readable.
//
// Input: "section\0key\0value\0file contents"; with fewer than three NULs the whole input is the
// file and the program's own COM_PORT key is written. Names keep only [A-Za-z0-9_] and the value
// loses CR, LF and quotes, as the setup dialog's texts have none; the file stays as it came.
#include "IniFile.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

// A private folder for the file, on tmpfs when there is one: every rewrite syncs to storage.
// Plain characters, so that the clean-up at exit never sees a destroyed object.
char g_folder[4096];

const fs::path& WorkFile() {
    static const fs::path file = [] {
        const char* tmp = std::getenv("TMPDIR");
        const std::string base = tmp != nullptr && *tmp != '\0' ? tmp
                                 : fs::is_directory("/dev/shm") ? "/dev/shm"
                                                                : "/tmp";
        std::snprintf(g_folder, sizeof g_folder, "%s/ini_fuzz.XXXXXX", base.c_str());
        if (::mkdtemp(g_folder) == nullptr) {
            std::perror("ini_fuzz: mkdtemp");
            std::abort();
        }
        std::atexit([] {
            std::error_code ignored;
            fs::remove_all(g_folder, ignored);
        });
        return fs::path(g_folder) / "Zenithprobe.ini";
    }();
    return file;
}

std::string Keep(std::string_view text, bool name) {
    std::string kept;
    for (char c : text) {
        const bool word =
            (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
        const bool valueChar = c != '\r' && c != '\n' && c != '"' && c != '\'';
        if (name ? word : valueChar) {
            kept.push_back(c);
        }
    }
    return kept;
}

// Lines as the store reads them: ends at CR, LF, CR LF or LF CR, a last line without one.
std::vector<std::string> Lines(std::string_view text) {
    std::vector<std::string> lines;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t end = text.find_first_of("\r\n", pos);
        if (end == std::string_view::npos) {
            lines.emplace_back(text.substr(pos));
            break;
        }
        lines.emplace_back(text.substr(pos, end - pos));
        const char pair = text[end] == '\r' ? '\n' : '\r';
        pos = end + 1 < text.size() && text[end + 1] == pair ? end + 2 : end + 1;
    }
    return lines;
}

std::string ReadAll(const fs::path& file) {
    std::string bytes;
    if (std::FILE* f = std::fopen(file.c_str(), "rb")) {
        char buffer[4096];
        size_t n = 0;
        while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) {
            bytes.append(buffer, n);
        }
        std::fclose(f);
    }
    return bytes;
}

[[noreturn]] void Fail(const char* what) {
    std::fprintf(stderr, "ini_fuzz: %s\n", what);
    __builtin_trap();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    std::string section = "Zenithprobe";
    std::string key = "COM_PORT";
    std::string value = "COM3";
    std::string_view contents = input;
    const size_t a = input.find('\0');
    const size_t b = a == std::string_view::npos ? a : input.find('\0', a + 1);
    const size_t c = b == std::string_view::npos ? b : input.find('\0', b + 1);
    if (c != std::string_view::npos) {
        section = Keep(input.substr(0, a), true).substr(0, 40);
        key = Keep(input.substr(a + 1, b - a - 1), true).substr(0, 40);
        value = Keep(input.substr(b + 1, c - b - 1), false).substr(0, 150);
        contents = input.substr(c + 1);
    }
    // A value that ends at a NUL is what the store's callers can pass.
    value = value.substr(0, value.find('\0'));

    const fs::path& file = WorkFile();
    if (std::FILE* f = std::fopen(file.c_str(), "wb")) {
        std::fwrite(contents.data(), 1, contents.size(), f);
        std::fclose(f);
    } else {
        Fail("cannot write the work file");
    }

    char buffer[100];
    const int got =
        IniReadString(section.c_str(), key.c_str(), "dflt", buffer, sizeof buffer, file);
    if (got < -2 || got > static_cast<int>(sizeof buffer) - 1 ||
        std::string_view(buffer, sizeof buffer).find('\0') == std::string_view::npos) {
        Fail("read result out of range or buffer not terminated");
    }
    char tiny[1];
    IniReadString(section.c_str(), key.c_str(), nullptr, tiny, sizeof tiny, file);
    if (tiny[0] != '\0') {
        Fail("a one-byte buffer holds more than the terminator");
    }
    IniReadInt(section.c_str(), key.c_str(), -7, file);

    if (IniWriteString(section.c_str(), key.c_str(), value.c_str(), file) !=
        static_cast<int>(value.size())) {
        Fail("rewrite failed");
    }

    // The written line is the only one that ends with CR LF; every other line is one of the
    // file's, in order: all of them, all but the replaced key line, or all plus a new header.
    const std::vector<std::string> before = Lines(contents);
    const std::string after = ReadAll(file);
    std::vector<std::string> kept;
    size_t written = std::string::npos;
    for (size_t pos = 0; pos < after.size();) {
        const size_t end = after.find('\n', pos);
        if (end == std::string::npos) {
            Fail("a rewritten line lacks its line end");
        }
        std::string line = after.substr(pos, end - pos);
        if (!line.empty() && line.back() == '\r') {
            if (written != std::string::npos || line != key + "=" + value + "\r") {
                Fail("not exactly one written key line");
            }
            written = kept.size();
        } else {
            kept.push_back(std::move(line));
        }
        pos = end + 1;
    }
    if (written == std::string::npos) {
        Fail("the key line is missing");
    }
    bool same = kept == before;
    if (!same && kept.size() + 1 == before.size() && written < before.size()) {
        std::vector<std::string> without = before;
        const std::string replaced = without[written];
        without.erase(without.begin() + static_cast<std::ptrdiff_t>(written));
        same = without == kept && replaced.compare(0, key.size() + 1, key + "=") == 0;
    }
    if (!same && kept.size() == before.size() + 1 && written == kept.size()) {
        std::vector<std::string> with = before;
        with.push_back("[" + section + "]");
        same = with == kept;
    }
    if (!same) {
        Fail("a line that was not replaced changed");
    }

    // What Set saved, start-up reads back.
    char back[256];
    if (IniReadString(section.c_str(), key.c_str(), "", back, sizeof back, file) !=
            static_cast<int>(value.size()) ||
        value != back) {
        Fail("the written value does not read back");
    }
    return 0;
}
