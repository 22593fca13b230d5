#include "platform/platform.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>

namespace platform {
namespace {
Platform *installed = nullptr;
}

void Install(Platform *platform) { installed = platform; }

Platform &Current() {
    if (installed == nullptr) {
        std::fputs("vandrel: no platform installed\n", stderr);
        std::abort();
    }
    return *installed;
}

bool IsCurrent(const Platform &platform) { return installed == &platform; }

int64_t SteadyCounterNow() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

bool SilentSound::Start(int, int, unsigned) { return true; }

Soundtrack *SilentSound::Open(const char *file, unsigned, int size) {
    return file != nullptr && size == 0 ? &stream_ : nullptr;
}

int SilentSound::Play(int channel, Soundtrack *stream) { return stream != nullptr ? channel : -1; }

int SilentSound::PositionMs(Soundtrack *stream) { return stream != nullptr ? 0 : -1; }

}  // namespace platform
