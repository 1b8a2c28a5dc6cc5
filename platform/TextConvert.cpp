#include "TextConvert.h"

namespace {
constexpr char kReplacement[] = "\xEF\xBF\xBD"; // U+FFFD

bool IsContinuation(unsigned char c) {
    return (c & 0xC0) == 0x80;
}

// Length of the well-formed UTF-8 sequence at pos, or 0 when there is none.
size_t SequenceLength(std::string_view s, size_t pos) {
    const auto c0 = static_cast<unsigned char>(s[pos]);
    if (c0 < 0x80) {
        return 1;
    }
    size_t len = 0;
    unsigned char lo = 0x80;
    unsigned char hi = 0xBF; // allowed range of the second byte
    if (c0 >= 0xC2 && c0 <= 0xDF) {
        len = 2;
    } else if (c0 >= 0xE0 && c0 <= 0xEF) {
        len = 3;
        lo = c0 == 0xE0 ? 0xA0 : 0x80; // no overlong forms
        hi = c0 == 0xED ? 0x9F : 0xBF; // no surrogates
    } else if (c0 >= 0xF0 && c0 <= 0xF4) {
        len = 4;
        lo = c0 == 0xF0 ? 0x90 : 0x80;
        hi = c0 == 0xF4 ? 0x8F : 0xBF; // nothing above U+10FFFF
    } else {
        return 0;
    }
    if (pos + len > s.size()) {
        return 0;
    }
    const auto c1 = static_cast<unsigned char>(s[pos + 1]);
    if (c1 < lo || c1 > hi) {
        return 0;
    }
    for (size_t i = 2; i < len; ++i) {
        if (!IsContinuation(static_cast<unsigned char>(s[pos + i]))) {
            return 0;
        }
    }
    return len;
}
} // namespace

std::string BytesToValidUtf8(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size());
    size_t pos = 0;
    while (pos < bytes.size()) {
        const size_t len = SequenceLength(bytes, pos);
        if (len == 0) {
            out.append(kReplacement);
            ++pos;
        } else {
            out.append(bytes.substr(pos, len));
            pos += len;
        }
    }
    return out;
}
