#include "SharedSerial.h"

using Lock = std::lock_guard<std::recursive_mutex>;

int32_t CSharedSerial::Open(std::string_view deviceName, uint32_t inQueue, uint32_t outQueue,
                            bool overlapped) {
    Lock lock(m_csPort);
    return CSerial::Open(deviceName, inQueue, outQueue, overlapped);
}

int32_t CSharedSerial::Close() {
    Lock lock(m_csPort);
    return CSerial::Close();
}

int32_t CSharedSerial::Setup(uint32_t baudRate, int32_t dataBits, int32_t parity,
                             int32_t stopBits) {
    Lock lock(m_csPort);
    return CSerial::Setup(baudRate, dataBits, parity, stopBits);
}

int32_t CSharedSerial::SetEventChar(char eventChar, bool adjustMask) {
    Lock lock(m_csPort);
    return CSerial::SetEventChar(eventChar, adjustMask);
}

int32_t CSharedSerial::SetMask(uint32_t mask) {
    Lock lock(m_csPort);
    return CSerial::SetMask(mask);
}

int32_t CSharedSerial::SetupHandshaking(int32_t kind) {
    Lock lock(m_csPort);
    return CSerial::SetupHandshaking(kind);
}

int32_t CSharedSerial::SetupReadTimeouts(int32_t mode) {
    Lock lock(m_csPort);
    return CSerial::SetupReadTimeouts(mode);
}

int32_t CSharedSerial::GetBaudrate() {
    Lock lock(m_csPort);
    return CSerial::GetBaudrate();
}

int32_t CSharedSerial::GetDataBits() {
    Lock lock(m_csPort);
    return CSerial::GetDataBits();
}

int32_t CSharedSerial::GetParity() {
    Lock lock(m_csPort);
    return CSerial::GetParity();
}

int32_t CSharedSerial::GetStopBits() {
    Lock lock(m_csPort);
    return CSerial::GetStopBits();
}

int32_t CSharedSerial::GetHandshaking() {
    Lock lock(m_csPort);
    return CSerial::GetHandshaking();
}

uint32_t CSharedSerial::GetEventMask() {
    Lock lock(m_csPort);
    return CSerial::GetEventMask();
}

char CSharedSerial::GetEventChar() {
    Lock lock(m_csPort);
    return CSerial::GetEventChar();
}

int32_t CSharedSerial::Write(const char* text, uint32_t* written, SerialOverlapped* overlapped,
                             uint32_t timeoutMs) {
    Lock lock(m_csPort);
    return CSerial::Write(text, written, overlapped, timeoutMs);
}

int32_t CSharedSerial::Write(const void* data, uint32_t length, uint32_t* written,
                             SerialOverlapped* overlapped, uint32_t timeoutMs) {
    Lock lock(m_csPort);
    return CSerial::Write(data, length, written, overlapped, timeoutMs);
}

int32_t CSharedSerial::Read(void* buffer, uint32_t length, uint32_t* read,
                            SerialOverlapped* overlapped, uint32_t timeoutMs) {
    Lock lock(m_csPort);
    return CSerial::Read(buffer, length, read, overlapped, timeoutMs);
}
