#include "platform/win32/win32_counter.h"

#include "platform/win32/win32_api.h"

namespace platform::win32 {

int64_t Win32PerformanceCounter::Frequency() {
    LARGE_INTEGER frequency{};
    QueryPerformanceFrequency(&frequency);
    return frequency.QuadPart;
}

int64_t Win32PerformanceCounter::Now() {
    LARGE_INTEGER now{};
    QueryPerformanceCounter(&now);
    return now.QuadPart;
}

}  // namespace platform::win32
