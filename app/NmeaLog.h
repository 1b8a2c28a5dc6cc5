#pragma once
// The NMEA log: the raw sentence stream recorded to "nmea_YYYYMMDD_n.txt" in the program's
// folder, one new file per switching-on, and the device clock set from the receiver on the way.
//
// CNmeaLog is the log the main dialog owns (CLogFile, its file object, is in platform/LogFile.h):
// - The user-interface thread calls SwitchOn, Close and SetClockSetter.
// - The reader thread calls WriteLine for each line fed to the parser while logging is on.
// - m_mutex (the log lock) guards m_file and m_bFailing: every write, flush and close happens
//   under it, so nothing reaches a file that is being closed or is closed (its descriptor number
//   may already belong to another file). It is held only for one line's write and flush, or for
//   a close, never across the reader's pause or a window call, and never together with
//   g_csParser or the port lock.
#include "LogFile.h"

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <filesystem>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>

// "nmea_%4d%02d%02d_%d.txt"
std::string LogFileName(int year, int month, int day, int sequence);

// Creates the next free log file of that date in folder (the name alone when folder is empty):
// numbers from 1 up, moving on while a name is taken, also when another program takes it
// between two attempts. 0 or the error number; *path is the file made.
int CreateLogFile(const std::filesystem::path& folder, int year, int month, int day, CLogFile* file,
                  std::filesystem::path* path);

// The receiver's date and time as the log takes them (RMC fields of the parser).
struct RmcDateTime {
    int year = 2000;
    int month = 1;
    int day = 1;
    int hour = 0;
    int minute = 0;
    int second = 0;
    char status = 'V';    // of the last RMC: 'A' when the receiver had a fix
    int32_t rmcCount = 0; // RMC sentences decoded since the last reset
    uint32_t ageMs = 0;   // since the last RMC arrived
};

// An RMC older than this is a receiver that has gone quiet: its time is history, not the time.
inline constexpr uint32_t kClockRmcMaxAgeMs = 2000;

struct CivilDate {
    int year = 0;
    int month = 0;
    int day = 0;
};

// The day this program was built (UTC; SOURCE_DATE_EPOCH when set). A receiver that knows the
// time never reports an earlier date: earlier ones are defaults and week-rollover faults.
CivilDate BuildDate();

// Why the device clock must not be set from rmc (a short text for the debug line), or nullptr
// when it may: only a recent RMC (kClockRmcMaxAgeMs) with status A and a real date and time, not
// before `earliest`.
const char* ClockRefusal(const RmcDateTime& rmc, const CivilDate& earliest);

// The receiver's universal time as a time value: the device clock is UTC, so this is what it is
// set to whatever the zone and its daylight saving. False when the fields make no value.
bool ReceiverUtcValue(const RmcDateTime& rmc, std::time_t* value);

// The log file's date: the receiver's universal time moved into the device's standard time zone
// (biasMinutes as TimeZoneBiasMinutes gives it; daylight saving plays no part).
bool LogNameDate(std::time_t utc, int32_t biasMinutes, CivilDate* date);

class CNmeaLog {
public:
    // Sets the device clock: 0, an error number, or kClockDisabled (DeviceClock.h).
    using ClockSetter = std::function<int(std::time_t)>;

    CNmeaLog();
    ~CNmeaLog() = default; // the file closes with m_file
    CNmeaLog(const CNmeaLog&) = delete;
    CNmeaLog& operator=(const CNmeaLog&) = delete;

    // Switching on (user-interface thread): the clock set to the receiver's UTC when
    // ClockRefusal has no objection, and a new file in folder named by LogNameDate (whether or
    // not the clock was set). Closes a file that is still open first. 0 or the error
    // number of the creation.
    int SwitchOn(const std::filesystem::path& folder, const RmcDateTime& rmc);
    // Switching off and the close at exit (user-interface thread): flush and close. No write
    // reaches the file once this has returned. Does nothing when no file is open.
    void Close();
    // Reader thread: writes one line as received (CR LF included) and flushes when it contains
    // "RMC". Nothing happens while no file is open.
    void WriteLine(std::string_view line);

    // Makes file the log in place of one still open (tests: a device that fails writes).
    void Attach(CLogFile file);

    bool IsOpen();
    std::filesystem::path Path(); // of the file last made

    // Replaces the clock setter (tests). Call on the user-interface thread.
    void SetClockSetter(ClockSetter setter);
    // Replaces the earliest date the clock is set to, BuildDate() by default (tests whose
    // receivers live in the past). Call on the user-interface thread.
    void SetEarliestClockDate(const CivilDate& date) { m_earliestClock = date; }

private:
    ClockSetter m_setClock;                  // user-interface thread
    CivilDate m_earliestClock = BuildDate(); // user-interface thread

    std::mutex m_mutex;           // the log lock
    CLogFile m_file;              // guarded by m_mutex
    std::filesystem::path m_path; // guarded by m_mutex
    bool m_bFailing = false;      // guarded by m_mutex; a write failure was reported and not ended
};
