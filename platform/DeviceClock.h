#pragma once
// The device's clock and time zone: the standard-time bias, local broken-down time and setting
// the clock.
//
// Threads: any thread may call these. They read the time-zone rules (TZ, through tzset) and the
// environment; SetDeviceClock changes the machine's clock, so tests never call it without
// ZENITHPROBE_NO_CLOCK=1 (they inject a setter where one is taken).
#include <cstdint>
#include <ctime>

// Minutes to add to local standard time to get universal time (UTC+2 gives -120), as the
// handheld's time-zone bias: daylight saving plays no part.
int32_t TimeZoneBiasMinutes();

// The time value of a date and time taken as local time, daylight saving decided by the zone's
// rules. False when the fields make no time value.
bool LocalTimeValue(int year, int month, int day, int hour, int minute, int second,
                    std::time_t* value);

// Local broken-down time of a time value; false when it cannot be broken down.
bool LocalBrokenDown(std::time_t value, std::tm* local);

// Returned by SetDeviceClock when ZENITHPROBE_NO_CLOCK=1 kept it from touching the clock.
inline constexpr int kClockDisabled = -1;

// Sets the machine's clock to value (needs CAP_SYS_TIME). 0 when set, the error number when the
// system refused, kClockDisabled when ZENITHPROBE_NO_CLOCK=1 is set (the demo and the tests).
int SetDeviceClock(std::time_t value);
