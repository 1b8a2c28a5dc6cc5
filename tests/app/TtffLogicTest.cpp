// The restart commands, the TTFF judgement and the main screen's field texts, without a display.
#include "NmeaChecksum.h"
#include "NmeaParser.h"
#include "ScreenFormat.h"
#include "TtffJudge.h"

#include <cmath>
#include <gtest/gtest.h>
#include <limits>
#include <string>

using namespace std::string_literals;

TEST(RestartCommandTest, BytesOnTheWire) {
    const std::string body = "$PSRF101,-2686700,-4304200,3851624,96000,497260,921,12,";
    struct Row {
        int32_t kind;
        std::string sony, sirf, text;
    };
    // Checksums worked out by hand from the framer's rule.
    const Row rows[] = {
        {kStartCold, "@cd\r\n", body + "4*28\r\n\0"s, "cold"},
        {kStartWarm, "@sw\r\n", body + "3*2F\r\n\0"s, "warm"},
        {kStartHot, "@sr\r\n", body + "1*2D\r\n\0"s, "hot"},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.text);
        EXPECT_EQ(SonyRestartCommand(r.kind), r.sony);
        EXPECT_EQ(SirfRestartCommand(r.kind), r.sirf);
        EXPECT_EQ(SirfRestartCommand(r.kind).size(), 62u);
        EXPECT_EQ(StartKindText(r.kind), r.text);
    }
    EXPECT_EQ(SonyRestartCommand(kStartNone), "");
    EXPECT_EQ(SirfRestartCommand(7), "");
}

TEST(RestartCommandTest, StartActionMatchesWholeWordsInAnyCase) {
    struct Row {
        const char* action;
        int32_t kind;
    };
    const Row rows[] = {{"Cold", kStartCold}, {"cold", kStartCold}, {"COLD", kStartCold},
                        {"wArM", kStartWarm}, {"hot", kStartHot},   {"Cold ", kStartNone},
                        {" hot", kStartNone}, {"Col", kStartNone},  {"", kStartNone}};
    for (const Row& r : rows) {
        EXPECT_EQ(StartKindFromAction(r.action), r.kind) << '"' << r.action << '"';
    }
}

TEST(TtffJudgeTest, CriterionAndSecondsAreUnsigned) {
    EXPECT_EQ(TimeCriterion(kStartCold, 50, 35, 2), 50u);
    EXPECT_EQ(TimeCriterion(kStartWarm, 50, 35, 2), 35u);
    EXPECT_EQ(TimeCriterion(kStartHot, 50, 35, 2), 2u);
    EXPECT_EQ(TimeCriterion(kStartNone, 50, 35, 2), 0u);
    // A negative limit compares as a huge one: never exceeded.
    EXPECT_EQ(TimeCriterion(kStartHot, 50, 35, -1), 0xFFFFFFFFu);
    // Across the tick's wrap.
    EXPECT_EQ(TtffSeconds(0x00000300u, 0xFFFFFF00u), 1u);
    EXPECT_EQ(TtffSeconds(2999, 0), 2u);
}

namespace {

struct Measured {
    int32_t result;
    bool shownByTick = false; // a tick set the result (indicator shown in test mode)
    bool shownByStop = false;
    uint32_t shownSeconds = 0; // IDC_TTFF after the stop
};

// A measurement: timer 100 ticks every 100 ms up to lastTickMs, then the refresh notices the fix
// at stopMs.
Measured Measure(uint32_t criterion, uint32_t lastTickMs, uint32_t stopMs) {
    TtffState state{0, kResultPending};
    Measured m{kResultPending};
    for (uint32_t t = 100; t <= lastTickMs; t += 100) {
        m.shownSeconds = TtffSeconds(t, 0);
        m.shownByTick |= TtffTick(&state, m.shownSeconds, criterion).showIndicator;
    }
    const TtffOutcome stop = TtffStop(&state, TtffSeconds(stopMs, 0), criterion);
    m.shownByStop = stop.showIndicator;
    if (stop.writeSeconds) {
        m.shownSeconds = TtffSeconds(stopMs, 0);
    }
    m.result = state.result;
    EXPECT_EQ(state.done, 1);
    return m;
}

} // namespace

TEST(TtffJudgeTest, HotStartWithTheDefaultLimit) {
    struct Row {
        const char* what;
        uint32_t lastTickMs, stopMs;
        int32_t result;
        bool byTick, byStop;
        uint32_t shownSeconds;
    };
    const Row rows[] = {
        {"fix at 2.9 s passes", 2900, 2950, kResultPassed, false, true, 2},
        {"equal seconds pass", 2900, 2999, kResultPassed, false, true, 2},
        {"fix at 3.2 s: the 3.0 s tick failed it", 3200, 3250, kResultFailed, true, false, 3},
        // Mended: no tick has judged 3 s yet, so the stop fails it and shows its seconds.
        {"fix at 3.0 s before the tick", 2900, 3000, kResultFailed, false, true, 3},
        {"fix long after, right before a tick", 9900, 9999, kResultFailed, true, false, 9},
        {"fix at once", 0, 10, kResultPassed, false, true, 0},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.what);
        const Measured m = Measure(2, r.lastTickMs, r.stopMs);
        EXPECT_EQ(m.result, r.result);
        EXPECT_EQ(m.shownByTick, r.byTick);
        EXPECT_EQ(m.shownByStop, r.byStop);
        EXPECT_EQ(m.shownSeconds, r.shownSeconds);
    }
}

TEST(ScreenFormatTest, PositionSpeedAndFixMode) {
    EXPECT_EQ(LatitudeText(-33.865), "S -33.8650");
    EXPECT_EQ(LatitudeText(48.1173), "N 48.1173");
    EXPECT_EQ(LatitudeText(0.0), "N 0.0000");
    EXPECT_EQ(LongitudeText(-0.5), "W -0.5000");
    EXPECT_EQ(LongitudeText(11.51667), "E 11.5167");
    EXPECT_EQ(AltitudeText(545.4), "545.40");
    EXPECT_EQ(SpeedText(10), "18.52");
    const std::pair<int, const char*> modes[] = {{0, "Unknown"}, {1, "None"},    {2, "2D Fix"},
                                                 {3, "3D Fix"},  {4, "Unknown"}, {255, "Unknown"}};
    for (auto [mode, text] : modes) {
        EXPECT_EQ(FixModeText(static_cast<uint8_t>(mode)), text) << mode;
    }
}

TEST(ScreenFormatTest, ZoneOfTheLongitude) {
    const std::pair<double, int64_t> rows[] = {
        {7.5, 0},   {15.0, 1}, {-20.0, -1},   {179.0, 11},
        {14.99, 0}, {30.0, 2}, {-180.0, -12}, {-14.99, 0},
    };
    for (auto [lon, hours] : rows) {
        EXPECT_EQ(LongitudeZoneHours(lon), hours) << lon;
    }
    // Corrupt positions give no out-of-range conversion.
    EXPECT_EQ(LongitudeZoneHours(std::numeric_limits<double>::quiet_NaN()), 0);
    EXPECT_GT(LongitudeZoneHours(1e300), 0);
    EXPECT_LT(LongitudeZoneHours(-std::numeric_limits<double>::infinity()), 1);
}

TEST(ScreenFormatTest, ShiftCarriesThroughTheCalendar) {
    struct Row {
        const char* what;
        CivilTime utc;
        int64_t hours;
        const char* date;
        const char* time;
    };
    const Row rows[] = {
        {"into the new year", {2005, 12, 31, 23, 30, 0}, 2, "2006/01/01", "01:30:00"},
        {"no zone", {2005, 12, 31, 23, 30, 0}, 0, "2005/12/31", "23:30:00"},
        {"back into the old year", {2006, 1, 1, 0, 30, 5}, -1, "2005/12/31", "23:30:05"},
        {"leap day", {2004, 2, 28, 23, 0, 0}, 1, "2004/02/29", "00:00:00"},
        {"no leap day in 2100", {2100, 2, 28, 23, 0, 0}, 1, "2100/03/01", "00:00:00"},
        {"the receiver's empty date", {2000, 0, 0, 0, 0, 0}, 0, "1999/11/30", "00:00:00"},
        {"out-of-range fields", {2005, 13, 1, 25, 61, 61}, 0, "2006/01/02", "02:02:01"},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.what);
        const CivilTime t = ShiftHours(r.utc, r.hours);
        EXPECT_EQ(DateText(t), r.date);
        EXPECT_EQ(TimeText(t), r.time);
    }
}

TEST(ScreenFormatTest, FieldsOfADecodedReceiverState) {
    CNmeaParser parser;
    const std::string input =
        NmeaSentence("GPGGA,233000,3351.900,S,03000.000,E,1,08,0.9,12.5,M,,,,") +
        NmeaSentence("GPGSA,A,3,04,05,09,12,,,,,,,,,2.5,1.3,2.1") +
        NmeaSentence("GPRMC,233000,A,3351.900,S,03000.000,E,010.0,084.4,311205,,");
    parser.Parse(input.data(), input.size());
    const ScreenTexts t = FormatScreen(parser);
    EXPECT_EQ(t.lat, "S -33.8650");
    EXPECT_EQ(t.lon, "E 30.0000");
    EXPECT_EQ(t.alt, "12.50");
    EXPECT_EQ(t.fixMode, "3D Fix");
    EXPECT_EQ(t.date, "2006/01/01");
    EXPECT_EQ(t.time, "01:30:00");
    EXPECT_EQ(t.speed, "18.52");
}
