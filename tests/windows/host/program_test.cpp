// vandrel.exe under Wine on a private X server: full screen with the title
// picture and the soundtrack, the windowed fallback question, a missing
// soundtrack, and the exit codes.
#include "support/desktop_program.h"
#include "support/tone.h"
#include "support/xvfb.h"
#include "wine.h"

#include <gtest/gtest.h>

namespace {

using namespace std::chrono_literals;

class WineProgramTest : public ::testing::Test {
protected:
    void SetUp() override { REQUIRE_WINDOWS_PROGRAM(VANDREL_WINDOWS_PROGRAM); }
    // vandrel.exe in a folder with the build's pictures and, if asked, a
    // test tone as its soundtrack.
    void Start(bool soundtrack, winetest::Env env = {}) {
        std::filesystem::create_symlink(std::filesystem::path(VANDREL_CONTENT_DIR) / "data.dat", dir_ / "data.dat");
        std::string why;
        if (soundtrack) {
            ASSERT_TRUE(tonetest::MakeToneMp3(dir_ / "DemoFinal.mp3", 880, 3.0, &why)) << why;
        }
        wine_ = std::make_unique<winetest::WineSession>();
        ASSERT_EQ(wine_->error(), "");
        program_ = std::make_unique<testsupport::DesktopProgram>(
            std::vector<std::string>{winetest::kLoader, VANDREL_WINDOWS_PROGRAM}, dir_.path(), wine_->Environment(env));
    }

    testsupport::TempDir dir_;
    std::unique_ptr<winetest::WineSession> wine_;
    std::unique_ptr<testsupport::DesktopProgram> program_;
};

TEST_F(WineProgramTest, FullscreenItShowsTheTitlePicturePlaysTheSoundtrackAndEndsWith27OnEscape) {
    REQUIRE_XVFB(x, "640x480x24");
    // The title holds still for its first 3 s: shortly after the first frame
    // the screen shows what the native capture shows at 1 s.
    const testsupport::TempDir still;
    const auto capture = testsupport::RunProcess({VANDREL_CAPTURE_PROGRAM, "--at", "1", "-o", (still / "1s.png").string(),
                                                  "--content", VANDREL_CONTENT_DIR});
    ASSERT_EQ(capture.exitCode, 0) << capture.err;
    winetest::PrivatePulse pulse(dir_ / "pulse");
    ASSERT_EQ(pulse.error(), "");
    ASSERT_NO_FATAL_FAILURE(Start(true, pulse.ClientEnv()));

    const std::string frame = program_->WaitForPicture(700ms);
    EXPECT_EQ(program_->Count("full-screen display mode 640x480 at 32 bits per pixel"), 1) << program_->Log();
    EXPECT_EQ(program_->Count("window \"Vandrel\" 640x480 full-screen"), 1) << program_->Log();
    EXPECT_LT(testsupport::MeanDifference(frame, testsupport::PngPixels(still / "1s.png")), 4.0)
        << "another picture than the native capture's";

    // 1.5 s of the soundtrack from its first sound on.
    ASSERT_TRUE(program_->WaitFor([&] { return tonetest::Listen(pulse.Recording(), 0, 1.5).enough; }))
        << "no sound; log:\n" << program_->Log() << "\nsound server:\n" << pulse.Log();
    EXPECT_EQ(program_->EscapeExitCode(), 27) << program_->Log();
    const tonetest::Heard tone = tonetest::Listen(pulse.Recording(), 0.05, 1.5);
    EXPECT_GT(tone.level, 5000.0);
    EXPECT_NEAR(tone.frequency, 880, 10.0);
    // Played on without a break: started once although every frame asks,
    // and sounding most of the time (restarted by every request it would be
    // all but silent: an MP3 starts with the codec's quiet delay). On a busy
    // machine Wine's mixer falls behind now and then, so gaps alone prove
    // nothing.
    EXPECT_EQ(program_->Count("plays from its start"), 1) << program_->Log();
    EXPECT_LT(tone.quiet, 0.5);
}

TEST_F(WineProgramTest, ARefusedFullscreenModeAnsweredYesRunsWindowedOnTheSilentClock) {
    REQUIRE_XVFB(x, "800x600x24");
    ASSERT_NO_FATAL_FAILURE(Start(true));  // no sound server: Wine finds no device
    program_->Answer("Orv GL", "Return");
    const auto window = program_->WaitForWindow("Vandrel");
    ASSERT_TRUE(window) << program_->Log();
    // Without a window manager the X window is the client area.
    EXPECT_EQ(std::tie(window->width, window->height), std::tuple(640, 480));
    EXPECT_EQ(program_->Count("window \"Vandrel\" 640x480 framed"), 1) << program_->Log();
    EXPECT_EQ(program_->Count("full-screen"), 0) << program_->Log();
    EXPECT_EQ(program_->Count("no sound device"), 1) << program_->Log();
    EXPECT_FALSE(program_->WaitForPicture(0ms).empty()) << "nothing drawn; log:\n" << program_->Log();
    EXPECT_EQ(program_->EscapeExitCode(), 27) << program_->Log();
}

TEST_F(WineProgramTest, ARefusedFullscreenModeAnsweredNoEndsWith0WithoutAWindow) {
    REQUIRE_XVFB(x, "800x600x24");
    ASSERT_NO_FATAL_FAILURE(Start(true));
    program_->Answer("Orv GL", "n");
    program_->Answer("ERROR", "Return");
    EXPECT_EQ(program_->ExitCode(), 0) << program_->Log();
    EXPECT_EQ(program_->Count("message box \"Orv GL\": The Requested Fullscreen Mode Is Not Supported By\nYour "
                              "Video Card. Use Windowed Mode Instead?\nvandrel: message box \"ERROR\": Program Will "
                              "Now Close.\n"), 1) << program_->Log();
    EXPECT_EQ(program_->Count("window \"Vandrel\""), 0) << program_->Log();
}

TEST_F(WineProgramTest, AMissingSoundtrackIsReportedInABoxAndEndsWith1) {
    REQUIRE_XVFB(x, "640x480x24");
    ASSERT_NO_FATAL_FAILURE(Start(false));
    program_->Answer("Error", "Return");  // the system's default caption
    EXPECT_EQ(program_->ExitCode(), 1) << program_->Log();
    EXPECT_EQ(program_->Count("message box (default caption): Error: Could not load module\n"), 1) << program_->Log();
    EXPECT_EQ(program_->Count("window \"Vandrel\""), 0) << program_->Log();
}

}  // namespace
