#pragma once
// Threads, locks and waits as the program uses them.
//
// g_csParser: the one process-wide lock that guards the main dialog's NMEA parser. Any thread
// takes it (std::lock_guard) around Parse, Reset, copies of the parser and reads of decoded values
// another thread may be changing. It is never held across a sleep, a wait, a window call or
// drawing, and no thread holds it together with another lock of the program.
//
// CEvent: an auto-reset event. Any thread may call Set, Reset and Wait; its mutex guards only the
// signalled flag.
//
// SetCurrentThreadPriority and SleepMs act on the calling thread.
#include <condition_variable>
#include <cstdint>
#include <mutex>

extern std::mutex g_csParser;

// A wait that ends only when the event comes.
inline constexpr uint32_t kWaitInfinite = 0xFFFFFFFFu;

class CEvent {
public:
    CEvent() = default;
    CEvent(const CEvent&) = delete;
    CEvent& operator=(const CEvent&) = delete;

    // Signals the event: one waiter (or the next thread to wait) wakes and resets it.
    void Set();
    void Reset();
    // True when the event came within timeoutMs (it is then reset again), false on time-out.
    bool Wait(uint32_t timeoutMs);

private:
    std::mutex m_mutex;
    std::condition_variable m_cv;
    bool m_bSignalled = false; // guarded by m_mutex
};

// Priority on the handheld's scale: 0 is the highest, 248 to 255 ordinary threads. Levels above
// the ordinary ones become a lower nice value of the calling thread (never real-time scheduling,
// which could starve the rest of the program on a small machine). Raising needs privilege:
// returns false when refused, and the thread goes on at its priority.
bool SetCurrentThreadPriority(int level);

void SleepMs(uint32_t ms);
