// The field conversions against the C library in the "C" locale.
#include "NmeaConvert.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <locale.h>
#include <random>
#include <string>

namespace {

locale_t CLocaleObject() {
    static const locale_t loc = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
    return loc;
}

// The same double, bit for bit (any NaN matches any NaN of the same sign).
bool SameDouble(double a, double b) {
    if (std::isnan(a) || std::isnan(b)) {
        return std::isnan(a) && std::isnan(b) && std::signbit(a) == std::signbit(b);
    }
    return std::memcmp(&a, &b, sizeof a) == 0;
}

void ExpectLikeC(const std::string& text) {
    SCOPED_TRACE("text \"" + text + "\"");
    const double want = strtod_l(text.c_str(), nullptr, CLocaleObject());
    const double got = TextToDouble(text);
    EXPECT_TRUE(SameDouble(got, want)) << got << " vs " << want;
    // glibc's atoi is strtol narrowed to int.
    const long wantLong = strtol_l(text.c_str(), nullptr, 10, CLocaleObject());
    EXPECT_EQ(TextToInt(text), static_cast<int32_t>(static_cast<uint32_t>(wantLong)));
}

TEST(NmeaConvert, TrickyTextsEqualTheCLibrary) {
    // clang-format off
    const char* const texts[] = {
        // what receivers send
        "4807.038", "01131.000", "07.038", "545.4", "-33.9", "0.9", "003.1", "2024", "09", "-01",
        // blanks, signs, no digits
        "", " ", " 12.5", "\t-3", "\n7", "\v8", "\f9", "\r1", "+7", "+.5", "-", "+", ".", "-.",
        "- 5", "+-1", "-0", "-0.000", "0", "00000000000000000012.5",
        // where the number stops
        "5.", ".5", "12.5M", "1,5", "1.2.3", "1..2", "12a", "0x", "0xg", "1x10",
        // exponents
        "1e5", "1E-5", "1e", "1e+", "1e-", "2.5e+3", "1e400", "-1e400", "1e-400", "4.9e-324",
        "2.4703282292062327e-324", "1.7976931348623157e308", "1.7976931348623159e308",
        // hex floats
        "0x1A", "0x1p-3", "0X.8p1", "-0x10", "0x1.fffffffffffffp1023",
        // inf and nan
        "inf", "-INF", "Infinity", "infinit", "nan", "NaN(123)", "nan(", "-nan", "nanx",
        // digit counts around the fast path's limits
        "9007199254740992", "9007199254740993", "9007199254740993.0", "123456789012345678",
        "1234567890123456789", "0.123456789012345678", "0.30000000000000004",
        "123456789012345678901234", "0.000000000000000000001", "0.0000000000000000000000001",
        // integer clamping
        "2147483647", "2147483648", "-2147483648", "-2147483649", "4294967296", "4294967301",
        "9223372036854775807", "9223372036854775808", "-9223372036854775808",
        "-9223372036854775809", "99999999999999999999", "-99999999999999999999",
        // bytes outside ASCII: a Unicode minus before 5
        "\x80", "\xe2\x88\x92\x35", "5\xff",
    };
    // clang-format on
    for (const char* text : texts) {
        ExpectLikeC(text);
    }
}

TEST(NmeaConvert, TextEndsAtItsSizeOrAtAZero) {
    EXPECT_EQ(TextToDouble(std::string_view("12.5", 3)), 12.0);
    EXPECT_EQ(TextToDouble(std::string_view("1e5", 2)), 1.0);
    EXPECT_EQ(TextToDouble(std::string_view("12\0"
                                            "5",
                                            4)),
              12.0);
    EXPECT_EQ(TextToInt(std::string_view("1234", 2)), 12);
    EXPECT_EQ(TextToInt(std::string_view("-", 1)), 0);
    EXPECT_EQ(TextToInt(std::string_view("7\0"
                                         "7",
                                         3)),
              7);
    EXPECT_EQ(TextToDouble(std::string_view(" 0x1p3", 6)), 8.0);
}

// Random field-like texts of up to 24 characters.
TEST(NmeaConvert, RandomFieldTextsEqualTheCLibrary) {
    std::mt19937 rng(2024);
    const std::string alphabet = "0123456789012345678901234567890123456789..--+eE x";
    for (int i = 0; i < 20000; ++i) {
        std::string text;
        const size_t length = rng() % 25;
        for (size_t j = 0; j < length; ++j) {
            text.push_back(alphabet[rng() % alphabet.size()]);
        }
        ExpectLikeC(text);
        if (HasFailure()) {
            return;
        }
    }
}

} // namespace
