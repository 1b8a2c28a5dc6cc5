// The sentence framer, checksum digits, dispatch, reset and snapshot copies.
#include "NmeaParser.h"
#include "NmeaStateJson.h"
#include "NmeaTestUtil.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

namespace {

const std::string kGga = "GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,";
const std::string kRmc = "GPRMC,123519,A,4807.038,N,01131.000,E,022.4,084.4,230394,003.1,W";

TEST(NmeaFramer, CompleteSentenceIsDecodedOnce) {
    CNmeaParser p;
    EXPECT_EQ(Feed(p, Sentence(kGga)), 1);
    EXPECT_EQ(p.m_nGGACount, 1);
    EXPECT_EQ(p.m_nSentenceCount, 1);
    EXPECT_EQ(p.m_nState, 0);
    EXPECT_STREQ(p.m_szSentenceId, "GPGGA");
    EXPECT_EQ(std::string(p.m_szBody), kGga.substr(6));
}

TEST(NmeaFramer, WrongChecksumDropsSentenceSilently) {
    std::string s = Sentence(kGga);
    s[s.size() - 3] = s[s.size() - 3] == '0' ? '1' : '0'; // second digit
    CNmeaParser p;
    EXPECT_EQ(Feed(p, s), 1);
    EXPECT_EQ(p.m_nGGACount, 0);
    EXPECT_EQ(p.m_nSentenceCount, 0);
}

TEST(NmeaFramer, SentenceWithoutChecksumEndsAtCr) {
    CNmeaParser p;
    Feed(p, "$" + kGga + "\n"); // LF alone does not end it
    EXPECT_EQ(p.m_nGGACount, 0);
    EXPECT_EQ(p.m_nState, 2);
    Feed(p, "\r\n");
    EXPECT_EQ(p.m_nGGACount, 1);
    EXPECT_EQ(p.m_nSentenceCount, 1);
}

TEST(NmeaFramer, SentenceWithChecksumCompletesAtSecondDigit) {
    const std::string s = Sentence(kGga);
    CNmeaParser p;
    Feed(p, s.substr(0, s.size() - 3));
    EXPECT_EQ(p.m_nGGACount, 0);
    Feed(p, s.substr(s.size() - 3, 1));
    EXPECT_EQ(p.m_nGGACount, 1);
    EXPECT_EQ(p.m_nState, 0);
}

TEST(NmeaFramer, IdentifierLengthLimit) {
    CNmeaParser p;
    Feed(p, Sentence("GPZZZZZ,1,2")); // 7 characters: framed, nothing decoded
    EXPECT_EQ(p.m_nSentenceCount, 1);
    Feed(p, Sentence("GPZZZZZZ,1,2")); // 8: abandoned, the rest of the line ignored
    EXPECT_EQ(p.m_nSentenceCount, 1);
    EXPECT_EQ(p.m_nState, 0);
    EXPECT_EQ(p.m_wLength, 8);
    Feed(p, Sentence(kGga));
    EXPECT_EQ(p.m_nGGACount, 1);
}

TEST(NmeaFramer, BodyLengthLimit) {
    CNmeaParser p;
    Feed(p, Sentence("GPZZZ," + std::string(255, 'x')));
    EXPECT_EQ(p.m_nSentenceCount, 1);
    EXPECT_EQ(std::string(p.m_szBody), std::string(255, 'x'));
    // The 256th body character abandons it; its "*hh" and a CR later in the line do nothing.
    Feed(p, Sentence("GPZZZ," + std::string(256, 'x')));
    EXPECT_EQ(p.m_nSentenceCount, 1);
    Feed(p, "$GPZZZ," + std::string(300, 'y') + "\r\n");
    EXPECT_EQ(p.m_nSentenceCount, 1);
    Feed(p, Sentence(kRmc));
    EXPECT_EQ(p.m_nRMCCount, 1);
    EXPECT_EQ(p.m_nSentenceCount, 2);
}

TEST(NmeaFramer, CutSentenceSwallowsTheNext) {
    CNmeaParser p;
    Feed(p, "$GPGGA,1235" + Sentence(kRmc));
    EXPECT_EQ(p.m_nSentenceCount, 0);
    EXPECT_EQ(p.m_nRMCCount, 0);
    EXPECT_EQ(p.m_nGGACount, 0);
}

TEST(NmeaFramer, StarEndingTheIdentifierMakesTheRestBody) {
    CNmeaParser p;
    Feed(p, "$GPZZZ*41\r\n"); // no checksum test: dispatched at CR with body "41"
    EXPECT_EQ(p.m_nSentenceCount, 1);
    EXPECT_STREQ(p.m_szSentenceId, "GPZZZ");
    EXPECT_STREQ(p.m_szBody, "41");
}

TEST(NmeaFramer, DollarInsideASentenceIsOrdinary) {
    CNmeaParser p;
    // '$' as the first checksum digit: (36 - 48) * 16 modulo 256 = 0x40.
    const std::string body = WithChecksum("GPZZZ,", 0x41);
    Feed(p, "$" + body + "*$1\r\n");
    EXPECT_EQ(p.m_btRecvChecksum, 0x41);
    EXPECT_EQ(p.m_nSentenceCount, 1);
}

TEST(NmeaFramer, BytesBeforeTheFirstDollarAreIgnored) {
    CNmeaParser p;
    Feed(p, "GA,123519,4807.038,N*47\r\n\n \x01\xff" + Sentence(kRmc));
    EXPECT_EQ(p.m_nSentenceCount, 1);
    EXPECT_EQ(p.m_nRMCCount, 1);
}

TEST(NmeaFramer, EmptyInputReturnsOne) {
    CNmeaParser p;
    EXPECT_EQ(p.Parse(static_cast<const uint8_t*>(nullptr), 0), 1);
}

TEST(NmeaFramer, UnknownStateFallsBackToWaiting) {
    CNmeaParser p;
    p.m_nState = 9;
    EXPECT_EQ(p.ParseChar('$'), 1);
    EXPECT_EQ(p.m_nState, 0);
    Feed(p, Sentence(kRmc));
    EXPECT_EQ(p.m_nRMCCount, 1);
}

// The checksum digits as the framer reads them: value(c) is c - 48 up to '9', else c - 55.
TEST(NmeaFramer, ChecksumDigits) {
    struct Row {
        const char* label;
        uint8_t actual; // true checksum of the sentence
        const char* digits;
        bool decoded;
    };
    const Row rows[] = {
        {"upper case matches", 0x4A, "4A", true},
        {"lower case second digit reads 32 high", 0x4A, "4a", false},
        {"which matches a sum with that bit set", 0x6A, "4a", true},
        {"bit already set", 0x3A, "3a", true},
        {"lower case first digit keeps its low bits", 0xAB, "aB", true},
        {"digits", 0x07, "07", true},
        {"wrong first digit", 0x07, "17", false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.label);
        CNmeaParser p;
        const std::string body = WithChecksum("GPZZZ,", row.actual);
        ASSERT_EQ(NmeaChecksum(body), row.actual);
        EXPECT_EQ(Feed(p, "$" + body + "*" + row.digits + "\r\n"), 1);
        EXPECT_EQ(p.m_btChecksum, row.actual);
        EXPECT_EQ(p.m_nSentenceCount, row.decoded ? 1 : 0);
    }
}

TEST(NmeaDispatch, OnlyTheSixGpIdentifiersDecode) {
    struct Row {
        const char* id;
        int CNmeaParser::*counter; // null: no decoder
    };
    const Row rows[] = {
        {"GPGGA", &CNmeaParser::m_nGGACount},
        {"GPGSA", &CNmeaParser::m_nGSACount},
        {"GPGSV", &CNmeaParser::m_nGSVCount},
        {"GPRMB", &CNmeaParser::m_nRMBCount},
        {"GPRMC", &CNmeaParser::m_nRMCCount},
        {"GPZDA", &CNmeaParser::m_nZDACount},
        {"GPZZZ", nullptr},
        {"GNGSA", nullptr},
        {"GPGLL", nullptr},
        {"GPVTG", nullptr},
        {"gpgga", nullptr},
        {"GPGGAX", nullptr},
        {"GPGG", nullptr},
        {"", nullptr},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.id);
        CNmeaParser p;
        EXPECT_EQ(p.Dispatch(row.id, "1,2,3"), 1);
        EXPECT_EQ(p.m_nSentenceCount, 1);
        const int decoded = p.m_nGGACount + p.m_nGSACount + p.m_nGSVCount + p.m_nRMBCount +
                            p.m_nRMCCount + p.m_nZDACount;
        EXPECT_EQ(decoded, row.counter ? 1 : 0);
        if (row.counter) {
            EXPECT_EQ(p.*row.counter, 1);
        }
    }
}

TEST(NmeaDispatch, RejectedGsvStopsTheBuffer) {
    CNmeaParser p;
    const std::string buffer =
        Sentence("GPGSV,9,1,12,01,40,083,46") + Sentence(kRmc) + Sentence(kGga);
    EXPECT_EQ(Feed(p, buffer), 0);
    EXPECT_EQ(p.m_nSentenceCount, 1); // the rejected sentence is counted
    EXPECT_EQ(p.m_nGSVCount, 0);
    EXPECT_EQ(p.m_nRMCCount, 0);
    // Byte by byte the same: only the byte completing the sentence returns 0.
    CNmeaParser q;
    const std::string gsv = Sentence("GPGSV,9,1,12,01,40,083,46");
    for (size_t i = 0; i < gsv.size(); ++i) {
        const bool last = i == gsv.size() - 3; // the second checksum digit
        EXPECT_EQ(q.ParseChar(static_cast<uint8_t>(gsv[i])), last ? 0 : 1) << i;
    }
}

TEST(NmeaDispatch, CountersWrapInsteadOfOverflowing) {
    CNmeaParser p;
    p.m_nSentenceCount = INT_MAX;
    p.m_nRMCCount = INT_MAX;
    Feed(p, Sentence(kRmc));
    EXPECT_EQ(p.m_nSentenceCount, INT_MIN);
    EXPECT_EQ(p.m_nRMCCount, INT_MIN);
}

TEST(NmeaReset, StartValues) {
    CNmeaParser p;
    // Move everything away from its start value first, then reset.
    Feed(p, Sentence(kGga) + Sentence("GPGSA,A,3,04,05,,09,12,,,24,,,,,2.5,1.3,2.1") +
                Sentence("GPGSV,1,1,02,04,77,291,45,05,12,045,33") +
                Sentence("GPRMB,A,0.66,L,003,004,4917.24,N,12309.57,W,001.3,052.5,000.5,A") +
                Sentence(kRmc) + Sentence("GPZDA,201530.00,04,07,2002,-5,30"));
    ASSERT_EQ(p.m_nSentenceCount, 6);
    p.Reset();
    const CNmeaParser fresh;
    // Everything but the framer equals a new parser; the framer is untouched.
    CNmeaParser expected = fresh;
    expected.m_nState = p.m_nState;
    expected.m_btChecksum = p.m_btChecksum;
    expected.m_btRecvChecksum = p.m_btRecvChecksum;
    expected.m_wLength = p.m_wLength;
    std::copy(std::begin(p.m_szSentenceId), std::end(p.m_szSentenceId), expected.m_szSentenceId);
    std::copy(std::begin(p.m_szBody), std::end(p.m_szBody), expected.m_szBody);
    expected.m_nSentenceCount = 6;
    EXPECT_EQ(NmeaStateJson(p), NmeaStateJson(expected));

    EXPECT_EQ(fresh.m_btGSAFixMode, 1);
    EXPECT_EQ(fresh.m_cGSAMode, 'M');
    EXPECT_EQ(fresh.m_cRMBStatus, 'V');
    EXPECT_EQ(fresh.m_cRMBSteer, '?');
    EXPECT_EQ(fresh.m_cRMBArrival, 'V');
    EXPECT_EQ(fresh.m_cRMCStatus, 'V');
    EXPECT_EQ(fresh.m_btRMCDay, 1);
    EXPECT_EQ(fresh.m_btRMCMonth, 1);
    EXPECT_EQ(fresh.m_wRMCYear, 2000);
    EXPECT_EQ(fresh.m_btZDADay, 1);
    EXPECT_EQ(fresh.m_btZDAMonth, 1);
    EXPECT_EQ(fresh.m_wZDAYear, 2000);
    EXPECT_STREQ(fresh.m_szRMBOrigin, "");
    EXPECT_EQ(fresh.m_nState, 0);
    EXPECT_EQ(fresh.m_nSentenceCount, 0);
}

TEST(NmeaReset, SentenceBeingFramedSurvivesReset) {
    const std::string s = Sentence(kRmc);
    CNmeaParser p;
    Feed(p, s.substr(0, 30));
    p.Reset();
    Feed(p, s.substr(30));
    EXPECT_EQ(p.m_nRMCCount, 1);
    EXPECT_EQ(p.m_nSentenceCount, 1);
}

TEST(NmeaReset, PrnLookups) {
    CNmeaParser p;
    Feed(p, Sentence("GPGSA,A,3,04,05,,09,12,,,24,,,,,2.5,1.3,2.1"));
    EXPECT_FALSE(p.IsPrnUsed(0));
    EXPECT_TRUE(p.IsPrnInFix(0));
    EXPECT_TRUE(p.IsPrnUsed(24));
    EXPECT_FALSE(p.IsPrnUsed(6));
    for (int prn = 1; prn <= 65535; ++prn) {
        ASSERT_EQ(p.IsPrnUsed(static_cast<uint16_t>(prn)), p.IsPrnInFix(prn)) << prn;
    }
    EXPECT_FALSE(p.IsPrnInFix(-1));
    EXPECT_FALSE(p.IsPrnInFix(65536 + 4));
}

TEST(NmeaReset, SnapshotIsIndependent) {
    CNmeaParser p;
    Feed(p, Sentence(kRmc));
    const CNmeaParser snapshot = p;
    const std::string before = NmeaStateJson(snapshot);
    Feed(p, Sentence("GPRMC,235959,V,0000.000,S,00000.000,W,1,2,311299,,") + "$GPGGA,12");
    EXPECT_NE(NmeaStateJson(p), before);
    EXPECT_EQ(NmeaStateJson(snapshot), before);
    CNmeaParser assigned;
    assigned = snapshot;
    EXPECT_EQ(NmeaStateJson(assigned), before);
}

// Parse runs the identifier and body states as bulk loops; it must leave exactly the state that
// feeding ParseChar byte by byte leaves, whatever the bytes and however they are split.
TEST(NmeaFramer, ParseEqualsParseCharOnMixedStreams) {
    std::mt19937 rng(12345);
    const std::vector<std::string> pieces = {
        Sentence(kGga),
        Sentence(kRmc),
        Sentence("GPGSA,A,3,04,05,,09,12,,,24,,,,,2.5,1.3,2.1"),
        Sentence("GPGSV,3,1,11,03,03,111,00,04,15,270,00,06,01,010,00,13,06,292,00"),
        Sentence("GPGSV,3,4,11,03,03,111,00"),
        Sentence("GPGSV,9,1,11"), // rejected
        Sentence("GPZDA,201530.00,04,07,2002,00,00"),
        Sentence("GPRMB,A,0.66,L,003,004,4917.24,N,12309.57,W,001.3,052.5,000.5,V"),
        "$GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,*00\r\n",
        "$GPRMC,123519,A\r\n",
        "$GPZZZZZZZZ,1,2*11\r\n",
        "$GPZZZ," + std::string(300, 'q') + "*00\r\n",
        "$GPZZZ," + std::string(250, '7') + "\r\n",
        "$GPGSV*1,1,04\r\n",
        "$$$**\r\r\n\n",
        "garbage,*\r\n",
        "$GPRMC,",
    };
    for (int round = 0; round < 300; ++round) {
        std::string stream;
        const int count = 1 + static_cast<int>(rng() % 12);
        for (int i = 0; i < count; ++i) {
            std::string piece = pieces[rng() % pieces.size()];
            if (rng() % 4 == 0 && !piece.empty()) {
                piece.resize(rng() % piece.size()); // cut off
            }
            if (rng() % 8 == 0) {
                piece.insert(rng() % (piece.size() + 1), 1, static_cast<char>(rng() % 256));
            }
            stream += piece;
        }
        CNmeaParser bulk;
        CNmeaParser single;
        size_t pos = 0;
        while (pos < stream.size()) {
            const size_t n = std::min(stream.size() - pos, size_t{1} + rng() % 600);
            const int bulkResult = bulk.Parse(stream.data() + pos, n);
            int singleResult = 1;
            for (size_t i = 0; i < n && singleResult == 1; ++i) {
                singleResult = single.ParseChar(static_cast<uint8_t>(stream[pos + i]));
            }
            ASSERT_EQ(bulkResult, singleResult) << "round " << round;
            ASSERT_EQ(NmeaStateJson(bulk), NmeaStateJson(single)) << "round " << round;
            pos += n;
        }
    }
}

// The same on what real receivers sent, in the program's 511-byte reads.
TEST(NmeaFramer, ParseEqualsParseCharOnReceiverCaptures) {
    ZP_REQUIRE_CORPUS();
    const std::filesystem::path corpus = CorpusDir();
    for (const auto& entry : std::filesystem::directory_iterator(corpus)) {
        if (entry.path().extension() != ".log") {
            continue;
        }
        SCOPED_TRACE(entry.path().filename().string());
        const std::string bytes = ReadFileBytes(entry.path());
        CNmeaParser bulk;
        CNmeaParser single;
        for (size_t pos = 0; pos < bytes.size(); pos += 511) {
            const size_t n = std::min<size_t>(511, bytes.size() - pos);
            const int bulkResult = bulk.Parse(bytes.data() + pos, n);
            int singleResult = 1;
            for (size_t i = 0; i < n && singleResult == 1; ++i) {
                singleResult = single.ParseChar(static_cast<uint8_t>(bytes[pos + i]));
            }
            ASSERT_EQ(bulkResult, singleResult) << pos;
        }
        EXPECT_EQ(NmeaStateJson(bulk), NmeaStateJson(single));
        EXPECT_GT(bulk.m_nSentenceCount, 0);
    }
}

} // namespace
