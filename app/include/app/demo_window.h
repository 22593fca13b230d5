// The demo's one window and its OpenGL rendering context: opening it (with
// the windowed fallback when the display refuses full screen) and closing it,
// each failed step told in its box; the window's events turned into the
// flags and key table that the main loop reads; and the projection that
// follows the client size.
#pragma once

// Key states by key code: key-down sets an entry, key-up clears it.
extern bool keyDown[256];
// False while the window was last reported minimised; Escape is ignored then.
extern bool windowActive;
// The mode of the window being (or last) created; starts fullscreen.
extern bool fullscreenMode;

// The fixed request for every window.
inline constexpr const char *kWindowTitle = "Vandrel";
inline constexpr int kWindowWidth = 640;
inline constexpr int kWindowHeight = 480;
inline constexpr int kWindowBits = 32;

// Creates the window in the requested mode, makes its rendering context
// current and runs the demo's start-up. On false the user has been told why
// in a box, and everything that was built has been torn down again, or
// nothing beyond the registration was done.
bool OpenDemoWindow(const char *title, int width, int height, int bits, bool fullscreen);

// Tears down whatever is held and tells each failed step in a box, in order.
// Safe to call when parts were never created.
void CloseDemoWindow();

// Sets the viewport and the perspective projection for a client area of
// this size (a height of 0 counts as 1).
void ResizeView(int width, int height);
