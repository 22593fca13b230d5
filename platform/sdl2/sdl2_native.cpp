// Linux (and other SDL2 desktops): SDL2 windows and SDL2_mixer sound; the
// shared monotonic counter and the runtime's exit.
#include "platform/native.h"
#include "platform/sdl2/sdl2_sound.h"
#include "platform/sdl2/sdl2_window_system.h"

#include <SDL.h>

#include <cstdlib>

namespace platform {

void InstallNativePlatform() {
    // Registered first so it runs last at exit, after the window and sound
    // systems below have closed what they opened; this also holds for the
    // exit taken from inside a frame, where nothing is torn down before.
    static const bool sdlQuitRegistered = std::atexit([] { SDL_Quit(); }) == 0;
    (void)sdlQuitRegistered;
    static sdl2::Sdl2WindowSystem windows;
    static sdl2::Sdl2MixerSound sound;
    InstallWindowSystem(&windows);
    InstallSoundSystem(&sound);
}

}  // namespace platform
