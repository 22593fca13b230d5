// The test programs of the Windows build, run under Wine: the Win32 platform
// layer against the real system, the library's corpus tests (the native
// build's sources), its handle interface through the DLL, and the library's
// log at its Windows path.
#include "rar_writer.h"
#include "support/tone.h"
#include "support/shared_data.h"
#include "support/xvfb.h"
#include "wine.h"

#include <gtest/gtest.h>

namespace {

using namespace std::chrono_literals;

// A GoogleTest program's verdict, every test run, with its output when it failed.
void ExpectPassed(const testsupport::ProcessResult &result) {
    EXPECT_EQ(result.out.find("[  SKIPPED ]"), std::string::npos) << result.out;
    EXPECT_EQ(result.exitCode, 0) << result.out << result.err;
    EXPECT_NE(result.out.find("[  PASSED  ]"), std::string::npos) << result.out << result.err;
    EXPECT_EQ(result.out.find("[  FAILED  ]"), std::string::npos) << result.out;
}

TEST(WindowsBuild, PlatformTestsPassUnderWineWithASoundDevice) {
    REQUIRE_WINDOWS_PROGRAM(VANDREL_WINDOWS_PLATFORM_TESTS);
    REQUIRE_XVFB(x, "640x480x24");
    testsupport::TempDir dir;
    // The sounds the platform tests decode: 44.1 kHz stereo (MPEG-1); 5 s at
    // the lowest MPEG-1 rate behind a 4 kB ID3v2 tag; 22.05 kHz mono (MPEG-2);
    // and no MP3.
    std::string why;
    ASSERT_TRUE(tonetest::MakeToneMp3(dir / "stereo.mp3", 880, 2.0, &why)) << why;
    const auto made = testsupport::RunProcess(
        {"sh", "-c",
         "sox -n -r 22050 -c 1 -b 16 mono.wav synth 1 sine 440 vol 0.5 && lame --quiet -b 64 mono.wav mono.mp3 "
         "&& sox -n -r 44100 -c 2 -b 16 s.wav synth 5 sine 880 vol 0.5 && lame --quiet -b 32 --resample 44.1 --add-id3v2 "
         "--pad-id3v2-size 4000 --tt Tagged s.wav tagged.mp3 && echo not an mp3 >text.mp3"},
        winetest::Options({}, 60s, dir.path().string()));
    ASSERT_EQ(made.exitCode, 0) << made.err;
    winetest::PrivatePulse pulse(dir / "pulse");
    ASSERT_EQ(pulse.error(), "");
    winetest::WineSession wine;
    ASSERT_EQ(wine.error(), "");

    winetest::Env env = pulse.ClientEnv();
    env["VANDREL_WINDOWS_TEST_DATA"] = winetest::WindowsPath(dir.path());
    const auto result = wine.Run(VANDREL_WINDOWS_PLATFORM_TESTS, {}, winetest::Options(env, 4min));
    ExpectPassed(result);  // the sound layer's Device cases included: none skipped
}

TEST(WindowsBuild, RarCorpusAndHandleTestsPassUnderWine) {
    REQUIRE_WINDOWS_PROGRAM(VANDREL_WINDOWS_RAR_CORPUS_TESTS);
    REQUIRE_SHARED_PATH(manifest, "corpus/real/manifest.json");
    winetest::WineSession wine;
    ASSERT_EQ(wine.error(), "");
    const winetest::Env env = {
        {"QUORBENHAL_SHARED_DIR", winetest::WindowsPath(manifest.parent_path().parent_path().parent_path())}};
    for (const char *program : {VANDREL_WINDOWS_RAR_CORPUS_TESTS, VANDREL_WINDOWS_RAR_HANDLE_TESTS}) {
        SCOPED_TRACE(program);
        ExpectPassed(wine.Run(program, {}, winetest::Options(env, 4min)));
    }
}

TEST(WindowsBuild, EachProcessStartsTheLibrarysLogAfreshInCTemp) {
    REQUIRE_WINDOWS_PROGRAM(VANDREL_WINDOWS_RAR_LOG_PROBE);
    winetest::WineSession wine;
    ASSERT_EQ(wine.error(), "");
    testsupport::TempDir dir;
    rarwriter::ArchiveSpec plan;
    plan.entries = {rarwriter::Stored("file.txt", "hello")};
    const std::string archive = winetest::WindowsPath(dir.Write("good.rar", rarwriter::BuildArchive(plan)));
    const auto folder = wine.DriveC() / "temp";
    std::filesystem::create_directories(folder);
    for (int run = 0; run < 2; ++run) {
        const auto result = wine.Run(VANDREL_WINDOWS_RAR_LOG_PROBE, {archive});
        EXPECT_EQ(result.out, "1\r\nC:\\temp\\debug_unrar.txt\r\n") << result.err;
        // A Windows text file, its banner once: each process empties it.
        const std::string log = testsupport::ReadFile(folder / "debug_unrar.txt");
        EXPECT_EQ(log.rfind("Debug log of Talvik's Quorbenhal\r\n~^~~~~~~~~~~~~~~~~~~~~~~~~~~~~^~\r\n", 0), 0u) << log;
        EXPECT_EQ(log.find("Debug log of", 1), std::string::npos) << log;
        EXPECT_NE(log.find("\r\n              - Couldn't read next filename from archive (I/O error).\r\n"),
                  std::string::npos) << log;
        for (size_t at = log.find('\n'); at != std::string::npos; at = log.find('\n', at + 1))
            ASSERT_EQ(log[at - 1], '\r') << "a bare line feed at byte " << at;
    }
    std::filesystem::remove_all(folder);
}

}  // namespace
