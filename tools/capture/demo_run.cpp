#include "demo_run.h"

#include "app/demo_main.h"

namespace capture {

bool RunDemo(const platform::offscreen::OffscreenSettings &settings, std::string *error) {
    platform::offscreen::OffscreenPlatform platform(settings);
    const int exitCode = DemoMain(platform);
    if (platform.failed()) {
        *error = platform.failure();
        return false;
    }
    if (platform.framesDrawn() < settings.endFrame) {
        *error = "the demo ended with exit code " + std::to_string(exitCode) + " after " +
                 std::to_string(platform.framesDrawn()) + " frames";
        return false;
    }
    return true;
}

}  // namespace capture
