#include "ScreenFormat.h"

#include <cmath>
#include <cstdio>

namespace {

std::string Format(const char* format, double value) {
    char text[64];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

// Howard Hinnant's days-from-civil: days since 1970-01-01 of a proleptic Gregorian date.
int64_t DaysFromCivil(int64_t y, int64_t m, int64_t d) {
    y -= m <= 2 ? 1 : 0;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const int64_t yoe = y - era * 400;
    const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

CivilTime CivilFromDays(int64_t z) {
    z += 719468;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const int64_t doe = z - era * 146097;
    const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const int64_t mp = (5 * doy + 2) / 153;
    CivilTime t;
    t.day = doy - (153 * mp + 2) / 5 + 1;
    t.month = mp < 10 ? mp + 3 : mp - 9;
    t.year = yoe + era * 400 + (t.month <= 2 ? 1 : 0);
    return t;
}

int64_t FloorDiv(int64_t a, int64_t b) {
    return a / b - ((a % b != 0 && (a < 0) != (b < 0)) ? 1 : 0);
}

int ToInt(int64_t v) {
    return static_cast<int>(v); // shown values stay far inside int (years are 16-bit)
}

} // namespace

int64_t LongitudeZoneHours(double longitudeDeg) {
    // A corrupt position must not turn into an out-of-range conversion.
    constexpr double kBound = 1e9;
    const double hours = longitudeDeg * (1.0 / 15.0);
    if (!std::isfinite(hours)) {
        return 0;
    }
    if (hours > kBound) {
        return static_cast<int64_t>(kBound);
    }
    if (hours < -kBound) {
        return -static_cast<int64_t>(kBound);
    }
    return static_cast<int64_t>(hours); // truncates toward zero
}

CivilTime ShiftHours(const CivilTime& t, int64_t hours) {
    // Months first (days depend on them), then everything else as seconds from a day count.
    const int64_t month0 = t.month - 1;
    const int64_t year = t.year + FloorDiv(month0, 12);
    const int64_t month = month0 - FloorDiv(month0, 12) * 12 + 1;
    const int64_t days = DaysFromCivil(year, month, 1) + t.day - 1;
    const int64_t seconds = t.hour * 3600 + t.minute * 60 + t.second + hours * 3600;
    const int64_t totalDays = days + FloorDiv(seconds, 86400);
    const int64_t rest = seconds - FloorDiv(seconds, 86400) * 86400;
    CivilTime out = CivilFromDays(totalDays);
    out.hour = rest / 3600;
    out.minute = rest / 60 % 60;
    out.second = rest % 60;
    return out;
}

std::string LatitudeText(double latitude) {
    return Format(latitude < 0 ? "S %.4f" : "N %.4f", latitude);
}

std::string LongitudeText(double longitude) {
    return Format(longitude < 0 ? "W %.4f" : "E %.4f", longitude);
}

std::string AltitudeText(double altitude) {
    return Format("%.2f", altitude);
}

std::string FixModeText(uint8_t fixMode) {
    switch (fixMode) {
    case 1:
        return "None";
    case 2:
        return "2D Fix";
    case 3:
        return "3D Fix";
    default:
        return "Unknown";
    }
}

std::string DateText(const CivilTime& t) {
    char text[64];
    std::snprintf(text, sizeof text, "%d/%02d/%02d", ToInt(t.year), ToInt(t.month), ToInt(t.day));
    return text;
}

std::string TimeText(const CivilTime& t) {
    char text[64];
    std::snprintf(text, sizeof text, "%02d:%02d:%02d", ToInt(t.hour), ToInt(t.minute),
                  ToInt(t.second));
    return text;
}

std::string SpeedText(double knots) {
    return Format("%.2f", knots * 1.852);
}

ScreenTexts FormatScreen(const CNmeaParser& state) {
    CivilTime utc;
    utc.year = state.m_wRMCYear;
    utc.month = state.m_btRMCMonth;
    utc.day = state.m_btRMCDay;
    utc.hour = state.m_btRMCHour;
    utc.minute = state.m_btRMCMinute;
    utc.second = state.m_btRMCSecond;
    const CivilTime shown = ShiftHours(utc, LongitudeZoneHours(state.m_dGGALongitude));
    ScreenTexts texts;
    texts.lat = LatitudeText(state.m_dGGALatitude);
    texts.lon = LongitudeText(state.m_dGGALongitude);
    texts.alt = AltitudeText(state.m_dGGAAltitude);
    texts.fixMode = FixModeText(state.m_btGSAFixMode);
    texts.date = DateText(shown);
    texts.time = TimeText(shown);
    texts.speed = SpeedText(state.m_dRMCSpeed);
    return texts;
}

std::string PortClosedText(const std::string& port, int32_t baud, PortCloseReason reason,
                           const std::optional<CivilTime>& lastLine, bool reconnecting) {
    if (reason == PortCloseReason::Noise) {
        return "Noise from " + port + " at " + std::to_string(baud) +
               " baud \u2014 wrong baud rate? (Setup \u2192 Auto" +
               (reconnecting ? "; retrying)" : ")");
    }
    std::string text = "No data from " + port;
    if (lastLine.has_value()) {
        text += " since " + TimeText(*lastLine);
    }
    return text + (reconnecting ? " \u2014 port closed, reconnecting"
                                : " \u2014 port closed (Setup to reopen)");
}
