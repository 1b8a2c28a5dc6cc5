#pragma once
// A bare pseudo-terminal linked into a ports folder: the tests write exactly the bytes a receiver
// would send and wait until the port holds them, so that one pass of the reader sees them all.
#include <cstddef>
#include <filesystem>
#include <string>
#include <string_view>

class PtyPort {
public:
    // Opens a pty and links its slave as `link` (e.g. <ports>/COM1).
    explicit PtyPort(const std::filesystem::path& link);
    ~PtyPort();
    PtyPort(const PtyPort&) = delete;
    PtyPort& operator=(const PtyPort&) = delete;

    bool Ok() const { return m_master >= 0 && m_slave >= 0; }
    // Writes bytes to the master and, unless a reader takes them meanwhile (waitUntilHeld false),
    // waits (at most 10 s) until the slave side holds them.
    bool Send(std::string_view bytes, bool waitUntilHeld = true);
    // Bytes waiting on the slave side.
    size_t Pending() const;
    int Master() const { return m_master; }

private:
    int m_master = -1;
    int m_slave = -1; // kept open to see the slave's queue
};
