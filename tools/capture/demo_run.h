// One run of the demo program's own start-up and main loop on the offscreen
// platform: the capture's frames come from exactly what the demo does.
#pragma once

#include <string>

#include "platform/offscreen/offscreen_platform.h"

namespace capture {

// Runs the demo until the last frame of the settings' range has gone to the
// sink. False, saying why, when the sink stopped the run or the demo ended
// before that frame. The demo's state lives for the process, as in the demo
// program: a process runs it once.
bool RunDemo(const platform::offscreen::OffscreenSettings &settings, std::string *error);

}  // namespace capture
