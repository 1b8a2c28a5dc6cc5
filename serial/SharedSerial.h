#pragma once
// CSharedSerial: the receiver's port as the program shares it between threads. The reader thread
// reads it and closes it when the stream is garbage; the user-interface thread writes restart
// commands and closes it at exit; the setup dialog (and its search thread) closes, reopens and
// sets it up.
//
// Every operation takes m_csPort for the length of the one call, so port operations of different
// threads never overlap and no thread ever uses a descriptor that another has closed. m_csPort is
// never held across a sleep or a wait of the caller, nor together with g_csParser: the callers
// parse after the read has returned. A read never blocks (the port is opened for reads that
// return at once); a write holds the lock while its bytes go out.
//
// WaitEvent is left as CSerial has it, without the lock, because it blocks until an event: a
// program that shares the port must not use it. WaitReadable is also without the lock, but ends
// after its time-out whatever happens: the reader uses it during a campaign to wake when bytes
// arrive, and a port closed meanwhile only makes it return early (the locked Read then tells).
#include "Serial.h"

#include <mutex>

class CSharedSerial : public CSerial {
public:
    int32_t Open(std::string_view deviceName, uint32_t inQueue = 0, uint32_t outQueue = 0,
                 bool overlapped = false) override;
    int32_t Close() override;
    int32_t Setup(uint32_t baudRate, int32_t dataBits, int32_t parity, int32_t stopBits) override;
    int32_t SetEventChar(char eventChar, bool adjustMask = true) override;
    int32_t SetMask(uint32_t mask) override;
    int32_t SetupHandshaking(int32_t kind) override;
    int32_t SetupReadTimeouts(int32_t mode) override;
    int32_t GetBaudrate() override;
    int32_t GetDataBits() override;
    int32_t GetParity() override;
    int32_t GetStopBits() override;
    int32_t GetHandshaking() override;
    uint32_t GetEventMask() override;
    char GetEventChar() override;
    int32_t Write(const char* text, uint32_t* written = nullptr,
                  SerialOverlapped* overlapped = nullptr,
                  uint32_t timeoutMs = kSerialInfinite) override;
    int32_t Write(const void* data, uint32_t length, uint32_t* written = nullptr,
                  SerialOverlapped* overlapped = nullptr,
                  uint32_t timeoutMs = kSerialInfinite) override;
    int32_t Read(void* buffer, uint32_t length, uint32_t* read = nullptr,
                 SerialOverlapped* overlapped = nullptr,
                 uint32_t timeoutMs = kSerialInfinite) override;

private:
    // Recursive: CSerial's own operations call each other (Open closes and sets the mask).
    std::recursive_mutex m_csPort;
};
