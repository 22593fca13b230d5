// The high-resolution performance counter the demo clock runs on.
#pragma once

#include <cstdint>

namespace platform {

class PerformanceCounter {
public:
    virtual ~PerformanceCounter() = default;
    // Ticks per second. Never changes while the program runs.
    virtual int64_t Frequency() = 0;
    // The current tick count; never goes backwards.
    virtual int64_t Now() = 0;
};

// The counter in use: the system's monotonic clock in nanoseconds unless a
// program (a test, a capture at a fixed frame rate) installs another. Not
// owned here; null restores the system's clock.
PerformanceCounter &Counter();
void InstallCounter(PerformanceCounter *counter);

}  // namespace platform
