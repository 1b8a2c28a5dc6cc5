// The record folder read back: which names are records, what a record's JSON says (written by
// the campaign's own writer, so that the two cannot drift apart), damaged files, and the order
// and cells of the list.
#include "CampaignRecords.h"
#include "CampaignFiles.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

namespace {

KindSummary Kind(int32_t kind, int32_t runs, int32_t passed) {
    KindSummary s;
    s.kind = kind;
    s.runs = runs;
    s.passed = passed;
    s.failed = runs - passed;
    s.passRate = runs > 0 ? double(passed) / runs : 0;
    return s;
}

// What the campaign writes for these kinds and summaries.
std::string WrittenJson(std::vector<int32_t> kinds, const std::vector<KindSummary>& summary) {
    CampaignSettings settings;
    settings.kinds = std::move(kinds);
    settings.cycles = 5;
    return CampaignJson(settings, {{"port", "COM1"}}, summary, {"campaign_20261207_1.csv"});
}

const std::string kStatic = R"({"settings": {"kind": "static", "duration_s": 600},
  "statistics": {"epochs": 6000, "availability_3d": 99.5, "cep50_m": 2.3456, "cep95_m": 4.9,
                 "note": "\u00e9\ud83d\ude00"}})";

} // namespace

TEST(CampaignRecordsTest, RecordNames) {
    const struct {
        const char* label;
        const char* name;
        bool ok;
        int32_t date;
        int32_t number;
    } rows[] = {
        {"first of a day", "campaign_20261207_1.json", true, 20261207, 1},
        {"two-digit number", "campaign_20261231_12.json", true, 20261231, 12},
        {"number 0", "campaign_20261207_0.json", false, 0, 0},
        {"leading zero", "campaign_20261207_01.json", false, 0, 0},
        {"month 13", "campaign_20261307_1.json", false, 0, 0},
        {"day 0", "campaign_20261200_1.json", false, 0, 0},
        {"short date", "campaign_2026127_1.json", false, 0, 0},
        {"the plot", "campaign_20261207_1.svg", false, 0, 0},
        {"epochs file", "epochs_20261207_1.json", false, 0, 0},
        {"sign in number", "campaign_20261207_+1.json", false, 0, 0},
        {"no number", "campaign_20261207_.json", false, 0, 0},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.label);
        int32_t date = 0;
        int32_t number = 0;
        EXPECT_EQ(ParseRecordName(row.name, &date, &number), row.ok);
        if (row.ok) {
            EXPECT_EQ(date, row.date);
            EXPECT_EQ(number, row.number);
        }
    }
}

TEST(CampaignRecordsTest, RecordContents) {
    const struct {
        const char* label;
        std::string json;
        bool ok;
        const char* kind;
        int32_t runs;
        std::optional<double> passRate;
        std::optional<double> cep50M;
    } rows[] = {
        {"cold, as written",
         WrittenJson({kStartCold}, {Kind(kStartCold, 20, 19)}),
         true,
         "cold",
         20,
         0.95,
         {}},
        {"three kinds add up",
         WrittenJson({kStartCold, kStartWarm, kStartHot},
                     {Kind(kStartCold, 5, 5), Kind(kStartWarm, 5, 4), Kind(kStartHot, 5, 0)}),
         true,
         "cold,warm,hot",
         15,
         0.6,
         {}},
        {"stopped before a run",
         WrittenJson({kStartHot}, {Kind(kStartHot, 0, 0)}),
         true,
         "hot",
         0,
         {},
         {}},
        {"static", kStatic, true, "static", 6000, {}, 2.3456},
        {"static without a fix",
         R"({"settings":{"kind":"static"},"statistics":{"epochs":0,
         "cep50_m":null}})",
         true,
         "static",
         0,
         {},
         {}},
        {"cut short",
         WrittenJson({kStartCold}, {Kind(kStartCold, 3, 3)}).substr(0, 200),
         false,
         "",
         0,
         {},
         {}},
        {"text after it", R"({"settings":{"kinds":["hot"]},"summary":[]} x)", false, "", 0, {}, {}},
        {"leading zero",
         R"({"settings":{"kinds":["hot"]},"summary":[{"runs":05,"passed":1}]})",
         false,
         "",
         0,
         {},
         {}},
        {"passed above runs",
         R"({"settings":{"kinds":["hot"]},"summary":[{"runs":1,"passed":2}]})",
         false,
         "",
         0,
         {},
         {}},
        {"no kinds", R"({"settings":{},"summary":[]})", false, "", 0, {}, {}},
        {"lone surrogate",
         R"({"settings":{"kinds":["\udc00"]},"summary":[]})",
         false,
         "",
         0,
         {},
         {}},
        {"deep nesting", std::string(100000, '['), false, "", 0, {}, {}},
        {"empty", "", false, "", 0, {}, {}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.label);
        CampaignRecordInfo info;
        std::string problem;
        ASSERT_EQ(ReadRecordJson(row.json, &info, &problem), row.ok) << problem;
        EXPECT_EQ(problem.empty(), row.ok) << problem;
        if (!row.ok) {
            continue;
        }
        EXPECT_EQ(info.kind, row.kind);
        EXPECT_EQ(info.runs, row.runs);
        ASSERT_EQ(info.passRate.has_value(), row.passRate.has_value());
        if (row.passRate) {
            EXPECT_DOUBLE_EQ(*info.passRate, *row.passRate);
        }
        ASSERT_EQ(info.cep50M.has_value(), row.cep50M.has_value());
        if (row.cep50M) {
            EXPECT_DOUBLE_EQ(*info.cep50M, *row.cep50M);
        }
    }
}

// Newest first across days and numbers (10 after 9, not before 2); other files passed over; a
// damaged record listed with its reason.
TEST(CampaignRecordsTest, FolderListNewestFirst) {
    TempDir dir;
    const std::string cold = WrittenJson({kStartCold}, {Kind(kStartCold, 20, 19)});
    WriteFileBytes(dir.Path() / "campaign_20261130_9.json", cold);
    WriteFileBytes(dir.Path() / "campaign_20261207_2.json", kStatic);
    WriteFileBytes(dir.Path() / "campaign_20261207_10.json", "{\"settings\": ");
    WriteFileBytes(
        dir.Path() / "campaign_20261207_1.json",
        WrittenJson({kStartCold, kStartWarm, kStartHot},
                    {Kind(kStartCold, 2, 2), Kind(kStartWarm, 2, 1), Kind(kStartHot, 2, 2)}));
    WriteFileBytes(dir.Path() / "campaign_20261207_1.svg", "<svg/>");
    WriteFileBytes(dir.Path() / "epochs_20261207_2.csv", "utc\r\n");
    WriteFileBytes(dir.Path() / "nmea_20261207_1.txt", "");

    const std::vector<CampaignRecordInfo> list = ListCampaignRecords(dir.Path());
    const struct {
        const char* date;
        const char* kind;
        const char* runs;
        const char* result;
    } want[] = {
        {"2026-12-07 #10", "", "", "unreadable: unexpected end at byte 13"},
        {"2026-12-07 #2", "static", "6000", "CEP50 2.35 m"},
        {"2026-12-07 #1", "cold,warm,hot", "6", "83 %"},
        {"2026-11-30 #9", "cold", "20", "95 %"},
    };
    ASSERT_EQ(list.size(), std::size(want));
    for (size_t i = 0; i < list.size(); ++i) {
        SCOPED_TRACE(want[i].date);
        const RecordCells cells = FormatRecord(list[i]);
        EXPECT_EQ(cells.date, want[i].date);
        EXPECT_EQ(cells.kind, want[i].kind);
        EXPECT_EQ(cells.runs, want[i].runs);
        EXPECT_EQ(cells.result, want[i].result);
        EXPECT_EQ(list[i].svg.parent_path(), dir.Path());
    }
    EXPECT_EQ(list[2].svg.filename(), "campaign_20261207_1.svg");

    std::string error;
    EXPECT_TRUE(ListCampaignRecords(dir.Path() / "missing", &error).empty());
    EXPECT_FALSE(error.empty());
}
