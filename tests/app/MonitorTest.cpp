// The display-free receive path: settings, opening the port, the reader thread, line building,
// garbage counting and the port shared between threads. Serial data come from a bare
// pseudo-terminal so that each test controls exactly which bytes one read sees.
#include "Debug.h"
#include "FrameTestUtil.h"
#include "IniFile.h"
#include "NmeaChecksum.h"
#include "PtyPort.h"
#include "ReceiverMonitor.h"
#include "TestSupport.h"

#include <atomic>
#include <cctype>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <grp.h>
#include <gtest/gtest.h>
#include <mutex>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

class TestMonitor : public CReceiverMonitor {
public:
    using CReceiverMonitor::m_nBaudRate;
    using CReceiverMonitor::m_nCriteriaCold;
    using CReceiverMonitor::m_nCriteriaHot;
    using CReceiverMonitor::m_nCriteriaWarm;
    using CReceiverMonitor::m_nTestMode;
    using CReceiverMonitor::m_receive;
    using CReceiverMonitor::m_strAppDir;
    using CReceiverMonitor::m_strComPort;
    using CReceiverMonitor::m_strStartAct;

    ~TestMonitor() override { StopReaderThread(); }

    std::vector<std::string> Lines() const {
        std::lock_guard lock(m_mutex);
        return m_lines;
    }
    bool WaitForLines(size_t count) {
        std::unique_lock lock(m_mutex);
        return m_changed.wait_for(lock, std::chrono::seconds(10),
                                  [&] { return m_lines.size() >= count; });
    }
    CNmeaParser Parser() {
        std::lock_guard lock(g_csParser);
        return m_parser;
    }

    std::vector<std::string> messages; // InitSerial's thread
    std::function<void()> onLine;      // reader thread, after each line; set before it starts

protected:
    void ShowLine(std::string text) override {
        {
            std::lock_guard lock(m_mutex);
            m_lines.push_back(std::move(text));
        }
        if (onLine) {
            onLine();
        }
        m_changed.notify_all();
    }
    void ShowErrorMessage(const char* text) override { messages.emplace_back(text); }

private:
    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<std::string> m_lines; // guarded by m_mutex
};

// The byte counts of the reads, from the reader's "[%d]" debug lines.
std::vector<int> Reads(const std::string& debug) {
    std::vector<int> reads;
    for (size_t pos = debug.find('['); pos != std::string::npos; pos = debug.find('[', pos + 1)) {
        size_t end = pos + 1;
        while (end < debug.size() && std::isdigit(static_cast<unsigned char>(debug[end]))) {
            ++end;
        }
        if (end > pos + 1 && debug.compare(end, 3, "]\r\n") == 0) {
            reads.push_back(std::stoi(debug.substr(pos + 1, end - pos - 1)));
        }
    }
    return reads;
}

// A sentence of exactly `length` bytes, CR LF included.
std::string SentenceOfLength(size_t length) {
    const size_t fixed = NmeaSentence("GPTXT,01,01,02,").size();
    return NmeaSentence("GPTXT,01,01,02," + std::string(length - fixed, 'A'));
}

fs::path Made(const fs::path& dir) {
    fs::create_directories(dir);
    return dir;
}

const std::string kGga =
    NmeaSentence("GPGGA,092750.00,4807.0380,N,01131.0000,E,1,08,0.9,545.4,M,46.9,M,,");
const std::string kRmc =
    NmeaSentence("GPRMC,092750.00,A,4807.0380,N,01131.0000,E,12.3,84.4,230394,3.1,E,A");

class MonitorTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_pty.Ok());
        m_monitor.LoadSettings();
        m_monitor.InitSerial();
        ASSERT_TRUE(m_monitor.Serial().IsPortOpen());
        ASSERT_TRUE(m_monitor.messages.empty());
    }

    // Puts bytes on the line and runs one pass of the receive path.
    void Pass(const std::string& bytes) {
        if (!bytes.empty()) {
            ASSERT_TRUE(m_pty.Send(bytes));
        }
        m_monitor.ReceiveData();
    }

    TempDir m_dir;
    fs::path m_ports = Made(m_dir.Path() / "ports");
    fs::path m_home = Made(m_dir.Path() / "home");
    ScopedEnv m_portsEnv{"ZENITHPROBE_PORTS", m_ports.c_str()};
    ScopedEnv m_homeEnv{"ZENITHPROBE_HOME", m_home.c_str()};
    PtyPort m_pty{m_ports / "COM1"};
    TestMonitor m_monitor;
    DebugCapture m_debug;
};

} // namespace

TEST(MonitorSettings, DefaultsWithoutConfigurationFile) {
    TempDir home;
    ScopedEnv env("ZENITHPROBE_HOME", home.Path().c_str());
    TestMonitor m;
    m.LoadSettings();
    EXPECT_EQ(m.m_strAppDir.string(), home.Path().string() + "/");
    EXPECT_EQ(m.m_strComPort, "COM1");
    EXPECT_EQ(m.m_nBaudRate, 4800);
    EXPECT_EQ(m.m_strStartAct, "");
    EXPECT_EQ(m.m_nCriteriaCold, 50);
    EXPECT_EQ(m.m_nCriteriaWarm, 35);
    EXPECT_EQ(m.m_nCriteriaHot, 2);
    EXPECT_EQ(m.m_nTestMode, 0);
}

TEST(MonitorSettings, ReadsEveryKeyFromAFolderWithALongPath) {
    // Longer than the handheld's 100 characters: a cut path would lose the configuration.
    TempDir dir;
    const fs::path home = dir.Path() / std::string(60, 'h') / std::string(60, 'i');
    fs::create_directories(home);
    ASSERT_GT(home.string().size(), 120u);
    const fs::path ini = home / "Zenithprobe.ini";
    WriteFileBytes(ini, "[Zenithprobe]\r\nCOM_PORT=COM7\r\nBAUD_RATE=38400\r\nSTART_ACT=cold\r\n"
                        "TIME_CRITERIA_C=61\r\nTIME_CRITERIA_W=41\r\nTIME_CRITERIA_H=3\r\n"
                        "TEST_MODE=1\r\n");
    ScopedEnv env("ZENITHPROBE_HOME", home.c_str());
    TestMonitor m;
    m.LoadSettings();
    EXPECT_EQ(m.m_strAppDir.string(), home.string() + "/");
    EXPECT_EQ(m.m_strComPort, "COM7");
    EXPECT_EQ(m.m_nBaudRate, 38400);
    EXPECT_EQ(m.m_strStartAct, "cold");
    EXPECT_EQ(m.m_nCriteriaCold, 61);
    EXPECT_EQ(m.m_nCriteriaWarm, 41);
    EXPECT_EQ(m.m_nCriteriaHot, 3);
    EXPECT_EQ(m.m_nTestMode, 1);
}

TEST(MonitorInitSerial, MessagesForMissingAndUnusablePorts) {
    struct Case {
        const char* label;
        bool portExists;
        const char* baud;
        std::vector<std::string> messages;
        bool open;
    } cases[] = {
        {"missing port: one message, port closed",
         false,
         "4800",
         {"Unable to open COM-port\nNo such device"},
         false},
        {"rate the line refuses: port stays open", true, "0", {"Unable to setup COM-port"}, true},
        {"a negative rate is refused like 0", true, "-5", {"Unable to setup COM-port"}, true},
        {"good port and rate: silent", true, "9600", {}, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        TempDir dir;
        const fs::path ports = dir.Path() / "ports";
        fs::create_directories(ports);
        ScopedEnv portsEnv("ZENITHPROBE_PORTS", ports.c_str());
        ScopedEnv homeEnv("ZENITHPROBE_HOME", dir.Path().c_str());
        IniWriteString("Zenithprobe", "BAUD_RATE", c.baud, dir.Path() / "Zenithprobe.ini");
        std::unique_ptr<PtyPort> pty;
        if (c.portExists) {
            pty = std::make_unique<PtyPort>(ports / "COM1");
        }
        TestMonitor m;
        m.LoadSettings();
        m.InitSerial();
        EXPECT_EQ(m.messages, c.messages);
        EXPECT_EQ(m.Serial().IsPortOpen(), c.open);
    }
}

TEST(MonitorInitSerial, SecondLineSaysWhyThePortWouldNotOpen) {
    TempDir dir;
    const fs::path ports = dir.Path() / "ports";
    fs::create_directories(ports);
    ScopedEnv portsEnv("ZENITHPROBE_PORTS", ports.c_str());
    ScopedEnv homeEnv("ZENITHPROBE_HOME", dir.Path().c_str());
    PtyPort pty(ports / "COM1");
    ASSERT_TRUE(pty.Ok());
    const std::string device = fs::read_symlink(ports / "COM1").string();
    {
        CSerial other; // another program has the port
        ASSERT_EQ(other.Open(device), 0);
        TestMonitor m;
        m.LoadSettings();
        m.InitSerial();
        EXPECT_EQ(m.messages,
                  std::vector<std::string>{"Unable to open COM-port\nDevice busy \u2014 "
                                           "another program has it open"});
        other.Close();
    }
    // A device node the user may not open. Root may open anything, so the child drops to nobody.
    ASSERT_EQ(chmod(device.c_str(), 0), 0);
    const pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        if (geteuid() == 0 &&
            (setgroups(0, nullptr) != 0 || setgid(65534) != 0 || setuid(65534) != 0)) {
            _exit(3);
        }
        TestMonitor m;
        m.m_strComPort = device;
        m.InitSerial();
        const std::vector<std::string> expected{
            "Unable to open COM-port\nPermission denied \u2014 add your user to the dialout group"};
        for (const std::string& text : m.messages) {
            std::fprintf(stderr, "message: %s\n", text.c_str());
        }
        _exit(m.messages == expected && !m.Serial().IsPortOpen() ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
}

TEST_F(MonitorTest, CutsTheStreamIntoLines) {
    const std::string tail = "0.9,545.4,M,46.9,M,,*47\r\n"; // a sentence cut off when we opened
    std::string noUtf8 = NmeaSentence("GPTXT,01,01,02,ANTENNA \xB0OK");
    struct Case {
        const char* label;
        std::vector<std::string> reads;
        std::vector<std::string> shown;
    } cases[] = {
        {"bytes before the first '$' are skipped", {tail + kGga}, {kGga}},
        {"a sentence split over two reads is one line",
         {kGga.substr(0, 30), kGga.substr(30)},
         {kGga}},
        {"two sentences in one read, in order", {kRmc + kGga}, {kRmc, kGga}},
        {"a broken checksum is still shown", {"$GPGGA,1*00\r\n"}, {"$GPGGA,1*00\r\n"}},
        {"a '$' inside a line does not restart it", {"$GP$GGA\r\n"}, {"$GP$GGA\r\n"}},
        {"bytes that are not UTF-8 keep the line",
         {noUtf8},
         {"$GPTXT,01,01,02,ANTENNA \xEF\xBF\xBDOK*" + noUtf8.substr(noUtf8.size() - 4)}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        const size_t before = m_monitor.Lines().size();
        for (const std::string& bytes : c.reads) {
            Pass(bytes);
        }
        const auto lines = m_monitor.Lines();
        ASSERT_EQ(lines.size() - before, c.shown.size());
        EXPECT_EQ(std::vector<std::string>(lines.begin() + static_cast<long>(before), lines.end()),
                  c.shown);
        EXPECT_TRUE(m_monitor.Serial().IsPortOpen());
    }
}

TEST_F(MonitorTest, FeedsEveryLineToTheParser) {
    const std::string noUtf8 = NmeaSentence("GPTXT,01,01,02,ANTENNA \xB0OK");
    Pass(kRmc + kGga.substr(0, 20));
    Pass(kGga.substr(20) + noUtf8);
    const CNmeaParser parser = m_monitor.Parser();
    EXPECT_EQ(parser.m_nRMCCount, 1);
    EXPECT_EQ(parser.m_nGGACount, 1);
    // The sentence with a byte that is not UTF-8 was framed too.
    EXPECT_EQ(parser.m_nSentenceCount, 3);
    EXPECT_EQ(m_debug.Text().find("[Syntax Error]"), std::string::npos);
}

TEST_F(MonitorTest, RejectedSentenceIsReportedAndStillShown) {
    const std::string gsv = NmeaSentence("GPGSV,0,1,00");
    Pass(gsv);
    EXPECT_EQ(m_monitor.Lines(), std::vector<std::string>{gsv});
    EXPECT_NE(m_debug.Text().find("[Syntax Error] " + gsv), std::string::npos);
}

TEST_F(MonitorTest, TenEmptyReadsAfterALineCloseThePort) {
    Pass(kGga); // its LF arrives outside a line: garbage 1
    for (int i = 1; i <= 9; ++i) {
        Pass("");
        ASSERT_TRUE(m_monitor.Serial().IsPortOpen()) << "after empty read " << i;
        EXPECT_EQ(m_monitor.GarbageCount(), 1 + 10 * i);
    }
    Pass("");
    EXPECT_FALSE(m_monitor.Serial().IsPortOpen());
    EXPECT_EQ(m_monitor.GarbageCount(), 0);
    // With the port closed a pass reads nothing at all.
    const size_t reads = Reads(m_debug.Text()).size();
    Pass("");
    EXPECT_EQ(Reads(m_debug.Text()).size(), reads);
}

TEST_F(MonitorTest, FullReadOfNoiseClosesThePortAtOnce) {
    Pass(std::string(600, 'x'));
    EXPECT_EQ(Reads(m_debug.Text()), std::vector<int>{511});
    EXPECT_FALSE(m_monitor.Serial().IsPortOpen());
    EXPECT_TRUE(m_monitor.Lines().empty());
}

namespace {
// A monitor on COM1 of its own ports folder, frames recognised or not; reopening at once when
// autoReopen (the reopen periods set to 0).
struct OwnPort {
    OwnPort(bool recognise, bool autoReopen) {
        m.LoadSettings();
        m.SetAutoReopen(autoReopen);
        m.SetReopenPeriods(0, 0);
        m.InitSerial();
        m.m_receive.SetFrameRecognition(recognise);
    }
    TempDir dir;
    fs::path ports = Made(dir.Path() / "ports");
    ScopedEnv portsEnv{"ZENITHPROBE_PORTS", ports.c_str()};
    ScopedEnv homeEnv{"ZENITHPROBE_HOME", dir.Path().c_str()};
    PtyPort pty{ports / "COM1"};
    TestMonitor m;
};
} // namespace

// A u-blox receiver's NAV-SAT (20 satellites: 264 bytes) after its GGA, cut by the end of a
// pass: with frame recognition the port stays open, without it the frame's bytes are garbage
// past the limit.
TEST(MonitorFrames, LongFramesCutByAPassCloseThePortOnlyWithoutRecognition) {
    const std::string epoch = kGga + frametest::NavSat(20) + kRmc;
    for (const bool recognise : {true, false}) {
        SCOPED_TRACE(recognise ? "recognition on" : "off");
        OwnPort own(recognise, false);
        PtyPort& pty = own.pty;
        TestMonitor& m = own.m;
        int epochs = 0;
        for (; epochs < 60 && m.Serial().IsPortOpen(); ++epochs) {
            for (const std::string& read :
                 {epoch.substr(0, kGga.size() + 150), epoch.substr(kGga.size() + 150)}) {
                ASSERT_TRUE(pty.Send(read));
                m.ReceiveData();
            }
        }
        EXPECT_EQ(m.Serial().IsPortOpen(), recognise);
        EXPECT_EQ(epochs, recognise ? 60 : 1);
        EXPECT_EQ(m.m_receive.FrameCount(FrameProtocol::Ubx), recognise ? 60u : 0u);
        EXPECT_EQ(m.Lines().size(), recognise ? 120u : 1u);
    }
}

// The port opened while a NAV-SAT was on its way: the first read holds only the frame's end.
// With recognition that read waits for the next pass (a sentence: the port stays; more noise:
// closed then); without it the design's rule closes at once.
TEST(MonitorFrames, AFrameCutByTheOpenIsNotNoise) {
    const std::string tail = frametest::NavSat(20).substr(100); // 164 bytes, no sync
    struct Row {
        const char* label;
        bool recognise;
        std::vector<std::string> passes;
        std::vector<bool> openAfter; // after each pass
    };
    const Row rows[] = {
        {"recognised: the sentences after it are read", true, {tail, kGga + kRmc}, {true, true}},
        {"without recognition: noise", false, {tail, kGga + kRmc}, {false, false}},
        {"recognised, but noise follows: closed a pass later",
         true,
         {tail, std::string(300, '\x81')},
         {true, false}},
        {"a second cut after a close and reopen gets the same grace",
         true,
         {kGga, std::string(300, '\x81'), tail, kGga},
         {true, false, true, true}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.label);
        OwnPort own(row.recognise, true);
        PtyPort& pty = own.pty;
        TestMonitor& m = own.m;
        for (size_t i = 0; i < row.passes.size(); ++i) {
            if (!m.Serial().IsPortOpen()) {
                m.ReceiveData(); // the reopen
                ASSERT_TRUE(m.Serial().IsPortOpen());
            }
            ASSERT_TRUE(pty.Send(row.passes[i]));
            m.ReceiveData();
            EXPECT_EQ(m.Serial().IsPortOpen(), row.openAfter[i]) << "pass " << i + 1;
            if (!row.openAfter[i] && i + 1 < row.passes.size() && !row.openAfter[i + 1]) {
                break; // closed for good in this row
            }
        }
    }
}

TEST_F(MonitorTest, FullReadsAreFollowedAtOnceByAnother) {
    // 511 bytes ending right after a CR, then more.
    const std::string endsAfterCr = SentenceOfLength(300) + SentenceOfLength(212) + kGga;
    ASSERT_EQ(endsAfterCr[510], '\r');
    // 511 bytes ending inside a sentence: reading again only after a read that ended a line would
    // wait 500 ms here and fall behind any receiver that sends more than a read per pass.
    const std::string endsInside = SentenceOfLength(300) + SentenceOfLength(300);
    // More than two full reads in one pass.
    std::string stream;
    size_t sentences = 0;
    while (stream.size() < 1200) {
        stream += kRmc + kGga;
        sentences += 2;
    }
    ASSERT_LT(stream.size(), 3u * 511u);
    struct Case {
        const char* label;
        std::string bytes;
        std::vector<int> reads;
        size_t lines;
    } cases[] = {
        {"ends after a CR", endsAfterCr, {511, static_cast<int>(endsAfterCr.size() - 511)}, 3},
        {"ends inside a sentence", endsInside, {511, 89}, 2},
        {"several full reads",
         stream,
         {511, 511, static_cast<int>(stream.size() - 1022)},
         sentences},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        m_debug.Clear();
        const size_t before = m_monitor.Lines().size();
        Pass(c.bytes);
        EXPECT_EQ(Reads(m_debug.Text()), c.reads);
        EXPECT_EQ(m_monitor.Lines().size() - before, c.lines);
        EXPECT_TRUE(m_monitor.Serial().IsPortOpen());
        EXPECT_EQ(m_pty.Pending(), 0u);
    }
}

TEST_F(MonitorTest, ReaderThreadShowsLinesAndClosesASilentPort) {
    std::mutex mutex;
    std::vector<uint32_t> pauses; // guarded by mutex
    // No real waiting: each pause is a millisecond, but the reader still asks for 500 ms.
    m_monitor.SetReaderPause([&](uint32_t ms) {
        {
            std::lock_guard lock(mutex);
            pauses.push_back(ms);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    });
    ASSERT_TRUE(m_monitor.StartReaderThread());
    EXPECT_TRUE(m_monitor.IsReaderRunning());
    ASSERT_TRUE(m_pty.Send(kRmc + kGga, false));
    ASSERT_TRUE(m_monitor.WaitForLines(2));
    EXPECT_EQ(m_monitor.Lines(), (std::vector<std::string>{kRmc, kGga}));

    // Silence after the line: ten empty reads later the port is closed.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (m_monitor.Serial().IsPortOpen() && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    ASSERT_FALSE(m_monitor.Serial().IsPortOpen());
    // The closed port is left alone, while the thread keeps its 500 ms turns.
    size_t pausesAtClose = 0;
    {
        std::lock_guard lock(mutex);
        pausesAtClose = pauses.size();
    }
    const std::string debugAtClose = m_debug.Text();
    for (;;) {
        {
            std::lock_guard lock(mutex);
            if (pauses.size() >= pausesAtClose + 5) {
                break;
            }
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    m_monitor.StopReaderThread();
    EXPECT_FALSE(m_monitor.IsReaderRunning());
    EXPECT_EQ(Reads(m_debug.Text()), Reads(debugAtClose));
    const std::vector<int> reads = Reads(debugAtClose);
    ASSERT_GE(reads.size(), 10u);
    EXPECT_EQ(std::vector<int>(reads.end() - 10, reads.end()), std::vector<int>(10, 0));
    std::lock_guard lock(mutex);
    for (uint32_t ms : pauses) {
        EXPECT_EQ(ms, CReceiverMonitor::kReaderPeriodMs);
    }
}

TEST_F(MonitorTest, StoppingWakesTheReaderFromItsPause) {
    // The real 500 ms pause: Stop must not have to wait it out, and may be called twice.
    ASSERT_TRUE(m_monitor.StartReaderThread());
    EXPECT_FALSE(m_monitor.StartReaderThread());
    ASSERT_TRUE(m_pty.Send(kGga, false));
    ASSERT_TRUE(m_monitor.WaitForLines(1));
    m_monitor.StopReaderThread();
    m_monitor.StopReaderThread();
    EXPECT_FALSE(m_monitor.IsReaderRunning());
}

TEST_F(MonitorTest, AStopRequestEndsTheDrainingAfterTheCurrentRead) {
    // Six full reads wait on the line. A stop that arrives while the first one is handled must end
    // the pass after that read: a receiver that floods the port would otherwise hold up the stop
    // for as long as the flood lasts.
    std::string stream;
    while (stream.size() < 6 * 511) {
        stream += kRmc + kGga;
    }
    ASSERT_TRUE(m_pty.Send(stream));
    // The first line holds the reader until the stop has been asked for.
    std::atomic<bool> atFirstLine{false};
    m_monitor.onLine = [&] {
        if (!atFirstLine.exchange(true)) {
            while (!m_monitor.StopRequested()) {
                std::this_thread::yield();
            }
        }
    };
    m_debug.Clear();
    ASSERT_TRUE(m_monitor.StartReaderThread());
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!atFirstLine.load() && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    ASSERT_TRUE(atFirstLine.load());
    m_monitor.StopReaderThread();
    EXPECT_EQ(Reads(m_debug.Text()), std::vector<int>{511});
}

TEST_F(MonitorTest, PortOperationsOfTwoThreadsNeverOverlap) {
    // A write that cannot finish until the line is drained holds the port: a close from another
    // thread waits for it instead of pulling the descriptor away under it.
    const std::string big(1 << 20, 'w');
    int32_t writeResult = -1;
    std::thread writer([&] {
        writeResult = m_monitor.Serial().Write(big.data(), static_cast<uint32_t>(big.size()));
    });
    // The write has begun once bytes reach the master; it stays blocked while nobody drains.
    char buffer[4096];
    ssize_t got = 0;
    while ((got = read(m_pty.Master(), buffer, sizeof buffer)) <= 0) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    size_t drained = static_cast<size_t>(got);
    std::atomic<bool> closed{false};
    std::thread closer([&] {
        m_monitor.Serial().Close();
        closed = true;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_FALSE(closed.load()) << "the port was closed during a write";
    while (drained < big.size()) {
        got = read(m_pty.Master(), buffer, sizeof buffer);
        if (got > 0) {
            drained += static_cast<size_t>(got);
        }
    }
    writer.join();
    closer.join();
    EXPECT_EQ(writeResult, 0);
    EXPECT_TRUE(closed.load());
    EXPECT_FALSE(m_monitor.Serial().IsPortOpen());
}
