// The platform the program is built for. Each platform folder implements
// this once; the build links exactly one of them into the program.
#pragma once

namespace platform {

// Installs the platform's window system, performance counter, sound system
// and process exit for the rest of the process.
void InstallNativePlatform();

}  // namespace platform
