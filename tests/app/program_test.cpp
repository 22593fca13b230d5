// The vandrel program itself on a private X server: its window, its sound,
// its keys, its boxes and its exit codes, run from a folder holding a test
// soundtrack made for the occasion.
#include "tests/app/x_client.h"
#include "tests/platform/tone.h"
#include "tests/support/subprocess.h"
#include "tests/support/temp_dir.h"
#include "tests/support/xvfb.h"

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <regex>
#include <thread>

namespace {

using namespace std::chrono_literals;

constexpr int kToneFrequency = 880;

class ProgramTest : public ::testing::Test {
protected:
    bool MakeSoundtrack() {
        std::string why;
        if (tonetest::MakeToneMp3(dir_ / "DemoFinal.mp3", kToneFrequency, 2.0, &why)) return true;
        ADD_FAILURE() << why;
        return false;
    }

    // Starts the program in the test folder with its standard error going to
    // a file the test can read while it runs.
    void Start(std::map<std::string, std::string> env = {}) {
        xtest::AutoRepeatOff();
        env.emplace("SDL_VIDEODRIVER", "x11");
        env.emplace("SDL_AUDIODRIVER", "dummy");
        testsupport::ProcessOptions options;
        options.workingDir = dir_.path().string();
        options.env = env;
        process_ = std::make_unique<testsupport::Process>(
            std::vector<std::string>{"/bin/sh", "-c", "exec \"$0\" 2>>\"$1\"", VANDREL_PROGRAM,
                                     (dir_ / "stderr.log").string()},
            options);
    }

    std::string Log() const { return testsupport::ReadFile(dir_ / "stderr.log"); }
    long LogCount(const std::string &text) const {
        const std::string log = Log();
        long n = 0;
        for (size_t at = log.find(text); at != std::string::npos; at = log.find(text, at + 1)) ++n;
        return n;
    }

    // Polls until `done` holds, the program ends, or time runs out.
    bool WaitFor(const std::function<bool()> &done, std::chrono::seconds limit = 20s) {
        const auto deadline = std::chrono::steady_clock::now() + limit;
        while (std::chrono::steady_clock::now() < deadline) {
            if (done()) return true;
            if (!process_->running()) return done();
            std::this_thread::sleep_for(20ms);
        }
        return false;
    }
    std::optional<xtest::TopWindow> WaitForWindow(const std::string &name) {
        std::optional<xtest::TopWindow> found;
        WaitFor([&] {
            auto windows = xtest::WindowsNamed(name);
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

    static void Xdotool(const std::vector<std::string> &args) {
        std::vector<std::string> argv = {"xdotool"};
        argv.insert(argv.end(), args.begin(), args.end());
        auto result = testsupport::RunProcess(argv);
        EXPECT_EQ(result.exitCode, 0) << result.err;
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
    ASSERT_TRUE(MakeSoundtrack());
    Start({{"SDL_AUDIODRIVER", "disk"}, {"SDL_DISKAUDIOFILE", (dir_ / "out.raw").string()}});

    auto window = WaitForWindow("Vandrel");
    ASSERT_TRUE(window.has_value()) << Log();
    EXPECT_EQ(window->width, 640);
    EXPECT_EQ(window->height, 480);
    EXPECT_EQ(LogCount("window \"Vandrel\" 640x480 full-screen"), 1) << Log();

    // The opened format says how to read the recording.
    ASSERT_NE(Log().find("driver=disk rate=44100 format=s16le channels=2"), std::string::npos)
        << Log();
    std::vector<int16_t> played;
    ASSERT_TRUE(WaitFor([&] {
        std::vector<int16_t> left = tonetest::LeftChannel(testsupport::ReadFile(dir_ / "out.raw"));
        const size_t onset = tonetest::Onset(left);
        if (onset >= left.size() || left.size() - onset < 22050) return false;
        played.assign(left.begin() + static_cast<long>(onset), left.end());
        return true;
    })) << "no sound was played; log:\n"
        << Log();

    Xdotool({"keydown", "Escape"});
    const int code = WaitForExit();
    Xdotool({"keyup", "Escape"});
    EXPECT_EQ(code, 27) << Log();

    const std::vector<int16_t> tone(played.begin() + 2205, played.begin() + 22050);
    EXPECT_GT(tonetest::Rms(tone), 5000.0);
    EXPECT_NEAR(tonetest::ZeroCrossingFrequency(tone, 44100), kToneFrequency, 10.0);
}

TEST_F(ProgramTest, ClosingTheWindowEndsWith0EvenWithoutASoundDevice) {
    REQUIRE_XVFB(x, "640x480x24");
    ASSERT_TRUE(MakeSoundtrack());
    Start({{"SDL_AUDIODRIVER", "no-such-driver"}});
    auto window = WaitForWindow("Vandrel");
    ASSERT_TRUE(window.has_value()) << Log();
    EXPECT_NE(Log().find("playing to the silent output"), std::string::npos) << Log();
    ASSERT_TRUE(xtest::RequestClose(window->id));
    EXPECT_EQ(WaitForExit(), 0) << Log();
}

TEST_F(ProgramTest, AMissingSoundtrackIsReportedInABoxAndEndsWith1) {
    REQUIRE_XVFB(x, "640x480x24");
    Start();
    ASSERT_TRUE(WaitForLog("message box")) << Log();
    EXPECT_NE(Log().find("message box \"Error\": Error: Could not load module\n"),
              std::string::npos)
        << Log();
    Answer("Error", "Return");
    EXPECT_EQ(WaitForExit(), 1) << Log();
    EXPECT_EQ(LogCount("window \"Vandrel\""), 0) << "a window was opened";
}

TEST_F(ProgramTest, F1SwitchesToAWindowedWindowAndBack) {
    REQUIRE_XVFB(x, "640x480x24");
    ASSERT_TRUE(MakeSoundtrack());
    Start();
    auto fullscreen = WaitForWindow("Vandrel");
    ASSERT_TRUE(fullscreen.has_value()) << Log();
    ASSERT_EQ(LogCount("640x480 full-screen"), 1);

    Xdotool({"keydown", "F1"});
    ASSERT_TRUE(WaitForLog("window \"Vandrel\" 640x480 framed")) << Log();
    Xdotool({"keyup", "F1"});
    std::optional<xtest::TopWindow> windowed;
    ASSERT_TRUE(WaitFor([&] {
        auto windows = xtest::WindowsNamed("Vandrel");
        if (windows.size() == 1 && windows[0].id != fullscreen->id) windowed = windows[0];
        return windowed.has_value();
    })) << "the window was not re-created; log:\n"
        << Log();
    EXPECT_EQ(windowed->width, 640);
    EXPECT_EQ(windowed->height, 480);

    Xdotool({"keydown", "F1"});
    ASSERT_TRUE(WaitForLog("640x480 full-screen", 2)) << Log();
    Xdotool({"keyup", "F1"});
    EXPECT_EQ(LogCount("window \"Vandrel\""), 3);
    ASSERT_TRUE(WaitFor([&] {
        auto windows = xtest::WindowsNamed("Vandrel");
        return windows.size() == 1 && windows[0].id != windowed->id;
    })) << Log();

    Xdotool({"keydown", "Escape"});
    const int code = WaitForExit();
    Xdotool({"keyup", "Escape"});
    EXPECT_EQ(code, 27) << Log();
}

TEST_F(ProgramTest, ARefusedFullscreenModeAnsweredYesRunsWindowed) {
    REQUIRE_XVFB(x, "800x600x24");
    ASSERT_TRUE(MakeSoundtrack());
    Start();
    Answer("Orv GL", "Return");
    EXPECT_NE(Log().find("message box \"Orv GL\": The Requested Fullscreen Mode Is Not Supported "
                         "By\nYour Video Card. Use Windowed Mode Instead?\n"),
              std::string::npos)
        << Log();
    auto window = WaitForWindow("Vandrel");
    ASSERT_TRUE(window.has_value()) << Log();
    EXPECT_EQ(window->width, 640);
    EXPECT_EQ(window->height, 480);
    EXPECT_EQ(LogCount("window \"Vandrel\" 640x480 framed"), 1) << Log();

    Xdotool({"keydown", "Escape"});
    const int code = WaitForExit();
    Xdotool({"keyup", "Escape"});
    EXPECT_EQ(code, 27) << Log();
}

TEST_F(ProgramTest, ARefusedFullscreenModeAnsweredNoEndsWith0) {
    REQUIRE_XVFB(x, "800x600x24");
    ASSERT_TRUE(MakeSoundtrack());
    Start();
    Answer("Orv GL", "Escape");
    ASSERT_TRUE(WaitForLog("message box \"ERROR\": Program Will Now Close.\n")) << Log();
    Answer("ERROR", "Return");
    EXPECT_EQ(WaitForExit(), 0) << Log();
    EXPECT_EQ(LogCount("window \"Vandrel\""), 0);
}

TEST_F(ProgramTest, WithoutADisplayTheFailureIsWrittenOutAndItEndsWith0) {
    ASSERT_TRUE(MakeSoundtrack());
    testsupport::ProcessOptions options;
    options.workingDir = dir_.path().string();
    options.env = {{"SDL_AUDIODRIVER", "dummy"}};
    auto result = testsupport::RunProcess(
        {"env", "-u", "DISPLAY", "-u", "WAYLAND_DISPLAY", "-u", "SDL_VIDEODRIVER", VANDREL_PROGRAM},
        options);
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_NE(result.err.find("\"ERROR\": Failed To Register The Window Class."), std::string::npos)
        << result.err;
}

}  // namespace
