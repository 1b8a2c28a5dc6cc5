#include "SetupLogic.h"

#include "IniFile.h"

#include <climits>
#include <cstring>
#include <string>

namespace {

constexpr int kBufferSize = 100;

char LowerAscii(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool EqualNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (size_t i = 0; i < a.size(); ++i) {
        if (LowerAscii(a[i]) != LowerAscii(b[i])) {
            return false;
        }
    }
    return true;
}

} // namespace

std::vector<std::string> LoadCommandValues(const char* section, const std::filesystem::path& file) {
    std::vector<std::string> values;
    char buffer[kBufferSize];
    for (int n = 1; n < INT_MAX; ++n) {
        const int result =
            IniReadString(section, std::to_string(n).c_str(), "", buffer, kBufferSize, file);
        if (result == -1 || result == -2) {
            break;
        }
        if (buffer[0] != '\0') {
            values.emplace_back(buffer);
        }
    }
    return values;
}

int FirstFreeCommandNumber(const char* section, const std::filesystem::path& file) {
    char buffer[kBufferSize];
    int n = 1;
    for (; n < INT_MAX; ++n) {
        const int result =
            IniReadString(section, std::to_string(n).c_str(), "", buffer, kBufferSize, file);
        if (result == -1 || result == -2 || buffer[0] == '\0') {
            break;
        }
    }
    return n;
}

int FindCommandNoCase(const std::vector<std::string>& entries, std::string_view text) {
    for (size_t i = 0; i < entries.size(); ++i) {
        if (EqualNoCase(entries[i], text)) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

int RememberCommand(const std::vector<std::string>& entries, std::string_view text,
                    const char* section, const std::filesystem::path& file) {
    if (FindCommandNoCase(entries, text) >= 0) {
        return 0;
    }
    const int n = FirstFreeCommandNumber(section, file);
    const std::string value = CutToSetupBuffer(text);
    IniWriteString(section, std::to_string(n).c_str(), value.c_str(), file);
    return n;
}

std::string CutToSetupBuffer(std::string_view text) {
    if (text.size() <= kSetupTextBytes) {
        return std::string(text);
    }
    size_t end = kSetupTextBytes;
    // Back up over continuation bytes so that no character is cut in half.
    while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0u) == 0x80u) {
        --end;
    }
    return std::string(text.substr(0, end));
}

std::vector<SearchCandidate> SearchCandidates() {
    std::vector<SearchCandidate> candidates;
    for (uint32_t baud : kSearchBauds) {
        for (int port = 0; port < kSearchPorts; ++port) {
            candidates.push_back({baud, port});
        }
    }
    return candidates;
}
