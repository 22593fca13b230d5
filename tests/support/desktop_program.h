// A program run as its user runs it, on a private X server (xvfb.h): started
// in a folder with its standard error logged there, followed through that
// log and its windows (xwininfo), driven with keys (xdotool), its frames
// taken from the screen. Pictures are 8-bit RGB, rows top to bottom.
#pragma once

#include "support/subprocess.h"

#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace testsupport {

struct ScreenWindow {
    std::string id;
    int width = 0, height = 0;
};

// The last window on screen titled exactly `title`.
std::optional<ScreenWindow> FindWindow(const std::string &title);

std::string Screenshot();
std::string PngPixels(const std::filesystem::path &png);
// The mean difference of two pictures' bytes (255 when their sizes differ),
// and the spread of a picture's brightness (0 when it is flat).
double MeanDifference(const std::string &a, const std::string &b);
double Contrast(const std::string &pixels);

class DesktopProgram {
public:
    DesktopProgram(const std::vector<std::string> &argv, const std::filesystem::path &folder,
                   const std::map<std::string, std::string> &env = {});

    // Standard error so far, CR LF read as "\n"; how often `text` is in it.
    std::string Log() const;
    long Count(const std::string &text) const;
    // Polls until `done` holds, the program ends, or 30 s pass.
    bool WaitFor(const std::function<bool()> &done);
    // A window titled `title` other than the one with id `other`.
    std::optional<ScreenWindow> WaitForWindow(const std::string &title, const std::string &other = "");
    // The screen `settle` after it first shows anything; empty if it never does.
    std::string WaitForPicture(std::chrono::milliseconds settle);
    // Sends `key` to the box captioned `caption`.
    void Answer(const std::string &caption, const std::string &key);
    // Holds `key` down until `until` holds: the demo reads keys as states.
    void Hold(const std::string &key, const std::function<bool()> &until);
    // The exit code once the program ends (a failure after 30 s).
    int ExitCode();
    // Holds Escape once the window's start-up messages are through (the exit
    // code is the last message's parameter); the exit code.
    int EscapeExitCode();

private:
    std::filesystem::path log_;
    Process process_;
};

}  // namespace testsupport
