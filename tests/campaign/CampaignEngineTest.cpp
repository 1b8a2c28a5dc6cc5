// The campaign engine fed with made-up epochs at chosen arrival times: verdicts at the criterion
// boundary, limits, settling, the sequence of kinds, and the statistics of the summary.
#include "CampaignEngine.h"
#include "CampaignSummary.h"
#include "NmeaChecksum.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

// One receiver epoch: GGA then GSA, as receivers send them.
struct Epoch {
    uint32_t atMs;
    int fixMode; // 1 none, 3 3D
};

class Driver {
public:
    explicit Driver(CampaignSettings s) : m_engine(std::move(s)) { Take(m_engine.Start({0, 0})); }

    void Feed(const Epoch& e) {
        const int second = static_cast<int>(e.atMs / 1000);
        char gga[96];
        std::snprintf(gga, sizeof gga,
                      "GPGGA,12%02d%02d.00,4807.0380,N,01131.0000,E,%d,%02d,0.9,545.4,M,47.0,M,,",
                      second / 60 % 60, second % 60, e.fixMode == 1 ? 0 : 1,
                      e.fixMode == 1 ? 0 : 7);
        Line(NmeaSentence(gga), e.atMs);
        Line(NmeaSentence(std::string("GPGSA,A,") + std::to_string(e.fixMode) +
                          ",04,05,09,12,,,,,,,,,2.5,1.3,2.1"),
             e.atMs);
    }
    void Tick(uint32_t atMs) { Take(m_engine.Tick({atMs, 0})); }
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
    CNmeaParser m_parser;
    CReceivePath m_path{m_parser};
};

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
        bool ended; // the run is over after the feed
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
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.label);
        Driver d(OneCold());
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
            // The receiver's own clock: whole seconds of the loss and fix epochs' GGA times.
            const uint32_t lossAt = r.epochs[r.epochs[0].fixMode == 1 ? 0 : 1].atMs;
            EXPECT_EQ(rec.receiverTtffS,
                      static_cast<int32_t>((lossAt + r.ttffMs) / 1000 - lossAt / 1000));
        }
        EXPECT_TRUE(d.done); // one run only
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

} // namespace
