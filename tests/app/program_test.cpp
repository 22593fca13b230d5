// The vandrel program on a private X server, started from a folder holding a
// test soundtrack: its window, its sound, its keys, its boxes, its exit codes.
#include "tests/app/x_client.h"
#include "tests/platform/tone.h"
#include "tests/support/subprocess.h"
#include "tests/support/temp_dir.h"
#include "tests/support/xvfb.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <functional>
#include <memory>
#include <optional>
#include <thread>

namespace {

using namespace std::chrono_literals;

// The left channel of recorded 16-bit stereo from the first sound on.
std::vector<int16_t> FromOnset(const std::string &raw) {
    std::vector<int16_t> left;
    for (size_t i = 0; i + 3 < raw.size(); i += 4) {
        const auto sample = static_cast<int16_t>(static_cast<uint8_t>(raw[i]) |
                                                 static_cast<uint8_t>(raw[i + 1]) << 8);
        if (!left.empty() || std::abs(sample) > 1000) left.push_back(sample);
    }
    return left;
}

// Root mean square and zero-crossing frequency of the samples from `from` to
// `to` seconds; samples near zero are ignored for the frequency.
std::pair<double, double> Measure(const std::vector<int16_t> &samples, double from, double to) {
    double sum = 0;
    int crossings = 0, sign = 0;
    size_t first = 0, last = 0;
    for (size_t i = size_t(from * 44100); i < size_t(to * 44100); ++i) {
        sum += double(samples[i]) * samples[i];
        if (std::abs(samples[i]) < 200) continue;
        const int now = samples[i] > 0 ? 1 : -1;
        if (sign != 0 && now != sign) {
            if (crossings++ == 0) first = i;
            last = i;
        }
        sign = now;
    }
    const double frequency =
        crossings < 3 ? 0 : (crossings - 1) / 2.0 * 44100 / double(last - first);
    return {std::sqrt(sum / ((to - from) * 44100)), frequency};
}

class ProgramTest : public ::testing::Test {
protected:
    void MakeSoundtrack() {
        std::string why;
        ASSERT_TRUE(tonetest::MakeToneMp3(dir_ / "DemoFinal.mp3", 880, 0.5, &why)) << why;
    }

    // Starts the program with its standard error going to a file the test
    // reads while it runs.
    void Start(std::map<std::string, std::string> env = {}) {
        xtest::AutoRepeatOff();
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
        for (auto deadline = std::chrono::steady_clock::now() + 20s;
             std::chrono::steady_clock::now() < deadline; std::this_thread::sleep_for(20ms)) {
            if (done()) return true;
            if (!process_->running()) return done();
        }
        return false;
    }
    std::optional<xtest::TopWindow> WaitForWindow(const std::string &name, unsigned long not_ = 0) {
        std::optional<xtest::TopWindow> found;
        WaitFor([&] {
            auto windows = xtest::WindowsNamed(name);
            if (windows.size() == 1 && windows[0].id != not_) found = windows[0];
            return found.has_value();
        });
        return found;
    }
    bool WaitForLog(const std::string &text, long count = 1) {
        return WaitFor([&] { return LogCount(text) >= count; });
    }

    static void Xdotool(const std::vector<std::string> &args) {
        std::vector<std::string> argv = {"xdotool"};
        argv.insert(argv.end(), args.begin(), args.end());
        auto result = testsupport::RunProcess(argv);
        EXPECT_EQ(result.exitCode, 0) << result.err;
    }
    // The loop looks at keys on idle passes only, so a key is held until
    // `until` holds.
    void Hold(const std::string &key, const std::function<bool()> &until) {
        Xdotool({"keydown", key});
        EXPECT_TRUE(WaitFor(until)) << key << " had no effect; log:\n" << Log();
        Xdotool({"keyup", key});
    }
    int EscapeAndWait() {
        Hold("Escape", [&] { return !process_->running(); });
        return WaitForExit();
    }
    int WaitForExit() {
        testsupport::ProcessResult result = process_->Wait(30000ms);
        EXPECT_FALSE(result.timedOut) << "the program did not end; log:\n" << Log();
        EXPECT_EQ(result.signal, 0) << Log();
        return result.exitCode;
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
    MakeSoundtrack();
    Start({{"SDL_AUDIODRIVER", "disk"}, {"SDL_DISKAUDIOFILE", (dir_ / "out.raw").string()}});
    auto window = WaitForWindow("Vandrel");
    ASSERT_TRUE(window.has_value()) << Log();
    EXPECT_EQ(std::tie(window->width, window->height), std::tuple(640, 480));
    EXPECT_EQ(LogCount("window \"Vandrel\" 640x480 full-screen"), 1) << Log();
    // The opened format says how to read the recording.
    ASSERT_EQ(LogCount("driver=disk rate=44100 format=s16le channels=2"), 1) << Log();
    std::vector<int16_t> played;
    ASSERT_TRUE(WaitFor([&] {
        played = FromOnset(testsupport::ReadFile(dir_ / "out.raw"));
        return played.size() >= 1.3 * 44100;
    })) << "no sound was played; log:\n"
        << Log();
    EXPECT_EQ(EscapeAndWait(), 27) << Log();

    // The tone it was given ...
    const auto [level, frequency] = Measure(played, 0.05, 0.45);
    EXPECT_GT(level, 5000.0);
    EXPECT_NEAR(frequency, 880, 10.0);
    // ... and still after the half-second file ended.
    EXPECT_GT(Measure(played, 0.8, 1.3).first, 3000.0);
}

TEST_F(ProgramTest, ClosingTheWindowEndsWith0EvenWithoutASoundDevice) {
    REQUIRE_XVFB(x, "640x480x24");
    MakeSoundtrack();
    Start({{"SDL_AUDIODRIVER", "no-such-driver"}});
    auto window = WaitForWindow("Vandrel");
    ASSERT_TRUE(window.has_value()) << Log();
    EXPECT_EQ(LogCount("playing to the silent output"), 1) << Log();
    ASSERT_TRUE(xtest::RequestClose(window->id));
    EXPECT_EQ(WaitForExit(), 0) << Log();
}

TEST_F(ProgramTest, AMissingSoundtrackIsReportedInABoxAndEndsWith1) {
    REQUIRE_XVFB(x, "640x480x24");
    Start();
    ASSERT_TRUE(WaitForLog("message box")) << Log();
    EXPECT_EQ(LogCount("message box \"Error\": Error: Could not load module\n"), 1) << Log();
    Answer("Error", "Return");
    EXPECT_EQ(WaitForExit(), 1) << Log();
    EXPECT_EQ(LogCount("window \"Vandrel\""), 0) << "a window was opened";
}

TEST_F(ProgramTest, F1SwitchesToAWindowedWindowAndBack) {
    REQUIRE_XVFB(x, "640x480x24");
    MakeSoundtrack();
    Start();
    auto fullscreen = WaitForWindow("Vandrel");
    ASSERT_TRUE(fullscreen.has_value()) << Log();

    Hold("F1", [&] { return LogCount("window \"Vandrel\" 640x480 framed") == 1; });
    auto windowed = WaitForWindow("Vandrel", fullscreen->id);
    ASSERT_TRUE(windowed.has_value()) << "the window was not re-created; log:\n" << Log();
    EXPECT_EQ(std::tie(windowed->width, windowed->height), std::tuple(640, 480));

    Hold("F1", [&] { return LogCount("window \"Vandrel\" 640x480 full-screen") == 2; });
    EXPECT_TRUE(WaitForWindow("Vandrel", windowed->id).has_value()) << Log();
    EXPECT_EQ(LogCount("window \"Vandrel\""), 3);
    EXPECT_EQ(EscapeAndWait(), 27) << Log();
}

// On a screen larger than 640 x 480 the display offers no such mode.
TEST_F(ProgramTest, ARefusedModeAnsweredYesRunsWindowed) {
    REQUIRE_XVFB(x, "800x600x24");
    MakeSoundtrack();
    Start();
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
}

TEST_F(ProgramTest, ARefusedModeAnsweredNoEndsWith0) {
    REQUIRE_XVFB(x, "800x600x24");
    MakeSoundtrack();
    Start();
    Answer("Orv GL", "Escape");
    ASSERT_TRUE(WaitForLog("message box \"ERROR\": Program Will Now Close.\n")) << Log();
    Answer("ERROR", "Return");
    EXPECT_EQ(WaitForExit(), 0) << Log();
    EXPECT_EQ(LogCount("window \"Vandrel\""), 0);
}

}  // namespace
