// The simulated receiver through CSerial on its pseudo-terminal: what a program sees.
#include "NmeaChecksum.h"
#include "ReceiverSimulator.h"
#include "Serial.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

// Generous: a condition a healthy run meets in well under a second.
constexpr int kPatienceMs = 10000;

const std::string kSirfCold = "$PSRF101,-2686700,-4304200,3851624,96000,497260,921,12,4";
const std::string kSirfWarm = "$PSRF101,-2686700,-4304200,3851624,96000,497260,921,12,3";
const std::string kSirfHot = "$PSRF101,-2686700,-4304200,3851624,96000,497260,921,12,1";

// The SiRF command as the program writes it: sentence plus one NUL.
std::string Sirf(const std::string& text) {
    return NmeaSentence(std::string_view(text).substr(1)) + std::string(1, '\0');
}

SimOptions FastOptions() {
    SimOptions o;
    o.baud = 115200;
    o.rateHz = 20;
    o.seed = 11;
    o.startUtc = 1709208000; // 2024-02-29 12:00:00, far from midnight
    o.ttffCold = o.ttffWarm = {0.4, 0.5};
    o.ttffHot = {0.2, 0.3};
    o.notice = [](std::string_view) {};
    return o;
}

// Complete sentences ("$...\r\n") in arrival order; text before the first '$' is skipped.
std::vector<std::string> Sentences(const std::string& data) {
    std::vector<std::string> out;
    for (size_t pos = data.find('$'); pos != std::string::npos; pos = data.find('$', pos)) {
        size_t end = data.find("\r\n", pos);
        if (end == std::string::npos) {
            break;
        }
        out.push_back(data.substr(pos, end + 2 - pos));
        pos = end + 2;
    }
    return out;
}

bool ChecksumOk(const std::string& s) {
    size_t star = s.rfind('*');
    return star != std::string::npos && star + 5 == s.size() &&
           s.substr(star + 1, 2) == NmeaChecksumHex(NmeaChecksum(s.substr(1, star - 1)));
}

std::string Field(const std::string& s, int index) {
    size_t pos = 0;
    for (int i = 0; i < index; ++i) {
        pos = s.find(',', pos);
        if (pos == std::string::npos) {
            return "";
        }
        ++pos;
    }
    return s.substr(pos, s.find_first_of(",*", pos) - pos);
}

// Seconds of the day of an RMC sentence.
double RmcSeconds(const std::string& rmc) {
    std::string t = Field(rmc, 1);
    return std::stoi(t.substr(0, 2)) * 3600.0 + std::stoi(t.substr(2, 2)) * 60.0 +
           std::stod(t.substr(4));
}

struct Port {
    CSerial serial;
    std::string data;

    bool Open(const std::string& name, uint32_t baud) {
        return serial.Open(name) == 0 && serial.Setup(baud, 8, 0, 0) == 0;
    }
    bool Write(const std::string& bytes) {
        return serial.Write(bytes.data(), static_cast<uint32_t>(bytes.size())) == 0;
    }
    // Reads until done(data) holds; returns the read error, or -1 when patience ran out.
    int32_t ReadUntil(const std::function<bool(const std::string&)>& done) {
        auto deadline = Clock::now() + std::chrono::milliseconds(kPatienceMs);
        while (!done(data)) {
            if (Clock::now() > deadline) {
                return -1;
            }
            char buffer[511];
            uint32_t n = 0;
            if (int32_t err = serial.Read(buffer, sizeof buffer, &n)) {
                return err;
            }
            data.append(buffer, n);
            if (n == 0) {
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            }
        }
        return 0;
    }
    size_t Count(const std::string& id, const std::string& status = "") const {
        size_t n = 0;
        for (const std::string& s : Sentences(data)) {
            n += s.compare(3, 3, id) == 0 && (status.empty() || Field(s, 2) == status) ? 1 : 0;
        }
        return n;
    }
};

class SimPort : public ::testing::Test {
protected:
    TempDir m_dir;
    ScopedEnv m_ports{"ZENITHPROBE_PORTS", m_dir.Path().c_str()};
};

} // namespace

TEST_F(SimPort, SentencesArriveWithValidChecksumsAtNoMoreThanTheByteRate) {
    SimOptions o = FastOptions();
    o.baud = 19200;
    o.rateHz = 8; // 240 bytes an epoch: the line is too slow for everything
    auto started = Clock::now();
    ReceiverSimulator sim(o);
    ASSERT_TRUE(sim.Start()) << sim.Error();
    Port port;
    ASSERT_TRUE(port.Open("COM1", 19200));
    ASSERT_EQ(port.ReadUntil([](const std::string& d) { return d.size() >= 1500; }), 0);
    double elapsedS = std::chrono::duration<double>(Clock::now() - started).count();

    std::vector<std::string> sentences = Sentences(port.data);
    ASSERT_GE(sentences.size(), 10u);
    for (const std::string& s : sentences) {
        EXPECT_TRUE(ChecksumOk(s)) << s;
    }
    EXPECT_GE(port.Count("RMC"), 3u);
    // Everything read was sent since the start: never more than baud/10 bytes a second.
    EXPECT_LE(static_cast<double>(port.data.size()), 1920.0 * elapsedS + 16);
    EXPECT_GT(sim.Status().trimmedEpochs, 0u);
}

TEST_F(SimPort, ColdStartSentInBothFormsIsOneRestartAndTheFixReturnsAfterTheTtff) {
    ReceiverSimulator sim(FastOptions());
    ASSERT_TRUE(sim.Start()) << sim.Error();
    Port port;
    ASSERT_TRUE(port.Open("COM1", 115200));
    ASSERT_EQ(port.ReadUntil([&](const std::string&) { return port.Count("RMC", "A") > 0; }), 0);
    ASSERT_TRUE(port.Write("@cd\r\n"));
    ASSERT_TRUE(port.Write(Sirf(kSirfCold)));
    port.data.clear();
    // Fix lost, then back.
    auto regained = [&](const std::string&) {
        bool lost = false;
        for (const std::string& s : Sentences(port.data)) {
            lost = lost || (s.compare(3, 3, "RMC") == 0 && Field(s, 2) == "V");
            if (lost && s.compare(3, 3, "RMC") == 0 && Field(s, 2) == "A") {
                return true;
            }
        }
        return false;
    };
    ASSERT_EQ(port.ReadUntil(regained), 0);

    SimStatus status = sim.Status();
    ASSERT_EQ(status.restarts.size(), 1u);
    EXPECT_EQ(status.restarts[0].kind, RestartKind::Cold);
    EXPECT_EQ(status.ignoredCommands, 1u); // the second form of the same restart
    // Measured in the receiver's own time: from the first RMC without fix to the first with.
    double lostAt = -1;
    double fixAt = -1;
    bool sawNoFixGsa = false;
    for (const std::string& s : Sentences(port.data)) {
        sawNoFixGsa = sawNoFixGsa || (s.compare(3, 3, "GSA") == 0 && Field(s, 2) == "1");
        if (s.compare(3, 3, "RMC") == 0 && Field(s, 2) == "V" && lostAt < 0) {
            lostAt = RmcSeconds(s);
        } else if (s.compare(3, 3, "RMC") == 0 && Field(s, 2) == "A" && lostAt >= 0) {
            fixAt = RmcSeconds(s);
            break;
        }
    }
    EXPECT_TRUE(sawNoFixGsa);
    double ttff = status.restarts[0].ttffS;
    EXPECT_GE(ttff, 0.4);
    EXPECT_LE(ttff, 0.5);
    EXPECT_GE(fixAt - lostAt, ttff - 0.011); // times are sent to the hundredth
    EXPECT_LE(fixAt - lostAt, ttff + 2 / 20.0 + 0.011);
}

TEST_F(SimPort, EachCommandFormAloneRestarts) {
    struct Row {
        const char* label;
        std::string bytes;
        RestartKind kind;
        CommandForm form;
    };
    const Row rows[] = {
        {"SONY cold", "@cd\r\n", RestartKind::Cold, CommandForm::Sony},
        {"SONY warm", "@sw\r\n", RestartKind::Warm, CommandForm::Sony},
        {"SONY hot", "@sr\r\n", RestartKind::Hot, CommandForm::Sony},
        {"SiRF cold", Sirf(kSirfCold), RestartKind::Cold, CommandForm::Sirf},
        {"SiRF warm", Sirf(kSirfWarm), RestartKind::Warm, CommandForm::Sirf},
        {"SiRF hot", Sirf(kSirfHot), RestartKind::Hot, CommandForm::Sirf},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.label);
        ReceiverSimulator sim(FastOptions());
        ASSERT_TRUE(sim.Start()) << sim.Error();
        Port port;
        ASSERT_TRUE(port.Open("COM1", 115200));
        ASSERT_TRUE(port.Write(row.bytes));
        ASSERT_TRUE(
            sim.WaitFor([](const SimStatus& s) { return !s.restarts.empty(); }, kPatienceMs));
        SimStatus status = sim.Status();
        EXPECT_EQ(status.restarts[0].kind, row.kind);
        EXPECT_EQ(status.restarts[0].form, row.form);
        EXPECT_EQ(port.ReadUntil([&](const std::string&) { return port.Count("RMC", "V") > 0; }),
                  0);
    }
}

TEST_F(SimPort, CommandWithABadChecksumIsIgnored) {
    ReceiverSimulator sim(FastOptions());
    ASSERT_TRUE(sim.Start()) << sim.Error();
    Port port;
    ASSERT_TRUE(port.Open("COM1", 115200));
    std::string bad = Sirf(kSirfCold);
    bad[bad.size() - 4] = bad[bad.size() - 4] == '0' ? '1' : '0'; // last checksum digit
    // Same form twice would be two restarts; only the good one may count.
    ASSERT_TRUE(port.Write(bad + Sirf(kSirfHot)));
    ASSERT_TRUE(sim.WaitFor([](const SimStatus& s) { return !s.restarts.empty(); }, kPatienceMs));
    SimStatus status = sim.Status();
    ASSERT_EQ(status.restarts.size(), 1u);
    EXPECT_EQ(status.restarts[0].kind, RestartKind::Hot);
    EXPECT_EQ(status.bytesReceived, bad.size() * 2);
}

TEST_F(SimPort, WrongBaudRateGivesNoiseWithoutDollarAndSpoilsCommands) {
    SimOptions o = FastOptions();
    o.baud = 38400;
    ReceiverSimulator sim(o);
    ASSERT_TRUE(sim.Start()) << sim.Error();
    Port port;
    ASSERT_TRUE(port.Open("COM1", 9600));
    // From the first chunk judged at the wrong rate on, everything is noise.
    ASSERT_TRUE(sim.WaitFor([](const SimStatus& s) { return s.noiseBytes > 0; }, kPatienceMs));
    ASSERT_EQ(port.serial.Purge(), 0);
    ASSERT_EQ(port.ReadUntil([](const std::string& d) { return d.size() >= 2000; }), 0);
    EXPECT_EQ(port.data.find('$'), std::string::npos);

    ASSERT_TRUE(port.Write("@cd\r\n"));
    ASSERT_TRUE(sim.WaitFor([](const SimStatus& s) { return s.bytesReceived >= 5; }, kPatienceMs));
    EXPECT_TRUE(sim.Status().restarts.empty());

    // Back at the right rate: sentences again.
    ASSERT_EQ(port.serial.Setup(38400, 8, 0, 0), 0);
    port.data.clear();
    EXPECT_EQ(port.ReadUntil([&](const std::string&) { return port.Count("RMC", "A") > 0; }), 0);
}

TEST_F(SimPort, HangUpIsAReadFailureAndRemovesTheLink) {
    SimOptions o = FastOptions();
    o.hangupAfterS = 0.3;
    ReceiverSimulator sim(o);
    ASSERT_TRUE(sim.Start()) << sim.Error();
    fs::path link = sim.LinkPath();
    EXPECT_TRUE(fs::is_symlink(link));
    Port port;
    ASSERT_TRUE(port.Open("COM1", 115200));
    int32_t err = port.ReadUntil([](const std::string&) { return false; });
    EXPECT_NE(err, 0);
    EXPECT_NE(err, -1) << "no read failure after the hang-up";
    ASSERT_TRUE(sim.WaitFor([](const SimStatus& s) { return s.finished; }, kPatienceMs));
    EXPECT_FALSE(fs::exists(fs::symlink_status(link)));
}

TEST_F(SimPort, ReplayArrivesByteForByteAndCommandsAreOnlyLogged) {
    std::string file =
        NmeaSentence("GPRMC,120000.00,A,4807.0380,N,01131.0000,E,0.0,0.0,290224,,,A");
    for (int round = 0; round < 4; ++round) {
        for (int b = 0; b < 256; ++b) {
            file.push_back(static_cast<char>(b));
        }
    }
    for (bool loop : {false, true}) {
        SCOPED_TRACE(loop ? "loop" : "once");
        SimOptions o = FastOptions();
        o.replayFile = m_dir.Path() / "replay.bin";
        o.logCommands = m_dir.Path() / "commands.bin";
        o.loop = loop;
        WriteFileBytes(o.replayFile, file);
        ReceiverSimulator sim(o);
        ASSERT_TRUE(sim.Start()) << sim.Error();
        Port port;
        ASSERT_TRUE(port.Open("COM1", 115200));
        size_t want = loop ? file.size() * 2 + 10 : file.size();
        ASSERT_EQ(port.ReadUntil([&](const std::string& d) { return d.size() >= want; }), 0);
        EXPECT_EQ(port.data.substr(0, file.size()), file);
        if (loop) {
            EXPECT_EQ(port.data.substr(file.size(), file.size()), file);
        } else {
            ASSERT_TRUE(sim.WaitFor([](const SimStatus& s) { return s.replayDone; }, kPatienceMs));
            EXPECT_EQ(port.data.size(), file.size());
        }
        const std::string command = "@cd\r\n" + Sirf(kSirfCold);
        ASSERT_TRUE(port.Write(command));
        ASSERT_TRUE(sim.WaitFor(
            [&](const SimStatus& s) { return s.bytesReceived >= command.size(); }, kPatienceMs));
        sim.Stop();
        EXPECT_TRUE(sim.Status().restarts.empty());
        EXPECT_EQ(sim.Status().ignoredCommands, 2u);
        EXPECT_EQ(ReadFileBytes(o.logCommands), command);
    }
}

TEST_F(SimPort, ReplayLeavesOutCommentLinesUnlessRaw) {
    const std::string rmc =
        NmeaSentence("GPRMC,120000.00,A,4807.0380,N,01131.0000,E,0.0,0.0,290224,,,A");
    const std::string file = "# Name: a receiver\r\n#\n" + rmc + "#mid\r\n" + rmc + "a#b\n#";
    for (bool raw : {false, true}) {
        SCOPED_TRACE(raw ? "raw" : "comments left out");
        SimOptions o = FastOptions();
        o.replayFile = m_dir.Path() / "capture.log";
        o.replayRaw = raw;
        WriteFileBytes(o.replayFile, file);
        ReceiverSimulator sim(o);
        ASSERT_TRUE(sim.Start()) << sim.Error();
        Port port;
        ASSERT_TRUE(port.Open("COM1", 115200));
        ASSERT_TRUE(sim.WaitFor([](const SimStatus& s) { return s.replayDone; }, kPatienceMs));
        const std::string want = raw ? file : rmc + rmc + "a#b\n";
        ASSERT_EQ(port.ReadUntil([&](const std::string& d) { return d.size() >= want.size(); }), 0);
        EXPECT_EQ(port.data, want);
    }
}

TEST_F(SimPort, PauseIsSilentForItsSpanThenTalksAgain) {
    SimOptions o = FastOptions(); // 20 epochs a second
    o.pauseAtS = 0.3;
    o.pauseForS = 0.8;
    ReceiverSimulator sim(o);
    ASSERT_TRUE(sim.Start()) << sim.Error();
    Port port;
    ASSERT_TRUE(port.Open("COM1", 115200));
    // Epoch times are the receiver's clock: the pause shows as one jump between two RMCs.
    ASSERT_EQ(port.ReadUntil([&](const std::string&) {
        std::vector<double> times;
        for (const std::string& s : Sentences(port.data)) {
            if (s.compare(3, 3, "RMC") == 0) {
                times.push_back(RmcSeconds(s));
            }
        }
        for (size_t i = 1; i + 3 < times.size(); ++i) {
            if (times[i] - times[i - 1] >= 0.7) {
                return true; // and talking again: three more epochs after it
            }
        }
        return false;
    }),
              0);
    EXPECT_EQ(port.Count("RMC", "V"), 0u); // a pause is no fix loss
}

TEST_F(SimPort, NothingSentWhileThePortIsClosedArrivesLater) {
    ReceiverSimulator sim(FastOptions());
    ASSERT_TRUE(sim.Start()) << sim.Error();
    ASSERT_TRUE(sim.WaitFor([](const SimStatus& s) { return s.bytesLost > 2000; }, kPatienceMs));
    size_t read = 0;
    for (int open = 0; open < 2; ++open) {
        Port port;
        ASSERT_TRUE(port.Open("COM1", 115200));
        ASSERT_EQ(port.ReadUntil([&](const std::string&) { return port.Count("RMC") >= 2; }), 0);
        read += port.data.size();
        ASSERT_EQ(port.serial.Close(), 0);
        uint64_t lost = sim.Status().bytesLost;
        ASSERT_TRUE(sim.WaitFor([&](const SimStatus& s) { return s.bytesLost > lost + 1000; },
                                kPatienceMs));
    }
    sim.Stop();
    // Had anything sent while closed been queued, a reader would get more than was delivered.
    EXPECT_LE(read, sim.Status().bytesDelivered);
}

TEST_F(SimPort, RefusesToReplaceALinkToARealDeviceButReplacesAStaleOne) {
    fs::path link = m_dir.Path() / "COM1";
    fs::create_symlink("/dev/null", link);
    {
        ReceiverSimulator sim(FastOptions());
        EXPECT_FALSE(sim.Start());
        EXPECT_NE(sim.Error().find("refusing"), std::string::npos) << sim.Error();
    }
    EXPECT_EQ(fs::read_symlink(link), "/dev/null");
    fs::remove(link);
    fs::create_symlink(m_dir.Path() / "gone", link);
    ReceiverSimulator sim(FastOptions());
    ASSERT_TRUE(sim.Start()) << sim.Error();
    EXPECT_EQ(fs::read_symlink(link), sim.SlavePath());
}

// The real executable: its output lines, its port, and a clean exit on SIGTERM.
TEST_F(SimPort, ExecutableRunsUntilSigtermAndRemovesItsLink) {
    auto run = [](std::vector<std::string> args, int* out, pid_t* pid) {
        std::string exe = (BinDir() / "zenithprobe-sim").string();
        args.insert(args.begin(), exe);
        std::vector<char*> argv;
        for (std::string& a : args) {
            argv.push_back(a.data());
        }
        argv.push_back(nullptr);
        int fds[2];
        if (pipe2(fds, O_CLOEXEC) != 0) {
            return false;
        }
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
        posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
        int rc = posix_spawn(pid, exe.c_str(), &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        close(fds[1]);
        *out = fds[0];
        return rc == 0;
    };
    auto exitCode = [](pid_t pid) {
        int status = 0;
        waitpid(pid, &status, 0);
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    };

    int out = -1;
    pid_t pid = 0;
    ASSERT_TRUE(run({"--baud", "1234"}, &out, &pid));
    close(out);
    EXPECT_EQ(exitCode(pid), 2);

    ASSERT_TRUE(run({"--baud", "38400", "--rate-hz", "10", "--seed", "5"}, &out, &pid));
    std::string text;
    auto deadline = Clock::now() + std::chrono::milliseconds(kPatienceMs);
    while (std::count(text.begin(), text.end(), '\n') < 2 && Clock::now() < deadline) {
        pollfd p{out, POLLIN, 0};
        char buffer[256];
        ssize_t n = poll(&p, 1, 100) > 0 ? read(out, buffer, sizeof buffer) : 0;
        if (n < 0 || (n == 0 && (p.revents & POLLHUP))) {
            break;
        }
        text.append(buffer, static_cast<size_t>(std::max<ssize_t>(n, 0)));
    }
    close(out);
    fs::path link = m_dir.Path() / "COM1";
    EXPECT_EQ(text.substr(0, 11), "port: /dev/");
    EXPECT_NE(text.find("\nlink: " + link.string() + "\n"), std::string::npos) << text;
    {
        Port port;
        EXPECT_TRUE(port.Open("COM1", 38400));
        EXPECT_EQ(port.ReadUntil([&](const std::string&) { return port.Count("RMC") >= 2; }), 0);
        for (const std::string& s : Sentences(port.data)) {
            EXPECT_TRUE(ChecksumOk(s)) << s;
        }
    }
    kill(pid, SIGTERM);
    EXPECT_EQ(exitCode(pid), 0);
    EXPECT_FALSE(fs::exists(fs::symlink_status(link)));
}
