// The comparison from campaign records on disk: a record with the host/port/receiver columns, an
// older one without them split over two folders written at different times, and a receiver
// without a fix. Expected figures are worked by hand: Wilson 8/10 = [0.4902, 0.9433], 6/6 =
// [0.6097, 1]; the median's interval from order statistics is [x2, x8] for 9 values
// (P(B <= 1) = 10/512 <= 2.5 % < P(B <= 2) = 46/512) and [x1, x6] for 6 (P(B <= 0) = 1/64).
#include "RackCompare.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

constexpr const char* kNewHeader =
    "run,kind,command_utc,verdict,loss_delay_ms,ttff_ms,ttff_s,criterion_s,receiver_ttff_s,"
    "satellites,hdop,fix_lat,fix_lon,fix_alt_m,horizontal_error_m,vertical_error_m,settle_losses,"
    "timing,ack_ms,receiver,receiver_id,port,host\r\n";
constexpr const char* kOldHeader =
    "run,kind,command_utc,verdict,loss_delay_ms,ttff_ms,ttff_s,criterion_s,receiver_ttff_s,"
    "satellites,hdop,fix_lat,fix_lon,fix_alt_m,horizontal_error_m,vertical_error_m,settle_losses,"
    "timing\r\n";

// A row of either layout; ttffMs < 0: no fix. latOffset north of the reference's 48 degrees.
std::string Row(int run, const char* kind, const char* verdict, int ttffMs, double latOffset,
                bool newLayout) {
    std::string fix = ttffMs >= 0 ? std::to_string(ttffMs) : "";
    std::string lat = ttffMs >= 0 ? std::to_string(48 + latOffset) : "";
    std::string lon = ttffMs >= 0 ? "11.0000000" : "";
    std::string row = std::to_string(run) + "," + kind + ",2026-12-07T10:00:00.000Z," + verdict +
                      ",500," + fix + ",," + "50,,8,1.0," + lat + "," + lon + ",500.0,,,0,poll";
    if (newLayout) {
        row += ",,ubx,\"u-blox M8, 3.01\",COM1,lab1";
    }
    return row + "\r\n";
}

struct Expected {
    const char* label;
    std::string host, port, receiver, receiverId, kind;
    int runs, passed, failed, timeouts, noRestarts;
    double passLow, passHigh;
    double minMs, medianMs, p95Ms, maxMs; // -1: none
    double medianLowMs, medianHighMs;     // -1: no interval
    double cep50M;                        // -1: none
};

TEST(RackCompareTest, RowsFromRecordsOfBothLayouts) {
    TempDir dir;
    // Receiver 1 (new layout): 8 passed, 1 failed, 1 timeout; fixes 1e-4 degree apart northward.
    std::string one = kNewHeader;
    const int ttff[] = {30000, 31000, 32000, 33000, 34000, 35000, 36000, 37000};
    for (int i = 0; i < 8; ++i) {
        one += Row(i + 1, "cold", "passed", ttff[i], (i + 1) * 1e-4, true);
    }
    one += Row(9, "cold", "failed", 52000, 9e-4, true);
    one += Row(10, "cold", "timeout", -1, 0, true);
    one += Row(11, "hot", "passed", 1500, 0, true);
    fs::create_directories(dir.Path() / "a" / "COM1");
    WriteFileBytes(dir.Path() / "a" / "COM1" / "campaign_20261207_1.csv", one);
    // Receiver 2 (older layout, port from its JSON): six passed runs over two days' folders.
    for (int part = 0; part < 2; ++part) {
        const fs::path folder = dir.Path() / (part == 0 ? "a" : "b") / "x";
        fs::create_directories(folder);
        std::string csv = kOldHeader;
        for (int i = 0; i < 3; ++i) {
            csv += Row(i + 1, "cold", "passed", 20000 + (part * 3 + i) * 1000, 0, false);
        }
        WriteFileBytes(folder / "campaign_20261207_1.csv", csv);
        WriteFileBytes(
            folder / "campaign_20261207_1.json",
            "{\n  \"settings\": {\n    \"port\": \"COM2\",\n    \"baud\": \"4800\"\n  }\n}\n");
    }
    // Receiver 3: old layout without a JSON (port from the folder), never restarted.
    fs::create_directories(dir.Path() / "b" / "COM3");
    WriteFileBytes(dir.Path() / "b" / "COM3" / "campaign_20261208_1.csv",
                   std::string(kOldHeader) + Row(1, "cold", "no-restart", -1, 0, false) +
                       Row(2, "cold", "no-restart", -1, 0, false) +
                       Row(3, "cold", "no-restart", -1, 0, false) + "4,cold,2026");

    std::vector<ComparedRun> runs;
    for (const char* folder : {"a", "b"}) {
        for (const fs::path& csv : FindCampaignRecords(dir.Path() / folder)) {
            std::string error;
            ASSERT_TRUE(ReadCampaignRecord(csv, &runs, &error)) << error;
        }
    }
    const std::vector<CompareRow> rows = CompareRuns(runs, GeoPosition{48, 11, 0, false});

    const double cep = 5e-4 * 3.14159265358979323846 / 180 * 6371008.8; // the 5th of 9 fixes
    const Expected expected[] = {
        {"fastest cold first (old layout, two folders merged)",
         "",
         "COM2",
         "",
         "",
         "cold",
         6,
         6,
         0,
         0,
         0,
         0.6097,
         1.0,
         20000,
         22500,
         24750,
         25000,
         20000,
         25000,
         0},
        {"slower cold receiver, identity with a comma",
         "lab1",
         "COM1",
         "ubx",
         "u-blox M8, 3.01",
         "cold",
         10,
         8,
         1,
         1,
         0,
         0.4902,
         0.9433,
         30000,
         34000,
         46000,
         52000,
         31000,
         37000,
         cep},
        {"no fix: last of its kind; half a row left out",
         "",
         "COM3",
         "",
         "",
         "cold",
         3,
         0,
         0,
         0,
         3,
         0.0,
         0.5615,
         -1,
         -1,
         -1,
         -1,
         -1,
         -1,
         -1},
        {"hot after cold; one fix has no interval",
         "lab1",
         "COM1",
         "ubx",
         "u-blox M8, 3.01",
         "hot",
         1,
         1,
         0,
         0,
         0,
         0.2065,
         1.0,
         1500,
         1500,
         1500,
         1500,
         -1,
         -1,
         0},
    };
    ASSERT_EQ(rows.size(), std::size(expected));
    auto opt = [](const std::optional<double>& v) { return v ? *v : -1.0; };
    for (size_t i = 0; i < rows.size(); ++i) {
        const Expected& e = expected[i];
        const CompareRow& r = rows[i];
        SCOPED_TRACE(e.label);
        EXPECT_EQ(r.host, e.host);
        EXPECT_EQ(r.port, e.port);
        EXPECT_EQ(r.receiver, e.receiver);
        EXPECT_EQ(r.receiverId, e.receiverId);
        EXPECT_EQ(r.kind, e.kind);
        EXPECT_EQ(r.runs, e.runs);
        EXPECT_EQ(r.passed, e.passed);
        EXPECT_EQ(r.failed, e.failed);
        EXPECT_EQ(r.timeouts, e.timeouts);
        EXPECT_EQ(r.noRestarts, e.noRestarts);
        ASSERT_TRUE(r.passRate95);
        EXPECT_NEAR(r.passRate95->low, e.passLow, 5e-5);
        EXPECT_NEAR(r.passRate95->high, e.passHigh, 5e-5);
        EXPECT_EQ(opt(r.minMs), e.minMs);
        EXPECT_EQ(opt(r.medianMs), e.medianMs);
        EXPECT_NEAR(opt(r.p95Ms), e.p95Ms, 1e-6);
        EXPECT_EQ(opt(r.maxMs), e.maxMs);
        EXPECT_EQ(r.median95Ms ? r.median95Ms->low : -1, e.medianLowMs);
        EXPECT_EQ(r.median95Ms ? r.median95Ms->high : -1, e.medianHighMs);
        EXPECT_NEAR(opt(r.cep50M), e.cep50M, 0.01);
    }
    // The comparison's CSV keeps a quoted identity in one cell.
    EXPECT_NE(CompareCsv(rows).find(",\"u-blox M8, 3.01\",cold,10,8,1,1,0,0,0,0.8000,0.4902,"
                                    "0.9433,30000.0,34000.0,31000.0,37000.0,46000.0,52000.0,"),
              std::string::npos)
        << CompareCsv(rows);
}

TEST(RackCompareTest, MalformedNumbersAreRefusedWithTheirPlace) {
    TempDir dir;
    const struct {
        const char* label;
        std::string row;
        const char* message;
    } cases[] = {
        {"TTFF not a number", "1,cold,x,passed,500,12a,,50,,,,,,,,,0,poll\r\n",
         ":2: bad ttff_ms 12a"},
        {"latitude out of range", "1,cold,x,passed,500,12,,50,,,,91.0,11.0,,,,0,poll\r\n",
         ":2: bad fix_lat 91.0"},
        {"longitude missing", "1,cold,x,passed,500,12,,50,,,,48.0,,,,,0,poll\r\n",
         ":2: bad fix_lon "},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        const fs::path csv = dir.Path() / "campaign_20261207_1.csv";
        WriteFileBytes(csv, std::string(kOldHeader) + c.row);
        std::vector<ComparedRun> runs;
        std::string error;
        EXPECT_FALSE(ReadCampaignRecord(csv, &runs, &error));
        EXPECT_NE(error.find(c.message), std::string::npos) << error;
        EXPECT_TRUE(runs.empty());
    }
}

} // namespace
