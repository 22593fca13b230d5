// vandrel.exe under Wine on a private X server: the full-screen switch, the
// title picture on screen, the soundtrack through a private sound server,
// the keys, the boxes and the exit codes.
#include "tests/platform/tone.h"
#include "tests/support/subprocess.h"
#include "tests/support/temp_dir.h"
#include "tests/support/xvfb.h"
#include "tests/windows/host/recording.h"
#include "tests/windows/host/screen.h"
#include "tests/windows/host/wine_session.h"
#include "tests/windows/host/x_windows.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <thread>

namespace {

using namespace std::chrono_literals;
using screentest::Image;

constexpr int kToneFrequency = 880;
constexpr int kRate = 44100;

// Runs a program (vandrel.exe under Wine, or the native vandrel for a
// reference) in a folder of its own, with its standard error in a file the
// test reads while it runs.
class RunningProgram {
public:
    RunningProgram(std::vector<std::string> argv, const std::filesystem::path &dir,
                   std::map<std::string, std::string> env)
        : log_(dir / "stderr.log") {
        testsupport::ProcessOptions options;
        options.workingDir = dir.string();
        options.env = std::move(env);
        std::vector<std::string> command = {"/bin/sh", "-c", "exec \"$@\" 2>>\"$0\"", log_.string()};
        command.insert(command.end(), argv.begin(), argv.end());
        process_ = std::make_unique<testsupport::Process>(command, options);
    }

    // What it wrote to standard error, lines ending in "\n" (a Windows
    // program writes text with CR LF).
    std::string Log() const {
        std::string log = testsupport::ReadFile(log_);
        std::erase(log, '\r');
        return log;
    }
    long LogCount(const std::string &text) const {
        const std::string log = Log();
        long n = 0;
        for (size_t at = log.find(text); at != std::string::npos; at = log.find(text, at + 1)) ++n;
        return n;
    }
    bool running() { return process_->running(); }

    // Polls until `done` holds, the program ends, or time runs out.
    bool WaitFor(const std::function<bool()> &done, std::chrono::seconds limit = 30s) {
        const auto deadline = std::chrono::steady_clock::now() + limit;
        while (std::chrono::steady_clock::now() < deadline) {
            if (done()) return true;
            if (!process_->running()) return done();
            std::this_thread::sleep_for(50ms);
        }
        return false;
    }
    std::optional<xwindows::TopWindow> WaitForWindow(const std::string &name) {
        std::optional<xwindows::TopWindow> found;
        WaitFor([&] {
            auto windows = xwindows::Named(name);
            if (!windows.empty()) found = windows.back();
            return found.has_value();
        });
        return found;
    }
    bool WaitForLog(const std::string &text, long count = 1) {
        return WaitFor([&] { return LogCount(text) >= count; });
    }

    int WaitForExit() {
        testsupport::ProcessResult result = process_->Wait(30000ms);
        EXPECT_FALSE(result.timedOut) << "the program did not end; its log:\n" << Log();
        EXPECT_EQ(result.signal, 0) << Log();
        return result.exitCode;
    }

    // The first frame that shows anything, then `settle` later: a picture
    // of a known moment of the demo, whenever its start-up ended.
    std::optional<Image> FrameAfterFirstDrawn(std::chrono::milliseconds settle) {
        std::optional<Image> frame;
        WaitFor([&] {
            frame = screentest::Screenshot();
            return frame && screentest::Contrast(*frame) > 10.0;
        });
        if (!frame || screentest::Contrast(*frame) <= 10.0) return std::nullopt;
        std::this_thread::sleep_for(settle);
        return screentest::Screenshot();
    }

private:
    std::filesystem::path log_;
    std::unique_ptr<testsupport::Process> process_;
};

void Xdotool(const std::vector<std::string> &args) {
    std::vector<std::string> argv = {"xdotool"};
    argv.insert(argv.end(), args.begin(), args.end());
    auto result = testsupport::RunProcess(argv);
    EXPECT_EQ(result.exitCode, 0) << result.err;
}

// The demo's exit code after Escape is the parameter of the last message it
// took. A window that has just been shown may still get a paint message
// (parameter 0) after the key's own; tests press Escape once it has settled.
void Settle() { std::this_thread::sleep_for(1500ms); }

// Holds a key down until the program ends (the demo reads keys as states,
// between messages), then lets it go. Returns the exit code.
int HoldKeyUntilExit(RunningProgram &program, const std::string &key) {
    Xdotool({"keydown", key});
    const int code = program.WaitForExit();
    Xdotool({"keyup", key});
    return code;
}

// Answers a message box: it takes keys sent to it directly.
void Answer(RunningProgram &program, const std::string &caption, const std::string &key) {
    auto box = program.WaitForWindow(caption);
    ASSERT_TRUE(box.has_value()) << "no box \"" << caption << "\"; log:\n" << program.Log();
    Xdotool({"key", "--window", std::to_string(box->id), key});
}

class WineProgramTest : public ::testing::Test {
protected:
    // The folder the program runs in: the pictures of the build's content,
    // and a test tone as the soundtrack (unless `withSoundtrack` is false).
    static void Furnish(const std::filesystem::path &dir, bool withSoundtrack, double seconds = 3.0) {
        std::filesystem::create_symlink(std::filesystem::path(VANDREL_CONTENT_DIR) / "data.dat",
                                        dir / "data.dat");
        if (!withSoundtrack) return;
        std::string why;
        ASSERT_TRUE(tonetest::MakeToneMp3(dir / "DemoFinal.mp3", kToneFrequency, seconds, &why)) << why;
    }

    // Starts vandrel.exe; needs an X server first.
    void StartWindowsProgram(bool withSoundtrack, std::map<std::string, std::string> env = {}) {
        Furnish(dir_.path(), withSoundtrack);
        if (HasFatalFailure()) return;
        xwindows::AutoRepeatOff();
        wine_ = std::make_unique<winetest::WineSession>();
        ASSERT_TRUE(wine_->ok()) << wine_->error();
        program_ = std::make_unique<RunningProgram>(
            std::vector<std::string>{"wine", VANDREL_WINDOWS_PROGRAM}, dir_.path(), wine_->Env(env));
    }

    testsupport::TempDir dir_;
    std::unique_ptr<winetest::WineSession> wine_;
    std::unique_ptr<RunningProgram> program_;
};

// The native build's picture of a moment of the demo, rendered offscreen on
// its virtual clock by the capture program from the same pictures.
std::optional<Image> CapturedFrame(double seconds) {
    testsupport::TempDir dir;
    std::filesystem::create_symlink(std::filesystem::path(VANDREL_CONTENT_DIR) / "data.dat",
                                    dir / "data.dat");
    const auto png = dir / "frame.png";
    const auto capture = testsupport::RunProcess({VANDREL_CAPTURE_PROGRAM, "--at", std::to_string(seconds),
                                                  "-o", png.string(), "--content", dir.path().string()});
    if (capture.exitCode != 0) {
        ADD_FAILURE() << "the capture failed: " << capture.err;
        return std::nullopt;
    }
    const auto ppm = testsupport::RunProcess({"convert", png.string(), "ppm:-"});
    auto image = screentest::ParsePpm(ppm.out);
    if (!image) ADD_FAILURE() << "the capture's picture cannot be read: " << ppm.err;
    return image;
}

TEST_F(WineProgramTest, FullscreenItShowsTheTitlePicturePlaysTheSoundtrackAndEndsWith27OnEscape) {
    REQUIRE_WINDOWS_PROGRAM(VANDREL_WINDOWS_PROGRAM);
    REQUIRE_XVFB(x, "640x480x24");
    // The title picture holds still for the first 3 s of the demo: a frame
    // taken shortly after the first one drawn shows what the capture shows
    // at 1 s.
    constexpr auto kSettle = 700ms;
    const std::optional<Image> reference = CapturedFrame(1.0);
    ASSERT_TRUE(reference.has_value());

    winetest::PrivatePulse pulse(dir_ / "pulse");
    ASSERT_TRUE(pulse.ok()) << pulse.error();
    StartWindowsProgram(true, pulse.ClientEnv());
    ASSERT_FALSE(HasFatalFailure());

    auto window = program_->WaitForWindow("Vandrel");
    ASSERT_TRUE(window.has_value()) << program_->Log();
    EXPECT_EQ(window->width, 640);
    EXPECT_EQ(window->height, 480);
    EXPECT_EQ(program_->LogCount("full-screen display mode 640x480 at 32 bits per pixel"), 1)
        << program_->Log();
    EXPECT_EQ(program_->LogCount("window \"Vandrel\" 640x480 full-screen"), 1) << program_->Log();
    EXPECT_EQ(program_->LogCount("sound output waveOut"), 1) << program_->Log();

    const std::optional<Image> frame = program_->FrameAfterFirstDrawn(kSettle);
    ASSERT_TRUE(frame.has_value()) << "nothing was drawn; log:\n" << program_->Log();
    Image black = *frame;
    std::fill(black.rgb.begin(), black.rgb.end(), uint8_t{0});
    EXPECT_GT(screentest::Contrast(*frame), 20.0) << "not a picture";
    EXPECT_LT(screentest::MeanDifference(*frame, *reference), 4.0)
        << "the Windows build shows another picture than the native build's capture";
    EXPECT_GT(screentest::MeanDifference(*frame, black), 20.0);

    // The soundtrack, recorded from its first sound on: 1.5 s of the tone
    // without a break (a restart at each frame's play request would break it).
    std::vector<int16_t> played;
    ASSERT_TRUE(program_->WaitFor([&] {
        const std::vector<int16_t> left = recording::LeftChannel(pulse.Recording());
        const size_t onset = recording::Onset(left);
        if (onset >= left.size() || left.size() - onset < kRate * 3 / 2) return false;
        played.assign(left.begin() + static_cast<long>(onset),
                      left.begin() + static_cast<long>(onset + kRate * 3 / 2));
        return true;
    })) << "no sound was played; log:\n"
        << program_->Log() << "\nsound server:\n" << pulse.Log();

    EXPECT_EQ(HoldKeyUntilExit(*program_, "Escape"), 27) << program_->Log();

    const std::vector<int16_t> tone(played.begin() + kRate / 20, played.end());
    EXPECT_GT(recording::Rms(tone), 5000.0);
    EXPECT_NEAR(recording::MedianFrequency(tone, kRate), kToneFrequency, 10.0);
    // Played on without a break: a stream started again by the play request
    // of every frame would be all but silent (the start of an MP3 is the
    // codec's quiet delay). Wine's sound server may drop a few milliseconds
    // now and then while the demo keeps both processors busy; no more.
    const recording::Quiet quiet = recording::QuietStretches(tone);
    EXPECT_LT(quiet.longest, static_cast<size_t>(kRate / 20));
    EXPECT_LT(quiet.total, tone.size() / 20);
}

TEST_F(WineProgramTest, ARefusedFullscreenModeAnsweredYesRunsWindowedWithA640x480ClientArea) {
    REQUIRE_WINDOWS_PROGRAM(VANDREL_WINDOWS_PROGRAM);
    REQUIRE_XVFB(x, "800x600x24");
    StartWindowsProgram(true);
    ASSERT_FALSE(HasFatalFailure());
    Answer(*program_, "Orv GL", "Return");
    EXPECT_NE(program_->Log().find("message box \"Orv GL\": The Requested Fullscreen Mode Is Not "
                                   "Supported By\nYour Video Card. Use Windowed Mode Instead?\n"),
              std::string::npos)
        << program_->Log();
    auto window = program_->WaitForWindow("Vandrel");
    ASSERT_TRUE(window.has_value()) << program_->Log();
    // Without a window manager the X window is the client area.
    EXPECT_EQ(window->width, 640);
    EXPECT_EQ(window->height, 480);
    EXPECT_EQ(program_->LogCount("window \"Vandrel\" 640x480 framed"), 1) << program_->Log();
    EXPECT_EQ(program_->LogCount("full-screen"), 0) << program_->Log();
    ASSERT_TRUE(program_->FrameAfterFirstDrawn(0ms).has_value()) << program_->Log();
    Settle();
    EXPECT_EQ(HoldKeyUntilExit(*program_, "Escape"), 27) << program_->Log();
}

TEST_F(WineProgramTest, ARefusedFullscreenModeAnsweredNoEndsWith0WithoutAWindow) {
    REQUIRE_WINDOWS_PROGRAM(VANDREL_WINDOWS_PROGRAM);
    REQUIRE_XVFB(x, "800x600x24");
    StartWindowsProgram(true);
    ASSERT_FALSE(HasFatalFailure());
    Answer(*program_, "Orv GL", "n");
    ASSERT_TRUE(program_->WaitForLog("message box \"ERROR\": Program Will Now Close.\n"))
        << program_->Log();
    Answer(*program_, "ERROR", "Return");
    EXPECT_EQ(program_->WaitForExit(), 0) << program_->Log();
    EXPECT_EQ(program_->LogCount("window \"Vandrel\""), 0) << program_->Log();
}

TEST_F(WineProgramTest, AMissingSoundtrackIsReportedInABoxAndEndsWith1) {
    REQUIRE_WINDOWS_PROGRAM(VANDREL_WINDOWS_PROGRAM);
    REQUIRE_XVFB(x, "640x480x24");
    StartWindowsProgram(false);
    ASSERT_FALSE(HasFatalFailure());
    ASSERT_TRUE(program_->WaitForLog("message box")) << program_->Log();
    EXPECT_NE(program_->Log().find("message box (default caption): Error: Could not load module\n"),
              std::string::npos)
        << program_->Log();
    // The system's default caption.
    Answer(*program_, "Error", "Return");
    EXPECT_EQ(program_->WaitForExit(), 1) << program_->Log();
    EXPECT_EQ(program_->LogCount("window \"Vandrel\""), 0) << "a window was opened";
}

TEST_F(WineProgramTest, ClosingTheWindowEndsWith0EvenWithoutASoundDevice) {
    REQUIRE_WINDOWS_PROGRAM(VANDREL_WINDOWS_PROGRAM);
    REQUIRE_XVFB(x, "640x480x24");
    // No sound server: Wine finds no device.
    StartWindowsProgram(true);
    ASSERT_FALSE(HasFatalFailure());
    auto window = program_->WaitForWindow("Vandrel");
    ASSERT_TRUE(window.has_value()) << program_->Log();
    EXPECT_NE(program_->Log().find("no sound device"), std::string::npos) << program_->Log();
    // Frames are drawn while the sound plays on the silent clock.
    ASSERT_TRUE(program_->FrameAfterFirstDrawn(0ms).has_value()) << program_->Log();
    ASSERT_TRUE(xwindows::RequestClose(window->id));
    EXPECT_EQ(program_->WaitForExit(), 0) << program_->Log();
}

TEST_F(WineProgramTest, F1SwitchesToAFramedWindowAndBack) {
    REQUIRE_WINDOWS_PROGRAM(VANDREL_WINDOWS_PROGRAM);
    REQUIRE_XVFB(x, "640x480x24");
    StartWindowsProgram(true);
    ASSERT_FALSE(HasFatalFailure());
    ASSERT_TRUE(program_->WaitForLog("window \"Vandrel\" 640x480 full-screen")) << program_->Log();
    ASSERT_TRUE(program_->FrameAfterFirstDrawn(0ms).has_value()) << program_->Log();
    Settle();

    // Keys go to the window under the pointer: each new window must be up
    // before the next key.
    Xdotool({"keydown", "F1"});
    ASSERT_TRUE(program_->WaitForLog(" framed,")) << program_->Log();
    Xdotool({"keyup", "F1"});
    // On a 640x480 screen the framed window is held within the screen, so
    // its client area is a little lower than asked for.
    ASSERT_TRUE(program_->WaitFor([] {
        const auto windows = xwindows::Named("Vandrel");
        return windows.size() == 1 && windows[0].x > 0 && windows[0].y > 0;
    })) << program_->Log();
    Settle();

    Xdotool({"keydown", "F1"});
    ASSERT_TRUE(program_->WaitForLog("window \"Vandrel\" 640x480 full-screen", 2)) << program_->Log();
    Xdotool({"keyup", "F1"});
    EXPECT_EQ(program_->LogCount("window \"Vandrel\""), 3) << program_->Log();
    EXPECT_EQ(program_->LogCount("full-screen display mode 640x480"), 2) << program_->Log();
    ASSERT_TRUE(program_->WaitFor([] {
        const auto windows = xwindows::Named("Vandrel");
        return windows.size() == 1 && windows[0].x == 0 && windows[0].width == 640;
    })) << program_->Log();
    Settle();
    EXPECT_EQ(HoldKeyUntilExit(*program_, "Escape"), 27) << program_->Log();
}

}  // namespace
