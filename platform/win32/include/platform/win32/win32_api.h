// The Windows headers, included the one way every file of this platform
// includes them: without the rarely used parts, and without the min and max
// macros that would break the C++ library.
#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
