#include "DeviceClock.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <time.h>

int32_t TimeZoneBiasMinutes() {
    tzset();
    // The offset of a moment in standard time: now, or half a year away when daylight saving is
    // in force now.
    constexpr std::time_t kHalfYear = 183 * 24 * 3600;
    const std::time_t now = std::time(nullptr);
    for (const std::time_t probe : {now, now - kHalfYear, now + kHalfYear}) {
        std::tm local{};
        if (localtime_r(&probe, &local) != nullptr && local.tm_isdst == 0) {
            return static_cast<int32_t>(-local.tm_gmtoff / 60);
        }
    }
    // A zone always in daylight saving: the standard offset of its rules (seconds west).
    return static_cast<int32_t>(timezone / 60);
}

bool LocalTimeValue(int year, int month, int day, int hour, int minute, int second,
                    std::time_t* value) {
    std::tm fields{};
    fields.tm_year = year - 1900;
    fields.tm_mon = month - 1;
    fields.tm_mday = day;
    fields.tm_hour = hour;
    fields.tm_min = minute;
    fields.tm_sec = second;
    fields.tm_isdst = -1; // the zone's rules decide
    // -1 is also 23:59:59 on 31 December 1969; mktime sets tm_wday only when it succeeds.
    fields.tm_wday = -1;
    const std::time_t result = std::mktime(&fields);
    if (result == static_cast<std::time_t>(-1) && fields.tm_wday == -1) {
        return false;
    }
    *value = result;
    return true;
}

bool LocalBrokenDown(std::time_t value, std::tm* local) {
    tzset();
    return localtime_r(&value, local) != nullptr;
}

int SetDeviceClock(std::time_t value) {
    const char* off = std::getenv("ZENITHPROBE_NO_CLOCK");
    if (off != nullptr && std::strcmp(off, "1") == 0) {
        return kClockDisabled;
    }
    timespec when{};
    when.tv_sec = value;
    if (clock_settime(CLOCK_REALTIME, &when) != 0) {
        return errno != 0 ? errno : EPERM;
    }
    return 0;
}
