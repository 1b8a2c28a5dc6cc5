// What the reader does once the receive path has closed the port: the note that replaces the
// last sentence, and with AUTO_REOPEN the reopening. The simulated receiver runs in-process; the
// reader pauses 50 ms instead of 500 ms and the reopen periods are shortened to match.
#include "Debug.h"
#include "ReceiverMonitor.h"
#include "ReceiverSimulator.h"
#include "TestSupport.h"

#include <chrono>
#include <condition_variable>
#include <gtest/gtest.h>
#include <memory>
#include <mutex>
#include <thread>

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

constexpr uint32_t kPauseMs = 50;
constexpr uint32_t kReopenMs = 300;
constexpr uint32_t kNoiseReopenMs = 600;

// Records what the reader shows: "L" for a sentence, "N:<note>" for a port-closed note.
class EventMonitor : public CReceiverMonitor {
public:
    using CReceiverMonitor::m_nBaudRate;

    ~EventMonitor() override { StopReaderThread(); }

    std::vector<std::string> Events() const {
        std::lock_guard lock(m_mutex);
        return m_events;
    }
    // Waits until an event after index `from` satisfies pred; its index, or -1.
    int WaitFor(size_t from, bool note, int timeoutMs) {
        std::unique_lock lock(m_mutex);
        int found = -1;
        m_changed.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] {
            for (size_t i = from; i < m_events.size(); ++i) {
                if ((m_events[i][0] == 'N') == note) {
                    found = static_cast<int>(i);
                    return true;
                }
            }
            return false;
        });
        return found;
    }

protected:
    void ShowLine(std::string) override { Add("L"); }
    void ShowPortClosed(PortCloseReason, std::string note) override { Add("N:" + note); }
    void ShowErrorMessage(const char*) override {}

private:
    void Add(std::string event) {
        {
            std::lock_guard lock(m_mutex);
            m_events.push_back(std::move(event));
        }
        m_changed.notify_all();
    }
    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<std::string> m_events; // guarded by m_mutex
};

class ReconnectTest : public ::testing::Test {
protected:
    std::unique_ptr<ReceiverSimulator> Receiver(uint32_t baud, double pauseAtS = 0,
                                                double pauseForS = 0) {
        SimOptions o;
        o.portsDir = m_ports;
        o.baud = baud;
        o.rateHz = 5; // short gaps between epochs: only a real silence reaches the garbage limit
        o.seed = 1;
        o.pauseAtS = pauseAtS;
        o.pauseForS = pauseForS;
        o.notice = [](std::string_view) {};
        auto sim = std::make_unique<ReceiverSimulator>(o);
        EXPECT_TRUE(sim->Start()) << sim->Error();
        return sim;
    }
    void StartMonitor(int32_t baud, bool autoReopen) {
        m_monitor.LoadSettings();
        m_monitor.m_nBaudRate = baud;
        m_monitor.SetAutoReopen(autoReopen);
        m_monitor.InitSerial();
        m_monitor.SetReaderPause(
            [](uint32_t) { std::this_thread::sleep_for(std::chrono::milliseconds(kPauseMs)); });
        m_monitor.SetReopenPeriods(kReopenMs, kNoiseReopenMs);
        ASSERT_TRUE(m_monitor.StartReaderThread());
    }

    TempDir m_dir;
    fs::path m_ports = m_dir.Path() / "ports";
    bool m_made = fs::create_directories(m_ports);
    ScopedEnv m_portsEnv{"ZENITHPROBE_PORTS", m_ports.c_str()};
    ScopedEnv m_homeEnv{"ZENITHPROBE_HOME", m_dir.Path().c_str()};
    DebugCapture m_debug;
    EventMonitor m_monitor;
};

size_t Count(const std::string& text, const std::string& what) {
    size_t n = 0;
    for (size_t pos = text.find(what); pos != std::string::npos; pos = text.find(what, pos + 1)) {
        ++n;
    }
    return n;
}

} // namespace

TEST(PortClosedNote, SaysWhyAndSince) {
    const CivilTime t{2026, 12, 7, 12, 7, 44};
    const std::string dash = "\u2014";
    EXPECT_EQ(PortClosedText("COM1", 4800, PortCloseReason::Silence, t, false),
              "No data from COM1 since 12:07:44 " + dash + " port closed (Setup to reopen)");
    EXPECT_EQ(PortClosedText("/dev/ttyUSB0", 4800, PortCloseReason::Silence, std::nullopt, true),
              "No data from /dev/ttyUSB0 " + dash + " port closed, reconnecting");
    EXPECT_EQ(PortClosedText("COM1", 4800, PortCloseReason::Noise, t, false),
              "Noise from COM1 at 4800 baud " + dash + " wrong baud rate? (Setup \u2192 Auto)");
}

TEST_F(ReconnectTest, TheNoteSaysWhyThePortWasClosed) {
    struct Case {
        const char* label;
        double pauseForS; // the receiver goes quiet after 0.5 s for this long; 0: never
        bool unplug;      // the receiver goes away after its first sentence
        uint32_t simBaud;
        const char* note;
    } cases[] = {
        {"unplugged: read failures", 0, true, 115200, "N:No data from COM1 since "},
        {"silent", 30, false, 115200, "N:No data from COM1 since "},
        {"wrong rate: noise", 0, false, 9600, "N:Noise from COM1 at 4800 baud"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        EventMonitor monitor;
        auto sim = Receiver(c.simBaud, c.pauseForS > 0 ? 0.5 : 0, c.pauseForS);
        monitor.LoadSettings();
        monitor.m_nBaudRate = c.simBaud == 9600 ? 4800 : 115200;
        monitor.InitSerial();
        monitor.SetReaderPause(
            [](uint32_t) { std::this_thread::sleep_for(std::chrono::milliseconds(kPauseMs)); });
        ASSERT_TRUE(monitor.StartReaderThread());
        if (c.unplug) {
            ASSERT_GE(monitor.WaitFor(0, false, 5000), 0);
            sim->Stop();
        }
        const int note = monitor.WaitFor(0, true, 5000);
        ASSERT_GE(note, 0);
        EXPECT_EQ(monitor.Events()[static_cast<size_t>(note)].rfind(c.note, 0), 0u)
            << monitor.Events()[static_cast<size_t>(note)];
        EXPECT_FALSE(monitor.Serial().IsPortOpen());
        monitor.StopReaderThread();
    }
    EXPECT_NE(m_debug.Text().find("No data from COM1 since "), std::string::npos);
}

TEST_F(ReconnectTest, ReplugsAreReadAgainWithin3s) {
    auto sim = Receiver(115200);
    StartMonitor(115200, true);
    for (int cycle = 0; cycle < 3; ++cycle) {
        SCOPED_TRACE(cycle);
        const size_t from = m_monitor.Events().size();
        ASSERT_GE(m_monitor.WaitFor(from, false, 5000), 0);
        sim->Stop(); // unplugged: the link goes, reads fail
        ASSERT_GE(m_monitor.WaitFor(from, true, 5000), 0);
        const size_t closed = m_monitor.Events().size();
        sim = Receiver(115200); // plugged back in under the same name
        const auto replug = Clock::now();
        // The note is replaced by the next sentence.
        ASSERT_GE(m_monitor.WaitFor(closed, false, 3000), 0);
        EXPECT_LT(Clock::now() - replug, std::chrono::seconds(3));
    }
}

// The receiver unplugged 1 s, at the program's own pass and reopen periods.
TEST_F(ReconnectTest, AShortUnplugIsReadAgainWithin3s) {
    auto sim = Receiver(115200);
    m_monitor.LoadSettings();
    m_monitor.m_nBaudRate = 115200;
    m_monitor.SetAutoReopen(true);
    m_monitor.InitSerial();
    ASSERT_TRUE(m_monitor.StartReaderThread());
    ASSERT_GE(m_monitor.WaitFor(0, false, 5000), 0);
    sim->Stop();
    std::this_thread::sleep_for(std::chrono::seconds(1));
    const size_t gone = m_monitor.Events().size();
    sim = Receiver(115200);
    const auto replug = Clock::now();
    // The close's note comes first, then sentences again.
    const int note = m_monitor.WaitFor(gone > 0 ? gone - 1 : 0, true, 3000);
    ASSERT_GE(note, 0);
    ASSERT_GE(m_monitor.WaitFor(static_cast<size_t>(note) + 1, false, 3000), 0);
    EXPECT_LT(Clock::now() - replug, std::chrono::seconds(3));
}

TEST_F(ReconnectTest, AReadThatSaysTheDeviceIsGoneClosesAtOnceOnlyWithAutoReopen) {
    struct Case {
        const char* label;
        bool autoReopen;
        size_t minFailed, maxFailed; // failed reads before the close
    } cases[] = {
        {"AUTO_REOPEN=1: the first failed read closes", true, 1, 1},
        // Part of a line left over when the receiver went counts toward the limit too.
        {"AUTO_REOPEN=0: the garbage limit closes, 10 a failed read", false, 5, 11},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        EventMonitor monitor;
        auto sim = Receiver(115200);
        monitor.LoadSettings();
        monitor.m_nBaudRate = 115200;
        monitor.SetAutoReopen(c.autoReopen);
        monitor.InitSerial();
        monitor.SetReaderPause(
            [](uint32_t) { std::this_thread::sleep_for(std::chrono::milliseconds(kPauseMs)); });
        ASSERT_TRUE(monitor.StartReaderThread());
        ASSERT_GE(monitor.WaitFor(0, false, 5000), 0);
        const size_t before = Count(m_debug.Text(), "Unable to read the data");
        sim->Stop();
        ASSERT_GE(monitor.WaitFor(0, true, 5000), 0);
        const size_t failed = Count(m_debug.Text(), "Unable to read the data") - before;
        EXPECT_GE(failed, c.minFailed);
        EXPECT_LE(failed, c.maxFailed);
        monitor.StopReaderThread();
    }
}

TEST_F(ReconnectTest, APauseIsSurvivedOnlyWithAutoReopen) {
    struct Case {
        const char* label;
        bool autoReopen;
        bool setupOwnsPort; // the setup dialog is open: it alone may reopen
        bool reopened;
    } cases[] = {
        {"AUTO_REOPEN=1", true, false, true},
        {"AUTO_REOPEN=0", false, false, false},
        {"AUTO_REOPEN=1, setup dialog open", true, true, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        EventMonitor monitor;
        auto sim = Receiver(115200, 0.5, 2.0);
        monitor.LoadSettings();
        monitor.m_nBaudRate = 115200;
        monitor.SetAutoReopen(c.autoReopen);
        monitor.SetSetupOwnsPort(c.setupOwnsPort);
        monitor.InitSerial();
        monitor.SetReaderPause(
            [](uint32_t) { std::this_thread::sleep_for(std::chrono::milliseconds(kPauseMs)); });
        monitor.SetReopenPeriods(kReopenMs, kNoiseReopenMs);
        ASSERT_TRUE(monitor.StartReaderThread());
        const int note = monitor.WaitFor(0, true, 5000);
        ASSERT_GE(note, 0);
        // The receiver talks again 2 s after it went quiet.
        const int line = monitor.WaitFor(static_cast<size_t>(note) + 1, false, 3000);
        EXPECT_EQ(line >= 0, c.reopened);
        EXPECT_EQ(monitor.Serial().IsPortOpen(), c.reopened);
        monitor.StopReaderThread();
    }
}

TEST_F(ReconnectTest, AWrongRateIsRetriedAtTheNoisePeriodOnly) {
    auto sim = Receiver(9600);
    StartMonitor(4800, true);
    ASSERT_GE(m_monitor.WaitFor(0, true, 5000), 0);
    const auto start = Clock::now();
    std::this_thread::sleep_for(std::chrono::milliseconds(3 * kNoiseReopenMs + 300));
    m_monitor.StopReaderThread();
    const auto elapsedMs =
        std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
    const size_t reopens = Count(m_debug.Text(), "Reopened COM1 at 4800 baud");
    EXPECT_GE(reopens, 2u);
    EXPECT_LE(reopens, static_cast<size_t>(elapsedMs / kNoiseReopenMs + 1));
    for (const std::string& event : m_monitor.Events()) {
        if (event[0] == 'N') {
            EXPECT_EQ(event.rfind("N:Noise from COM1 at 4800 baud", 0), 0u) << event;
        }
    }
}
