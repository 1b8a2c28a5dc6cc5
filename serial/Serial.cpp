#include "Serial.h"

#include "BaudTable.h"
#include "Debug.h"
#include "Fatal.h"
#include "Paths.h"
#include "TtyRate.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <linux/serial.h>
#include <poll.h>
#include <string>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace {
constexpr uint32_t kOpenMask = kSerialEventRxChar | kSerialEventBreak | kSerialEventError;
// Events the driver's interrupt counters can report (where the driver keeps them).
constexpr uint32_t kCounterEvents = kSerialEventBreak | kSerialEventError | kSerialEventCts |
                                    kSerialEventDsr | kSerialEventRlsd | kSerialEventRing;
// How often WaitEvent looks at the counters and at a mask changed by another thread.
constexpr int kWaitSliceMs = 100;

int LastErrno() {
    return errno != 0 ? errno : EIO;
}

// Pseudo-terminals and some USB adapters have no counters or no modem lines.
bool NotSupported(int err) {
    return err == ENOTTY || err == EINVAL;
}

int GetLine(int fd, termios& tio) {
    while (tcgetattr(fd, &tio) != 0) {
        if (errno != EINTR) {
            return LastErrno();
        }
    }
    return 0;
}

int SetLine(int fd, const termios& tio) {
    while (tcsetattr(fd, TCSANOW, &tio) != 0) {
        if (errno != EINTR) {
            return LastErrno();
        }
    }
    return 0;
}

int GetCounters(int fd, serial_icounter_struct& counters) {
    while (ioctl(fd, TIOCGICOUNT, &counters) != 0) {
        if (errno != EINTR) {
            return LastErrno();
        }
    }
    return 0;
}

int ChangeModemLines(int fd, unsigned long request, int lines) {
    while (ioctl(fd, request, &lines) != 0) {
        if (errno != EINTR) {
            return NotSupported(errno) ? 0 : LastErrno();
        }
    }
    return 0;
}

// Drivers round a rate to what their clock can make and report the result; one that cannot do a
// rate at all falls back to another (often 9600) and still reports success. More than 3% off
// is beyond what a UART at the far end tolerates: the rate is not available.
int CheckRate(int fd, uint32_t wanted) {
    uint32_t got = 0;
    if (int err = TtyGetRate(fd, got)) {
        return err;
    }
    const uint64_t got100 = uint64_t{got} * 100;
    if (got100 < uint64_t{wanted} * 97 || got100 > uint64_t{wanted} * 103) {
        return EINVAL;
    }
    return 0;
}

// Opens the device for this process alone. TIOCEXCL keeps out other openers but not root, so an
// advisory lock (the convention of serial tools on Linux) refuses a second Zenithprobe as well.
// Non-blocking open so that a UART without carrier does not hold us in open().
int OpenExclusive(const std::string& path, int& fd) {
    do {
        fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        return LastErrno();
    }
    int err = 0;
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        // Report a held lock as "busy", like the refusal TIOCEXCL gives other users.
        err = errno == EWOULDBLOCK ? EBUSY : LastErrno();
    } else if (ioctl(fd, TIOCEXCL) != 0) {
        err = LastErrno(); // ENOTTY: not a terminal, so not a port
    }
    if (err != 0) {
        close(fd);
        fd = -1;
    }
    return err;
}

// A raw 8N1 line that ignores the modem's carrier, then blocking reads: VMIN/VTIME decide how
// long a read waits.
int MakeRawLine(int fd) {
    termios tio{};
    if (int err = GetLine(fd, tio)) {
        return err;
    }
    cfmakeraw(&tio);
    tio.c_cflag |= static_cast<tcflag_t>(CLOCAL | CREAD);
    tio.c_cflag &= ~static_cast<tcflag_t>(CSTOPB | CRTSCTS | CMSPAR);
    tio.c_iflag &= ~static_cast<tcflag_t>(INPCK | IXOFF | IXANY);
    tio.c_cc[VMIN] = 0;
    tio.c_cc[VTIME] = 0;
    if (int err = SetLine(fd, tio)) {
        return err;
    }
    int flags = fcntl(fd, F_GETFL);
    if (flags < 0 || fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) {
        return LastErrno();
    }
    return 0;
}

// A read of 0 bytes means "nothing yet" or "the device is gone" (unplugged USB adapter, closed
// pseudo-terminal master: the kernel hangs the terminal up). Only poll tells them apart.
bool DeviceGone(int fd) {
    pollfd p{fd, POLLIN, 0};
    int r;
    do {
        r = poll(&p, 1, 0);
    } while (r < 0 && errno == EINTR);
    return r < 0 || (p.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0;
}

} // namespace

CSerial::~CSerial() {
    if (IsPortOpen()) {
        DebugPrint("CSerial::~CSerial - Serial port not closed\n");
        CSerial::Close();
    }
}

int32_t CSerial::Open(std::string_view deviceName, uint32_t /*inQueue*/, uint32_t /*outQueue*/,
                      bool /*overlapped*/) {
    m_nError = 0;
    if (IsPortOpen()) {
        m_nError = kSerialErrorAlreadyOpen;
        DebugPrint("CSerial::Open - Port already opened\n");
        return kSerialErrorAlreadyOpen;
    }
    int fd = kNoPort;
    if (int err = OpenExclusive(ResolvePortName(deviceName), fd)) {
        m_nError = err;
        DebugPrint("CSerial::Open - Unable to open port\n");
        return err;
    }
    m_noCounters = false;
    m_hPort = fd;
    m_cEventChar = 0;
    // Queue sizes have no Linux counterpart; the line set-up takes their place as the step whose
    // failure closes the device again (for example a path that is not a terminal).
    if (int err = MakeRawLine(fd)) {
        DebugPrint("CSerial::Open - Unable to setup the COM-port\n");
        Close();
        m_nError = err;
        return err;
    }
    SetMask(kOpenMask);
    return SetupReadTimeouts(0);
}

int32_t CSerial::Close() {
    m_nError = 0;
    int fd = m_hPort.exchange(kNoPort);
    if (fd == kNoPort) {
        DebugPrint("CSerial::Close - Method called when device is not open\n");
        return 0;
    }
    ioctl(fd, TIOCNXCL); // the flag outlives us on a terminal that others keep open
    close(fd);           // releases the lock; on Linux the descriptor is gone even on EINTR
    DebugPrint("CSerial::Close OK\n");
    return 0;
}

int32_t CSerial::Setup(uint32_t baudRate, int32_t dataBits, int32_t parity, int32_t stopBits) {
    m_nError = 0;
    const int fd = m_hPort.load();
    if (fd == kNoPort) {
        m_nError = kSerialErrorNotOpen;
        DebugPrint("CSerial::Setup - Device is not opened\n");
        return kSerialErrorNotOpen;
    }
    // Rate 0 would hang up the line (B0) and report success; the others have no termios value.
    // Above the fastest termios rate lie only mistakes: BAUD_RATE=-5 arrives as 4294967291, and
    // a driver may round such a rate to whatever it likes instead of refusing it.
    if (baudRate == 0 || baudRate > kSerialMaxBaud || dataBits < 5 || dataBits > 8 || parity < 0 ||
        parity > 4 || stopBits < 0 || stopBits > 2) {
        m_nError = kSerialErrorInvalidArg;
        DebugPrint("CSerial::Setup - Unable to set DCB information\n");
        return kSerialErrorInvalidArg;
    }
    termios old{};
    if (int err = GetLine(fd, old)) {
        m_nError = err;
        DebugPrint("CSerial::Setup - Unable to obtain DCB information\n");
        return err;
    }
    termios tio = old;
    static constexpr tcflag_t kSizes[] = {CS5, CS6, CS7, CS8};
    tio.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB);
    tio.c_cflag |= kSizes[dataBits - 5];
    static constexpr tcflag_t kParities[] = {0, PARENB | PARODD, PARENB, PARENB | PARODD | CMSPAR,
                                             PARENB | CMSPAR};
    tio.c_cflag |= kParities[parity];
    if (parity != 0) {
        tio.c_iflag |= INPCK;
    } else {
        tio.c_iflag &= ~static_cast<tcflag_t>(INPCK);
    }
    // Linux has no setting for one and a half stop bits; two is the nearest (a 16550 UART sends
    // 1.5 for 5-bit characters with CSTOPB anyway). GetStopBits then reads back 2.
    if (stopBits != 0) {
        tio.c_cflag |= CSTOPB;
    }
    const auto speed = static_cast<speed_t>(StandardSpeed(baudRate));
    if (speed != B0) {
        tio.c_cflag &= ~static_cast<tcflag_t>(CIBAUD); // input rate follows the output rate
        cfsetospeed(&tio, speed);
        cfsetispeed(&tio, speed);
    }
    uint32_t oldRate = 0;
    const bool haveOldRate = TtyGetRate(fd, oldRate) == 0;
    int err = SetLine(fd, tio);
    if (err == 0 && speed == B0) {
        err = TtySetArbitraryRate(fd, baudRate);
    }
    if (err == 0) {
        err = CheckRate(fd, baudRate);
    }
    if (err != 0) {
        // Leave the line as we found it, rate included.
        SetLine(fd, old);
        uint32_t nowRate = 0;
        if (haveOldRate && TtyGetRate(fd, nowRate) == 0 && nowRate != oldRate) {
            TtySetArbitraryRate(fd, oldRate);
        }
        m_nError = err;
        DebugPrint("CSerial::Setup - Unable to set DCB information\n");
        return err;
    }
    return 0;
}

// termios has no event character: it lives in the object. The line settings are still read, so
// that a port whose device has gone fails here as it would elsewhere; nothing is written back,
// because nothing in them changes.
int32_t CSerial::SetEventChar(char eventChar, bool adjustMask) {
    m_nError = 0;
    const int fd = m_hPort.load();
    if (fd == kNoPort) {
        m_nError = kSerialErrorNotOpen;
        DebugPrint("CSerial::SetEventChar - Device is not opened\n");
        return kSerialErrorNotOpen;
    }
    termios tio{};
    if (int err = GetLine(fd, tio)) {
        m_nError = err;
        DebugPrint("CSerial::SetEventChar - Unable to obtain DCB information\n");
        return err;
    }
    if (adjustMask) {
        SetMask(GetEventMask() | kSerialEventRxFlag);
    }
    m_cEventChar = eventChar;
    m_nError = 0;
    return 0;
}

// There is no device event mask on Linux: WaitEvent reads this one.
int32_t CSerial::SetMask(uint32_t mask) {
    m_nError = 0;
    if (!IsPortOpen()) {
        m_nError = kSerialErrorNotOpen;
        DebugPrint("CSerial::SetMask - Device is not opened\n");
        return kSerialErrorNotOpen;
    }
    m_dwMask = mask;
    return 0;
}

int32_t CSerial::WaitEvent(SerialOverlapped* overlapped, uint32_t timeoutMs) {
    m_nError = 0;
    const int fd = m_hPort.load();
    if (fd == kNoPort) {
        m_nError = kSerialErrorNotOpen;
        DebugPrint("CSerial::WaitEvent - Device is not opened\n");
        return kSerialErrorNotOpen;
    }
    VerifySyncCall(overlapped, timeoutMs);
    auto fail = [this](int err) {
        m_nError = err;
        DebugPrint("CSerial::WaitEvent - Unable to wait for COM event\n");
        return err;
    };
    const uint32_t mask = m_dwMask.load();
    serial_icounter_struct base{};
    const int countersErr = GetCounters(fd, base);
    if (countersErr != 0 && !NotSupported(countersErr)) {
        return fail(countersErr);
    }
    const bool haveCounters = countersErr == 0;
    // The event character cannot be seen without consuming input, which belongs to Read.
    const uint32_t waitable = kSerialEventRxChar | (haveCounters ? kCounterEvents : 0);
    if ((mask & waitable) == 0) {
        return fail(EINVAL); // nothing this port can report would ever end the wait
    }
    for (;;) {
        pollfd p{fd, static_cast<short>((mask & kSerialEventRxChar) != 0 ? POLLIN : 0), 0};
        int r = poll(&p, 1, kWaitSliceMs);
        if (r < 0) {
            if (errno == EINTR) {
                continue;
            }
            return fail(LastErrno());
        }
        if ((p.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0) {
            return fail(EIO);
        }
        uint32_t events = (p.revents & POLLIN) != 0 ? kSerialEventRxChar : 0;
        if (haveCounters) {
            serial_icounter_struct now{};
            if (int err = GetCounters(fd, now)) {
                return fail(err);
            }
            if (now.brk != base.brk) {
                events |= kSerialEventBreak;
            }
            if (now.frame != base.frame || now.overrun != base.overrun ||
                now.parity != base.parity || now.buf_overrun != base.buf_overrun) {
                events |= kSerialEventError;
            }
            if (now.cts != base.cts) {
                events |= kSerialEventCts;
            }
            if (now.dsr != base.dsr) {
                events |= kSerialEventDsr;
            }
            if (now.dcd != base.dcd) {
                events |= kSerialEventRlsd;
            }
            if (now.rng != base.rng) {
                events |= kSerialEventRing;
            }
        }
        events &= mask;
        // A new mask ends a wait with no events, so that another thread can release a waiter.
        if (events != 0 || m_dwMask.load() != mask) {
            m_dwEvent = events;
            return 0;
        }
    }
}

int32_t CSerial::SetupHandshaking(int32_t kind) {
    m_nError = 0;
    const int fd = m_hPort.load();
    if (fd == kNoPort) {
        m_nError = kSerialErrorNotOpen;
        DebugPrint("CSerial::SetupHandshaking - Device is not opened\n");
        return kSerialErrorNotOpen;
    }
    if (kind < 0 || kind > 2) {
        m_nError = kSerialErrorInvalidArg;
        return kSerialErrorInvalidArg;
    }
    termios tio{};
    if (int err = GetLine(fd, tio)) {
        m_nError = err;
        DebugPrint("CSerial::SetupHandshaking - Unable to obtain DCB information\n");
        return err;
    }
    // Hardware: RTS/CTS. Linux has no DTR/DSR flow control, so DTR is simply raised to say that
    // we are ready. Off and software: DTR and RTS held off, i.e. dropped.
    if (kind == 1) {
        tio.c_cflag |= CRTSCTS;
    } else {
        tio.c_cflag &= ~static_cast<tcflag_t>(CRTSCTS);
    }
    if (kind == 2) {
        tio.c_iflag |= IXON | IXOFF;
    } else {
        tio.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF);
    }
    int err = SetLine(fd, tio);
    if (err == 0) {
        // Pseudo-terminals have no modem lines: nothing to raise or drop there.
        err = ChangeModemLines(fd, kind == 1 ? TIOCMBIS : TIOCMBIC, TIOCM_DTR | TIOCM_RTS);
    }
    if (err != 0) {
        m_nError = err;
        DebugPrint("CSerial::SetupHandshaking - Unable to set DCB information\n");
        return err;
    }
    return 0;
}

int32_t CSerial::SetupReadTimeouts(int32_t mode) {
    m_nError = 0;
    const int fd = m_hPort.load();
    if (fd == kNoPort) {
        m_nError = kSerialErrorNotOpen;
        DebugPrint("CSerial::SetupReadTimeouts - Device is not opened\n");
        return kSerialErrorNotOpen;
    }
    if (mode != 0 && mode != 1) {
        m_nError = kSerialErrorInvalidArg;
        return kSerialErrorInvalidArg;
    }
    termios tio{};
    if (int err = GetLine(fd, tio)) {
        m_nError = err;
        DebugPrint("CSerial::SetupReadTimeouts - Unable to obtain timeout information\n");
        return err;
    }
    // Mode 0: a read returns at once with what has arrived. Mode 1: a read blocks for at least
    // one byte; VMIN cannot ask for more than 255, so Read loops until the full count is in.
    tio.c_cc[VMIN] = mode == 0 ? 0 : 1;
    tio.c_cc[VTIME] = 0;
    if (int err = SetLine(fd, tio)) {
        m_nError = err;
        DebugPrint("CSerial::SetupReadTimeouts - Unable to set timeout information\n");
        return err;
    }
    m_nReadMode = mode;
    return 0;
}

int32_t CSerial::GetBaudrate() {
    m_nError = 0;
    const int fd = m_hPort.load();
    if (fd == kNoPort) {
        m_nError = kSerialErrorNotOpen;
        DebugPrint("CSerial::GetBaudrate - Device is not opened\n");
        return -1;
    }
    uint32_t rate = 0;
    if (int err = TtyGetRate(fd, rate)) {
        m_nError = err;
        DebugPrint("CSerial::GetBaudrate - Unable to obtain DCB information\n");
        return -1;
    }
    return static_cast<int32_t>(rate);
}

int32_t CSerial::GetDataBits() {
    m_nError = 0;
    const int fd = m_hPort.load();
    if (fd == kNoPort) {
        m_nError = kSerialErrorNotOpen;
        DebugPrint("CSerial::GetDataBits - Device is not opened\n");
        return -1;
    }
    termios tio{};
    if (int err = GetLine(fd, tio)) {
        m_nError = err;
        DebugPrint("CSerial::GetDataBits - Unable to obtain DCB information\n");
        return -1;
    }
    switch (tio.c_cflag & CSIZE) {
    case CS5:
        return 5;
    case CS6:
        return 6;
    case CS7:
        return 7;
    default:
        return 8;
    }
}

int32_t CSerial::GetParity() {
    m_nError = 0;
    const int fd = m_hPort.load();
    if (fd == kNoPort) {
        m_nError = kSerialErrorNotOpen;
        DebugPrint("CSerial::GetParity - Device is not opened\n");
        return -1;
    }
    termios tio{};
    if (int err = GetLine(fd, tio)) {
        m_nError = err;
        DebugPrint("CSerial::GetParity - Unable to obtain DCB information\n");
        return -1;
    }
    if ((tio.c_iflag & INPCK) == 0) {
        return 0;
    }
    // PARENB is not consulted: pseudo-terminals carry bytes, not bits, and the kernel clears
    // PARENB and forces CS8 on them, while PARODD, CMSPAR and INPCK keep what Setup asked for.
    const bool odd = (tio.c_cflag & PARODD) != 0;
    if ((tio.c_cflag & CMSPAR) != 0) {
        return odd ? 3 : 4; // the parity bit is fixed: 1 (mark) or 0 (space)
    }
    return odd ? 1 : 2;
}

int32_t CSerial::GetStopBits() {
    m_nError = 0;
    const int fd = m_hPort.load();
    if (fd == kNoPort) {
        m_nError = kSerialErrorNotOpen;
        DebugPrint("CSerial::GetStopBits - Device is not opened\n");
        return -1;
    }
    termios tio{};
    if (int err = GetLine(fd, tio)) {
        m_nError = err;
        DebugPrint("CSerial::GetStopBits - Unable to obtain DCB information\n");
        return -1;
    }
    return (tio.c_cflag & CSTOPB) != 0 ? 2 : 0;
}

int32_t CSerial::GetHandshaking() {
    m_nError = 0;
    const int fd = m_hPort.load();
    if (fd == kNoPort) {
        m_nError = kSerialErrorNotOpen;
        DebugPrint("CSerial::GetHandshaking - Device is not opened\n");
        return -1;
    }
    termios tio{};
    if (int err = GetLine(fd, tio)) {
        m_nError = err;
        DebugPrint("CSerial::GetHandshaking - Unable to obtain DCB information\n");
        return -1;
    }
    if ((tio.c_cflag & CRTSCTS) != 0) {
        return 1;
    }
    if ((tio.c_iflag & IXON) != 0 && (tio.c_iflag & IXOFF) != 0) {
        return 2;
    }
    return 0;
}

uint32_t CSerial::GetEventMask() {
    m_nError = 0;
    if (!IsPortOpen()) {
        m_nError = kSerialErrorNotOpen;
        DebugPrint("CSerial::GetEventMask - Device is not opened\n");
        return 0;
    }
    return m_dwMask.load();
}

char CSerial::GetEventChar() {
    m_nError = 0;
    const int fd = m_hPort.load();
    if (fd == kNoPort) {
        m_nError = kSerialErrorNotOpen;
        DebugPrint("CSerial::GetEventChar - Device is not opened\n");
        return 0;
    }
    termios tio{};
    if (int err = GetLine(fd, tio)) {
        m_nError = err;
        DebugPrint("CSerial::GetEventChar - Unable to obtain DCB information\n");
        return 0;
    }
    return m_cEventChar.load();
}

int32_t CSerial::Write(const char* text, uint32_t* written, SerialOverlapped* overlapped,
                       uint32_t timeoutMs) {
    VerifySyncCall(overlapped, timeoutMs);
    const size_t length = text != nullptr ? std::strlen(text) : 0;
    return Write(static_cast<const void*>(text), static_cast<uint32_t>(length), written, overlapped,
                 timeoutMs);
}

int32_t CSerial::Write(const void* data, uint32_t length, uint32_t* written,
                       SerialOverlapped* overlapped, uint32_t timeoutMs) {
    // Zeroed first, so that a caller never reads an unset count, whatever happens below.
    if (written != nullptr) {
        *written = 0;
    }
    m_nError = 0;
    const int fd = m_hPort.load();
    if (fd == kNoPort) {
        m_nError = kSerialErrorNotOpen;
        DebugPrint("CSerial::Write - Device is not opened\n");
        return kSerialErrorNotOpen;
    }
    VerifySyncCall(overlapped, timeoutMs);
    const auto* bytes = static_cast<const unsigned char*>(data);
    uint32_t done = 0;
    int err = (bytes == nullptr && length != 0) ? EFAULT : 0;
    while (err == 0 && done < length) {
        ssize_t n = write(fd, bytes + done, length - done);
        if (n > 0) {
            done += static_cast<uint32_t>(n);
        } else if (n == 0) {
            err = EIO; // a terminal never takes nothing; do not spin
        } else if (errno != EINTR) {
            err = LastErrno();
        }
    }
    if (written != nullptr) {
        *written = done;
    }
    if (err != 0) {
        m_nError = err;
        DebugPrint("CSerial::Write - Unable to write the data\n");
        return err;
    }
    return 0;
}

int32_t CSerial::WaitReadable(uint32_t timeoutMs) {
    const int fd = m_hPort.load();
    if (fd == kNoPort) {
        return kSerialErrorNotOpen;
    }
    pollfd p{fd, POLLIN, 0};
    const int timeout = timeoutMs > 60000u ? 60000 : static_cast<int>(timeoutMs);
    const int r = poll(&p, 1, timeout);
    if (r < 0) {
        return errno == EINTR ? 0 : LastErrno();
    }
    return r > 0 ? 1 : 0;
}

int32_t CSerial::Read(void* buffer, uint32_t length, uint32_t* read, SerialOverlapped* overlapped,
                      uint32_t timeoutMs) {
    if (read != nullptr) {
        *read = 0;
    }
    m_nError = 0;
    const int fd = m_hPort.load();
    if (fd == kNoPort) {
        m_nError = kSerialErrorNotOpen;
        DebugPrint("CSerial::Read - Device is not opened\n");
        return kSerialErrorNotOpen;
    }
    VerifySyncCall(overlapped, timeoutMs);
    // The driver's error counters, the closest Linux has to a pending line-error state. A driver
    // without them (a pseudo-terminal, some USB bridges) never gains them: asking once per open
    // saves a failing call on every read, a third of a busy rack's system time.
    if (!m_noCounters.load()) {
        serial_icounter_struct counters{};
        const int countersErr = GetCounters(fd, counters);
        if (NotSupported(countersErr)) {
            m_noCounters = true;
        } else if (countersErr != 0) {
            DebugPrint("CSerial::Read - Comm error happened!\n");
            Purge();
        }
    }
    auto* bytes = static_cast<unsigned char*>(buffer);
    const bool waitForAll = m_nReadMode.load() == 1;
    uint32_t done = 0;
    int err = (bytes == nullptr && length != 0) ? EFAULT : 0;
    while (err == 0 && done < length) {
        ssize_t n = ::read(fd, bytes + done, length - done);
        if (n > 0) {
            done += static_cast<uint32_t>(n);
            if (!waitForAll) {
                break;
            }
        } else if (n == 0 || errno == EAGAIN) {
            if (DeviceGone(fd)) {
                err = EIO;
            } else if (!waitForAll) {
                break; // nothing has arrived yet
            } else {
                // VMIN 1 makes read wait; should someone have changed the line, wait here.
                pollfd p{fd, POLLIN, 0};
                poll(&p, 1, -1);
            }
        } else if (errno != EINTR) {
            err = LastErrno();
        }
    }
    if (read != nullptr) {
        *read = done;
    }
    if (err != 0) {
        m_nError = err;
        DebugPrint("CSerial::Read - Unable to read the data\n");
        return err;
    }
    m_nError = 0;
    return 0;
}

int32_t CSerial::Purge() {
    m_nError = 0;
    const int fd = m_hPort.load();
    if (fd == kNoPort) {
        m_nError = kSerialErrorNotOpen;
        DebugPrint("CSerial::Purge - Device is not opened\n");
        return kSerialErrorNotOpen;
    }
    if (tcflush(fd, TCIOFLUSH) != 0) {
        int err = LastErrno();
        m_nError = err;
        DebugPrint("CSerial::Purge - Overlapped completed without result\n");
        return err;
    }
    return 0;
}

void CSerial::VerifySyncCall(const SerialOverlapped* overlapped, uint32_t timeoutMs) const {
    if (overlapped != nullptr || timeoutMs != kSerialInfinite) {
        FatalStop("Serial library",
                  "Overlapped I/O and time-outs are not supported, when overlapped I/O is "
                  "disabled.",
                  0x0FFFFFFF);
    }
}

std::string OpenFailureReason(int32_t error) {
    switch (error) {
    case EACCES:
    case EPERM:
        return "Permission denied — add your user to the dialout group";
    case ENOENT:
    case ENODEV:
    case ENXIO:
        return "No such device";
    case EBUSY:
        return "Device busy — another program has it open";
    case kSerialErrorAlreadyOpen:
        return "The port is open already";
    default:
        return error > 0 ? std::strerror(error) : "Unknown error";
    }
}
