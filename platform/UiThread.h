#pragma once
// Posting work from any thread to the user-interface thread.
//
// PostToUi queues call to run on the user-interface thread, later, and only while token's owner
// still lives: the call runs under a lease of the token (LifetimeGuard.h), and the owner closes
// its guard on the user-interface thread before it is destroyed, so a posted call can never reach
// a destroyed object. Calls run in the order they were posted.
//
// Threads: any thread may call PostToUi; the calls run on the user-interface thread.
#include "LifetimeGuard.h"

#include <cstdint>
#include <functional>

void PostToUi(const CLifetimeToken& token, std::function<void()> call);

// A periodic call on the user-interface thread straight from the toolkit's main loop. Unlike a
// wxTimer tick it is no wx event and wakes no idle pass over every window afterwards, so a tick
// that usually finds nothing to do (the sentence box at 20 Hz) costs next to nothing.
// Threads: the user-interface thread only; the calls run there too, inside modal loops as well.
class CUiTicker {
public:
    CUiTicker() = default;
    ~CUiTicker() { Stop(); }
    CUiTicker(const CUiTicker&) = delete;
    CUiTicker& operator=(const CUiTicker&) = delete;

    // Starts (or restarts) the ticks every periodMs (1 or more); false when refused.
    bool Start(uint32_t periodMs, std::function<void()> tick);
    void Stop();
    bool IsRunning() const { return m_source != 0; }

private:
    static int OnTick(void* self);
    unsigned m_source = 0; // the main loop's source id; 0 while stopped
    std::function<void()> m_tick;
};
