// The vandrel program on a private X server, started from a folder holding a
// test soundtrack and the build's pictures: its window and picture, its
// sound, its keys, its boxes, its exit codes.
#include "support/desktop_program.h"
#include "support/temp_dir.h"
#include "support/tone.h"
#include "support/xvfb.h"

#include <gtest/gtest.h>

#include <memory>

#include <X11/Xlib.h>  // after the test framework: its macros clash with it

namespace {

using namespace std::chrono_literals;

// The close request of the window-manager protocol.
bool RequestClose(const std::string &window) {
    Display *display = XOpenDisplay(nullptr);
    if (display == nullptr) return false;
    XEvent event{};
    event.xclient = {ClientMessage, 0, False, display, std::stoul(window, nullptr, 16),
                     XInternAtom(display, "WM_PROTOCOLS", False), 32, {}};
    event.xclient.data.l[0] = long(XInternAtom(display, "WM_DELETE_WINDOW", False));
    const bool sent = XSendEvent(display, event.xclient.window, False, NoEventMask, &event) != 0;
    XCloseDisplay(display);
    return sent;
}

class ProgramTest : public ::testing::Test {
protected:
    void Start(bool soundtrack, std::map<std::string, std::string> env = {}) {
        std::filesystem::create_symlink(std::filesystem::path(VANDREL_CONTENT_DIR) / "data.dat", dir_ / "data.dat");
        std::string why;
        if (soundtrack) {
            ASSERT_TRUE(tonetest::MakeToneMp3(dir_ / "DemoFinal.mp3", 880, 0.5, &why)) << why;
        }
        if (Display *display = XOpenDisplay(nullptr)) XAutoRepeatOff(display), XCloseDisplay(display);
        env.emplace("SDL_VIDEODRIVER", "x11");
        env.emplace("SDL_AUDIODRIVER", "dummy");
        program_ = std::make_unique<testsupport::DesktopProgram>(std::vector<std::string>{VANDREL_PROGRAM},
                                                                 dir_.path(), env);
    }
    testsupport::TempDir dir_;
    std::unique_ptr<testsupport::DesktopProgram> program_;
};

TEST_F(ProgramTest, FullscreenItShowsTheTitlePicturePlaysTheSoundtrackAndEndsWith27OnEscape) {
    REQUIRE_XVFB(x, "640x480x24");
    // The title holds still for its first 3 s: shortly after the first frame
    // the screen shows what the capture shows at 1 s.
    const testsupport::TempDir still;
    const auto capture = testsupport::RunProcess({VANDREL_CAPTURE_PROGRAM, "--at", "1", "-o", (still / "1s.png").string(),
                                                  "--content", VANDREL_CONTENT_DIR});
    ASSERT_EQ(capture.exitCode, 0) << capture.err;
    ASSERT_NO_FATAL_FAILURE(
        Start(true, {{"SDL_AUDIODRIVER", "disk"}, {"SDL_DISKAUDIOFILE", (dir_ / "out.raw").string()}}));
    const auto window = program_->WaitForWindow("Vandrel");
    ASSERT_TRUE(window) << program_->Log();
    EXPECT_EQ(std::tie(window->width, window->height), std::tuple(640, 480));
    EXPECT_EQ(program_->Count("window \"Vandrel\" 640x480 full-screen"), 1) << program_->Log();
    ASSERT_EQ(program_->Count("driver=disk rate=44100 format=s16le channels=2"), 1) << program_->Log();
    const std::string frame = program_->WaitForPicture(700ms);
    EXPECT_LT(testsupport::MeanDifference(frame, testsupport::PngPixels(still / "1s.png")), 4.0)
        << "another picture than the capture's";

    std::string raw;
    ASSERT_TRUE(program_->WaitFor([&] { return tonetest::Listen(raw = testsupport::ReadFile(dir_ / "out.raw"), 0, 1.3).enough; }))
        << "no sound was played; log:\n" << program_->Log();
    EXPECT_EQ(program_->EscapeExitCode(), 27) << program_->Log();
    // The tone it was given, and again after the half-second file ended.
    const tonetest::Heard first = tonetest::Listen(raw, 0.05, 0.45);
    EXPECT_GT(first.level, 5000.0);
    EXPECT_NEAR(first.frequency, 880, 10.0);
    EXPECT_GT(tonetest::Listen(raw, 0.8, 1.3).level, 3000.0);
}

TEST_F(ProgramTest, F1SwitchesToAWindowedWindowAndBack) {
    REQUIRE_XVFB(x, "640x480x24");
    ASSERT_NO_FATAL_FAILURE(Start(true));
    const auto fullscreen = program_->WaitForWindow("Vandrel");
    ASSERT_TRUE(fullscreen) << program_->Log();
    program_->Hold("F1", [&] { return program_->Count("window \"Vandrel\" 640x480 framed") == 1; });
    const auto windowed = program_->WaitForWindow("Vandrel", fullscreen->id);
    ASSERT_TRUE(windowed) << "the window was not re-created; log:\n" << program_->Log();
    EXPECT_EQ(std::tie(windowed->width, windowed->height), std::tuple(640, 480));
    program_->Hold("F1", [&] { return program_->Count("window \"Vandrel\" 640x480 full-screen") == 2; });
    EXPECT_TRUE(program_->WaitForWindow("Vandrel", windowed->id)) << program_->Log();
    EXPECT_EQ(program_->EscapeExitCode(), 27) << program_->Log();
}

TEST_F(ProgramTest, ClosingTheWindowEndsWith0EvenWithoutASoundDevice) {
    REQUIRE_XVFB(x, "640x480x24");
    ASSERT_NO_FATAL_FAILURE(Start(true, {{"SDL_AUDIODRIVER", "no-such-driver"}}));
    const auto window = program_->WaitForWindow("Vandrel");
    ASSERT_TRUE(window) << program_->Log();
    EXPECT_EQ(program_->Count("playing to the silent output"), 1) << program_->Log();
    ASSERT_TRUE(RequestClose(window->id));
    EXPECT_EQ(program_->ExitCode(), 0) << program_->Log();
}

TEST_F(ProgramTest, AMissingSoundtrackIsReportedInABoxAndEndsWith1) {
    REQUIRE_XVFB(x, "640x480x24");
    ASSERT_NO_FATAL_FAILURE(Start(false));
    program_->Answer("Error", "Return");
    EXPECT_EQ(program_->ExitCode(), 1) << program_->Log();
    EXPECT_EQ(program_->Count("message box \"Error\": Error: Could not load module\n"), 1) << program_->Log();
    EXPECT_EQ(program_->Count("window \"Vandrel\""), 0) << "a window was opened";
}

// SDL would otherwise pick a driver without a screen and run unseen.
TEST_F(ProgramTest, WithoutADisplayTheWindowCannotBeMadeAndItEndsWith0) {
    ASSERT_NO_FATAL_FAILURE(Start(true, {{"DISPLAY", ""}, {"SDL_VIDEODRIVER", ""}}));
    EXPECT_EQ(program_->ExitCode(), 0) << program_->Log();
    EXPECT_EQ(program_->Count("message box \"ERROR\": Failed To Register The Window Class.\n"), 1) << program_->Log();
}

// On a screen larger than 640 x 480 the display offers no such mode.
TEST_F(ProgramTest, ARefusedModeAnsweredYesRunsWindowedAndAnsweredNoEndsWith0) {
    REQUIRE_XVFB(x, "800x600x24");
    ASSERT_NO_FATAL_FAILURE(Start(true));
    program_->Answer("Orv GL", "Return");
    const auto window = program_->WaitForWindow("Vandrel");
    ASSERT_TRUE(window) << program_->Log();
    EXPECT_EQ(std::tie(window->width, window->height), std::tuple(640, 480));
    EXPECT_EQ(program_->Count("message box \"Orv GL\": The Requested Fullscreen Mode Is Not Supported "
                              "By\nYour Video Card. Use Windowed Mode Instead?\n"), 1) << program_->Log();
    EXPECT_EQ(program_->Count("window \"Vandrel\" 640x480 framed"), 1) << program_->Log();
    EXPECT_EQ(program_->EscapeExitCode(), 27) << program_->Log();

    std::filesystem::remove_all(dir_ / "data.dat");
    std::filesystem::remove(dir_ / "stderr.log");
    ASSERT_NO_FATAL_FAILURE(Start(true));
    program_->Answer("Orv GL", "Escape");
    program_->Answer("ERROR", "Return");
    EXPECT_EQ(program_->ExitCode(), 0) << program_->Log();
    EXPECT_EQ(program_->Count("message box \"ERROR\": Program Will Now Close.\n"), 1) << program_->Log();
    EXPECT_EQ(program_->Count("window \"Vandrel\""), 0);
}

}  // namespace
