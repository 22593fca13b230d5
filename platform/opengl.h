// OpenGL 1.1 and GLU, as the demo's code includes them on every platform.
#pragma once

#if defined(_WIN32)
// The system's GL headers need the platform's calling-convention macros.
#include "platform/win32/win32_api.h"
#endif
#include <GL/gl.h>
#include <GL/glu.h>
