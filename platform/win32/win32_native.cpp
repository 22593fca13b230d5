// Windows: Win32 windows with WGL contexts, the performance counter, and
// waveOut sound with the system's MP3 codec; the runtime's own exit.
#include "platform/native.h"
#include "platform/win32/waveout_sound.h"
#include "platform/win32/win32_counter.h"
#include "platform/win32/win32_window_system.h"

namespace platform {

void InstallNativePlatform() {
    static win32::Win32WindowSystem windows;
    static win32::Win32PerformanceCounter counter;
    static win32::WaveOutSound sound;
    InstallWindowSystem(&windows);
    InstallCounter(&counter);
    InstallSoundSystem(&sound);
}

}  // namespace platform
