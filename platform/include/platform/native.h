// The platform the program is built for. Each platform folder that can run
// the demo program defines this once; the build links exactly one of them.
#pragma once

#include "platform/platform.h"

namespace platform {

// The platform of this build, made on first use and kept until the process
// ends.
Platform &NativePlatform();

}  // namespace platform
