// The scene sequencer: every frame keeps the soundtrack going, reads the demo
// clock, moves the scene state on at the fixed switch seconds, ends the
// process at second 120 and draws the current scene.
#pragma once

#include <cstdint>

#include "platform/platform.h"

// The soundtrack, opened once by the entry point before the first window.
extern platform::Soundtrack *soundtrackStream;

// Which scene is drawn. 1 before anything runs; changes only at the switch
// seconds and is never reset, not even by a new clock start.
extern int32_t sceneState;

// The second at which the timeline ends the process.
inline constexpr int32_t kDemoEndSecond = 120;

// Draws one frame into the back buffer (the caller swaps buffers). At second
// 120 it ends the process through the platform's exit with code 0 instead,
// drawing nothing; should that return (a test, a capture), it returns at once.
// Always returns 1.
int StepFrame();
