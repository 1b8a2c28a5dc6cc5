#include "Serial.h"
#include "Debug.h"
#include "Fatal.h"
#include "TestSupport.h"
#include "TtyRate.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <poll.h>
#include <string>
#include <sys/file.h>
#include <sys/wait.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {
// A guard against a hung test, never a timing assertion.
constexpr auto kGiveUp = 20s;

// A pseudo-terminal pair: the test holds the master, CSerial opens the slave as COM3. The
// master's own line discipline starts raw; tcsetattr on it would change the slave's settings.
class Pty {
public:
    Pty() {
        m_master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        char name[128] = {};
        if (m_master < 0 || grantpt(m_master) != 0 || unlockpt(m_master) != 0 ||
            ptsname_r(m_master, name, sizeof name) != 0) {
            ADD_FAILURE() << "no pseudo-terminal: " << std::strerror(errno);
        }
        m_slave = name;
    }
    ~Pty() { CloseMaster(); }
    Pty(const Pty&) = delete;
    Pty& operator=(const Pty&) = delete;

    int Master() const { return m_master; }
    const std::string& SlavePath() const { return m_slave; }
    void CloseMaster() {
        if (m_master >= 0) {
            close(m_master);
            m_master = -1;
        }
    }
    void Send(const std::string& bytes) const {
        ASSERT_EQ(write(m_master, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    }
    // Reads exactly n bytes from the master (or fewer if it gives up).
    std::string Receive(size_t n) const {
        std::string got;
        auto end = std::chrono::steady_clock::now() + kGiveUp;
        while (got.size() < n && std::chrono::steady_clock::now() < end) {
            pollfd p{m_master, POLLIN, 0};
            if (poll(&p, 1, 100) > 0 && (p.revents & POLLIN) != 0) {
                char buf[512];
                ssize_t k = read(m_master, buf, std::min(sizeof buf, n - got.size()));
                if (k > 0) {
                    got.append(buf, static_cast<size_t>(k));
                }
            }
        }
        return got;
    }
    termios SlaveSettings() const {
        termios tio{};
        EXPECT_EQ(tcgetattr(m_master, &tio), 0);
        return tio;
    }

private:
    int m_master = -1;
    std::string m_slave;
};

// Reads through CSerial until n bytes are in (or it gives up).
std::string ReadSome(CSerial& serial, size_t n) {
    std::string got;
    auto end = std::chrono::steady_clock::now() + kGiveUp;
    while (got.size() < n && std::chrono::steady_clock::now() < end) {
        char buf[511];
        uint32_t k = 0;
        if (serial.Read(buf, sizeof buf, &k) != 0) {
            break;
        }
        got.append(buf, k);
        if (k == 0) {
            std::this_thread::sleep_for(1ms);
        }
    }
    return got;
}

std::string AllByteValues() {
    std::string bytes = "$GPGGA,1*00\r\n";
    bytes.push_back('\0');
    for (int i = 0; i < 256; ++i) {
        bytes.push_back(static_cast<char>(i));
    }
    return bytes;
}

class SerialTest : public ::testing::Test {
protected:
    void SetUp() override { fs::create_symlink(m_pty.SlavePath(), m_ports.Path() / "COM3"); }

    TempDir m_ports;
    ScopedEnv m_env{"ZENITHPROBE_PORTS", m_ports.Path().c_str()};
    Pty m_pty;
};

TEST_F(SerialTest, ClosedPortRefusesEveryOperation) {
    CSerial serial;
    char buf[8];
    uint32_t count = 77;
    struct Case {
        const char* label;
        std::function<int64_t()> call;
        int64_t result;
    } cases[] = {
        {"Setup", [&] { return serial.Setup(9600, 8, 0, 0); }, 6},
        {"SetEventChar", [&] { return serial.SetEventChar('\n'); }, 6},
        {"SetMask", [&] { return serial.SetMask(1); }, 6},
        {"WaitEvent", [&] { return serial.WaitEvent(); }, 6},
        {"SetupHandshaking", [&] { return serial.SetupHandshaking(1); }, 6},
        {"SetupReadTimeouts", [&] { return serial.SetupReadTimeouts(0); }, 6},
        {"GetBaudrate", [&] { return serial.GetBaudrate(); }, -1},
        {"GetDataBits", [&] { return serial.GetDataBits(); }, -1},
        {"GetParity", [&] { return serial.GetParity(); }, -1},
        {"GetStopBits", [&] { return serial.GetStopBits(); }, -1},
        {"GetHandshaking", [&] { return serial.GetHandshaking(); }, -1},
        {"GetEventMask", [&] { return serial.GetEventMask(); }, 0},
        {"GetEventChar", [&] { return serial.GetEventChar(); }, 0},
        {"Write", [&] { return serial.Write("x", &count); }, 6},
        {"Read", [&] { return serial.Read(buf, sizeof buf, &count); }, 6},
        {"Purge", [&] { return serial.Purge(); }, 6},
    };
    for (const auto& c : cases) {
        DebugCapture capture;
        EXPECT_EQ(c.call(), c.result) << c.label;
        EXPECT_EQ(serial.GetLastError(), 6) << c.label;
        EXPECT_EQ(capture.Text(), std::string("CSerial::") + c.label + " - Device is not opened\n");
    }
    EXPECT_EQ(count, 0u) << "a count is never left unset";
    EXPECT_FALSE(serial.IsPortOpen());
}

TEST_F(SerialTest, OpenCloseAndDestructorLines) {
    DebugCapture capture;
    {
        CSerial serial;
        ASSERT_EQ(serial.Open("COM3:"), 0);
        EXPECT_TRUE(serial.IsPortOpen());
        EXPECT_EQ(serial.Close(), 0);
        EXPECT_EQ(serial.Close(), 0);
        EXPECT_FALSE(serial.IsPortOpen());
        EXPECT_EQ(capture.Text(), "CSerial::Close OK\n"
                                  "CSerial::Close - Method called when device is not open\n");
        capture.Clear();
        ASSERT_EQ(serial.Open("com3"), 0) << "reopens after Close";
    }
    EXPECT_EQ(capture.Text(), "CSerial::~CSerial - Serial port not closed\nCSerial::Close OK\n");
    CSerial again;
    EXPECT_EQ(again.Open("COM3:"), 0) << "the destructor released the port";
}

TEST_F(SerialTest, SecondOpenOfSameObjectKeepsThePortUsable) {
    CSerial serial;
    ASSERT_EQ(serial.Open("COM3:"), 0);
    DebugCapture capture;
    EXPECT_EQ(serial.Open("COM3:"), 1247);
    EXPECT_EQ(capture.Text(), "CSerial::Open - Port already opened\n");
    EXPECT_TRUE(serial.IsPortOpen());
    EXPECT_EQ(serial.Write("$PSRF101\r\n"), 0);
    EXPECT_EQ(m_pty.Receive(10), "$PSRF101\r\n");
}

TEST_F(SerialTest, DevicesThatCannotBeOpened) {
    fs::create_symlink(m_ports.Path() / "nowhere", m_ports.Path() / "COM4");
    WriteFileBytes(m_ports.Path() / "COM5", "not a terminal");
    struct Case {
        const char* label;
        const char* name;
        int32_t result;
    } cases[] = {
        {"no entry, no fallback", "COM7:", ENOENT},
        {"entry leads nowhere", "COM4:", ENOENT},
        {"not a terminal", "COM5:", ENOTTY},
    };
    for (const auto& c : cases) {
        DebugCapture capture;
        CSerial serial;
        EXPECT_EQ(serial.Open(c.name), c.result) << c.label;
        EXPECT_FALSE(serial.IsPortOpen()) << c.label;
        EXPECT_EQ(capture.Text(), "CSerial::Open - Unable to open port\n") << c.label;
    }
}

TEST_F(SerialTest, SecondOpenerIsRefused) {
    CSerial first;
    ASSERT_EQ(first.Open("COM3:"), 0);

    CSerial second;
    {
        DebugCapture capture;
        EXPECT_EQ(second.Open("COM3:"), EBUSY);
        EXPECT_EQ(capture.Text(), "CSerial::Open - Unable to open port\n");
    }
    EXPECT_FALSE(second.IsPortOpen());

    // Another process: we run as root here, which passes TIOCEXCL; the lock must still refuse.
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        CSerial other;
        _exit(other.Open("COM3:") == EBUSY && !other.IsPortOpen() ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);

    // Other serial tools take the same advisory lock.
    int fd = open(m_pty.SlavePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd >= 0) { // root gets past TIOCEXCL
        EXPECT_NE(flock(fd, LOCK_EX | LOCK_NB), 0);
        close(fd);
    }

    first.Close();
    fd = open(m_pty.SlavePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(flock(fd, LOCK_EX | LOCK_NB), 0);
    EXPECT_EQ(second.Open("COM3:"), EBUSY) << "a lock held by another tool refuses us";
    close(fd);
    EXPECT_EQ(second.Open("COM3:"), 0);
}

TEST_F(SerialTest, OpenMakesARawLineWithTheDesignedMask) {
    CSerial serial;
    ASSERT_EQ(serial.Open("COM3:"), 0);
    termios tio = m_pty.SlaveSettings();
    EXPECT_EQ(tio.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
    EXPECT_EQ(tio.c_cflag & (PARENB | CSTOPB | CRTSCTS), 0u);
    EXPECT_NE(tio.c_cflag & CLOCAL, 0u);
    EXPECT_EQ(tio.c_lflag & (ICANON | ECHO | ISIG), 0u);
    EXPECT_EQ(tio.c_oflag & OPOST, 0u);
    EXPECT_EQ(tio.c_iflag & (ICRNL | IXON | INPCK | ISTRIP), 0u);
    EXPECT_EQ(tio.c_cc[VMIN], 0);
    EXPECT_EQ(tio.c_cc[VTIME], 0);

    EXPECT_EQ(serial.GetEventMask(), 0x00C1u);
    EXPECT_EQ(serial.SetEventChar('\n', false), 0);
    EXPECT_EQ(serial.GetEventMask(), 0x00C1u);
    EXPECT_EQ(serial.SetEventChar('\r', true), 0);
    EXPECT_EQ(serial.GetEventMask(), 0x00C3u);
    EXPECT_EQ(serial.GetEventChar(), '\r');
}

TEST_F(SerialTest, LineSettingsReadBackAndReachTheFarEnd) {
    CSerial serial;
    ASSERT_EQ(serial.Open("COM3:"), 0);
    struct Case {
        const char* label;
        uint32_t baud;
        int32_t dataBits, parity, stopBits;
        int32_t readStopBits;
        tcflag_t parityFlags;
    } cases[] = {
        {"program's line", 4800, 8, 0, 0, 0, 0},
        {"even parity switches the check on", 9600, 8, 2, 0, 0, 0},
        {"and none switches it off", 9600, 8, 0, 0, 0, 0},
        {"odd, two stop bits", 19200, 7, 1, 2, 2, PARODD},
        {"mark, 1.5 stop bits become 2", 38400, 6, 3, 1, 2, PARODD | CMSPAR},
        {"space", 115200, 5, 4, 0, 0, CMSPAR},
        {"arbitrary rate", 250000, 8, 0, 0, 0, 0},
        {"back to a standard rate", 4800, 8, 0, 0, 0, 0},
    };
    for (const auto& c : cases) {
        ASSERT_EQ(serial.Setup(c.baud, c.dataBits, c.parity, c.stopBits), 0) << c.label;
        EXPECT_EQ(serial.GetBaudrate(), static_cast<int32_t>(c.baud)) << c.label;
        // A pseudo-terminal carries bytes: recent kernels keep it at CS8 without PARENB.
        const int32_t bits = serial.GetDataBits();
        EXPECT_TRUE(bits == c.dataBits || bits == 8) << c.label << ": " << bits;
        EXPECT_EQ(serial.GetParity(), c.parity) << c.label;
        EXPECT_EQ(serial.GetStopBits(), c.readStopBits) << c.label;
        // The far end of a virtual port sees the same settings through the master.
        uint32_t rate = 0;
        EXPECT_EQ(TtyGetRate(m_pty.Master(), rate), 0);
        EXPECT_EQ(rate, c.baud) << c.label;
        termios tio = m_pty.SlaveSettings();
        EXPECT_EQ(tio.c_cflag & (PARODD | CMSPAR), c.parityFlags) << c.label;
        EXPECT_EQ((tio.c_iflag & INPCK) != 0, c.parity != 0) << c.label;
        EXPECT_EQ(tio.c_lflag & ICANON, 0u) << c.label << ": other settings kept";
    }
    termios tio{};
    ASSERT_EQ(serial.Setup(9600, 8, 0, 0), 0);
    ASSERT_EQ(tcgetattr(m_pty.Master(), &tio), 0);
    EXPECT_EQ(cfgetospeed(&tio), static_cast<speed_t>(B9600)) << "plain tcgetattr on the master";
}

TEST_F(SerialTest, ArgumentErrorsChangeNothing) {
    CSerial serial;
    ASSERT_EQ(serial.Open("COM3:"), 0);
    ASSERT_EQ(serial.Setup(9600, 8, 0, 0), 0);
    ASSERT_EQ(serial.SetupHandshaking(2), 0);
    const int32_t invalid = kSerialErrorInvalidArg;
    struct Case {
        const char* label;
        std::function<int32_t()> call;
        const char* line;
    } cases[] = {
        {"handshaking 3", [&] { return serial.SetupHandshaking(3); }, ""},
        {"handshaking -1", [&] { return serial.SetupHandshaking(-1); }, ""},
        {"read mode 2", [&] { return serial.SetupReadTimeouts(2); }, ""},
        {"rate 0 would hang up the line", [&] { return serial.Setup(0, 8, 0, 0); },
         "CSerial::Setup - Unable to set DCB information\n"},
        {"rate -5 as the 32-bit unsigned it arrives as",
         [&] { return serial.Setup(static_cast<uint32_t>(-5), 8, 0, 0); },
         "CSerial::Setup - Unable to set DCB information\n"},
        {"rate 4294967291", [&] { return serial.Setup(4294967291u, 8, 0, 0); },
         "CSerial::Setup - Unable to set DCB information\n"},
        {"rate 4000001", [&] { return serial.Setup(4000001, 8, 0, 0); },
         "CSerial::Setup - Unable to set DCB information\n"},
        {"9 data bits", [&] { return serial.Setup(4800, 9, 0, 0); },
         "CSerial::Setup - Unable to set DCB information\n"},
        {"parity 5", [&] { return serial.Setup(4800, 8, 5, 0); },
         "CSerial::Setup - Unable to set DCB information\n"},
        {"stop bits 3", [&] { return serial.Setup(4800, 8, 0, 3); },
         "CSerial::Setup - Unable to set DCB information\n"},
    };
    for (const auto& c : cases) {
        DebugCapture capture;
        EXPECT_EQ(c.call(), invalid) << c.label;
        EXPECT_EQ(serial.GetLastError(), invalid) << c.label;
        EXPECT_EQ(capture.Text(), c.line) << c.label;
        EXPECT_EQ(serial.GetBaudrate(), 9600) << c.label;
        EXPECT_EQ(serial.GetHandshaking(), 2) << c.label;
    }
    char buf[16];
    uint32_t n = 1;
    EXPECT_EQ(serial.Read(buf, sizeof buf, &n), 0) << "reads still return at once";
    EXPECT_EQ(n, 0u);
}

TEST_F(SerialTest, HandshakingMapsOntoTermios) {
    CSerial serial;
    ASSERT_EQ(serial.Open("COM3:"), 0);
    ASSERT_EQ(serial.Setup(19200, 8, 2, 0), 0);
    struct Case {
        int32_t kind;
        bool rtscts, xon, xoff;
    } cases[] = {{1, true, false, false}, {2, false, true, true}, {0, false, false, false}};
    for (const auto& c : cases) {
        EXPECT_EQ(serial.SetupHandshaking(c.kind), 0) << "pseudo-terminals have no modem lines";
        EXPECT_EQ(serial.GetHandshaking(), c.kind);
        termios tio = m_pty.SlaveSettings();
        EXPECT_EQ((tio.c_cflag & CRTSCTS) != 0, c.rtscts) << c.kind;
        EXPECT_EQ((tio.c_iflag & IXON) != 0, c.xon) << c.kind;
        EXPECT_EQ((tio.c_iflag & IXOFF) != 0, c.xoff) << c.kind;
        EXPECT_EQ(serial.GetBaudrate(), 19200) << "line kept";
        EXPECT_EQ(serial.GetParity(), 2) << "line kept";
    }
}

TEST_F(SerialTest, BytesPassBothWaysUnchanged) {
    CSerial serial;
    ASSERT_EQ(serial.Open("COM3:"), 0);
    ASSERT_EQ(serial.Setup(4800, 8, 0, 0), 0);
    const std::string bytes = AllByteValues();

    {
        DebugCapture capture;
        char buf[511];
        uint32_t n = 99;
        EXPECT_EQ(serial.Read(buf, sizeof buf, &n), 0) << "nothing waiting";
        EXPECT_EQ(n, 0u);
        EXPECT_EQ(serial.Read(buf, sizeof buf), 0) << "no count pointer";
        EXPECT_EQ(capture.Text(), "");
    }

    uint32_t written = 0;
    EXPECT_EQ(serial.Write(bytes.data(), static_cast<uint32_t>(bytes.size()), &written), 0);
    EXPECT_EQ(written, bytes.size());
    EXPECT_EQ(m_pty.Receive(bytes.size()), bytes);
    EXPECT_EQ(serial.Write("text\r\n", &written), 0);
    EXPECT_EQ(written, 6u) << "the terminating zero is not sent";
    EXPECT_EQ(m_pty.Receive(6), "text\r\n");

    m_pty.Send(bytes);
    EXPECT_EQ(ReadSome(serial, bytes.size()), bytes);

    // Waiting mode: one call collects more than VMIN can ask for.
    ASSERT_EQ(serial.SetupReadTimeouts(1), 0);
    m_pty.Send(bytes);
    std::string got(bytes.size(), '?');
    uint32_t n = 0;
    EXPECT_EQ(serial.Read(got.data(), static_cast<uint32_t>(got.size()), &n), 0);
    EXPECT_EQ(n, bytes.size());
    EXPECT_EQ(got, bytes);
}

TEST_F(SerialTest, WaitEventAndPurge) {
    CSerial serial;
    ASSERT_EQ(serial.Open("COM3:"), 0);
    m_pty.Send("$GP");
    EXPECT_EQ(serial.WaitEvent(), 0);
    EXPECT_EQ(serial.GetLastEvents(), kSerialEventRxChar);
    EXPECT_EQ(serial.Purge(), 0);
    char buf[16];
    uint32_t n = 9;
    EXPECT_EQ(serial.Read(buf, sizeof buf, &n), 0);
    EXPECT_EQ(n, 0u) << "purged";

    // The event character cannot be watched without taking bytes from Read.
    ASSERT_EQ(serial.SetMask(kSerialEventRxFlag), 0);
    DebugCapture capture;
    EXPECT_EQ(serial.WaitEvent(), EINVAL);
    EXPECT_EQ(capture.Text(), "CSerial::WaitEvent - Unable to wait for COM event\n");
}

TEST_F(SerialTest, HangUpIsAReadFailure) {
    CSerial serial;
    ASSERT_EQ(serial.Open("COM3:"), 0);
    m_pty.CloseMaster();
    DebugCapture capture;
    char buf[511];
    uint32_t n = 5;
    EXPECT_NE(serial.Read(buf, sizeof buf, &n), 0);
    EXPECT_EQ(n, 0u);
    EXPECT_NE(serial.GetLastError(), 0);
    const std::string text = capture.Text();
    EXPECT_NE(text.find("CSerial::Read - Unable to read the data\n"), std::string::npos) << text;
    capture.Clear();
    EXPECT_NE(serial.Write("$PSRF101\r\n"), 0);
    EXPECT_EQ(capture.Text(), "CSerial::Write - Unable to write the data\n");
    EXPECT_TRUE(serial.IsPortOpen()) << "closing is the caller's decision";
    EXPECT_EQ(serial.Close(), 0);
}

TEST_F(SerialTest, ReaderAndWriterThreadsShareOnePort) {
    CSerial serial;
    ASSERT_EQ(serial.Open("COM3:"), 0);
    const std::string chunk = AllByteValues();
    constexpr int kChunks = 40;
    const size_t total = chunk.size() * kChunks;

    // The far end echoes, so the reader gets what the writer sent.
    std::atomic<bool> stop{false};
    std::thread echo([&] {
        while (!stop.load()) {
            pollfd p{m_pty.Master(), POLLIN, 0};
            if (poll(&p, 1, 20) > 0 && (p.revents & POLLIN) != 0) {
                char buf[512];
                ssize_t k = read(m_pty.Master(), buf, sizeof buf);
                for (ssize_t off = 0; k > 0 && off < k;) {
                    ssize_t w = write(m_pty.Master(), buf + off, static_cast<size_t>(k - off));
                    if (w <= 0) {
                        break;
                    }
                    off += w;
                }
            }
        }
    });
    std::atomic<int32_t> writeFailures{0};
    std::thread writer([&] {
        for (int i = 0; i < kChunks; ++i) {
            if (serial.Write(chunk.data(), static_cast<uint32_t>(chunk.size())) != 0) {
                ++writeFailures;
            }
        }
    });
    std::string received;
    std::thread reader([&] { received = ReadSome(serial, total); });
    writer.join();
    reader.join();
    stop = true;
    echo.join();

    EXPECT_EQ(writeFailures.load(), 0);
    ASSERT_EQ(received.size(), total);
    for (int i = 0; i < kChunks; ++i) {
        EXPECT_EQ(received.compare(chunk.size() * static_cast<size_t>(i), chunk.size(), chunk), 0)
            << "chunk " << i;
    }
}

TEST_F(SerialTest, NewMaskReleasesAWaitingThread) {
    CSerial serial;
    ASSERT_EQ(serial.Open("COM3:"), 0);
    std::atomic<int32_t> result{-1};
    std::thread waiter([&] { result = serial.WaitEvent(); });
    // Keep changing the mask until the waiter has seen a change (it may start after the first).
    for (uint32_t i = 0; result.load() == -1; ++i) {
        serial.SetMask(kSerialEventRxChar | ((i & 1) != 0 ? kSerialEventBreak : 0));
        std::this_thread::sleep_for(5ms);
    }
    waiter.join();
    EXPECT_EQ(result.load(), 0);
    EXPECT_EQ(serial.GetLastEvents(), 0u);
}

class SerialDeathTest : public SerialTest {};

TEST_F(SerialDeathTest, AsynchronousUseEndsTheProcess) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    CSerial serial;
    ASSERT_EQ(serial.Open("COM3:"), 0);
    SerialOverlapped overlapped;
    char buf[8];
    const char* message =
        "Serial library: Overlapped I/O and time-outs are not supported, when overlapped I/O is "
        "disabled\\.";
    EXPECT_EXIT(serial.Read(buf, sizeof buf, nullptr, nullptr, 500), ::testing::ExitedWithCode(255),
                message);
    EXPECT_EXIT(serial.WaitEvent(&overlapped), ::testing::ExitedWithCode(255), message);
    EXPECT_EXIT(
        {
            FatalSetMessageHook([](std::string_view caption, std::string_view) {
                std::fprintf(stderr, "box '%.*s'\n", static_cast<int>(caption.size()),
                             caption.data());
            });
            serial.Write("x", nullptr, &overlapped);
        },
        ::testing::ExitedWithCode(255), "box 'Serial library'");
}
} // namespace
