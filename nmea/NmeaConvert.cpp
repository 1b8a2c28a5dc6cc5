#include "NmeaConvert.h"

#include <clocale>
#include <cstdlib>
#include <cstring>
#include <locale.h>
#include <string>

namespace {

bool IsCSpace(char c) {
    return c == ' ' || (c >= '\t' && c <= '\r');
}

bool IsDigit(char c) {
    return static_cast<unsigned char>(c - '0') < 10;
}

// Created once; a "C" locale object is never freed, as any thread may still convert.
locale_t CLocale() {
    static const locale_t loc = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
    return loc;
}

} // namespace

int32_t TextToIntSlow(std::string_view text) {
    const char* p = text.data();
    const char* const end = p + text.size();
    while (p != end && IsCSpace(*p)) {
        ++p;
    }
    bool negative = false;
    if (p != end && (*p == '+' || *p == '-')) {
        negative = *p == '-';
        ++p;
    }
    // Magnitude saturates just above 2^63, enough to tell which way strtol clamps.
    constexpr uint64_t kLongMagnitude = uint64_t{1} << 63;
    uint64_t magnitude = 0;
    for (; p != end && IsDigit(*p); ++p) {
        const auto digit = static_cast<uint64_t>(*p - '0');
        if (magnitude > (UINT64_MAX - 9) / 10) {
            magnitude = kLongMagnitude + 1;
        } else {
            magnitude = magnitude * 10 + digit;
            if (magnitude > kLongMagnitude) {
                magnitude = kLongMagnitude + 1;
            }
        }
    }
    int64_t value;
    if (negative) {
        value = magnitude >= kLongMagnitude ? INT64_MIN : -static_cast<int64_t>(magnitude);
    } else {
        value = magnitude >= kLongMagnitude ? INT64_MAX : static_cast<int64_t>(magnitude);
    }
    // atoi narrows strtol's long to int by keeping the low 32 bits.
    return static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint64_t>(value)));
}

double TextToDoubleSlow(std::string_view text) {
    // Fields are at most 24 characters; the buffer covers them without allocating.
    char small[64];
    std::string large;
    const char* z = small;
    if (text.size() < sizeof small) {
        if (!text.empty()) {
            std::memcpy(small, text.data(), text.size());
        }
        small[text.size()] = '\0';
    } else {
        large.assign(text);
        z = large.c_str();
    }
    const locale_t loc = CLocale();
    if (loc == static_cast<locale_t>(nullptr)) {
        return std::strtod(z, nullptr); // no memory for the locale object: the best we can do
    }
    return strtod_l(z, nullptr, loc);
}
