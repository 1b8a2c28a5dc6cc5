#include "PtyPort.h"

#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <stdlib.h>
#include <sys/ioctl.h>
#include <thread>
#include <unistd.h>

PtyPort::PtyPort(const std::filesystem::path& link) {
    m_master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (m_master < 0 || grantpt(m_master) != 0 || unlockpt(m_master) != 0) {
        return;
    }
    const char* name = ptsname(m_master);
    if (name == nullptr) {
        return;
    }
    m_slave = open(name, O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
    std::error_code ec;
    std::filesystem::create_symlink(name, link, ec);
    if (ec) {
        close(m_slave);
        m_slave = -1;
    }
}

PtyPort::~PtyPort() {
    if (m_slave >= 0) {
        close(m_slave);
    }
    if (m_master >= 0) {
        close(m_master);
    }
}

size_t PtyPort::Pending() const {
    int n = 0;
    return ioctl(m_slave, FIONREAD, &n) == 0 && n > 0 ? static_cast<size_t>(n) : 0;
}

bool PtyPort::Send(std::string_view bytes, bool waitUntilHeld) {
    const size_t target = Pending() + bytes.size();
    while (!bytes.empty()) {
        const ssize_t n = write(m_master, bytes.data(), bytes.size());
        if (n < 0 && errno != EINTR) {
            return false;
        }
        if (n > 0) {
            bytes.remove_prefix(static_cast<size_t>(n));
        }
    }
    if (!waitUntilHeld) {
        return true;
    }
    // The line discipline moves the bytes over asynchronously.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (Pending() < target) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}
