#pragma once
// The TTFF judgement of the main dialog, without a display (the restart commands themselves are
// in nmea/RestartCommandBytes.h).
//
// The judgement works on the two values the dialog keeps for a measurement (done flag and
// result) and on whole seconds since the restart; the dialog applies the outcome to its window.
// Seconds and criteria are compared unsigned.
//
// Threads: pure functions on the caller's values; any thread may call them.
#include "RestartCommandBytes.h"

#include <cstdint>
#include <string>

// Test result of a measurement.
inline constexpr int32_t kResultPending = -1;
inline constexpr int32_t kResultFailed = 0;
inline constexpr int32_t kResultPassed = 1;

// The START_ACT value as a kind: "Cold", "Warm", "Hot" in any case, exactly; else kStartNone.
int32_t StartKindFromAction(const std::string& action);

// The configured limit of kind in seconds; 0 for any other kind.
uint32_t TimeCriterion(int32_t kind, int32_t cold, int32_t warm, int32_t hot);

// Whole seconds from startTick to nowTick (ms ticks that wrap at 2^32).
uint32_t TtffSeconds(uint32_t nowTick, uint32_t startTick);

struct TtffState {
    int32_t done = 1;                // 1 = no measurement running
    int32_t result = kResultPending; // kResultPending, kResultFailed, kResultPassed
};

struct TtffOutcome {
    bool showIndicator = false; // a result was just set: show the indicator (in test mode)
    bool writeSeconds = false;  // the shown seconds must become the final ones
};

// Timer 100's tick at s seconds: fails a running measurement once s exceeds the criterion.
TtffOutcome TtffTick(TtffState* state, uint32_t s, uint32_t criterion);
// The fix that ends a measurement, noticed at s seconds. Within the criterion it passes. Past
// it, a result still pending (no tick has judged those seconds yet) fails here, and the shown
// seconds are replaced by s, so a late fix never looks unjudged. A pass keeps the last tick's
// seconds on screen.
TtffOutcome TtffStop(TtffState* state, uint32_t s, uint32_t criterion);
