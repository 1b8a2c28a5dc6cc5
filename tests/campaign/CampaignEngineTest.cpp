// The campaign engine fed with made-up epochs at chosen arrival times: verdicts at the criterion
// boundary, limits, settling, the sequence of kinds, and the statistics of the summary.
#include "CampaignEngine.h"
#include "CampaignFiles.h"
#include "CampaignSummary.h"
#include "NmeaChecksum.h"
#include "TestSupport.h"

#include <cmath>
#include <gtest/gtest.h>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace {

// One receiver epoch: GGA then GSA, as receivers send them.
struct Epoch {
    uint32_t atMs;
    int fixMode;         // 1 none, 3 3D
    bool noTime = false; // the GGA's time field is empty (a receiver just reset)
};

constexpr int64_t kDayMs = 86400000;

class Driver {
public:
    // The receiver's clock reads arrival + clockMs (hundredths in the GGA); with fixAtStart the
    // receiver reports a fix at 0, so the first commands go out then.
    explicit Driver(CampaignSettings s, bool fixAtStart = true, int64_t clockMs = 12 * 3600000,
                    const char* talker = "GP")
        : m_engine(std::move(s)), m_clockMs(clockMs), m_talker(talker) {
        Take(m_engine.Start({0, 0}));
        if (fixAtStart) {
            Feed({0, 3});
        }
    }

    void Feed(const Epoch& e) {
        const int64_t t = ((e.atMs + m_clockMs) % kDayMs + kDayMs) % kDayMs;
        char time[16] = "";
        if (!e.noTime) {
            std::snprintf(time, sizeof time, "%02d%02d%02d.%02d", static_cast<int>(t / 3600000),
                          static_cast<int>(t / 60000 % 60), static_cast<int>(t / 1000 % 60),
                          static_cast<int>(t / 10 % 100));
        }
        char gga[96];
        std::snprintf(gga, sizeof gga,
                      "%sGGA,%s,4807.0380,N,01131.0000,E,%d,%02d,0.9,545.4,M,47.0,M,,", m_talker,
                      time, e.fixMode == 1 ? 0 : 1, e.fixMode == 1 ? 0 : 7);
        Line(NmeaSentence(gga), e.atMs);
        Line(NmeaSentence(std::string(m_talker) + "GSA,A," + std::to_string(e.fixMode) +
                          ",04,05,09,12,,,,,,,,,2.5,1.3,2.1"),
             e.atMs);
    }
    void MultiGnss(bool on) { m_parser.m_bMultiGnss = on; }
    void Tick(uint32_t atMs) { Take(m_engine.Tick({atMs, 0})); }
    void Take(const CampaignStep& step) {
        if (step.finished) {
            records.push_back(*step.finished);
        }
        if (!step.send.empty()) {
            sent.push_back(step.send);
            sentKinds.push_back(step.sendKind);
        }
        done = done || step.done;
    }

    // A line or a whole frame of the receiver's own, as it arrives.
    void Answer(const std::string& bytes, bool frame, uint32_t atMs) {
        if (frame) {
            const ReceivedFrame f{FrameProtocol::SkyTraq,
                                  reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(),
                                  atMs};
            Take(m_engine.Frame(f, {atMs, 0}));
        } else {
            Line(bytes, atMs);
        }
    }

    CCampaignEngine m_engine;
    std::vector<int32_t> sentKinds;
    std::vector<std::string> sent;
    std::vector<RunRecord> records;
    bool done = false;

private:
    void Line(const std::string& text, uint32_t atMs) {
        m_path.Feed(text.data(), text.size(), atMs, [&](const ReceivedLine& line) {
            Take(m_engine.Line(line, SampleOf(m_parser), {atMs, 0}));
        });
    }
    CNmeaParser m_parser;
    CReceivePath m_path{m_parser};
    int64_t m_clockMs;
    const char* m_talker;
};

// A fix that drops every other second from fromMs to toMs.
std::vector<Epoch> Flapping(std::vector<Epoch> before, uint32_t fromMs, uint32_t toMs) {
    for (uint32_t t = fromMs; t < toMs; t += 1000) {
        before.push_back({t, (t - fromMs) / 1000 % 2 == 0 ? 1 : 3});
    }
    return before;
}

CampaignSettings OneCold(uint32_t criterionS = 35) {
    CampaignSettings s;
    s.criteriaS[kStartCold] = criterionS;
    s.settleS = 3;
    return s;
}

TEST(CampaignEngine, OneRunByItsEpochs) {
    struct Row {
        const char* label;
        std::vector<Epoch> epochs;
        std::vector<uint32_t> ticks;
        RunOutcome outcome;
        int64_t ttffMs;
        int32_t settleLosses;
        bool ended;                  // the run is over after the feed
        int64_t receiverTtffMs = -2; // -2: the whole seconds of the arrival times, as GGA has them
        int64_t clockMs = 12 * 3600000;
    };
    const Row rows[] = {
        {"passes",
         {{100, 3}, {600, 1}, {20600, 3}, {23600, 3}},
         {},
         RunOutcome::Passed,
         20000,
         0,
         true},
        {"equal seconds pass",
         {{600, 1}, {36599, 3}, {39599, 3}},
         {},
         RunOutcome::Passed,
         35999,
         0,
         true},
        {"one second more fails",
         {{600, 1}, {36600, 3}, {39600, 3}},
         {},
         RunOutcome::Failed,
         36000,
         0,
         true},
        {"no fix within 3 x the criterion",
         {{600, 1}, {105500, 1}},
         {105599, 105600},
         RunOutcome::Timeout,
         -1,
         0,
         true},
        {"no loss within the limit",
         {{500, 3}, {29000, 3}},
         {29999, 30000},
         RunOutcome::NoRestart,
         -1,
         0,
         true},
        {"settling not over yet",
         {{600, 1}, {10600, 3}},
         {13599},
         RunOutcome::Passed,
         10000,
         0,
         false},
        {"fix lost while settling: settling starts again, the TTFF stays",
         {{600, 1}, {10600, 3}, {11600, 1}, {12600, 3}, {15599, 3}},
         {15600},
         RunOutcome::Passed,
         10000,
         1,
         true},
        // The default time-out is 3 x the 35 s criterion: still waiting at 2 x and just before.
        {"no time-out at 2 x the criterion", {{600, 1}}, {70600, 105599}, {}, -1, 0, false},
        // Settling that never holds ends at time-out + settle + loss limit (105 + 3 + 30 s).
        {"a fix that keeps dropping ends at the hard end",
         Flapping({{600, 1}, {10600, 3}}, 11600, 140000),
         {},
         RunOutcome::Passed,
         10000,
         64,
         true},
        {"a line from before the command is ignored, never subtracted",
         {{0xFFFFFF9Cu, 1}, {600, 1}, {10600, 3}, {13600, 3}},
         {},
         RunOutcome::Passed,
         10000,
         0,
         true,
         10000},
        {"a loss read in the command's own tick is not the loss",
         {{0, 1}, {600, 1}, {10600, 3}, {13600, 3}},
         {},
         RunOutcome::Passed,
         10000,
         0,
         true},
        {"the receiver's TTFF keeps the GGA time's fraction",
         {{600, 1}, {10650, 3}, {13650, 3}},
         {},
         RunOutcome::Passed,
         10050,
         0,
         true,
         10050},
        {"the receiver's TTFF across midnight",
         {{600, 1}, {10650, 3}, {13650, 3}},
         {},
         RunOutcome::Passed,
         10050,
         0,
         true,
         10050,
         kDayMs - 5000},
        {"no receiver TTFF when its time was not valid at the loss",
         {{600, 1, true}, {10600, 3}, {13600, 3}},
         {},
         RunOutcome::Passed,
         10000,
         0,
         true,
         -1},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.label);
        Driver d(OneCold(), true, r.clockMs);
        for (const Epoch& e : r.epochs) {
            d.Feed(e);
        }
        if (!r.ended) {
            for (uint32_t t : r.ticks) {
                d.Tick(t);
            }
            EXPECT_TRUE(d.records.empty());
            continue;
        }
        for (uint32_t t : r.ticks) {
            d.Tick(t);
        }
        ASSERT_EQ(d.records.size(), 1u);
        const RunRecord& rec = d.records[0];
        EXPECT_EQ(rec.outcome, r.outcome);
        EXPECT_EQ(rec.ttffMs, r.ttffMs);
        EXPECT_EQ(rec.settleLosses, r.settleLosses);
        if (r.ttffMs >= 0) {
            EXPECT_EQ(rec.ttffS, static_cast<uint32_t>(r.ttffMs / 1000));
            EXPECT_EQ(rec.satellites, 7);
            EXPECT_DOUBLE_EQ(rec.hdop, 1.3);
            if (r.receiverTtffMs == -2) {
                // The receiver's own clock: whole seconds of the loss and fix epochs' GGA times.
                const uint32_t lossAt = r.epochs[r.epochs[0].fixMode == 1 ? 0 : 1].atMs;
                EXPECT_EQ(rec.receiverTtffS,
                          static_cast<int32_t>((lossAt + r.ttffMs) / 1000 - lossAt / 1000));
            } else {
                EXPECT_EQ(rec.receiverTtffMs, r.receiverTtffMs);
                // Whole seconds of the two times: 23:59:55 to 00:00:05 is 10 s.
                EXPECT_EQ(rec.receiverTtffS, r.receiverTtffMs < 0 ? -1 : 10);
            }
        }
        EXPECT_TRUE(d.done); // one run only
    }
}

TEST(CampaignEngine, BeforeTheFirstRun) {
    struct Row {
        const char* label;
        const char* talker;
        bool multiGnss;
        std::vector<Epoch> epochs;
        std::vector<uint32_t> ticks;
        int64_t commandAtMs; // -1: no command went out
        bool fixesIgnored;
    };
    const Row rows[] = {
        {"a receiver with a fix: the commands go out with it",
         "GP",
         false,
         {{300, 3}},
         {},
         300,
         false},
        {"no fix at the start: waited for",
         "GP",
         false,
         {{0, 1}, {5000, 1}, {8000, 3}},
         {},
         8000,
         false},
        {"never a fix: the runs start after the first kind's time-out (3 x 35 s)",
         "GP",
         false,
         {{0, 1}},
         {70000, 104999, 105000},
         105000,
         false},
        {"GN fixes with multi-GNSS off: the campaign ends before its first run",
         "GN",
         false,
         {{0, 3}, {100, 3}, {200, 3}, {300, 3}, {400, 3}},
         {},
         -1,
         true},
        {"GN fixes with multi-GNSS on are decoded", "GN", true, {{0, 3}}, {}, 0, false},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.label);
        Driver d(OneCold(), false, 12 * 3600000, r.talker);
        d.MultiGnss(r.multiGnss);
        for (const Epoch& e : r.epochs) {
            d.Feed(e);
        }
        for (uint32_t t : r.ticks) {
            d.Tick(t);
        }
        EXPECT_EQ(d.sent.size(), r.commandAtMs >= 0 ? 1u : 0u);
        EXPECT_EQ(d.m_engine.InitialFixWaitMs(), r.commandAtMs);
        EXPECT_EQ(d.m_engine.FixesIgnored(), r.fixesIgnored);
        EXPECT_EQ(d.done, r.fixesIgnored);
    }
}

TEST(CampaignEngine, PortLostDuringARun) {
    struct Row {
        const char* label;
        bool waitForPort;
        std::vector<Epoch> after; // epochs after the port is back (at 8 s)
        size_t commands;          // sent in all
        bool done;
    };
    const Row rows[] = {
        {"reconnect off: the run is port-lost and the campaign ends", false, {}, 1, true},
        {"reconnect on: the next run waits for the receiver's fix", true, {{9000, 1}}, 1, false},
        {"reconnect on: back with a fix, the next run starts", true, {{9000, 3}}, 2, false},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.label);
        CampaignSettings s = OneCold();
        s.cycles = 3;
        Driver d(s);
        d.Feed({600, 1});
        d.Take(d.m_engine.PortLost({5000, 0}, r.waitForPort));
        d.Feed({6000, 3}); // lines of a closed port are not the fix
        d.Take(d.m_engine.PortBack({8000, 0}));
        for (const Epoch& e : r.after) {
            d.Feed(e);
        }
        ASSERT_EQ(d.records.size(), 1u);
        EXPECT_EQ(d.records[0].outcome, RunOutcome::PortLost);
        EXPECT_STREQ(RunOutcomeText(d.records[0].outcome), "port-lost");
        EXPECT_EQ(d.sent.size(), r.commands);
        EXPECT_EQ(d.done, r.done);
    }
}

TEST(CampaignEngine, TimeoutOnlyAfterTheLimitAndThenTheNextRun) {
    CampaignSettings s = OneCold(10); // 3 x 10 s is below the 60 s floor
    s.cycles = 2;
    Driver d(s);
    d.Feed({1000, 1});
    d.Tick(60999);
    EXPECT_TRUE(d.records.empty());
    d.Tick(61000);
    ASSERT_EQ(d.records.size(), 1u);
    EXPECT_EQ(d.records[0].outcome, RunOutcome::Timeout);
    EXPECT_EQ(d.sent.size(), 2u); // the second run's commands went out at once
    EXPECT_FALSE(d.done);
}

TEST(CampaignEngine, SequenceSendsEachKindsCommandsInTurn) {
    CampaignSettings s;
    s.kinds = {kStartCold, kStartWarm, kStartHot};
    s.cycles = 2;
    s.settleS = 0;
    Driver d(s);
    uint32_t t = 0;
    for (int run = 0; run < 6; ++run) {
        d.Feed({t += 100, 3}); // still the old fix
        d.Feed({t += 100, 1});
        d.Feed({t += 500, 3});
    }
    const std::vector<int32_t> kinds = {kStartCold, kStartWarm, kStartHot,
                                        kStartCold, kStartWarm, kStartHot};
    EXPECT_EQ(d.sentKinds, kinds);
    for (size_t i = 0; i < kinds.size(); ++i) {
        EXPECT_EQ(d.sent[i], SonyRestartCommand(kinds[i]) + SirfRestartCommand(kinds[i]));
    }
    ASSERT_EQ(d.records.size(), 6u);
    for (const RunRecord& r : d.records) {
        EXPECT_EQ(r.ttffMs, 500);
        EXPECT_EQ(r.lossDelayMs, 200);
    }
    EXPECT_TRUE(d.done);
}

TEST(CampaignEngine, FamilyCommandsAndTheirAnswers) {
    struct Row {
        const char* label;
        ReceiverFamily family;
        std::string answer; // at 150 ms; empty: none
        bool frame;
        RunOutcome outcome;
        int64_t ackMs;
    } rows[] = {
        {"u-blox does not answer", ReceiverFamily::Ubx, "", false, RunOutcome::Passed, -1},
        {"Airoha done", ReceiverFamily::Airoha, NmeaSentence("PAIR001,006,0"), false,
         RunOutcome::Passed, 150},
        {"Airoha busy", ReceiverFamily::Airoha, NmeaSentence("PAIR001,006,5"), false,
         RunOutcome::Refused, 150},
        {"Airoha answers another command", ReceiverFamily::Airoha, NmeaSentence("PAIR001,005,5"),
         false, RunOutcome::Passed, -1},
        {"Airoha: a bad checksum is no answer", ReceiverFamily::Airoha, "$PAIR001,006,5*00\r\n",
         false, RunOutcome::Passed, -1},
        {"Airoha: an unknown result is no answer", ReceiverFamily::Airoha,
         NmeaSentence("PAIR001,006,9"), false, RunOutcome::Passed, -1},
        {"MediaTek: not supported", ReceiverFamily::Mtk, NmeaSentence("PMTK001,103,1"), false,
         RunOutcome::Refused, 150},
        {"SkyTraq ACK", ReceiverFamily::SkyTraq, SkyTraqFrame("\x83\x01"), true, RunOutcome::Passed,
         150},
        {"SkyTraq NACK", ReceiverFamily::SkyTraq, SkyTraqFrame("\x84\x01"), true,
         RunOutcome::Refused, 150},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.label);
        CampaignSettings s = OneCold();
        s.family = r.family;
        Driver d(s);
        ASSERT_EQ(d.sent.size(), 1u);
        EXPECT_EQ(d.sent[0], SonyRestartCommand(kStartCold) + SirfRestartCommand(kStartCold) +
                                 FamilyRestartCommand(r.family, kStartCold));
        if (!r.answer.empty()) {
            d.Answer(r.answer, r.frame, 150);
        }
        // A refusal ends the run at once, without waiting for the loss limit.
        EXPECT_EQ(d.records.size(), r.outcome == RunOutcome::Refused ? 1u : 0u);
        for (const Epoch& e : std::vector<Epoch>{{600, 1}, {1600, 3}, {4600, 3}}) {
            d.Feed(e);
        }
        ASSERT_EQ(d.records.size(), 1u);
        EXPECT_EQ(d.records[0].outcome, r.outcome);
        EXPECT_EQ(d.records[0].ackMs, r.ackMs);
        EXPECT_EQ(d.records[0].receiver, ReceiverFamilyKey(r.family));
    }
}

TEST(CampaignSummary, StatisticsPerKind) {
    std::vector<RunRecord> records;
    const int64_t ttff[] = {10000, 20000, 30000, 40000};
    for (int i = 0; i < 4; ++i) {
        RunRecord r;
        r.kind = kStartCold;
        r.outcome = i < 3 ? RunOutcome::Passed : RunOutcome::Failed;
        r.ttffMs = ttff[i];
        r.horizontalErrorM = 1.0 + i;
        records.push_back(r);
    }
    RunRecord timeout;
    timeout.kind = kStartCold;
    timeout.outcome = RunOutcome::Timeout;
    records.push_back(timeout);
    const std::vector<KindSummary> s = Summarize(records, {kStartCold, kStartHot});
    ASSERT_EQ(s.size(), 2u);
    EXPECT_EQ(s[0].runs, 5);
    EXPECT_EQ(s[0].passed, 3);
    EXPECT_EQ(s[0].failed, 1);
    EXPECT_EQ(s[0].timeouts, 1);
    EXPECT_DOUBLE_EQ(s[0].passRate, 0.6);
    ASSERT_TRUE(s[0].ttff);
    EXPECT_DOUBLE_EQ(s[0].ttff->medianMs, 25000);
    EXPECT_DOUBLE_EQ(s[0].ttff->p90Ms, 37000);
    EXPECT_NEAR(s[0].ttff->stddevMs, 12909.944, 1e-3);
    EXPECT_DOUBLE_EQ(*s[0].cep50M, 2.5);
    EXPECT_DOUBLE_EQ(*s[0].cep95M, 3.85);
    EXPECT_EQ(s[1].runs, 0);
    EXPECT_FALSE(s[1].ttff);
}

RunRecord Record(int32_t run, int32_t kind, RunOutcome outcome, int64_t ttffMs) {
    RunRecord r;
    r.run = run;
    r.kind = kind;
    r.outcome = outcome;
    r.ttffMs = ttffMs;
    r.ttffS = ttffMs >= 0 ? static_cast<uint32_t>(ttffMs / 1000) : 0;
    r.criterionS = 3;
    return r;
}

// The number of an attribute in the first element that holds marker.
double AttributeAfter(const std::string& text, const std::string& marker, const char* attribute) {
    const size_t at = text.find(marker);
    const size_t value = text.find(std::string(attribute) + "=\"", at);
    return at == std::string::npos ? -1 : std::atof(text.c_str() + value + strlen(attribute) + 2);
}

TEST(CampaignFiles, WhatTheRecordSays) {
    CampaignSettings s;
    s.kinds = {kStartCold, kStartWarm, kStartHot};
    s.criteriaS[kStartCold] = 3;
    RunRecord high = Record(1, kStartCold, RunOutcome::Passed, 3500);
    high.fix = GeoPosition{48.1, 11.5, 1e99, true};
    high.receiverTtffMs = 3450;
    const std::vector<RunRecord> runs = {high, Record(2, kStartWarm, RunOutcome::PortLost, -1),
                                         Record(3, kStartHot, RunOutcome::Passed, 1000),
                                         Record(4, kStartCold, RunOutcome::Failed, 4000),
                                         Record(5, kStartWarm, RunOutcome::Passed, 2000)};
    const auto summary = Summarize(runs, s.kinds);
    CampaignSettings odd = s;
    odd.reference = GeoPosition{std::nan(""), 10, 0, false};
    const std::string svg = CampaignSvg(s, runs, summary);
    struct Row {
        const char* label;
        std::string text;
        std::string expected;
    } rows[] = {
        {"the receiver's TTFF follows the timing", CsvHeader(), ",timing,receiver_ttff_ms,"},
        {"... with its milliseconds", CsvRow(high), ",0,,3450,"},
        {"port-lost has its own count", CampaignJson(s, {}, summary, {}),
         "\"no_restarts\": 0, \"port_lost\": 1,"},
        {"a reference that is no number is null", CampaignJson(odd, {}, summary, {}),
         "{\"lat\": null, \"lon\": 10.0000000}"},
        {"the initial wait is in the settings", CampaignJson(s, {}, summary, {}, 1234),
         "\"initial_fix_wait_ms\": 1234,"},
        {"the limit says where passing ends", svg,
         ">cold passes below 4 s (criterion 3 s, whole seconds)</text>"},
        {"port-lost in the legend", svg, ">port-lost</text>"},
        {"warm runs are squares", svg, "<rect class=\"run\""},
        {"hot runs are diamonds", svg, "Z\" fill=\"#2e9e44\" stroke=\"#8e44ad\""},
        {"runs are numbered", svg, "font-size=\"10\">4</text>"},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.label);
        EXPECT_NE(r.text.find(r.expected), std::string::npos) << r.text.substr(0, 2000);
    }
    // A far altitude is written whole (100 digits), not cut off in a small buffer.
    const std::string row = CsvRow(high);
    size_t from = 0;
    for (int field = 0; field < 13; ++field) {
        from = row.find(',', from) + 1;
    }
    const std::string alt = row.substr(from, row.find(',', from) - from);
    EXPECT_EQ(alt.find_first_not_of("0123456789."), std::string::npos) << alt;
    EXPECT_EQ(std::stod(alt), 1e99);
    // A 4.0 s cold run fails: it sits on the limit line, the 3.5 s one below it.
    const double limitY = AttributeAfter(svg, "class=\"criterion\"", "y1");
    const size_t fail = svg.rfind("<circle class=\"run\"", svg.find("<title>run 4 cold"));
    EXPECT_DOUBLE_EQ(std::atof(svg.c_str() + svg.find("cy=\"", fail) + 4), limitY);
    const size_t pass = svg.rfind("<circle class=\"run\"", svg.find("<title>run 1 cold"));
    EXPECT_GT(std::atof(svg.c_str() + svg.find("cy=\"", pass) + 4), limitY);
}

TEST(CampaignFiles, FinalFilesReplaceTheFirstOnesAndFailuresAreReported) {
    struct Row {
        const char* label;
        bool removeFolder;
        bool failed;
    } rows[] = {{"written and renamed over", false, false},
                {"the folder gone: reported", true, true}};
    for (const Row& r : rows) {
        SCOPED_TRACE(r.label);
        TempDir dir;
        const auto folder = dir.Path() / "record";
        std::filesystem::create_directory(folder);
        CCampaignFiles files;
        ASSERT_EQ(files.Create(folder, 1765000000000, true), 0);
        struct stat before {};
        ASSERT_EQ(::stat(files.CsvPath().c_str(), &before), 0);
        EXPECT_EQ(before.st_mode & 0777, 0600u);
        files.WriteRun(Record(1, kStartCold, RunOutcome::Passed, 1000));
        if (r.removeFolder) {
            std::filesystem::remove_all(folder);
        }
        CampaignSettings s;
        const int error =
            files.Finish(s, {}, {Record(1, kStartCold, RunOutcome::Passed, 1000)}, true);
        EXPECT_EQ(error != 0, r.failed);
        if (r.failed) {
            continue;
        }
        struct stat after {};
        ASSERT_EQ(::stat(files.CsvPath().c_str(), &after), 0);
        EXPECT_NE(after.st_ino, before.st_ino); // replaced, not truncated in place
        EXPECT_EQ(after.st_mode & 0777, 0600u);
        EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder),
                                std::filesystem::directory_iterator()),
                  4); // no temporary left beside
        EXPECT_EQ(ReadFileBytes(files.CsvPath()).substr(CsvHeader().size(), 7), "1,cold,");
    }
}

} // namespace
