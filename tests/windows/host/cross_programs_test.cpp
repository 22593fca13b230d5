// The test programs of the Windows build, run under Wine: the Win32 platform
// layer against the real system, and the RAR library's corpus tests and log
// (the same test sources as the native build).
#include "tests/platform/tone.h"
#include "tests/rar/rar_test_util.h"
#include "tests/support/shared_data.h"
#include "tests/support/subprocess.h"
#include "tests/support/temp_dir.h"
#include "tests/support/xvfb.h"
#include "tests/windows/host/wine_session.h"

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <string>

namespace {

using namespace std::chrono_literals;

// A GoogleTest program's verdict, with its output when it failed.
void ExpectPassed(const testsupport::ProcessResult &result) {
    EXPECT_FALSE(result.timedOut);
    EXPECT_EQ(result.exitCode, 0) << result.out << result.err;
    EXPECT_NE(result.out.find("[  PASSED  ]"), std::string::npos) << result.out << result.err;
    EXPECT_EQ(result.out.find("[  FAILED  ]"), std::string::npos) << result.out;
}

// Runs a tool; false (with its complaint) when it fails.
bool Tool(const std::vector<std::string> &argv, std::string *why) {
    const auto result = testsupport::RunProcess(argv);
    if (result.exitCode == 0) return true;
    *why = argv[0] + " failed: " + result.err;
    return false;
}

// The sounds the platform tests decode, made with the system's sox and lame.
void MakeTestSounds(const std::filesystem::path &dir) {
    std::string why;
    ASSERT_TRUE(tonetest::MakeToneMp3(dir / "tone880-stereo-44100.mp3", 880, 2.0, &why)) << why;
    const std::string mono = (dir / "mono.wav").string();
    ASSERT_TRUE(Tool({"sox", "-n", "-r", "22050", "-c", "1", "-b", "16", mono, "synth", "1", "sine",
                      "440", "vol", "0.5"},
                     &why))
        << why;
    ASSERT_TRUE(Tool({"lame", "--quiet", "-b", "64", mono, (dir / "tone440-mono-22050.mp3").string()},
                     &why))
        << why;
    const std::string stereo = (dir / "stereo.wav").string();
    ASSERT_TRUE(Tool({"sox", "-n", "-r", "44100", "-c", "2", "-b", "16", stereo, "synth", "2",
                      "sine", "880", "vol", "0.5"},
                     &why))
        << why;
    // A tag of more than 4000 bytes before the first frame.
    ASSERT_TRUE(Tool({"lame", "--quiet", "-b", "128", "--add-id3v2", "--pad-id3v2-size", "4000",
                      "--tt", "Tagged", stereo, (dir / "tone880-tagged.mp3").string()},
                     &why))
        << why;
    std::ofstream(dir / "not-an-mp3.txt") << "this is not an mp3\n";
}

TEST(WindowsBuild, PlatformTestsPassUnderWineWithASoundDevice) {
    REQUIRE_WINDOWS_PROGRAM(VANDREL_WINDOWS_PLATFORM_TESTS);
    REQUIRE_XVFB(x, "640x480x24");
    testsupport::TempDir dir;
    MakeTestSounds(dir.path());
    ASSERT_FALSE(HasFatalFailure());
    winetest::PrivatePulse pulse(dir / "pulse");
    ASSERT_TRUE(pulse.ok()) << pulse.error();
    winetest::WineSession wine;
    ASSERT_TRUE(wine.ok()) << wine.error();

    testsupport::ProcessOptions options;
    options.env = pulse.ClientEnv();
    options.env["VANDREL_WINDOWS_TEST_DATA"] = winetest::WindowsPath(dir.path());
    options.timeout = 240s;
    const auto result = wine.Run(VANDREL_WINDOWS_PLATFORM_TESTS, {}, options);
    ExpectPassed(result);
    // With the sound server running, the sound layer is tested on a device too.
    EXPECT_NE(result.out.find("[       OK ] Clock/StreamRules.PlayStartsTheStreamAndRepeatedPlaysLeaveItRunning/Device"),
              std::string::npos)
        << result.out;
}

TEST(WindowsBuild, RarCorpusTestsPassUnderWine) {
    REQUIRE_WINDOWS_PROGRAM(VANDREL_WINDOWS_RAR_CORPUS_TESTS);
    REQUIRE_SHARED_PATH(manifest, "corpus/real/manifest.json");
    // The library needs no display; Wine's own start-up does not either.
    winetest::WineSession wine;
    ASSERT_TRUE(wine.ok()) << wine.error();
    testsupport::ProcessOptions options;
    options.env["VANDREL_SHARED_DIR"] =
        winetest::WindowsPath(manifest.parent_path().parent_path().parent_path());
    options.timeout = 240s;
    const auto result = wine.Run(VANDREL_WINDOWS_RAR_CORPUS_TESTS, {}, options);
    ExpectPassed(result);
    EXPECT_EQ(result.out.find("[  SKIPPED ]"), std::string::npos) << "the corpus was not reached";
}

class WindowsRarLog : public ::testing::Test {
protected:
    void SetUp() override {
        REQUIRE_WINDOWS_PROGRAM(VANDREL_WINDOWS_RAR_LOG_PROBE);
        wine_ = std::make_unique<winetest::WineSession>();
        ASSERT_TRUE(wine_->ok()) << wine_->error();
        rarwriter::ArchiveSpec plan;
        plan.entries = {rarwriter::Stored("file.txt", "hello")};
        archive_ = dir_.Write("good.rar", rarwriter::BuildArchive(plan));
        logFolder_ = wine_->DriveC() / "temp";
        std::filesystem::remove_all(logFolder_);
    }
    void TearDown() override {
        if (wine_) std::filesystem::remove_all(logFolder_);
    }
    testsupport::ProcessResult Probe(const std::vector<std::string> &args) {
        return wine_->Run(VANDREL_WINDOWS_RAR_LOG_PROBE, args);
    }

    testsupport::TempDir dir_;
    std::unique_ptr<winetest::WineSession> wine_;
    std::filesystem::path archive_;
    std::filesystem::path logFolder_;
};

TEST_F(WindowsRarLog, TheFirstCallOfAProcessStartsTheLogInCTempAsAWindowsTextFile) {
    std::filesystem::create_directories(logFolder_);
    const auto result = Probe({"list", winetest::WindowsPath(archive_)});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    // One entry listed; the log where the library keeps it on Windows.
    EXPECT_EQ(result.out, "1\r\nC:\\temp\\debug_unrar.txt\r\n");
    const std::string log = testsupport::ReadFile(logFolder_ / "debug_unrar.txt");
    const std::string banner =
        "Debug log of Talvik's Quorbenhal\r\n~^~~~~~~~~~~~~~~~~~~~~~~~~~~~~^~\r\n(executable compiled on ";
    ASSERT_EQ(log.compare(0, banner.size(), banner), 0) << log;
    EXPECT_NE(log.find(")\r\n\r\n "), std::string::npos) << log;
    EXPECT_NE(log.find("\r\n              - Couldn't read next filename from archive (I/O error).\r\n"),
              std::string::npos)
        << log;
    // Every line ends in CR LF.
    for (size_t at = log.find('\n'); at != std::string::npos; at = log.find('\n', at + 1))
        ASSERT_EQ(log[at - 1], '\r') << "a bare line feed at byte " << at;

    // A second process empties the log and starts it again.
    ASSERT_EQ(Probe({"list", winetest::WindowsPath(archive_)}).exitCode, 0);
    const std::string again = testsupport::ReadFile(logFolder_ / "debug_unrar.txt");
    EXPECT_EQ(again.find("Debug log of"), 0u);
    EXPECT_EQ(again.find("Debug log of", 1), std::string::npos) << again;
}

TEST_F(WindowsRarLog, WithoutCTempThereIsNoLogAndTheLibraryWorksTheSame) {
    const auto listed = Probe({"list", winetest::WindowsPath(archive_)});
    ASSERT_EQ(listed.exitCode, 0) << listed.err;
    EXPECT_EQ(listed.out.substr(0, 3), "1\r\n");
    const auto extracted = Probe({"extract", winetest::WindowsPath(archive_), "file.txt"});
    EXPECT_EQ(extracted.exitCode, 0) << extracted.err;
    EXPECT_EQ(extracted.out, "hello");
    EXPECT_FALSE(std::filesystem::exists(logFolder_));
}

}  // namespace
