#include "demo/demo_clock.h"

#include "platform/platform.h"

int64_t counterFrequency = 0;
int64_t startSeconds = 0;
float startTime = 0.0f;
int32_t elapsedSeconds = 0;
float frameTime = 0.0f;

void StartDemoClock() {
    counterFrequency = platform::Current().CounterFrequency();
    const int64_t startCount = platform::Current().CounterNow();
    // A counter without a frequency cannot be divided by; the clock then
    // stands at 0 (see ReadDemoClock).
    if (counterFrequency <= 0) {
        startSeconds = 0;
        startTime = 0.0f;
        return;
    }
    startSeconds = startCount / counterFrequency;
    startTime =
        static_cast<float>(static_cast<double>(startCount) / static_cast<double>(counterFrequency));
}

void ReadDemoClock() {
    const int64_t count = platform::Current().CounterNow();
    if (counterFrequency <= 0) {
        elapsedSeconds = 0;
        frameTime = 0.0f;
        return;
    }
    // Two separately truncated quotients: the seconds step whenever the
    // counter passes a whole multiple of the frequency, not a whole second
    // after the start. The low 32 bits are kept, as the sequencer counts in
    // 32-bit seconds; the subtraction is done unsigned so that it cannot
    // overflow.
    const int64_t secondsNow = count / counterFrequency;
    elapsedSeconds = static_cast<int32_t>(static_cast<uint32_t>(
        static_cast<uint64_t>(secondsNow) - static_cast<uint64_t>(startSeconds)));
    frameTime =
        static_cast<float>(static_cast<double>(count) / static_cast<double>(counterFrequency) -
                           static_cast<double>(startTime));
}
