// The demo's entry and main loop: sound start, the first window, then one
// message or one frame per pass, with Escape to end and F1 to switch between
// fullscreen and windowed.
#pragma once

#include "platform/platform.h"

// The soundtrack, opened from the content folder.
inline constexpr const char *kSoundtrackFile = "DemoFinal.mp3";

// Installs `platform`, runs the demo on it and returns the process exit code:
// 1 when the sound could not be started, 0 when a window could not be
// created or was closed, otherwise the parameter of the last message taken
// (27 after Escape). The end at second 120 leaves through the platform's exit
// from inside the frame; should that return (a test, a capture), the loop
// goes on until a message ends it.
int DemoMain(platform::Platform &platform);
