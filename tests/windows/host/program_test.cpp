// vandrel.exe under Wine on a private X server: full screen with the title
// picture and the soundtrack, the windowed fallback question, a missing
// soundtrack, and the exit codes.
#include "tests/platform/tone.h"
#include "tests/support/xvfb.h"
#include "tests/windows/host/wine.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <optional>
#include <sstream>

namespace {

using namespace std::chrono_literals;
using Pixels = std::string;  // 8-bit RGB, rows top to bottom

constexpr int kTone = 880, kRate = 44100, kQuiet = 300;

std::string Out(const std::vector<std::string> &argv) { return testsupport::RunProcess(argv).out; }

Pixels Screenshot() { return Out({"sh", "-c", "xwd -root -silent | convert xwd:- -depth 8 rgb:-"}); }

// The native capture program's picture of the demo at `seconds`.
Pixels Captured(double seconds) {
    testsupport::TempDir dir;
    std::filesystem::create_symlink(std::filesystem::path(VANDREL_CONTENT_DIR) / "data.dat", dir / "data.dat");
    const std::string png = (dir / "frame.png").string();
    const auto capture = testsupport::RunProcess({VANDREL_CAPTURE_PROGRAM, "--at", std::to_string(seconds),
                                                  "-o", png, "--content", dir.path().string()});
    EXPECT_EQ(capture.exitCode, 0) << capture.err;
    return Out({"convert", png, "-depth", "8", "rgb:-"});
}

double MeanDifference(const Pixels &a, const Pixels &b) {
    if (a.size() != b.size() || a.empty()) return 255.0;
    double sum = 0;
    for (size_t i = 0; i < a.size(); ++i) sum += std::abs(uint8_t(a[i]) - uint8_t(b[i]));
    return sum / static_cast<double>(a.size());
}

// The spread of the pixels' brightness: 0 for a flat picture.
double Contrast(const Pixels &p) {
    std::vector<double> luma;
    for (size_t i = 0; i + 2 < p.size(); i += 3)
        luma.push_back(0.299 * uint8_t(p[i]) + 0.587 * uint8_t(p[i + 1]) + 0.114 * uint8_t(p[i + 2]));
    double mean = 0, variance = 0;
    for (double l : luma) mean += l / static_cast<double>(luma.size());
    for (double l : luma) variance += (l - mean) * (l - mean) / static_cast<double>(luma.size());
    return std::sqrt(variance);
}

// The recording's left channel from its first sound on.
std::vector<int16_t> Played(const std::string &raw) {
    std::vector<int16_t> left;
    for (size_t i = 0; i + 3 < raw.size(); i += 4) {
        const auto s = static_cast<int16_t>(uint8_t(raw[i]) | uint8_t(raw[i + 1]) << 8);
        if (!left.empty() || std::abs(s) > 1000) left.push_back(s);
    }
    return left;
}

// A sine's frequency from its zero crossings, the median over 100 ms pieces
// (a few milliseconds dropped now and then do not count).
double Frequency(const std::vector<int16_t> &s) {
    std::vector<double> pieces;
    for (size_t at = 0; at + kRate / 10 <= s.size(); at += kRate / 10) {
        int crossings = 0, sign = 0;
        size_t first = 0, last = 0;
        for (size_t i = at; i < at + kRate / 10; ++i) {
            if (std::abs(s[i]) < kQuiet) continue;
            const int now = s[i] > 0 ? 1 : -1;
            if (sign != 0 && now != sign) {
                if (crossings++ == 0) first = i;
                last = i;
            }
            sign = now;
        }
        pieces.push_back(crossings > 2 ? (crossings - 1) / 2.0 * kRate / static_cast<double>(last - first) : 0.0);
    }
    if (pieces.empty()) return 0;
    std::nth_element(pieces.begin(), pieces.begin() + static_cast<long>(pieces.size() / 2), pieces.end());
    return pieces[pieces.size() / 2];
}

struct Window {
    std::string id;
    int width = 0, height = 0;
};

// The last visible window titled `title` (xdotool ignores case: exact
// captions are checked in the program's log).
std::optional<Window> Find(const std::string &title) {
    std::istringstream lines(Out({"xdotool", "search", "--onlyvisible", "--name", "^" + title + "$",
                                  "getwindowgeometry", "--shell", "%@"}));
    std::optional<Window> found;
    for (std::string line; std::getline(lines, line);) {
        if (line.starts_with("WINDOW=")) found = Window{line.substr(7)};
        if (found && line.starts_with("WIDTH=")) found->width = std::stoi(line.substr(6));
        if (found && line.starts_with("HEIGHT=")) found->height = std::stoi(line.substr(7));
    }
    return found;
}

class WineProgramTest : public ::testing::Test {
protected:
    void SetUp() override { REQUIRE_WINDOWS_PROGRAM(VANDREL_WINDOWS_PROGRAM); }
    // vandrel.exe in a folder with the build's pictures and, if asked, a
    // test tone as its soundtrack; its standard error goes to a file.
    void Start(bool soundtrack, winetest::Env env = {}) {
        std::filesystem::create_symlink(std::filesystem::path(VANDREL_CONTENT_DIR) / "data.dat",
                                        dir_ / "data.dat");
        std::string why;
        if (soundtrack) {
            ASSERT_TRUE(tonetest::MakeToneMp3(dir_ / "DemoFinal.mp3", kTone, 3.0, &why)) << why;
        }
        wine_ = std::make_unique<winetest::WineSession>();
        ASSERT_EQ(wine_->error(), "");
        program_ = std::make_unique<testsupport::Process>(
            std::vector<std::string>{"sh", "-c", "exec \"$@\" 2>>\"$0\"", (dir_ / "stderr.log").string(),
                                     winetest::kLoader, VANDREL_WINDOWS_PROGRAM},
            winetest::Options(wine_->Environment(env), 60s, dir_.path().string()));
    }

    // Standard error so far, CR LF read as "\n".
    std::string Log() const {
        std::string log = testsupport::ReadFile(dir_ / "stderr.log");
        std::erase(log, '\r');
        return log;
    }
    long Count(const std::string &text) const {
        const std::string log = Log();
        long n = 0;
        for (size_t at = log.find(text); at != std::string::npos; at = log.find(text, at + 1)) ++n;
        return n;
    }

    // Polls until `done` holds, the program ends, or 30 s pass.
    bool WaitFor(const std::function<bool()> &done) {
        for (int i = 0; i < 600 && program_->running(); ++i) {
            if (done()) return true;
            std::this_thread::sleep_for(50ms);
        }
        return done();
    }
    std::optional<Window> WaitForWindow(const std::string &title) {
        std::optional<Window> window;
        WaitFor([&] { return (window = Find(title)).has_value(); });
        return window;
    }
    // Answers a message box with a key sent to it.
    void Answer(const std::string &caption, const std::string &key) {
        const auto box = WaitForWindow(caption);
        ASSERT_TRUE(box) << "no box \"" << caption << "\"; log:\n" << Log();
        testsupport::RunProcess({"xdotool", "key", "--window", box->id, key});
    }
    // A frame that shows anything, then `settle` later.
    Pixels FirstFrame(std::chrono::milliseconds settle) {
        if (!WaitFor([] { return Contrast(Screenshot()) > 10.0; })) return "";
        std::this_thread::sleep_for(settle);
        return Screenshot();
    }
    int ExitCode() {
        const auto result = program_->Wait(30s);
        EXPECT_FALSE(result.timedOut) << Log();
        return result.exitCode;
    }
    // The exit code is the last message's parameter: Escape is pressed once
    // the window's own start-up messages are through, and held until the end
    // (the demo reads keys as states, between messages).
    int EscapeExitCode() {
        std::this_thread::sleep_for(1500ms);
        testsupport::RunProcess({"xdotool", "keydown", "Escape"});
        const int code = ExitCode();
        testsupport::RunProcess({"xdotool", "keyup", "Escape"});
        return code;
    }

    testsupport::TempDir dir_;
    std::unique_ptr<winetest::WineSession> wine_;
    std::unique_ptr<testsupport::Process> program_;
};

TEST_F(WineProgramTest, FullscreenItShowsTheTitlePicturePlaysTheSoundtrackAndEndsWith27OnEscape) {
    REQUIRE_XVFB(x, "640x480x24");
    // The title holds still for the first 3 s: shortly after the first frame
    // the screen shows what the capture shows at 1 s.
    const Pixels reference = Captured(1.0);
    winetest::PrivatePulse pulse(dir_ / "pulse");
    ASSERT_EQ(pulse.error(), "");
    ASSERT_NO_FATAL_FAILURE(Start(true, pulse.ClientEnv()));

    const Pixels frame = FirstFrame(700ms);
    EXPECT_EQ(Count("full-screen display mode 640x480 at 32 bits per pixel"), 1) << Log();
    EXPECT_EQ(Count("window \"Vandrel\" 640x480 full-screen"), 1) << Log();
    EXPECT_GT(Contrast(frame), 20.0) << "not a picture";
    EXPECT_LT(MeanDifference(frame, reference), 4.0) << "another picture than the native capture's";

    // 1.5 s of the soundtrack from its first sound on.
    std::vector<int16_t> played;
    ASSERT_TRUE(WaitFor([&] { return (played = Played(pulse.Recording())).size() >= kRate * 3 / 2; }))
        << "no sound; log:\n" << Log() << "\nsound server:\n" << pulse.Log();
    EXPECT_EQ(EscapeExitCode(), 27) << Log();

    const std::vector<int16_t> tone(played.begin() + kRate / 20, played.begin() + kRate * 3 / 2);
    double power = 0;
    size_t quiet = 0;
    for (int16_t s : tone) {
        power += double(s) * s / static_cast<double>(tone.size());
        quiet += std::abs(s) < kQuiet;
    }
    EXPECT_GT(std::sqrt(power), 5000.0);
    EXPECT_NEAR(Frequency(tone), kTone, 10.0);
    // Played on without a break: started once although every frame asks,
    // and sounding most of the time (restarted by every request it would be
    // all but silent: an MP3 starts with the codec's quiet delay). On a busy
    // machine Wine's mixer falls behind now and then, so gaps alone prove
    // nothing.
    EXPECT_EQ(Count("plays from its start"), 1) << Log();
    EXPECT_LT(quiet, tone.size() / 2);
}

TEST_F(WineProgramTest, ARefusedFullscreenModeAnsweredYesRunsWindowedOnTheSilentClock) {
    REQUIRE_XVFB(x, "800x600x24");
    ASSERT_NO_FATAL_FAILURE(Start(true));  // no sound server: Wine finds no device
    Answer("Orv GL", "Return");
    const auto window = WaitForWindow("Vandrel");
    ASSERT_TRUE(window) << Log();
    // Without a window manager the X window is the client area.
    EXPECT_EQ(window->width, 640);
    EXPECT_EQ(window->height, 480);
    EXPECT_EQ(Count("window \"Vandrel\" 640x480 framed"), 1) << Log();
    EXPECT_EQ(Count("full-screen"), 0) << Log();
    EXPECT_EQ(Count("no sound device"), 1) << Log();
    EXPECT_FALSE(FirstFrame(0ms).empty()) << "nothing drawn; log:\n" << Log();
    EXPECT_EQ(EscapeExitCode(), 27) << Log();
}

TEST_F(WineProgramTest, ARefusedFullscreenModeAnsweredNoEndsWith0WithoutAWindow) {
    REQUIRE_XVFB(x, "800x600x24");
    ASSERT_NO_FATAL_FAILURE(Start(true));
    Answer("Orv GL", "n");
    Answer("ERROR", "Return");
    EXPECT_EQ(ExitCode(), 0) << Log();
    EXPECT_EQ(Count("message box \"Orv GL\": The Requested Fullscreen Mode Is Not Supported By\nYour "
                    "Video Card. Use Windowed Mode Instead?\nvandrel: message box \"ERROR\": Program Will "
                    "Now Close.\n"), 1) << Log();
    EXPECT_EQ(Count("window \"Vandrel\""), 0) << Log();
}

TEST_F(WineProgramTest, AMissingSoundtrackIsReportedInABoxAndEndsWith1) {
    REQUIRE_XVFB(x, "640x480x24");
    ASSERT_NO_FATAL_FAILURE(Start(false));
    Answer("Error", "Return");  // the system's default caption
    EXPECT_EQ(ExitCode(), 1) << Log();
    EXPECT_EQ(Count("message box (default caption): Error: Could not load module\n"), 1) << Log();
    EXPECT_EQ(Count("window \"Vandrel\""), 0) << Log();
}

}  // namespace
