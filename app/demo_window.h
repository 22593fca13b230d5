// The demo's one window and its OpenGL rendering context: opening it (with
// the display-mode switch and the windowed fallback), closing it step by
// step, the window procedure that turns messages into the shared flags and
// key table, and the projection that follows the client size.
#pragma once

#include "platform/window_system.h"

#include <cstdint>

// The flags and the key table shared with the main loop are declared in
// app/demo_main.h.

extern platform::ModuleHandle moduleInstance;
extern platform::WindowHandle mainWindow;
extern platform::RenderContextHandle renderContext;
// The pixel format request: filled the first time a creation gets past the
// window, then reused unchanged by every later creation.
extern platform::PixelFormatDescriptor pixelFormatDesc;

// The window's class name.
inline constexpr const char *kWindowClassName = "OpenGL";

// Creates the window in the requested mode, makes its rendering context
// current and runs the demo's start-up. On false the user has been told why
// in a box, and everything that was built has been torn down again (the
// class registration included), or nothing beyond the registration was done.
bool OpenDemoWindow(const char *title, int width, int height, int bits, bool fullscreen);

// Tears down whatever is held, in order: display mode and cursor, rendering
// context, device context, window, class. A failed step is reported in a box
// and the teardown goes on. Safe to call when parts were never created.
void CloseDemoWindow();

// Sets the viewport and the perspective projection for a client area of
// this size (a height of 0 counts as 1).
void ResizeView(int width, int height);

intptr_t DemoWindowProc(platform::WindowHandle window, platform::MessageKind kind, uintptr_t wParam,
                        intptr_t lParam);
