// SDL key codes to the virtual-key codes that the demo's key messages carry.
#pragma once

#include <SDL_keycode.h>

#include <cstdint>

namespace platform::sdl2 {

// The virtual-key code for an SDL key, or 0 for keys without one. Letters
// and digits map by the character they type (as the home platform does);
// the other keys by their position and purpose. Left and right modifier
// keys both map to the generic modifier code that key messages carry.
uint8_t VirtualKeyFromSdl(SDL_Keycode key);

}  // namespace platform::sdl2
