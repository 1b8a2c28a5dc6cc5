#pragma once
// The texts of the main screen's fields, formatted from a copy of the receiver state, without a
// display.
//
// Threads: pure functions on the caller's values; any thread may call them. The caller copies
// the parser under g_csParser first.
#include "NmeaParser.h"

#include <cstdint>
#include <optional>
#include <string>

// A calendar date and time; fields may be out of range (they carry like a calendar would).
struct CivilTime {
    int64_t year = 2000;
    int64_t month = 1;
    int64_t day = 1;
    int64_t hour = 0;
    int64_t minute = 0;
    int64_t second = 0;
};

// The time zone of a longitude in whole hours: longitude × (the double nearest 1/15), truncated
// toward zero. Values that are not numbers count as 0; huge ones are bounded.
int64_t LongitudeZoneHours(double longitudeDeg);
// t moved by hours, carried through days, months and years (any field out of range is carried
// too, so a broken date from the receiver still gives a real one).
CivilTime ShiftHours(const CivilTime& t, int64_t hours);

std::string LatitudeText(double latitude);   // "N %.4f" / "S %.4f", the value's own sign
std::string LongitudeText(double longitude); // "E %.4f" / "W %.4f"
std::string AltitudeText(double altitude);   // "%.2f"
std::string FixModeText(uint8_t fixMode);    // "None", "2D Fix", "3D Fix", "Unknown"
std::string DateText(const CivilTime& t);    // "%d/%02d/%02d"
std::string TimeText(const CivilTime& t);    // "%02d:%02d:%02d"
std::string SpeedText(double knots);         // km/h, "%.2f"

// All the refreshed fields of one copy of the receiver state.
struct ScreenTexts {
    std::string lat, lon, alt, fixMode, date, time, speed;
};
ScreenTexts FormatScreen(const CNmeaParser& state);

// Why the receive path closed the port: nothing usable arrived (silence, or reads that failed, as
// when the device was unplugged), or bytes arrived that never made a sentence (noise, as at the
// wrong baud rate).
enum class PortCloseReason { Silence, Noise };

// The note shown in place of the last sentence once the receive path has closed the port, so that
// a stale fix is not taken for a current one. lastLine: local time of the last sentence, none when
// nothing was read since the port opened. reconnecting: the reader will reopen the port itself.
std::string PortClosedText(const std::string& port, int32_t baud, PortCloseReason reason,
                           const std::optional<CivilTime>& lastLine, bool reconnecting);
