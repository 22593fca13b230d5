// vandrel-capture run as a user runs it: its frames show the demo's scenes at
// the right moments, upright and in place; the video has its frames and its
// sound; bad usage and a missing or failing ffmpeg end with a clear message
// and leave nothing half-written.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <png.h>

#include <cmath>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "support/subprocess.h"
#include "support/temp_dir.h"
#include "support/tone.h"

namespace fs = std::filesystem;

namespace {

const std::string kGeneratedContent = VANDREL_CONTENT_DIR;

struct Rgb {
    int r = 0, g = 0, b = 0;
};
constexpr Rgb kBlack{0, 0, 0}, kStart{200, 40, 40}, kStart1{40, 40, 200};

// A PNG file read back as 8-bit RGB, top row first.
struct Picture {
    int width = 0, height = 0;
    std::vector<uint8_t> rgb;
    Rgb at(int x, int y) const {
        const size_t i = (size_t(y) * width + x) * 3;
        return {rgb[i], rgb[i + 1], rgb[i + 2]};
    }
};
Picture ReadPng(const fs::path &path) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    Picture picture;
    if (png_image_begin_read_from_file(&image, path.c_str())) {
        image.format = PNG_FORMAT_RGB;
        picture.rgb.resize(PNG_IMAGE_SIZE(image));
        if (png_image_finish_read(&image, nullptr, picture.rgb.data(), 0, nullptr))
            picture = {int(image.width), int(image.height), std::move(picture.rgb)};
    }
    EXPECT_GT(picture.width, 0) << "cannot read " << path << ": " << image.message;
    png_image_free(&image);
    return picture;
}

void ExpectPixel(const Picture &picture, int x, int y, const Rgb &expected, int tolerance) {
    ASSERT_TRUE(x < picture.width && y < picture.height);
    const Rgb a = picture.at(x, y);
    EXPECT_TRUE(std::abs(a.r - expected.r) <= tolerance && std::abs(a.g - expected.g) <= tolerance &&
                std::abs(a.b - expected.b) <= tolerance)
        << "at (" << x << ", " << y << "): (" << a.r << ", " << a.g << ", " << a.b << "), expected ("
        << expected.r << ", " << expected.g << ", " << expected.b << ")";
}

// A 4 x 4 24-bit TGA whose upper half, as the demo shows it, is `top`.
std::string TwoToneTga(const Rgb &top, const Rgb &bottom) {
    std::string tga = {0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 4, 0, 4, 0, 24, 0};
    for (int i = 0; i < 16; ++i) {  // bottom row first
        const Rgb &c = i < 8 ? bottom : top;
        tga += {char(c.b), char(c.g), char(c.r)};
    }
    return tga;
}

std::vector<std::string> FileNames(const fs::path &dir) {
    std::vector<std::string> names;
    std::error_code ec;
    for (const auto &entry : fs::directory_iterator(dir, ec)) names.push_back(entry.path().filename());
    std::sort(names.begin(), names.end());
    return names;
}

class CaptureProgram : public ::testing::Test {
protected:
    testsupport::ProcessResult Capture(std::vector<std::string> args,
                                       const std::map<std::string, std::string> &env = {}) {
        args.insert(args.begin(), VANDREL_CAPTURE_PROGRAM);
        testsupport::ProcessOptions options;
        options.workingDir = work_.path().string();
        options.env = env;
        options.timeout = std::chrono::minutes(3);
        return testsupport::RunProcess(args, options);
    }
    static testsupport::ProcessResult Shell(const std::string &command, const fs::path &folder) {
        testsupport::ProcessOptions options;
        options.workingDir = folder.string();
        return testsupport::RunProcess({"sh", "-c", command}, options);
    }
    // The program's working folder, and a folder of loose test pictures.
    testsupport::TempDir work_, content_;
};

TEST_F(CaptureProgram, TitleFadeFramesFollowTheVirtualClock) {
    content_.Write("data/start.tga", TwoToneTga(kStart, kStart));
    content_.Write("data/start1.tga", TwoToneTga(kStart1, kStart1));
    auto withCommon = [&](std::vector<std::string> args) {
        args.insert(args.end(), {"--content", content_.path(), "--fps", "10", "--size", "160x120"});
        return args;
    };
    auto run = Capture(withCommon({"--png", "frames", "--from", "0.9", "--to", "8.1"}));
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_NE(run.err.find("capture: 100%  81/81 frames"), std::string::npos) << run.err;
    const std::vector<std::string> names = FileNames(work_ / "frames");
    ASSERT_EQ(names.size(), 72u);
    EXPECT_EQ(std::tie(names.front(), names.back()), std::tuple("frame-000009.png", "frame-000080.png"));
    // Frame n shows n / 10 s: start1 is invisible before 3 s, then fades in over 4 s.
    for (auto [frame, alpha] : {std::pair{10, 0.0}, {29, 0.0}, {40, 0.25}, {50, 0.5}, {70, 1.0}}) {
        SCOPED_TRACE(frame);
        const Picture picture = ReadPng(work_ / "frames" / names[frame - 9]);
        ASSERT_EQ(std::tie(picture.width, picture.height), std::tuple(160, 120));
        auto mix = [&](int a, int b) { return int(std::lround(a * (1 - alpha) + b * alpha)); };
        ExpectPixel(picture, 80, 60, {mix(kStart.r, kStart1.r), mix(kStart.g, kStart1.g), mix(kStart.b, kStart1.b)}, 3);
        ExpectPixel(picture, 2, 60, kBlack, 0);  // the quad leaves a black margin at the sides
    }
    // A still is the same frame as the one in a sequence.
    ASSERT_EQ(Capture(withCommon({"--at", "5", "-o", "five.png"})).exitCode, 0);
    EXPECT_EQ(ReadPng(work_ / "five.png").rgb, ReadPng(work_ / "frames" / "frame-000050.png").rgb);
}

TEST_F(CaptureProgram, StillsAreUprightAndKeepTheFourToThreePictureAtAnySize) {
    const Rgb top{30, 200, 30}, bottom{200, 30, 30};
    content_.Write("data/start.tga", TwoToneTga(top, bottom));
    // The 4:3 picture centred between bars; in it the quad, 1 unit wide at
    // distance 1 under a 45-degree projection, spans 0.5 / (tan(22.5 deg) *
    // 4 / 3) of the picture's half width and more than its height.
    const struct {
        const char *size;
        int width, height, left, top, pictureWidth;
    } sizes[] = {{"800x600", 800, 600, 0, 0, 800}, {"200x120", 200, 120, 20, 0, 160}, {"160x200", 160, 200, 0, 40, 160}};
    for (const auto &s : sizes) {
        SCOPED_TRACE(s.size);
        auto run = Capture({"--at", "1", "-o", "still.png", "--size", s.size, "--content", content_.path()});
        ASSERT_EQ(run.exitCode, 0) << run.err;
        const Picture still = ReadPng(work_ / "still.png");
        ASSERT_EQ(std::tie(still.width, still.height), std::tie(s.width, s.height));
        const int centre = s.left + s.pictureWidth / 2, half = int(0.5 / (std::tan(M_PI / 8) * 4 / 3) * s.pictureWidth / 2);
        const int pictureHeight = s.pictureWidth * 3 / 4;
        for (int eighth : {1, 3, 5, 7}) {
            const int y = s.top + pictureHeight * eighth / 8;
            for (int x : {centre - half + 3, centre, centre + half - 3}) ExpectPixel(still, x, y, eighth < 4 ? top : bottom, 2);
            for (int x : {s.left / 2, centre - half - 3, centre + half + 3}) ExpectPixel(still, x, y, kBlack, 0);
        }
        if (s.top > 0) ExpectPixel(still, centre, s.top / 2, kBlack, 0);
    }
}

TEST_F(CaptureProgram, CoversTheWholeTimelineWithoutEndingTheDemo) {
    auto run = Capture({"--png", "all", "--content", kGeneratedContent, "--fps", "1", "--size", "32x24"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const std::vector<std::string> names = FileNames(work_ / "all");
    ASSERT_EQ(names.size(), 120u);
    EXPECT_EQ(std::tie(names.front(), names.back()), std::tuple("frame-000000.png", "frame-000119.png"));
    const Picture last = ReadPng(work_ / "all" / names.back());
    std::set<std::tuple<int, int, int>> colours;  // in the middle of the quad
    for (int y = 8; y < 16; ++y)
        for (int x = 12; x < 20; ++x) colours.insert({last.at(x, y).r, last.at(x, y).g, last.at(x, y).b});
    EXPECT_GT(colours.size(), 4u) << "the last frame shows a picture from the content folder's pack, not a blank quad";
}

TEST_F(CaptureProgram, VideoHasItsFramesUprightAndTheSoundtrackFromItsFirstMomentCutToItsLength) {
    const Rgb top{30, 200, 30}, bottom{200, 30, 30};
    content_.Write("data/start.tga", TwoToneTga(top, bottom));
    const auto made = Shell("sox -n -r 44100 -c 2 -b 16 a.wav synth 2 sine 440 vol 0.5 && sox -n -r 44100 -c 2 -b 16 "
                            "b.wav synth 4 sine 880 vol 0.5 && sox a.wav b.wav ab.wav && lame --quiet ab.wav DemoFinal.mp3",
                            content_.path());  // 440 Hz for 2 s, then 880 Hz
    ASSERT_EQ(made.exitCode, 0) << made.err;
    auto run = Capture({"-o", "clip.mp4", "--content", content_.path(), "--fps", "10", "--size", "160x120", "--from", "2",
                        "--to", "5"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_NE(run.out.find("clip.mp4"), std::string::npos) << run.out;
    EXPECT_EQ(FileNames(work_.path()), std::vector<std::string>{"clip.mp4"});
    auto probe = testsupport::RunProcess({"ffprobe", "-v", "error", "-count_frames", "-show_entries",
                                          "stream=codec_type,codec_name,width,height,pix_fmt,nb_read_frames,duration",
                                          "-of", "json", (work_ / "clip.mp4").string()});
    ASSERT_EQ(probe.exitCode, 0) << probe.err;
    const nlohmann::json streams = nlohmann::json::parse(probe.out)["streams"];
    ASSERT_EQ(streams.size(), 2u) << probe.out;
    const nlohmann::json &video = streams[0]["codec_type"] == "video" ? streams[0] : streams[1];
    const nlohmann::json &audio = streams[0]["codec_type"] == "video" ? streams[1] : streams[0];
    EXPECT_EQ(std::tie(video["codec_name"], video["pix_fmt"]), std::tuple("h264", "yuv420p"));
    EXPECT_EQ(std::tie(video["width"], video["height"]), std::tuple(160, 120));
    EXPECT_EQ(video["nb_read_frames"], "30");
    EXPECT_EQ(audio["codec_type"], "audio");
    EXPECT_NEAR(std::stod(audio["duration"].get<std::string>()), 3.0, 0.1);
    // Its first frame upright in its colours, its sound from second 2 on.
    const auto decoded = Shell("ffmpeg -v error -i clip.mp4 -frames:v 1 -f rawvideo -pix_fmt rgb24 frame.rgb && "
                               "ffmpeg -v error -i clip.mp4 -f s16le -ac 2 -ar 44100 sound.raw", work_.path());
    ASSERT_EQ(decoded.exitCode, 0) << decoded.err;
    const std::string frame = testsupport::ReadFile(work_ / "frame.rgb");
    const Picture first{160, 120, std::vector<uint8_t>(frame.begin(), frame.end())};
    ASSERT_EQ(first.rgb.size(), 160u * 120 * 3);
    ExpectPixel(first, 80, 30, top, 12);
    ExpectPixel(first, 80, 90, bottom, 12);
    EXPECT_NEAR(tonetest::Listen(testsupport::ReadFile(work_ / "sound.raw"), 0.1, 1.0).frequency, 880, 10);
}

TEST_F(CaptureProgram, BadUsageExitsWithTwoAndWritesNothing) {
    for (const std::vector<std::string> &args :
         std::vector<std::vector<std::string>>{{"--fps", "0"}, {"--bogus"}, {"--at"}, {"--from", "9", "--to", "8"}}) {
        auto run = Capture(args);
        EXPECT_EQ(run.exitCode, 2) << args.front();
        EXPECT_NE(run.err.find("vandrel-capture: "), std::string::npos) << run.err;
        EXPECT_NE(run.err.find("--help"), std::string::npos) << run.err;
    }
    EXPECT_TRUE(FileNames(work_.path()).empty());
    auto help = Capture({"--help"});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_EQ(help.out.rfind("usage: vandrel-capture", 0), 0u) << help.out;
}

TEST_F(CaptureProgram, AMissingOrFailingFfmpegOrSoundtrackIsReportedAndLeavesNoFile) {
    testsupport::TempDir bin;
    const std::vector<std::string> args = {"--content", kGeneratedContent, "--fps", "10", "--size", "160x120",
                                           "--to", "1"};
    auto noFfmpeg = Capture(args, {{"PATH", bin.path().string()}});
    EXPECT_EQ(noFfmpeg.exitCode, 1);
    EXPECT_NE(noFfmpeg.err.find("ffmpeg was not found"), std::string::npos) << noFfmpeg.err;
    // A stand-in that starts its output (the last argument), then gives up.
    const fs::path script = bin.Write("ffmpeg", "#!/bin/sh\nfor a in \"$@\"; do out=\"$a\"; done\n"
                                                "echo half a video > \"$out\"\necho 'an early message' >&2\n"
                                                "echo 'Conversion failed: the stand-in gave up' >&2\nexit 1\n");
    fs::permissions(script, fs::perms::owner_all);
    auto failing = Capture(args, {{"PATH", bin.path().string() + ":/usr/bin:/bin"}});
    EXPECT_EQ(failing.exitCode, 1);
    EXPECT_NE(failing.err.find("ffmpeg failed (exit code 1)"), std::string::npos) << failing.err;
    EXPECT_NE(failing.err.find("Conversion failed: the stand-in gave up"), std::string::npos) << failing.err;
    content_.Write("data/start.tga", TwoToneTga(kStart, kStart));
    auto noMusic = Capture({"--content", content_.path(), "--fps", "10", "--size", "160x120"});
    EXPECT_EQ(noMusic.exitCode, 1);
    EXPECT_NE(noMusic.err.find("DemoFinal.mp3"), std::string::npos) << noMusic.err;
    EXPECT_TRUE(FileNames(work_.path()).empty());
}

}  // namespace
