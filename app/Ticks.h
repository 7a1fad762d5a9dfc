// Portable: waiting on the system's 32-bit millisecond tick count, which wraps after 49.7 days.
// Elapsed time is the unsigned difference of two readings, correct across the wrap.
#pragma once

#include <cstdint>

// Milliseconds still to wait of a Duration that began at tick Start, at tick Now; 0 once over.
constexpr uint32_t MillisecondsLeft(uint32_t Start, uint32_t Now, uint32_t Duration) {
    const uint32_t elapsed = Now - Start;
    return elapsed >= Duration ? 0 : Duration - elapsed;
}
