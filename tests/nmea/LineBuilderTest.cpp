// Cutting the receive stream into lines: framing, garbage count and the 512-byte limit.
#include "LineBuilder.h"
#include "ReceivePath.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace {

// Runs chunks through the receive path; returns the completed lines as handed on (up to the
// first zero, so with CR and LF).
std::vector<std::string> Lines(const std::vector<std::string>& chunks) {
    CNmeaParser parser;
    CReceivePath receive(parser);
    std::vector<std::string> lines;
    for (const std::string& chunk : chunks) {
        receive.Feed(chunk.data(), chunk.size(), 0,
                     [&](const ReceivedLine& line) { lines.emplace_back(line.text, line.length); });
    }
    return lines;
}

TEST(LineBuilder, SentenceSplitOverTwoReadsBecomesOneLine) {
    CLineBuilder b;
    const std::string first = "$GPGGA,123519,48";
    const std::string second = "07.038,N*47\r\n$GP";
    EXPECT_EQ(b.Assemble(first.data(), first.size()), 0u);
    EXPECT_EQ(b.LineLength(), 16);
    EXPECT_EQ(b.Assemble(second.data(), second.size()), 12u); // through the CR
    EXPECT_STREQ(b.Line(), "$GPGGA,123519,4807.038,N*47\r\n");
    EXPECT_EQ(b.LineLength(), 29); // LF counted, zero not
    EXPECT_EQ(b.Line()[29], '\0');
}

TEST(LineBuilder, FramingCases) {
    struct Row {
        const char* label;
        std::vector<std::string> chunks;
        std::vector<std::string> lines;
    };
    const Row rows[] = {
        {"two in one read", {"$A,1\r\n$B,2\r\n"}, {"$A,1\r\n", "$B,2\r\n"}},
        {"noise before the first dollar", {"7F\r\n\n#x$A\r"}, {"$A\r\n"}},
        {"dollar inside a line is ordinary", {"$A,$B\r"}, {"$A,$B\r\n"}},
        {"LF alone ends nothing", {"$A\n$B\r"}, {"$A\n$B\r\n"}},
        {"no CR yet", {"$A,1", ",2"}, {}},
        {"CR as the last byte of a read", {"$A,1\r", "\n$B\r"}, {"$A,1\r\n", "$B\r\n"}},
        {"embedded zero cuts what is handed on", {std::string("$A\0B\r", 5)}, {"$A"}},
        {"empty reads", {"", "$A", "", "\r"}, {"$A\r\n"}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.label);
        EXPECT_EQ(Lines(row.chunks), row.lines);
    }
}

TEST(LineBuilder, LongestLineFitsTheBuffer) {
    // 510 bytes through the CR, then LF and zero: exactly 512.
    const std::string line = "$" + std::string(508, 'x') + "\r";
    const auto lines = Lines({line.substr(0, 300), line.substr(300) + "\n"});
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0], line + "\n");

    CLineBuilder b;
    EXPECT_EQ(b.Assemble(line.data(), line.size()), 510u);
    EXPECT_EQ(b.LineLength(), 511);
    EXPECT_EQ(b.Line()[511], '\0');
}

TEST(LineBuilder, OverlongLineIsDroppedWithTheRestOfItsRead) {
    const std::string tooLong = "$" + std::string(509, 'x') + "\r"; // 511 bytes
    // The rest of the read, a good sentence included, goes too; the next read starts afresh.
    EXPECT_EQ(Lines({tooLong + "$A\r", "$B\r"}), std::vector<std::string>{"$B\r\n"});
    // A partial line that fills the buffer overflows at the first byte of the next read.
    const std::string full = "$" + std::string(509, 'x'); // 510 bytes, no CR
    EXPECT_EQ(Lines({full, "y$A\r", "$B\r"}), std::vector<std::string>{"$B\r\n"});
    // One byte less and the CR still fits.
    EXPECT_EQ(Lines({full.substr(0, 509), "\r$A\r"}),
              (std::vector<std::string>{full.substr(0, 509) + "\r\n", "$A\r\n"}));

    CLineBuilder b;
    const std::string read = tooLong + "$A\r";
    EXPECT_EQ(b.Assemble(read.data(), read.size()), 0u);
    EXPECT_EQ(b.LineLength(), 0);
    for (size_t i = 0; i < CLineBuilder::kBufferSize; ++i) {
        ASSERT_EQ(b.Line()[i], '\0') << i;
    }
}

TEST(LineBuilder, ClearLeavesTheWholeBufferZero) {
    CLineBuilder b;
    const std::string read = "$" + std::string(400, 'z') + "\r";
    ASSERT_GT(b.Assemble(read.data(), read.size()), 0u);
    b.Clear();
    EXPECT_EQ(b.LineLength(), 0);
    for (size_t i = 0; i < CLineBuilder::kBufferSize; ++i) {
        ASSERT_EQ(b.Line()[i], '\0') << i;
    }
    const std::string shorter = "$AB\r";
    ASSERT_GT(b.Assemble(shorter.data(), shorter.size()), 0u);
    EXPECT_STREQ(b.Line(), "$AB\r\n");
}

TEST(LineBuilder, GarbageCount) {
    struct Row {
        const char* label;
        std::vector<std::string> chunks;
        int32_t garbage;
    };
    const Row rows[] = {
        {"bytes outside lines", {"abc\n"}, 4},
        {"non-alphanumerics inside a line", {"$GP,1.5*7F\r"}, 5}, // $ , . * CR
        {"LF after a line", {"$A\r\n"}, 3},                       // $ CR, then LF outside
        {"bytes above 127", {"$\xc3\xa9\r"}, 4},
        {"dropped bytes are not counted", {"$" + std::string(509, 'x') + "!!!!"}, 1},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.label);
        // The builder's own count, which a completed line does not reset.
        CLineBuilder builder;
        int32_t garbage = 0;
        for (const std::string& chunk : row.chunks) {
            std::string_view rest = chunk;
            while (size_t used = builder.Assemble(rest.data(), rest.size(), &garbage)) {
                builder.Clear();
                rest.remove_prefix(used);
            }
        }
        EXPECT_EQ(garbage, row.garbage);
    }
}

// The line-building rules byte by byte, as plainly as they can be written.
struct ReferenceBuilder {
    char line[512] = {};
    int len = 0;
    int32_t garbage = 0;

    size_t Assemble(const char* data, size_t count) {
        for (size_t i = 0; i < count; ++i) {
            const auto b = static_cast<unsigned char>(data[i]);
            if (len == 0 && b != '$') {
                ++garbage;
                continue;
            }
            if (len + 3 > 512) {
                len = 0;
                std::memset(line, 0, sizeof line);
                return 0;
            }
            line[len++] = static_cast<char>(b);
            const bool alnum =
                (b >= '0' && b <= '9') || (b >= 'A' && b <= 'Z') || (b >= 'a' && b <= 'z');
            garbage += alnum ? 0 : 1;
            if (b == '\r') {
                line[len++] = '\n';
                line[len] = '\0';
                return i + 1;
            }
        }
        return 0;
    }
};

TEST(LineBuilder, MatchesTheByteByByteRulesOnRandomStreams) {
    std::mt19937 rng(7);
    static const char kBytes[] = "$$GPGGA,12.5*7F\r\r\n\n\0xyz\xff";
    const std::string alphabet(kBytes, sizeof kBytes - 1); // the zero byte included
    for (int round = 0; round < 400; ++round) {
        std::string stream;
        const size_t length = rng() % 3000;
        for (size_t i = 0; i < length; ++i) {
            // Mostly long runs without CR so that lines reach the 512-byte limit now and then.
            const bool plain = rng() % 16 != 0;
            stream.push_back(plain ? static_cast<char>('a' + rng() % 26)
                                   : alphabet[rng() % (alphabet.size())]);
        }
        CLineBuilder b;
        ReferenceBuilder ref;
        int32_t garbage = 0;
        size_t pos = 0;
        while (pos < stream.size()) {
            const size_t n = std::min<size_t>(stream.size() - pos, 1 + rng() % 700);
            const char* data = stream.data() + pos;
            size_t count = n;
            for (;;) {
                const size_t used = b.Assemble(data, count, &garbage);
                ASSERT_EQ(used, ref.Assemble(data, count)) << "round " << round;
                ASSERT_EQ(b.LineLength(), ref.len);
                ASSERT_EQ(garbage, ref.garbage);
                ASSERT_EQ(std::memcmp(b.Line(), ref.line, sizeof ref.line), 0);
                ASSERT_EQ(b.TextLength(), std::strlen(ref.line));
                if (used == 0) {
                    break;
                }
                b.Clear();
                std::memset(ref.line, 0, sizeof ref.line);
                ref.len = 0;
                data += used;
                count -= used;
            }
            pos += n;
        }
    }
}

TEST(LineBuilder, GarbageCountOfEveryByteValueAtEveryOffset) {
    std::string all;
    for (int b = 0; b < 256; ++b) {
        if (b != '\r') {
            all.push_back(static_cast<char>(b));
        }
    }
    for (int shift = 0; shift < 8; ++shift) {
        SCOPED_TRACE(shift);
        const std::string line = "$" + std::string(static_cast<size_t>(shift), 'a') + all + "\r";
        CLineBuilder b;
        ReferenceBuilder ref;
        int32_t garbage = 0;
        EXPECT_EQ(b.Assemble(line.data(), line.size(), &garbage),
                  ref.Assemble(line.data(), line.size()));
        EXPECT_EQ(garbage, ref.garbage);
        EXPECT_EQ(garbage, 256 - 62 + 1); // all but the 62 letters and digits, plus '$'
    }
}

} // namespace
