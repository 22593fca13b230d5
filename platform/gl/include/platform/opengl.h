// OpenGL 1.1 and GLU, as the demo's code includes them on every platform.
#pragma once

#if defined(_WIN32)
// The system's GL headers need the calling-convention macros of windows.h.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#endif
#include <GL/gl.h>
#include <GL/glu.h>
