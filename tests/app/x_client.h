// A few X requests the program tests need that the command-line tools do
// not offer: listing top-level windows by name, asking a window to close as
// a window manager does, and switching key auto-repeat off.
#pragma once

#include <string>
#include <vector>

namespace xtest {

struct TopWindow {
    unsigned long id = 0;
    int x = 0, y = 0, width = 0, height = 0;
};

// The viewable top-level windows titled exactly `name` on $DISPLAY.
std::vector<TopWindow> WindowsNamed(const std::string &name);

// Sends the window the close request of the window-manager protocol.
bool RequestClose(unsigned long window);

// Held keys do not repeat on this display from now on, so a test can hold a
// key as long as it likes.
bool AutoRepeatOff();

}  // namespace xtest
