#include "Threads.h"

#include <cerrno>
#include <chrono>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <thread>
#include <unistd.h>

std::mutex g_csParser;

void CEvent::Set() {
    {
        std::lock_guard lock(m_mutex);
        m_bSignalled = true;
    }
    m_cv.notify_one();
}

void CEvent::Reset() {
    std::lock_guard lock(m_mutex);
    m_bSignalled = false;
}

bool CEvent::Wait(uint32_t timeoutMs) {
    std::unique_lock lock(m_mutex);
    if (timeoutMs == kWaitInfinite) {
        m_cv.wait(lock, [this] { return m_bSignalled; });
    } else if (!m_cv.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                              [this] { return m_bSignalled; })) {
        return false;
    }
    m_bSignalled = false;
    return true;
}

bool SetCurrentThreadPriority(int level) {
    constexpr int kOrdinary = 248;
    if (level < 0) {
        level = 0;
    }
    // 248..255 -> nice 0; 247..0 -> nice -1..-20.
    const int nice = level >= kOrdinary ? 0 : -1 - (kOrdinary - 1 - level) * 19 / (kOrdinary - 1);
    // On Linux a nice value belongs to the thread (its task id), not to the whole process.
    const auto tid = static_cast<id_t>(syscall(SYS_gettid));
    return setpriority(PRIO_PROCESS, tid, nice) == 0;
}

void SleepMs(uint32_t ms) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}
