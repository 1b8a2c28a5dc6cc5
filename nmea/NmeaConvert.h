#pragma once
// Text-to-number conversions of NMEA fields, independent of the process locale.
//
// TextToInt equals C's atoi and TextToDouble equals strtod, both in the "C" locale, on the text
// (which ends at its size or at a NUL byte, whichever comes first). Plain decimals, which is what
// receivers send, take an exact inline fast path; every other form (leading blanks, exponents,
// hex, inf, nan, long digit strings) goes to the slow path: our own strtol rules for integers,
// the C library with a "C" locale object for reals.
//
// Threads: pure functions, callable from any thread.
#include <cstdint>
#include <string_view>

// The general cases, out of line.
int32_t TextToIntSlow(std::string_view text);
double TextToDoubleSlow(std::string_view text);

// atoi: leading blanks, a sign, digits up to the first non-digit, 0 without digits. Out of the
// range of long the value clamps like strtol's, then narrows to 32 bits by its low bits.
inline int32_t TextToInt(std::string_view text) {
    // Receivers send short unsigned digit runs; nine digits cannot overflow.
    const size_t n = text.size() < 9 ? text.size() : 9;
    int32_t value = 0;
    size_t i = 0;
    for (; i < n; ++i) {
        const auto digit = static_cast<unsigned char>(text[i] - '0');
        if (digit > 9) {
            break;
        }
        value = value * 10 + digit;
    }
    if (i > 0 && (i == text.size() || static_cast<unsigned char>(text[i] - '0') > 9)) {
        return value;
    }
    return TextToIntSlow(text);
}

// strtod: 0.0 when no number can be read.
inline double TextToDouble(std::string_view text) {
    constexpr double kPow10[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8, 1e9,
                                 1e10, 1e11, 1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18};
    const char* p = text.data();
    const char* const end = p + text.size();
    bool negative = false;
    if (p != end && *p == '-') {
        negative = true;
        ++p;
    }
    // At most 18 digits: the mantissa fits 64 bits and every power of ten needed is exact.
    uint64_t mantissa = 0;
    int digits = 0;
    int fractionDigits = 0;
    for (; p != end && static_cast<unsigned char>(*p - '0') <= 9 && digits < 18; ++p, ++digits) {
        mantissa = mantissa * 10 + static_cast<unsigned char>(*p - '0');
    }
    if (p != end && *p == '.') {
        ++p;
        for (; p != end && static_cast<unsigned char>(*p - '0') <= 9 && digits < 18;
             ++p, ++digits, ++fractionDigits) {
            mantissa = mantissa * 10 + static_cast<unsigned char>(*p - '0');
        }
    }
    // Exact when the digits fit a double's 53 bits: one correctly rounded division by an exact
    // power of ten gives the correctly rounded value, as strtod does. Anything else (no digits,
    // more digits, an exponent, a hex prefix, a '+') goes the slow way.
    const bool stopsClean = p == end || !(static_cast<unsigned char>(*p - '0') <= 9 || *p == '.' ||
                                          *p == 'e' || *p == 'E' || *p == 'x' || *p == 'X');
    if (digits == 0 || !stopsClean || mantissa > (uint64_t{1} << 53)) {
        return TextToDoubleSlow(text);
    }
    double value = static_cast<double>(mantissa);
    if (fractionDigits > 0) {
        value /= kPow10[fractionDigits];
    }
    return negative ? -value : value;
}
