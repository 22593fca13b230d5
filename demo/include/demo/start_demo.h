// The demo's start-up, run as the last step of every window creation with
// the new window's rendering context current.
#pragma once

// Starts the demo clock and sets the fixed OpenGL state the scenes draw with.
// Always returns true.
bool StartDemo();
