#pragma once
// CCampaignEngine: repeated restarts of a receiver, timed from the lines' arrival times, with one
// record per run. It reads no port and keeps no clock: the owner feeds it events (each completed
// line with the parser's state after it, and a periodic tick) and carries out what it returns
// (bytes to send, finished runs). The dialog's reader thread, the headless command and the tests
// all drive this one machine, so they cannot disagree on a verdict.
//
// A run: send the kind's two restart commands -> wait for a GSA that reports no fix (the loss)
// -> the first GSA with fix mode 2 or 3 after it is the fix (precise TTFF: loss arrival to fix
// arrival) -> wait until the fix has been held for the settle time -> next run. A loss not seen
// within the loss limit makes the run "no-restart"; no fix within the time-out after the loss
// makes it "timeout". A fix lost during the settle time is counted, and the settle time starts
// again with the next fix.
//
// Only GSA lines decide (GSA carries the fix mode), as the dialog's waiting thread watches the
// GSA fix mode; the time, position and satellite count come from the epoch's GGA, which
// receivers send before the GSA.
//
// Threads: one owner at a time, no lock (the dialog's monitor guards it with its campaign lock).
#include "NmeaParser.h"
#include "ReceivePath.h"
#include "RestartCommandBytes.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// When an event happened: the monotonic tick (TickCountMs) and the UTC wall clock.
struct CampaignTime {
    uint32_t monoMs = 0;
    int64_t utcMs = 0; // ms since 1970
};

struct GeoPosition {
    double latDeg = 0;
    double lonDeg = 0;
    double altM = 0;
    bool hasAlt = false;
    double geoidM = 0; // the GGA's geoid separation: altM + geoidM is above the ellipsoid
};

struct CampaignSettings {
    std::vector<int32_t> kinds{kStartCold}; // one cycle: each kind once, in this order
    int32_t cycles = 1;                     // the runs are cycles x kinds.size()
    uint32_t criteriaS[4] = {0, 50, 35, 2}; // by kind; TIME_CRITERIA_C/_W/_H
    uint32_t timeoutS = 0;                  // fix after the loss; 0: per kind, see TimeoutFor
    uint32_t lossLimitS = 30;               // command to loss
    uint32_t settleS = 3;                   // fix held before the next run
    std::optional<GeoPosition> reference;   // empty: the mean of the settled positions
    std::string timing;                     // how the owner times arrivals, copied to records

    int32_t Runs() const { return cycles * static_cast<int32_t>(kinds.size()); }
    // The time-out of a kind: timeoutS when set, else 3 x the criterion, at least 60 s.
    uint32_t TimeoutFor(int32_t kind) const;
};

enum class RunOutcome { Passed, Failed, Timeout, NoRestart };
const char* RunOutcomeText(RunOutcome outcome); // "passed", "failed", "timeout", "no-restart"

struct RunRecord {
    int32_t run = 0; // 1-based
    int32_t kind = kStartNone;
    RunOutcome outcome = RunOutcome::NoRestart;
    int64_t commandUtcMs = 0;
    int64_t lossDelayMs = -1;           // command to loss arrival; -1 without a loss
    int64_t ttffMs = -1;                // loss arrival to fix arrival; -1 without a fix
    uint32_t ttffS = 0;                 // ttffMs truncated to seconds, judged against criterionS
    uint32_t criterionS = 0;            //
    int32_t receiverTtffS = -1;         // from the GGA times of the loss and fix epochs; -1 unknown
    int32_t satellites = -1;            // in use at the fix
    double hdop = -1;                   // at the fix
    std::optional<GeoPosition> fix;     // position of the first fix
    std::optional<GeoPosition> settled; // position when the settle time ended
    int32_t settleLosses = 0;           // fix lost again during the settle time
    std::optional<double> horizontalErrorM; // first fix against the reference
    std::optional<double> verticalErrorM;
    std::string timing;
    std::optional<double> cn0Top4DbHz; // at the fix: mean SNR of the four strongest in view
};

// The receiver state the engine reads after a line, copied from the parser (under its lock where
// another thread changes it).
struct FixSample {
    uint8_t fixMode = 1; // GSA
    double hdop = 0;     // GSA
    uint8_t quality = 0; // GGA
    uint8_t satellites = 0;
    double latDeg = 0;
    double lonDeg = 0;
    double altM = 0;
    int32_t ggaSecondOfDay = -1; // -1: no GGA time decoded yet
    double geoidM = 0;           // GGA geoid separation (0 when not sent)
    double cn0Top4DbHz = -1;     // see Cn0Top4DbHz (StaticSession.h); < 0 below four satellites
};
FixSample SampleOf(const CNmeaParser& parser);

// What the owner does after an event, in this order: send the bytes, handle the finished run.
struct CampaignStep {
    std::string send;                  // restart commands to write, byte for byte
    int32_t sendKind = kStartNone;     // the kind of those commands
    std::optional<RunRecord> finished; // a run ended
    bool done = false;                 // the campaign is over (last run ended, or stopped)
};

class CCampaignEngine {
public:
    explicit CCampaignEngine(CampaignSettings settings);

    // Starts the first run.
    CampaignStep Start(CampaignTime now);
    // A completed line and the parser after it; now.monoMs should be the line's arrival time.
    CampaignStep Line(const ReceivedLine& line, const FixSample& sample, CampaignTime now);
    // The periodic tick (at least every 500 ms) that notices limits passing without lines.
    CampaignStep Tick(CampaignTime now);
    // Ends the campaign; the run in progress is not recorded.
    CampaignStep Stop();

    bool Done() const { return m_state == State::Done; }
    int32_t CurrentRun() const { return m_run; } // 1-based; 0 before Start
    int32_t CurrentKind() const;
    const CampaignSettings& Settings() const { return m_settings; }
    const std::vector<RunRecord>& Records() const { return m_records; }

    // The position errors of every record against the reference (given, or the mean of the
    // settled positions); call when the campaign is over. False when there is no reference.
    bool FillPositionErrors(std::vector<RunRecord>* records) const;

private:
    enum class State { Idle, WaitLoss, WaitFix, Settle, Resettle, Done };

    CampaignStep BeginRun(CampaignTime now, CampaignStep step);
    CampaignStep EndRun(RunOutcome outcome, CampaignTime now);
    CampaignStep CheckLimits(CampaignTime now);

    CampaignSettings m_settings;
    State m_state = State::Idle;
    int32_t m_run = 0;
    RunRecord m_current;
    uint32_t m_commandMs = 0;
    uint32_t m_lossMs = 0;
    uint32_t m_settleFromMs = 0;
    int32_t m_lossSecondOfDay = -1;
    bool m_fixPositionPending = false;
    bool m_cn0Pending = false; // the fix epoch's GSV comes after its GSA: taken at the next GGA
    FixSample m_last;
    std::vector<RunRecord> m_records;
};

// The horizontal distance between two positions (WGS-84, through ECEF: see Geodesy.h).
double HorizontalDistanceM(const GeoPosition& a, const GeoPosition& b);
