// X requests the program tests need and the command-line tools do not offer.
#pragma once

#include <string>
#include <vector>

namespace xtest {

struct TopWindow {
    unsigned long id = 0;
    int width = 0, height = 0;
};

// The viewable top-level windows titled exactly `name` on $DISPLAY.
std::vector<TopWindow> WindowsNamed(const std::string &name);

// Sends the window the close request of the window-manager protocol.
bool RequestClose(unsigned long window);

// Held keys stop repeating on this display, so a test can hold F1 safely.
bool AutoRepeatOff();

}  // namespace xtest
