#pragma once
// CSerial: the program's only access to the receiver's serial port (a termios device: a USB or
// on-board UART, or a pseudo-terminal).
//
// Every operation stores an error code in m_nError, writes one diagnostic line through DebugPrint
// when it fails, and returns the code (0 = success); the queries return a sentinel instead.
// Nothing throws. Only synchronous I/O exists: an overlapped structure or a finite time-out is a
// programming error that stops the process (VerifySyncCall).
//
// Threads: the reader thread calls Read and, when the stream is garbage, Close; the user-interface
// thread (and the setup dialog's search thread) calls Write, Open, Close, Setup and the other
// configuration calls. Read and Write may run at the same time on one open port. CSerial takes no
// lock: the program serialises Open, Close and reconfiguration against Read and Write itself, so
// that no thread uses a descriptor while another closes it. The members are atomic because both
// threads store their call's result in m_nError (and read the handle, the mask and the read mode)
// at the same time; each call returns its own result, never m_nError as another thread left it.
#include <atomic>
#include <cstdint>
#include <string>
#include <string_view>

// Placeholder for asynchronous I/O, which this port never does: passing one is an error.
struct SerialOverlapped {};

// The port's own error codes (other failures are the errno of the failing call).
inline constexpr int32_t kSerialErrorNotOpen = 6;
inline constexpr int32_t kSerialErrorAlreadyOpen = 1247;
inline constexpr int32_t kSerialErrorInvalidArg = static_cast<int32_t>(0x80070057u);
// The fastest rate Setup accepts (the termios table's last entry).
inline constexpr uint32_t kSerialMaxBaud = 4000000;

// The only time-out the port accepts: wait as long as it takes.
inline constexpr uint32_t kSerialInfinite = 0xFFFFFFFFu;

// Event mask bits.
inline constexpr uint32_t kSerialEventRxChar = 0x0001; // a character was received
inline constexpr uint32_t kSerialEventRxFlag = 0x0002; // the event character was received
inline constexpr uint32_t kSerialEventCts = 0x0008;    // CTS changed
inline constexpr uint32_t kSerialEventDsr = 0x0010;    // DSR changed
inline constexpr uint32_t kSerialEventRlsd = 0x0020;   // carrier detect changed
inline constexpr uint32_t kSerialEventBreak = 0x0040;  // break detected
inline constexpr uint32_t kSerialEventError = 0x0080;  // framing, overrun or parity error
inline constexpr uint32_t kSerialEventRing = 0x0100;   // ring indicator changed

class CSerial {
public:
    CSerial() = default;
    virtual ~CSerial();
    CSerial(const CSerial&) = delete;
    CSerial& operator=(const CSerial&) = delete;

    // deviceName: "COM1:", "COM3", "/dev/ttyUSB0" (see ResolvePortName). The queue sizes are
    // ignored (Linux has no such setting); overlapped is ignored, the port is always synchronous.
    virtual int32_t Open(std::string_view deviceName, uint32_t inQueue = 0, uint32_t outQueue = 0,
                         bool overlapped = false);
    virtual int32_t Close();
    // baudRate in bits per second; dataBits 5-8; parity 0 none, 1 odd, 2 even, 3 mark, 4 space;
    // stopBits 0 one, 1 one and a half (sent as two), 2 two. Rates outside the standard set go
    // through the kernel's arbitrary-rate interface; a rate the driver cannot make, and rate 0
    // (which would hang the line up), fail and leave the line as it was.
    virtual int32_t Setup(uint32_t baudRate, int32_t dataBits, int32_t parity, int32_t stopBits);
    virtual int32_t SetEventChar(char eventChar, bool adjustMask = true);
    virtual int32_t SetMask(uint32_t mask);
    // Blocks until an event of the mask occurs; the events are kept for GetLastEvents. A new mask
    // set meanwhile by another thread ends the wait with no events. Fails when the mask holds
    // nothing this device can report: the event character is never watched (that would take
    // bytes from Read), and break, line errors and modem lines need the driver's counters, which
    // pseudo-terminals lack.
    virtual int32_t WaitEvent(SerialOverlapped* overlapped = nullptr,
                              uint32_t timeoutMs = kSerialInfinite);
    // kind: 0 off, 1 hardware (RTS/CTS), 2 software (XON/XOFF).
    virtual int32_t SetupHandshaking(int32_t kind);
    // mode: 0 a read returns at once with what has arrived; 1 a read waits for the full count.
    virtual int32_t SetupReadTimeouts(int32_t mode);
    virtual int32_t GetBaudrate();
    virtual int32_t GetDataBits();
    virtual int32_t GetParity();
    virtual int32_t GetStopBits();
    virtual int32_t GetHandshaking();
    virtual uint32_t GetEventMask();
    virtual char GetEventChar();
    // Sends text up to (not including) its terminating zero.
    virtual int32_t Write(const char* text, uint32_t* written = nullptr,
                          SerialOverlapped* overlapped = nullptr,
                          uint32_t timeoutMs = kSerialInfinite);
    virtual int32_t Write(const void* data, uint32_t length, uint32_t* written = nullptr,
                          SerialOverlapped* overlapped = nullptr,
                          uint32_t timeoutMs = kSerialInfinite);
    // A device that has gone away (unplugged, pseudo-terminal master closed) is a read failure,
    // never an empty read.
    virtual int32_t Read(void* buffer, uint32_t length, uint32_t* read = nullptr,
                         SerialOverlapped* overlapped = nullptr,
                         uint32_t timeoutMs = kSerialInfinite);

    // Waits until bytes can be read, at most timeoutMs (a reader that must time their arrival
    // without a fixed pass). 1 readable (or the device has gone: the next Read reports it),
    // 0 timed out or interrupted by a signal, else an error code (not open). Takes no lock:
    // another thread that closes the port meanwhile ends the wait early or not at all, never
    // more than timeoutMs; the Read that follows finds out.
    int32_t WaitReadable(uint32_t timeoutMs);
    // Discards both directions' buffered bytes.
    int32_t Purge();
    // Stops the process (exit code 0x0FFFFFFF) when overlapped is given or the time-out is finite.
    void VerifySyncCall(const SerialOverlapped* overlapped, uint32_t timeoutMs) const;

    bool IsPortOpen() const { return m_hPort.load() != kNoPort; }
    // The descriptor, for an owner that waits on several ports at once; -1 while closed. Only
    // the thread that opens and closes the port may use it.
    int Descriptor() const { return m_hPort.load(); }
    // The code the last operation of any thread left; prefer each call's own result.
    int32_t GetLastError() const { return m_nError.load(); }
    // The events the last WaitEvent reported.
    uint32_t GetLastEvents() const { return m_dwEvent.load(); }

protected:
    static constexpr int kNoPort = -1;

    std::atomic<int32_t> m_nError{0};
    std::atomic<int> m_hPort{kNoPort}; // file descriptor; kNoPort while closed
    std::atomic<uint32_t> m_dwEvent{0};
    std::atomic<uint32_t> m_dwMask{0};
    // termios has no event character and no read time-outs as such: both are kept here.
    std::atomic<char> m_cEventChar{0};
    std::atomic<int32_t> m_nReadMode{0};
    std::atomic<bool> m_noCounters{false}; // the driver keeps no error counters
};

// Why Open failed, in a few words for the user (the second line of "Unable to open COM-port"):
// the three causes a user can act on are worded with the remedy, others use the system's text.
std::string OpenFailureReason(int32_t error);
