#include "platform/window_system.h"

#include <cstdio>
#include <cstdlib>

namespace platform {
namespace {
WindowSystem *installed = nullptr;
}

WindowSystem &Windows() {
    if (installed == nullptr) {
        // A programming error of the program, not of the user's machine.
        std::fputs("vandrel: no window system installed\n", stderr);
        std::abort();
    }
    return *installed;
}

void InstallWindowSystem(WindowSystem *windowSystem) { installed = windowSystem; }

}  // namespace platform
