// The NMEA log without a display: file names and exclusive creation, the time value and the
// clock, the reader's writes and flushes over a pseudo-terminal, and failing storage.
#include "NmeaLog.h"
#include "Debug.h"
#include "DeviceClock.h"
#include "NmeaChecksum.h"
#include "PtyPort.h"
#include "ReceiverMonitor.h"
#include "TestSupport.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <memory>
#include <optional>
#include <thread>
#include <time.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

// TZ for the lifetime of the object, the zone rules reloaded both ways.
class ScopedTz {
public:
    explicit ScopedTz(const char* tz) : m_env(std::make_unique<ScopedEnv>("TZ", tz)) { tzset(); }
    ~ScopedTz() {
        m_env.reset();
        tzset();
    }

private:
    std::unique_ptr<ScopedEnv> m_env;
};

RmcDateTime Rmc(int year, int month, int day, int hour, int minute, int32_t count = 1) {
    RmcDateTime rmc;
    rmc.year = year;
    rmc.month = month;
    rmc.day = day;
    rmc.hour = hour;
    rmc.minute = minute;
    rmc.status = 'A';
    rmc.rmcCount = count;
    return rmc;
}

// The time value broken down in UTC or in the zone of TZ.
std::string Show(std::time_t value, bool utc) {
    std::tm tm{};
    if (utc) {
        gmtime_r(&value, &tm);
    } else {
        localtime_r(&value, &tm);
    }
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &tm);
    return text;
}

// A log whose clock setter records instead of setting; the receivers here live in 2005.
struct RecordingLog {
    RecordingLog() {
        log.SetClockSetter([this](std::time_t value) {
            set.push_back(value);
            return answer;
        });
        log.SetEarliestClockDate({2005, 1, 1});
    }
    CNmeaLog log;
    std::vector<std::time_t> set;
    int answer = 0;
};

bool WaitUntil(const std::function<bool()>& done) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

} // namespace

TEST(NmeaLogFile, NumbersAreTakenInOrderAndNoExistingEntryIsTouched) {
    ScopedTz tz("UTC0");
    struct Case {
        const char* label;
        std::vector<std::string> existing; // files, or "link:" entries that lead nowhere
        std::vector<std::string> made;     // by consecutive switchings-on
    };
    const std::vector<Case> cases = {
        {"empty folder", {}, {"nmea_20050314_1.txt", "nmea_20050314_2.txt"}},
        {"left-over _1", {"nmea_20050314_1.txt"}, {"nmea_20050314_2.txt"}},
        {"gap after _1",
         {"nmea_20050314_1.txt", "nmea_20050314_3.txt"},
         {"nmea_20050314_2.txt", "nmea_20050314_4.txt"}},
        {"other dates do not count", {"nmea_20050313_1.txt"}, {"nmea_20050314_1.txt"}},
        // Created exclusively: a link planted under the name is neither followed nor replaced.
        {"dangling link", {"link:nmea_20050314_1.txt"}, {"nmea_20050314_2.txt"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        TempDir dir;
        for (const std::string& entry : c.existing) {
            if (entry.rfind("link:", 0) == 0) {
                fs::create_symlink(dir.Path() / "target", dir.Path() / entry.substr(5));
            } else {
                WriteFileBytes(dir.Path() / entry, "old\r\n");
            }
        }
        RecordingLog r;
        for (const std::string& name : c.made) {
            ASSERT_EQ(r.log.SwitchOn(dir.Path(), Rmc(2005, 3, 14, 12, 0)), 0);
            EXPECT_EQ(r.log.Path(), dir.Path() / name);
            r.log.WriteLine("$GPRMC\r\n");
            r.log.Close();
            EXPECT_EQ(ReadFileBytes(dir.Path() / name), "$GPRMC\r\n");
        }
        for (const std::string& entry : c.existing) {
            if (entry.rfind("link:", 0) != 0) {
                EXPECT_EQ(ReadFileBytes(dir.Path() / entry), "old\r\n") << entry;
            }
        }
        EXPECT_FALSE(fs::exists(dir.Path() / "target"));
    }
}

TEST(NmeaLogFile, MissingFolderFailsAndLeavesTheLogClosed) {
    TempDir dir;
    RecordingLog r;
    EXPECT_EQ(r.log.SwitchOn(dir.Path() / "missing", Rmc(2005, 3, 14, 12, 0)), ENOENT);
    EXPECT_FALSE(r.log.IsOpen());
    r.log.WriteLine("$GPRMC\r\n"); // nothing to write to, nothing happens
    EXPECT_TRUE(fs::is_empty(dir.Path()));
}

TEST(NmeaLogClock, TimeValueNameAndClockPerZone) {
    struct Case {
        const char* label;
        const char* tz;
        int32_t bias;
        RmcDateTime rmc;
        std::optional<std::string> clockUtc; // empty: the clock is not set
        std::string clockLocal;
        std::string name;
    };
    const std::vector<Case> cases = {
        {"UTC+2, 23:30 UTC: next day, 01:30", "XST-2", -120, Rmc(2005, 3, 14, 23, 30),
         "2005-03-14 23:30:00", "2005-03-15 01:30:00", "nmea_20050315_1.txt"},
        {"UTC-5, 02:00 UTC: the day before", "XST+5", 300, Rmc(2005, 3, 14, 2, 0),
         "2005-03-14 02:00:00", "2005-03-13 21:00:00", "nmea_20050313_1.txt"},
        // The clock is UTC, so summer time changes nothing in it; the name's date is UTC moved
        // into standard time (23:30 here, while summer time already shows the next day).
        {"UTC+2 with summer time, July", "EET-2EEST,M3.5.0/3,M10.5.0/4", -120,
         Rmc(2005, 7, 1, 12, 0), "2005-07-01 12:00:00", "2005-07-01 15:00:00",
         "nmea_20050701_1.txt"},
        {"summer time, 21:30 UTC: standard time's date", "EET-2EEST,M3.5.0/3,M10.5.0/4", -120,
         Rmc(2005, 7, 1, 21, 30), "2005-07-01 21:30:00", "2005-07-02 00:30:00",
         "nmea_20050701_1.txt"},
        {"summer time west of UTC", "XST+5XDT,M3.2.0,M11.1.0", 300, Rmc(2005, 7, 1, 4, 30),
         "2005-07-01 04:30:00", "2005-07-01 00:30:00", "nmea_20050630_1.txt"},
        // No RMC decoded: the reset date names the file but never sets the clock.
        {"no RMC yet, west of UTC", "XST+5", 300, Rmc(2000, 1, 1, 0, 0, 0), std::nullopt, "",
         "nmea_19991231_1.txt"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        ScopedTz tz(c.tz);
        EXPECT_EQ(TimeZoneBiasMinutes(), c.bias);
        TempDir dir;
        RecordingLog r;
        ASSERT_EQ(r.log.SwitchOn(dir.Path(), c.rmc), 0);
        EXPECT_EQ(r.log.Path().filename(), c.name);
        if (c.clockUtc) {
            ASSERT_EQ(r.set.size(), 1u);
            EXPECT_EQ(Show(r.set[0], true), *c.clockUtc);
            EXPECT_EQ(Show(r.set[0], false), c.clockLocal);
        } else {
            EXPECT_TRUE(r.set.empty());
        }
    }
}

TEST(NmeaLogClock, OnlyAReceiverThatKnowsTheTimeSetsTheClock) {
    ScopedTz tz("UTC0");
    const CivilDate built = BuildDate();
    ASSERT_GE(built.year, 2024);
    // 1024 weeks before the build: a receiver with the week-rollover fault.
    std::time_t rolled = 0;
    ASSERT_TRUE(LocalTimeValue(built.year, built.month, built.day, 12, 0, 0, &rolled));
    rolled -= static_cast<std::time_t>(1024) * 7 * 24 * 3600;
    std::tm r{};
    gmtime_r(&rolled, &r);
    RmcDateTime noFix = Rmc(built.year + 1, 1, 1, 12, 0);
    noFix.status = 'V';
    // The parser's last RMC from a receiver that has gone quiet.
    const auto aged = [&](uint32_t ms) {
        RmcDateTime rmc = Rmc(built.year + 1, 1, 1, 12, 0);
        rmc.ageMs = ms;
        return rmc;
    };
    struct Case {
        const char* label;
        RmcDateTime rmc;
        const char* why; // nullptr: the clock is set
    };
    const Case cases[] = {
        {"the build day, status A", Rmc(built.year, built.month, built.day, 0, 0), nullptr},
        {"a year later", Rmc(built.year + 1, 1, 1, 23, 59), nullptr},
        {"status V after a cold start", noFix, "status"},
        {"no date sent since the reset", Rmc(2000, 1, 1, 12, 0), "build date"},
        {"week rollover", Rmc(r.tm_year + 1900, r.tm_mon + 1, r.tm_mday, 12, 0), "build date"},
        {"1980 default, two digits", Rmc(2080, 1, 6, 0, 0), "1980"},
        {"30 February", Rmc(built.year + 1, 2, 30, 12, 0), "incomplete"},
        {"hour 24", Rmc(built.year + 1, 3, 1, 24, 0), "incomplete"},
        {"RMC 2 s old", aged(2000), nullptr},
        {"RMC 2.001 s old", aged(2001), "older than 2 s"},
        {"receiver gone 12 s", aged(12000), "older than 2 s"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        TempDir dir;
        DebugCapture debug;
        RecordingLog log;
        log.log.SetEarliestClockDate(built);
        ASSERT_EQ(log.log.SwitchOn(dir.Path(), c.rmc), 0); // logging goes on either way
        EXPECT_EQ(log.set.size(), c.why == nullptr ? 1u : 0u);
        if (c.why != nullptr) {
            EXPECT_NE(debug.Text().find(c.why), std::string::npos) << debug.Text();
            EXPECT_NE(debug.Text().find("clock not set!"), std::string::npos);
        }
    }
}

TEST(NmeaLogClock, ARefusedClockIsADebugLineAndLoggingGoesOn) {
    ScopedTz tz("UTC0");
    TempDir dir;
    DebugCapture debug;
    RecordingLog r;
    r.answer = EPERM;
    EXPECT_EQ(r.log.SwitchOn(dir.Path(), Rmc(2005, 3, 14, 12, 0)), 0);
    EXPECT_TRUE(r.log.IsOpen());
    EXPECT_NE(debug.Text().find("CZenithprobeDlg::OnLogCheck() Unable to set the clock"),
              std::string::npos);
}

TEST(NmeaLogClock, NoClockSwitchKeepsTheMachinesClock) {
    ScopedEnv off("ZENITHPROBE_NO_CLOCK", "1");
    // A year ago: were the switch ignored, this would move the clock (the tests run as root).
    EXPECT_EQ(SetDeviceClock(std::time(nullptr) - 365 * 24 * 3600), kClockDisabled);
    ScopedTz tz("UTC0");
    TempDir dir;
    DebugCapture debug;
    CNmeaLog log; // the real setter
    log.SetEarliestClockDate({2005, 1, 1});
    EXPECT_EQ(log.SwitchOn(dir.Path(), Rmc(2005, 3, 14, 12, 0)), 0);
    EXPECT_NE(debug.Text().find("ZENITHPROBE_NO_CLOCK, clock not set!"), std::string::npos);
}

namespace {

class LogMonitor : public CReceiverMonitor {
public:
    using CReceiverMonitor::m_bLog;
    using CReceiverMonitor::m_fileLog;
    ~LogMonitor() override { StopReaderThread(); }
    size_t Shown() const { return m_shown.load(); }

protected:
    void ShowLine(std::string) override { ++m_shown; }
    void ShowErrorMessage(const char*) override {}

private:
    std::atomic<size_t> m_shown{0};
};

class NmeaLogReader : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_pty.Ok());
        m_monitor.LoadSettings();
        m_monitor.InitSerial();
        ASSERT_TRUE(m_monitor.Serial().IsPortOpen());
        m_monitor.m_fileLog.SetClockSetter([](std::time_t) { return 0; });
    }
    void TearDown() override { StopReader(); }
    void StopReader() {
        m_quit = true;
        m_monitor.StopReaderThread();
    }
    // Runs the reader with a pause that lasts until bytes are waiting: no empty reads, so the
    // garbage count never closes the port however slowly the test feeds it.
    void StartReader() {
        m_monitor.SetReaderPause([this](uint32_t) {
            while (m_pty.Pending() == 0 && !m_quit.load()) {
                std::this_thread::sleep_for(std::chrono::microseconds(100));
            }
        });
        ASSERT_TRUE(m_monitor.StartReaderThread());
    }
    void Pass(const std::string& bytes) {
        ASSERT_TRUE(m_pty.Send(bytes));
        m_monitor.ReceiveData();
    }
    std::string Contents() { return ReadFileBytes(m_monitor.m_fileLog.Path()); }

    TempDir m_dir;
    fs::path m_ports = m_dir.Path() / "ports";
    fs::path m_home = m_dir.Path() / "home";
    bool m_made = fs::create_directories(m_ports) && fs::create_directories(m_home);
    ScopedEnv m_portsEnv{"ZENITHPROBE_PORTS", m_ports.c_str()};
    ScopedEnv m_homeEnv{"ZENITHPROBE_HOME", m_home.c_str()};
    PtyPort m_pty{m_ports / "COM1"};
    std::atomic<bool> m_quit{false};
    LogMonitor m_monitor;
};

const std::string kGga =
    NmeaSentence("GPGGA,092750.00,4807.0380,N,01131.0000,E,1,08,0.9,545.4,M,46.9,M,,");
const std::string kRmc =
    NmeaSentence("GPRMC,092750.00,A,4807.0380,N,01131.0000,E,12.3,84.4,230394,3.1,E,A");

} // namespace

TEST_F(NmeaLogReader, LogsExactlyTheLinesFedToTheParser) {
    ASSERT_EQ(m_monitor.m_fileLog.SwitchOn(m_home, Rmc(2005, 3, 14, 12, 0)), 0);
    m_monitor.m_bLog = 1;
    const std::string gga = kGga.substr(0, kGga.size() - 1); // the receiver sends a bare CR
    const std::string broken = "$GPGGA,1,2,3*00\r\n";        // wrong checksum: still logged
    const std::string bodyRmc = NmeaSentence("GPTXT,01,01,02,RMC in the body");
    // Bytes before '$', the LF after a bare CR: outside every sentence, never logged.
    Pass("xx" + gga + "\n" + broken);
    EXPECT_EQ(Contents(), "") << "nothing flushed before a line with RMC";
    Pass(bodyRmc);
    const std::string expected = gga + "\n" + broken + bodyRmc;
    EXPECT_EQ(Contents(), expected);
    Pass(kGga + kRmc);
    EXPECT_EQ(Contents(), expected + kGga + kRmc);
    Pass(kGga);
    m_monitor.m_bLog = 0;
    m_monitor.m_fileLog.Close();
    Pass(kRmc); // switched off: not logged
    EXPECT_EQ(Contents(), expected + kGga + kRmc + kGga);
}

TEST_F(NmeaLogReader, AFailingDeviceNeverEndsTheReader) {
    const int fd = open("/dev/full", O_WRONLY | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    CLogFile full;
    full.Adopt(fd);
    m_monitor.m_fileLog.Attach(std::move(full));
    m_monitor.m_bLog = 1;
    DebugCapture debug;
    StartReader();
    for (int i = 1; i <= 5; ++i) {
        ASSERT_TRUE(m_pty.Send(kGga + kRmc, false));
        ASSERT_TRUE(WaitUntil([&] { return m_monitor.Shown() >= 2u * static_cast<size_t>(i); }));
    }
    EXPECT_TRUE(m_monitor.IsReaderRunning());
    StopReader();
    // Reported once, not once per line.
    const std::string text = debug.Text();
    const std::string report = "CZenithprobeDlg::ReceiveData() Unable to write the log file";
    const size_t first = text.find(report);
    ASSERT_NE(first, std::string::npos);
    EXPECT_EQ(text.find(report, first + 1), std::string::npos);
}
