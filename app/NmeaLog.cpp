#include "NmeaLog.h"

#include "Debug.h"
#include "DeviceClock.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <time.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace fs = std::filesystem;

std::string LogFileName(int year, int month, int day, int sequence) {
    char name[64];
    std::snprintf(name, sizeof name, "nmea_%4d%02d%02d_%d.txt", year, month, day, sequence);
    return name;
}

int CreateLogFile(const fs::path& folder, int year, int month, int day, CLogFile* file,
                  fs::path* path) {
    std::vector<CLogFile> files;
    std::vector<fs::path> paths;
    int sequence = 0;
    const int error = CreateNumberedFiles(
        folder, [&](int n) { return std::vector<std::string>{LogFileName(year, month, day, n)}; },
        &files, &paths, &sequence);
    if (error == 0) {
        *file = std::move(files[0]);
        *path = paths[0];
    }
    return error;
}

bool ReceiverUtcValue(const RmcDateTime& rmc, std::time_t* value) {
    std::tm fields{};
    fields.tm_year = rmc.year - 1900;
    fields.tm_mon = rmc.month - 1;
    fields.tm_mday = rmc.day;
    fields.tm_hour = rmc.hour;
    fields.tm_min = rmc.minute;
    fields.tm_sec = rmc.second;
    // -1 is also 23:59:59 on 31 December 1969; timegm sets tm_wday only when it succeeds.
    fields.tm_wday = -1;
    const std::time_t result = timegm(&fields);
    if (result == static_cast<std::time_t>(-1) && fields.tm_wday == -1) {
        return false;
    }
    *value = result;
    return true;
}

bool LogNameDate(std::time_t utc, int32_t biasMinutes, CivilDate* date) {
    const std::time_t standard = utc - static_cast<std::time_t>(60) * biasMinutes;
    std::tm tm{};
    if (gmtime_r(&standard, &tm) == nullptr) {
        return false;
    }
    *date = {tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday};
    return true;
}

CivilDate BuildDate() {
    // YYYYMMDD from the build system (string(TIMESTAMP), which follows SOURCE_DATE_EPOCH).
    constexpr long kDate = ZP_BUILD_DATE;
    return {static_cast<int>(kDate / 10000), static_cast<int>(kDate / 100 % 100),
            static_cast<int>(kDate % 100)};
}

const char* ClockRefusal(const RmcDateTime& rmc, const CivilDate& earliest) {
    if (rmc.rmcCount <= 0) {
        // The fields hold the reset date, 1 January 2000.
        return "No RMC decoded";
    }
    if (rmc.ageMs > kClockRmcMaxAgeMs) {
        // Unplugged or silent: the parser still holds the last RMC, which is that much behind.
        return "Last RMC older than 2 s";
    }
    if (rmc.status != 'A') {
        // Right after a cold start receivers send status V with an empty or a default date.
        return "Receiver has no fix (RMC status not A)";
    }
    static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (rmc.year % 4 == 0 && rmc.year % 100 != 0) || rmc.year % 400 == 0;
    const bool dateOk = rmc.month >= 1 && rmc.month <= 12 && rmc.day >= 1 &&
                        rmc.day <= kDays[rmc.month - 1] + (rmc.month == 2 && leap ? 1 : 0);
    if (!dateOk || rmc.hour < 0 || rmc.hour > 23 || rmc.minute < 0 || rmc.minute > 59 ||
        rmc.second < 0 || rmc.second > 59) {
        return "RMC date or time incomplete";
    }
    const auto key = [](int year, int month, int day) {
        return (static_cast<int64_t>(year) * 100 + month) * 100 + day;
    };
    if (key(rmc.year, rmc.month, rmc.day) < key(earliest.year, earliest.month, earliest.day)) {
        // Also the GPS week-rollover fault: dates 1024 weeks (19.7 years) in the past.
        return "RMC date before the program's build date";
    }
    // The parser stores two-digit years as 20yy: 2080-2099 are the 1980s and 1990s of receivers
    // that start from the GPS epoch (6 January 1980) or from their firmware's date.
    if (rmc.year >= 2080) {
        return "RMC date from 1980-1999";
    }
    return nullptr;
}

CNmeaLog::CNmeaLog() : m_setClock(SetDeviceClock) {}

void CNmeaLog::SetClockSetter(ClockSetter setter) {
    m_setClock = std::move(setter);
}

int CNmeaLog::SwitchOn(const fs::path& folder, const RmcDateTime& rmc) {
    // The name falls back to the receiver's own date when no time value can be made of it.
    int year = rmc.year;
    int month = rmc.month;
    int day = rmc.day;
    std::time_t value = 0;
    if (ReceiverUtcValue(rmc, &value)) {
        // A receiver that does not know the time would set the clock back years (as root).
        // The file is still named from its date.
        if (const char* refusal = ClockRefusal(rmc, m_earliestClock)) {
            DebugPrint("CZenithprobeDlg::OnLogCheck() %s, clock not set!\r\n", refusal);
        } else if (const int result = m_setClock(value); result == kClockDisabled) {
            DebugPrint("CZenithprobeDlg::OnLogCheck() ZENITHPROBE_NO_CLOCK, clock not set!\r\n");
        } else if (result != 0) {
            // Needs CAP_SYS_TIME; without it logging goes on with the clock as it is.
            DebugPrint("CZenithprobeDlg::OnLogCheck() Unable to set the clock (%s)!\r\n",
                       std::strerror(result));
        }
        if (CivilDate date; LogNameDate(value, TimeZoneBiasMinutes(), &date)) {
            year = date.year;
            month = date.month;
            day = date.day;
        }
    }
    Close();
    CLogFile file;
    fs::path path;
    const int error = CreateLogFile(folder, year, month, day, &file, &path);
    if (error != 0) {
        DebugPrint("CZenithprobeDlg::OnLogCheck() Unable to create file (%s)!\r\n",
                   std::strerror(error));
        return error;
    }
    std::lock_guard lock(m_mutex);
    m_file = std::move(file);
    m_path = std::move(path);
    m_bFailing = false;
    return 0;
}

void CNmeaLog::Close() {
    std::lock_guard lock(m_mutex);
    if (m_file.IsOpen()) {
        if (const int error = m_file.Close(); error != 0) {
            DebugPrint("CZenithprobeDlg::OnLogCheck() Log file closed, last lines lost (%s)!\r\n",
                       std::strerror(error));
        }
    }
}

void CNmeaLog::WriteLine(std::string_view line) {
    std::lock_guard lock(m_mutex);
    if (!m_file.IsOpen()) {
        return; // switched off (or never created) between the reader's look at m_bLog and now
    }
    int error = m_file.Write(line.data(), line.size());
    const bool flush = error == 0 && line.find("RMC") != std::string_view::npos;
    if (flush) {
        error = m_file.Flush();
    }
    // A failing store never ends the reader. Lines already in the file stay there; the lines
    // after the failure wait in the buffer (up to CLogFile::kPendingLimit) and reach the file
    // when a later flush succeeds; beyond that they are dropped whole. Reported once per run of
    // failures.
    if (error != 0) {
        if (!m_bFailing) {
            DebugPrint("CZenithprobeDlg::ReceiveData() Unable to write the log file (%s)!\r\n",
                       std::strerror(error));
        }
        m_bFailing = true;
    } else if (flush) {
        m_bFailing = false; // everything kept has reached the file
    }
}

void CNmeaLog::Attach(CLogFile file) {
    std::lock_guard lock(m_mutex);
    m_file = std::move(file);
    m_path.clear();
    m_bFailing = false;
}

bool CNmeaLog::IsOpen() {
    std::lock_guard lock(m_mutex);
    return m_file.IsOpen();
}

fs::path CNmeaLog::Path() {
    std::lock_guard lock(m_mutex);
    return m_path;
}
