// Keeps the shared libraries an OpenGL window or context pulled in loaded
// until the process ends.
#pragma once

namespace platform::sdl2 {

// Pins every shared library loaded so far. Called once a GL-capable window or
// a context exists, so the system's GL driver stays in memory when windows and
// contexts go away:
// a later context (F1) need not load it again, and a leak checker at exit
// can still name the driver's own leftovers instead of an unknown module.
void KeepLoadedLibrariesLoaded();

}  // namespace platform::sdl2
