// The demo's entry and main loop: sound start, the first window, then one
// message or one frame per pass, with Escape to end and F1 to switch between
// fullscreen and windowed.
#pragma once

#include "platform/window_system.h"

// ---- shared with the window procedure ------------------------------------
// Key states by virtual-key code: key-down sets an entry, key-up clears it.
extern bool keyDown[256];
// False while the window was last reported minimised; Escape is ignored then.
extern bool windowActive;
// The mode of the window being (or last) created; starts fullscreen.
extern bool fullscreenMode;
// The window's device context, where frames are presented; null when not held.
extern platform::DeviceContextHandle deviceContext;

// The fixed request for every window.
inline constexpr const char *kWindowTitle = "Vandrel";
inline constexpr int kWindowWidth = 640;
inline constexpr int kWindowHeight = 480;
inline constexpr int kWindowBits = 32;

// The soundtrack, opened from the current folder.
inline constexpr const char *kSoundtrackFile = "DemoFinal.mp3";

// Runs the demo and returns the process exit code: 1 when the sound could not
// be started, 0 when a window could not be created or was closed, otherwise
// the parameter of the last message taken (27 after Escape). The end at
// second 120 leaves the process from inside the frame without returning.
int DemoMain();
