// The vandrel program on a private X server, started from a folder holding a
// test soundtrack: its window, its sound, its keys, its boxes, its exit codes.
#include "tests/platform/tone.h"
#include "tests/support/subprocess.h"
#include "tests/support/temp_dir.h"
#include "tests/support/xvfb.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <memory>
#include <optional>
#include <thread>

#include <X11/Xlib.h>  // after the test framework: its macros clash with it
#include <X11/Xutil.h>

namespace {

using namespace std::chrono_literals;
using DisplayPtr = std::unique_ptr<Display, decltype(&XCloseDisplay)>;
DisplayPtr OpenDisplay() { return DisplayPtr(XOpenDisplay(nullptr), &XCloseDisplay); }

struct TopWindow {
    unsigned long id = 0;
    int width = 0, height = 0;
};

// The viewable top-level windows titled exactly `name`.
std::vector<TopWindow> WindowsNamed(const std::string &name) {
    std::vector<TopWindow> found;
    DisplayPtr display = OpenDisplay();
    Window root = 0, parent = 0, *children = nullptr;
    unsigned int count = 0;
    if (!display || !XQueryTree(display.get(), DefaultRootWindow(display.get()), &root, &parent,
                                &children, &count))
        return found;
    for (unsigned int i = 0; i < count; ++i) {
        XTextProperty title{};
        XWindowAttributes a;
        if (!XGetWMName(display.get(), children[i], &title) || title.value == nullptr) continue;
        const bool match = name == std::string(reinterpret_cast<char *>(title.value), title.nitems);
        XFree(title.value);
        if (match && XGetWindowAttributes(display.get(), children[i], &a) &&
            a.map_state == IsViewable)
            found.push_back(TopWindow{children[i], a.width, a.height});
    }
    if (children != nullptr) XFree(children);
    return found;
}

// The close request of the window-manager protocol.
bool RequestClose(unsigned long window) {
    DisplayPtr display = OpenDisplay();
    if (!display) return false;
    XEvent event{};
    event.xclient = {ClientMessage, 0, False, display.get(), window,
                     XInternAtom(display.get(), "WM_PROTOCOLS", False), 32, {}};
    event.xclient.data.l[0] = long(XInternAtom(display.get(), "WM_DELETE_WINDOW", False));
    const bool sent = XSendEvent(display.get(), window, False, NoEventMask, &event) != 0;
    XSync(display.get(), False);
    return sent;
}

// Level (root mean square) and zero-crossing frequency of the left channel
// of recorded 16-bit stereo, from `from` to `to` seconds after the first
// sound; a level of -1 while less was recorded.
std::pair<double, double> Measure(const std::string &raw, double from, double to) {
    std::vector<int> left;
    for (size_t i = 0; i + 3 < raw.size(); i += 4) {
        const int sample = int16_t(uint8_t(raw[i]) | uint8_t(raw[i + 1]) << 8);
        if (!left.empty() || std::abs(sample) > 1000) left.push_back(sample);
    }
    if (left.size() < to * 44100) return {-1, 0};
    double sum = 0;
    int crossings = 0, sign = 0;
    size_t first = 0, last = 0;
    for (size_t i = size_t(from * 44100); i < size_t(to * 44100); ++i) {
        sum += double(left[i]) * left[i];
        if (std::abs(left[i]) < 200 || (left[i] > 0 ? 1 : -1) == sign) continue;
        if (sign != 0 && crossings++ == 0) first = i;
        last = i;
        sign = left[i] > 0 ? 1 : -1;
    }
    const double frequency = crossings < 3 ? 0 : (crossings - 1) / 2.0 * 44100 / (last - first);
    return {std::sqrt(sum / ((to - from) * 44100)), frequency};
}

class ProgramTest : public ::testing::Test {
protected:
    void Start(bool withSoundtrack, std::map<std::string, std::string> env = {}) {
        std::string why;
        if (withSoundtrack) {
            ASSERT_TRUE(tonetest::MakeToneMp3(dir_ / "DemoFinal.mp3", 880, 0.5, &why)) << why;
        }
        if (DisplayPtr display = OpenDisplay()) XAutoRepeatOff(display.get());
        env.emplace("SDL_VIDEODRIVER", "x11");
        env.emplace("SDL_AUDIODRIVER", "dummy");
        testsupport::ProcessOptions options;
        options.workingDir = dir_.path().string();
        options.env = env;
        process_ = std::make_unique<testsupport::Process>(
            std::vector<std::string>{"/bin/sh", "-c", "exec \"$0\" 2>>stderr.log", VANDREL_PROGRAM},
            options);
    }
    std::string Log() const { return testsupport::ReadFile(dir_ / "stderr.log"); }
    long LogCount(const std::string &text) const {
        const std::string log = Log();
        long n = 0;
        for (size_t at = log.find(text); at != std::string::npos; at = log.find(text, at + 1)) ++n;
        return n;
    }
    // Polls until `done` holds, the program ends, or 20 seconds pass.
    bool WaitFor(const std::function<bool()> &done) {
        for (auto end = std::chrono::steady_clock::now() + 20s; std::chrono::steady_clock::now() < end;
             std::this_thread::sleep_for(20ms))
            if (done() || !process_->running()) return done();
        return false;
    }
    std::optional<TopWindow> WaitForWindow(const std::string &name, unsigned long not_ = 0) {
        std::optional<TopWindow> found;
        WaitFor([&] {
            auto windows = WindowsNamed(name);
            if (windows.size() == 1 && windows[0].id != not_) found = windows[0];
            return found.has_value();
        });
        return found;
    }
    static void Xdotool(const std::vector<std::string> &args) {
        std::vector<std::string> argv = {"xdotool"};
        argv.insert(argv.end(), args.begin(), args.end());
        auto result = testsupport::RunProcess(argv);
        EXPECT_EQ(result.exitCode, 0) << result.err;
    }
    // The loop looks at keys on idle passes only: a key is held until `until` holds.
    void Hold(const std::string &key, const std::function<bool()> &until) {
        Xdotool({"keydown", key});
        EXPECT_TRUE(WaitFor(until)) << key << " had no effect; log:\n" << Log();
        Xdotool({"keyup", key});
    }
    int WaitForExit() {
        testsupport::ProcessResult result = process_->Wait(30000ms);
        EXPECT_FALSE(result.timedOut) << "the program did not end; log:\n" << Log();
        EXPECT_EQ(result.signal, 0) << Log();
        return result.exitCode;
    }
    // The exit code is the last message's parameter: Escape is pressed once
    // the new window's own start-up messages are through (SDL reports the
    // keyboard focus a fifth of a second after the window gets it).
    int EscapeAndWait() {
        std::this_thread::sleep_for(700ms);
        Hold("Escape", [&] { return !process_->running(); });
        return WaitForExit();
    }
    // Answers a message box: boxes take keys sent to them directly.
    void Answer(const std::string &caption, const std::string &key) {
        auto box = WaitForWindow(caption);
        ASSERT_TRUE(box.has_value()) << "no box \"" << caption << "\"; log:\n" << Log();
        Xdotool({"key", "--window", std::to_string(box->id), key});
    }

    testsupport::TempDir dir_;
    std::unique_ptr<testsupport::Process> process_;
};

TEST_F(ProgramTest, PlaysTheSoundtrackFullscreenAndEndsWith27OnEscape) {
    REQUIRE_XVFB(x, "640x480x24");
    Start(true, {{"SDL_AUDIODRIVER", "disk"}, {"SDL_DISKAUDIOFILE", (dir_ / "out.raw").string()}});
    auto window = WaitForWindow("Vandrel");
    ASSERT_TRUE(window.has_value()) << Log();
    EXPECT_EQ(std::tie(window->width, window->height), std::tuple(640, 480));
    EXPECT_EQ(LogCount("window \"Vandrel\" 640x480 full-screen"), 1) << Log();
    ASSERT_EQ(LogCount("driver=disk rate=44100 format=s16le channels=2"), 1) << Log();
    std::string raw;
    ASSERT_TRUE(WaitFor([&] {
        raw = testsupport::ReadFile(dir_ / "out.raw");
        return Measure(raw, 1.25, 1.3).first >= 0;
    })) << "no sound was played; log:\n" << Log();
    EXPECT_EQ(EscapeAndWait(), 27) << Log();
    // The tone it was given, and still after the half-second file ended.
    const auto [level, frequency] = Measure(raw, 0.05, 0.45);
    EXPECT_GT(level, 5000.0);
    EXPECT_NEAR(frequency, 880, 10.0);
    EXPECT_GT(Measure(raw, 0.8, 1.3).first, 3000.0);
}

TEST_F(ProgramTest, F1SwitchesToAWindowedWindowAndBack) {
    REQUIRE_XVFB(x, "640x480x24");
    Start(true);
    auto fullscreen = WaitForWindow("Vandrel");
    ASSERT_TRUE(fullscreen.has_value()) << Log();
    Hold("F1", [&] { return LogCount("window \"Vandrel\" 640x480 framed") == 1; });
    auto windowed = WaitForWindow("Vandrel", fullscreen->id);
    ASSERT_TRUE(windowed.has_value()) << "the window was not re-created; log:\n" << Log();
    EXPECT_EQ(std::tie(windowed->width, windowed->height), std::tuple(640, 480));
    Hold("F1", [&] { return LogCount("window \"Vandrel\" 640x480 full-screen") == 2; });
    EXPECT_TRUE(WaitForWindow("Vandrel", windowed->id).has_value()) << Log();
    EXPECT_EQ(EscapeAndWait(), 27) << Log();
}

TEST_F(ProgramTest, ClosingTheWindowEndsWith0EvenWithoutASoundDevice) {
    REQUIRE_XVFB(x, "640x480x24");
    Start(true, {{"SDL_AUDIODRIVER", "no-such-driver"}});
    auto window = WaitForWindow("Vandrel");
    ASSERT_TRUE(window.has_value()) << Log();
    EXPECT_EQ(LogCount("playing to the silent output"), 1) << Log();
    ASSERT_TRUE(RequestClose(window->id));
    EXPECT_EQ(WaitForExit(), 0) << Log();
}

TEST_F(ProgramTest, AMissingSoundtrackIsReportedInABoxAndEndsWith1) {
    REQUIRE_XVFB(x, "640x480x24");
    Start(false);
    ASSERT_TRUE(WaitFor([&] { return LogCount("message box") > 0; })) << Log();
    EXPECT_EQ(LogCount("message box \"Error\": Error: Could not load module\n"), 1) << Log();
    Answer("Error", "Return");
    EXPECT_EQ(WaitForExit(), 1) << Log();
    EXPECT_EQ(LogCount("window \"Vandrel\""), 0) << "a window was opened";
}

// On a screen larger than 640 x 480 the display offers no such mode.
TEST_F(ProgramTest, ARefusedModeAnsweredYesRunsWindowedAndAnsweredNoEndsWith0) {
    REQUIRE_XVFB(x, "800x600x24");
    Start(true);
    Answer("Orv GL", "Return");
    EXPECT_EQ(LogCount("message box \"Orv GL\": The Requested Fullscreen Mode Is Not Supported "
                       "By\nYour Video Card. Use Windowed Mode Instead?\n"),
              1)
        << Log();
    auto window = WaitForWindow("Vandrel");
    ASSERT_TRUE(window.has_value()) << Log();
    EXPECT_EQ(std::tie(window->width, window->height), std::tuple(640, 480));
    EXPECT_EQ(LogCount("window \"Vandrel\" 640x480 framed"), 1) << Log();
    EXPECT_EQ(EscapeAndWait(), 27) << Log();

    std::filesystem::remove(dir_ / "stderr.log");
    Start(true);
    Answer("Orv GL", "Escape");
    ASSERT_TRUE(WaitFor([&] { return LogCount("Program Will Now Close.\n") > 0; })) << Log();
    EXPECT_EQ(LogCount("message box \"ERROR\": Program Will Now Close.\n"), 1) << Log();
    Answer("ERROR", "Return");
    EXPECT_EQ(WaitForExit(), 0) << Log();
    EXPECT_EQ(LogCount("window \"Vandrel\""), 0);
}

}  // namespace
