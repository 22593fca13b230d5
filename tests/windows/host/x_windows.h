// The X requests the Wine tests make themselves: top-level windows by name
// (with their place on the screen), a window manager's close request, and
// keys that do not repeat while held.
#pragma once

#include <string>
#include <vector>

namespace xwindows {

struct TopWindow {
    unsigned long id = 0;
    int x = 0, y = 0, width = 0, height = 0;
};

// The viewable top-level windows of $DISPLAY titled exactly `name`. A window
// that goes away while it is looked at is left out.
std::vector<TopWindow> Named(const std::string &name);

// Sends the window the close request of the window-manager protocol.
bool RequestClose(unsigned long window);

// Held keys do not repeat on this display from now on.
bool AutoRepeatOff();

}  // namespace xwindows
