#pragma once
// Millisecond tick from the monotonic clock. Wraps at 2^32 like a handheld's tick count:
// compare ticks only through unsigned differences.
#include <cstdint>
#include <ctime>

inline uint32_t TickCountMs() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    uint64_t ms =
        static_cast<uint64_t>(ts.tv_sec) * 1000u + static_cast<uint64_t>(ts.tv_nsec) / 1000000u;
    return static_cast<uint32_t>(ms);
}
