#include "platform/counter.h"

#include <chrono>

namespace platform {
namespace {

class MonotonicCounter final : public PerformanceCounter {
public:
    using Clock = std::chrono::steady_clock;
    int64_t Frequency() override { return std::nano::den; }
    int64_t Now() override {
        return std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch())
            .count();
    }
};

MonotonicCounter systemCounter;
PerformanceCounter *installed = &systemCounter;

}  // namespace

PerformanceCounter &Counter() { return *installed; }

void InstallCounter(PerformanceCounter *counter) {
    installed = counter != nullptr ? counter : &systemCounter;
}

}  // namespace platform
