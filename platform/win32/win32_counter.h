// The performance counter on Windows: QueryPerformanceFrequency and
// QueryPerformanceCounter.
#pragma once

#include "platform/counter.h"

namespace platform::win32 {

class Win32PerformanceCounter final : public PerformanceCounter {
public:
    int64_t Frequency() override;
    int64_t Now() override;
};

}  // namespace platform::win32
