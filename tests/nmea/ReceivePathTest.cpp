// The receive path: what each completed line carries, the parser lock, and garbage counting.
#include "ReceivePath.h"
#include "NmeaTestUtil.h"

#include <gtest/gtest.h>

#include <mutex>
#include <string>
#include <vector>

namespace {

TEST(ReceivePath, LinesCarryTheirReadsTimeAndParseResult) {
    CNmeaParser parser;
    std::mutex lock;
    CReceivePath receive(parser, &lock);
    const std::string gga = Sentence("GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,,,,");
    const std::string bad = Sentence("GPGSV,9,1,12,01,40,083,46"); // 9 messages: refused
    struct Seen {
        std::string text;
        int parsed;
        uint32_t arrivalMs;
    };
    std::vector<Seen> seen;
    const auto record = [&](const ReceivedLine& line) {
        // The parser's lock is free while the handler runs: it may read the parser.
        EXPECT_TRUE(lock.try_lock());
        lock.unlock();
        seen.push_back({std::string(line.text, line.length), line.parsed, line.arrivalMs});
    };
    // A sentence split over two reads belongs to the read that completed it.
    EXPECT_EQ(receive.Feed(gga.data(), 10, 100, record), 0u);
    EXPECT_EQ(receive.Feed(gga.data() + 10, gga.size() - 10, 200, record), 1u);
    EXPECT_EQ(receive.Feed(bad.data(), bad.size(), 300, record), 1u);
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0].text, gga);
    EXPECT_EQ(seen[0].parsed, 1);
    EXPECT_EQ(seen[0].arrivalMs, 200u);
    EXPECT_EQ(seen[1].parsed, 0);
    EXPECT_EQ(seen[1].arrivalMs, 300u);
    EXPECT_EQ(parser.m_nGGACount, 1);
}

TEST(ReceivePath, GarbageCountsUntilALineCompletes) {
    CNmeaParser parser;
    CReceivePath counting(parser, nullptr, true);
    const auto ignore = [](const ReceivedLine&) {};
    counting.Feed("ab\n", 3, 0, ignore);
    counting.AddGarbage(10);
    EXPECT_EQ(counting.Garbage(), 13);
    counting.Feed("$A,", 3, 0, ignore); // '$' and ',' count, the line is still open
    EXPECT_EQ(counting.Garbage(), 15);
    counting.Feed("1\r\n", 3, 0, ignore); // completed: back to zero, then the LF outside
    EXPECT_EQ(counting.Garbage(), 1);

    CReceivePath plain(parser);
    plain.Feed("ab\n", 3, 0, ignore);
    EXPECT_EQ(plain.Garbage(), 0);
}

} // namespace
