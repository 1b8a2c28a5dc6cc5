#include "NmeaLog.h"

#include "Debug.h"
#include "DeviceClock.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
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

bool LogTimeValue(const RmcDateTime& rmc, int32_t biasMinutes, std::time_t* value) {
    std::time_t local = 0;
    if (!LocalTimeValue(rmc.year, rmc.month, rmc.day, rmc.hour, rmc.minute, rmc.second, &local)) {
        return false;
    }
    *value = local - static_cast<std::time_t>(60) * biasMinutes;
    return true;
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
    if (LogTimeValue(rmc, TimeZoneBiasMinutes(), &value)) {
        // Without a decoded RMC the fields hold the reset date, 1 January 2000: the clock is
        // left alone rather than set back years. The file is still named from them.
        if (rmc.rmcCount <= 0) {
            DebugPrint("CZenithprobeDlg::OnLogCheck() No RMC decoded, clock not set!\r\n");
        } else if (const int result = m_setClock(value); result == kClockDisabled) {
            DebugPrint("CZenithprobeDlg::OnLogCheck() ZENITHPROBE_NO_CLOCK, clock not set!\r\n");
        } else if (result != 0) {
            // Needs CAP_SYS_TIME; without it logging goes on with the clock as it is.
            DebugPrint("CZenithprobeDlg::OnLogCheck() Unable to set the clock (%s)!\r\n",
                       std::strerror(result));
        }
        std::tm local{};
        if (LocalBrokenDown(value, &local)) {
            year = local.tm_year + 1900;
            month = local.tm_mon + 1;
            day = local.tm_mday;
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
