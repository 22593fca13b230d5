// vandrel-capture run as a user runs it: the frames it writes show the
// demo's scenes at the right moments, upright and in place; the video has
// its frames and its sound; bad usage and a missing or failing ffmpeg end
// with a clear message and leave nothing half-written.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <unzip.h>

#include <csignal>
#include <cstdint>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "capture_fixture.h"

namespace fs = std::filesystem;

namespace {

using namespace capturetest;

constexpr Rgb kBlack{0, 0, 0};

// Flat test pictures: the title's two layers in colours whose blends are
// easy to tell apart.
constexpr Rgb kStart{200, 40, 40};
constexpr Rgb kStart1{40, 40, 200};

Rgb Mix(const Rgb &under, const Rgb &over, double alpha) {
    auto mix = [&](int u, int o) { return static_cast<int>(std::lround(u * (1 - alpha) + o * alpha)); };
    return {mix(under.r, over.r), mix(under.g, over.g), mix(under.b, over.b)};
}

void ExpectPixel(const Picture &picture, int x, int y, const Rgb &expected, int tolerance, const std::string &what) {
    ASSERT_GT(picture.width, x);
    ASSERT_GT(picture.height, y);
    const Rgb actual = picture.at(x, y);
    EXPECT_TRUE(Near(actual, expected, tolerance))
        << what << " at (" << x << ", " << y << "): " << ToString(actual) << ", expected " << ToString(expected);
}

class CaptureProgram : public ::testing::Test {
protected:
    // The working folder of the program, and a content folder of loose
    // pictures beside it.
    testsupport::TempDir work_;
    testsupport::TempDir content_;
};

TEST_F(CaptureProgram, TitleFadeFramesFollowTheVirtualClock) {
    content_.Write("data/start.tga", TwoToneTga(kStart, kStart));
    content_.Write("data/start1.tga", TwoToneTga(kStart1, kStart1));
    auto run = RunCapture({"--png", "frames", "--content", content_.path().string(), "--fps", "10", "--size",
                           "160x120", "--from", "0.9", "--to", "8.1"},
                          work_.path());
    ASSERT_EQ(run.exitCode, 0) << run.err;

    // Frames 9 to 80, named by their place in the timeline.
    std::vector<std::string> expected;
    for (int frame = 9; frame <= 80; ++frame) {
        char name[32];
        std::snprintf(name, sizeof name, "frame-%06d.png", frame);
        expected.push_back(name);
    }
    EXPECT_EQ(FileNames(work_ / "frames"), expected);

    // Frame n shows n / 10 s. The second picture is invisible before 3 s,
    // fades in with alpha (t - 3) / 4 and is opaque from 7 s on.
    struct Probe {
        int frame;
        Rgb centre;
    };
    const Probe probes[] = {
        {10, kStart}, {29, kStart}, {40, Mix(kStart, kStart1, 0.25)}, {50, Mix(kStart, kStart1, 0.5)},
        {60, Mix(kStart, kStart1, 0.75)}, {70, kStart1}, {80, kStart1},
    };
    for (const Probe &probe : probes) {
        char name[32];
        std::snprintf(name, sizeof name, "frame-%06d.png", probe.frame);
        const Picture frame = ReadPng(work_ / "frames" / name);
        ASSERT_EQ(frame.width, 160) << name;
        ASSERT_EQ(frame.height, 120) << name;
        ExpectPixel(frame, 80, 60, probe.centre, 3, name);
        // The picture quad leaves a black margin at the sides of a 4:3 frame.
        ExpectPixel(frame, 2, 60, kBlack, 0, name);
        ExpectPixel(frame, 157, 60, kBlack, 0, name);
    }

    // A still is the same frame as the one in a sequence: the frames before
    // it are drawn either way.
    auto still = RunCapture({"--at", "5", "-o", "five.png", "--content", content_.path().string(), "--fps", "10",
                             "--size", "160x120"},
                            work_.path());
    ASSERT_EQ(still.exitCode, 0) << still.err;
    EXPECT_EQ(ReadPng(work_ / "five.png").rgb, ReadPng(work_ / "frames" / "frame-000050.png").rgb);
}

// Every probe of a still of the two-tone start picture: black off the quad,
// the upper colour on its upper half, the lower colour on its lower half.
void ExpectUprightQuad(const Picture &still, int barLeft, int pictureWidth, const Rgb &top, const Rgb &bottom) {
    int probed = 0;
    for (int y = 1; y < still.height; y += 7) {
        for (int x = 1; x < still.width; x += 7) {
            const bool inPicture = x >= barLeft && x < barLeft + pictureWidth;
            TexCoord c = QuadCoordinate(x - barLeft, y, pictureWidth, still.height);
            // Pixels right at an edge may go either way.
            auto nearEdge = [](double v) { return std::abs(v) < 0.02 || std::abs(v - 0.5) < 0.02 || std::abs(v - 1) < 0.02; };
            if (inPicture && (nearEdge(c.s) || nearEdge(c.t))) continue;
            const bool onQuad = inPicture && c.s > 0 && c.s < 1 && c.t > 0 && c.t < 1;
            const Rgb expected = !onQuad ? kBlack : c.t > 0.5 ? top : bottom;
            ExpectPixel(still, x, y, expected, 2, "still");
            ++probed;
        }
    }
    EXPECT_GT(probed, 100);
}

TEST_F(CaptureProgram, StillsAreUprightAndKeepTheFourToThreePictureAtAnySize) {
    const Rgb top{30, 200, 30}, bottom{200, 30, 30};
    content_.Write("data/start.tga", TwoToneTga(top, bottom));

    // Larger than the demo's window, same projection.
    auto large = RunCapture({"--at", "1", "-o", "large.png", "--size", "800x600", "--content",
                             content_.path().string()},
                            work_.path());
    ASSERT_EQ(large.exitCode, 0) << large.err;
    const Picture largeStill = ReadPng(work_ / "large.png");
    ASSERT_EQ(largeStill.width, 800);
    ASSERT_EQ(largeStill.height, 600);
    ExpectUprightQuad(largeStill, 0, 800, top, bottom);

    // Wider than 4:3: the 160x120 picture centred between black bars.
    auto wide = RunCapture({"--at", "1", "-o", "wide.png", "--size", "200x120", "--fps", "10", "--content",
                            content_.path().string()},
                           work_.path());
    ASSERT_EQ(wide.exitCode, 0) << wide.err;
    const Picture wideStill = ReadPng(work_ / "wide.png");
    ASSERT_EQ(wideStill.width, 200);
    ASSERT_EQ(wideStill.height, 120);
    ExpectUprightQuad(wideStill, 20, 160, top, bottom);
    ExpectPixel(wideStill, 25, 80, kBlack, 0, "left of the quad");
    ExpectPixel(wideStill, 31, 80, bottom, 2, "left end of the quad");
    ExpectPixel(wideStill, 168, 80, bottom, 2, "right end of the quad");
    ExpectPixel(wideStill, 175, 80, kBlack, 0, "right of the quad");
}

// A picture of the generated pack, decoded straight from its TGA bytes.
struct TgaPicture {
    int width = 0, height = 0, bytesPerPixel = 0;
    std::string pixels;  // rows bottom first, blue green red (alpha)
    Rgb texel(int x, int yFromBottom) const {
        x = std::clamp(x, 0, width - 1);
        yFromBottom = std::clamp(yFromBottom, 0, height - 1);
        const size_t i = (static_cast<size_t>(yFromBottom) * width + x) * bytesPerPixel;
        auto at = [&](size_t k) { return static_cast<int>(static_cast<uint8_t>(pixels[i + k])); };
        return {at(2), at(1), at(0)};
    }
};

TgaPicture ReadPackedTga(const std::string &member) {
    TgaPicture picture;
    unzFile zip = unzOpen((fs::path(kGeneratedContent) / "data.dat").c_str());
    if (zip == nullptr) {
        ADD_FAILURE() << "the build did not write content/data.dat";
        return picture;
    }
    unz_file_info info;
    std::string bytes;
    if (unzLocateFile(zip, member.c_str(), 1) == UNZ_OK &&
        unzGetCurrentFileInfo(zip, &info, nullptr, 0, nullptr, 0, nullptr, 0) == UNZ_OK &&
        unzOpenCurrentFile(zip) == UNZ_OK) {
        bytes.resize(info.uncompressed_size);
        if (unzReadCurrentFile(zip, bytes.data(), static_cast<unsigned>(bytes.size())) !=
            static_cast<int>(bytes.size()))
            bytes.clear();
        unzCloseCurrentFile(zip);
    }
    unzClose(zip);
    if (bytes.size() < 18) {
        ADD_FAILURE() << "cannot read " << member << " from data.dat";
        return picture;
    }
    auto byte = [&](size_t i) { return static_cast<int>(static_cast<uint8_t>(bytes[i])); };
    picture.width = byte(12) | byte(13) << 8;
    picture.height = byte(14) | byte(15) << 8;
    picture.bytesPerPixel = byte(16) / 8;
    picture.pixels = bytes.substr(18);
    EXPECT_EQ(picture.pixels.size(), static_cast<size_t>(picture.width) * picture.height * picture.bytesPerPixel);
    return picture;
}

// How many probes of a 4:3 frame differ from the picture quad showing
// `picture`: a probe matches when it is close to one of the texels around
// the spot it falls on (so rounding at texel edges does not count).
int Mismatches(const Picture &frame, const TgaPicture &picture, int *probed) {
    int misses = 0;
    *probed = 0;
    for (int y = 3; y < frame.height; y += 9) {
        for (int x = 3; x < frame.width; x += 9) {
            const TexCoord c = QuadCoordinate(x, y, frame.width, frame.height);
            if (c.s < 0.01 || c.s > 0.99 || c.t < 0.01 || c.t > 0.99) continue;
            const int tx = static_cast<int>(c.s * picture.width), ty = static_cast<int>(c.t * picture.height);
            bool matched = false;
            for (int dy = -1; dy <= 1 && !matched; ++dy)
                for (int dx = -1; dx <= 1 && !matched; ++dx)
                    matched = Near(frame.at(x, y), picture.texel(tx + dx, ty + dy), 2);
            misses += matched ? 0 : 1;
            ++*probed;
        }
    }
    return misses;
}

TEST_F(CaptureProgram, FramesShowTheGeneratedTitlePicturesAtTheirMoments) {
    auto run = RunCapture({"--png", "frames", "--content", kGeneratedContent, "--fps", "1", "--size", "320x240",
                           "--from", "1", "--to", "9"},
                          work_.path());
    ASSERT_EQ(run.exitCode, 0) << run.err;
    ASSERT_EQ(FileNames(work_ / "frames").size(), 8u);
    const TgaPicture start = ReadPackedTga("data/start.tga"), start1 = ReadPackedTga("data/start1.tga");
    ASSERT_EQ(start.width, 256);
    ASSERT_EQ(start1.width, 256);

    const Picture atOne = ReadPng(work_ / "frames" / "frame-000001.png");
    const Picture atEight = ReadPng(work_ / "frames" / "frame-000008.png");
    int probed = 0;
    // At 1 s the first picture alone, at 8 s the second one opaque over it.
    EXPECT_EQ(Mismatches(atOne, start, &probed), 0);
    EXPECT_GT(probed, 500);
    EXPECT_EQ(Mismatches(atEight, start1, &probed), 0);
    // The two pictures differ enough that the probes tell them apart.
    EXPECT_GT(Mismatches(atOne, start1, &probed), probed / 2);
    EXPECT_GT(Mismatches(atEight, start, &probed), probed / 2);
}

TEST_F(CaptureProgram, CoversTheWholeTimelineWithoutEndingTheDemo) {
    // At one frame per second: frames 0 to 119, the last one still I16.
    auto run = RunCapture({"--png", "all", "--content", kGeneratedContent, "--fps", "1", "--size", "32x24"},
                          work_.path());
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const std::vector<std::string> names = FileNames(work_ / "all");
    ASSERT_EQ(names.size(), 120u);
    EXPECT_EQ(names.front(), "frame-000000.png");
    EXPECT_EQ(names.back(), "frame-000119.png");
    const Picture last = ReadPng(work_ / "all" / names.back());
    int lit = 0;
    for (int y = 0; y < last.height; ++y)
        for (int x = 0; x < last.width; ++x) lit += Near(last.at(x, y), kBlack, 16) ? 0 : 1;
    EXPECT_GT(lit, last.width * last.height / 2) << "the last frame shows a picture";
}

nlohmann::json Probe(const fs::path &video) {
    auto probe = testsupport::RunProcess({"ffprobe", "-v", "error", "-count_frames", "-show_entries",
                                          "stream=codec_type,codec_name,width,height,pix_fmt,nb_read_frames,duration",
                                          "-of", "json", video.string()});
    EXPECT_EQ(probe.exitCode, 0) << probe.err;
    return nlohmann::json::parse(probe.out, nullptr, false);
}

TEST_F(CaptureProgram, VideoHasItsFramesAndTheSoundtrackCutToItsLength) {
    auto run = RunCapture({"-o", "clip.mp4", "--content", kGeneratedContent, "--fps", "10", "--size", "160x120",
                           "--from", "2", "--to", "5"},
                          work_.path());
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_NE(run.out.find("clip.mp4"), std::string::npos) << run.out;
    EXPECT_EQ(FileNames(work_.path()), std::vector<std::string>{"clip.mp4"});

    const nlohmann::json info = Probe(work_ / "clip.mp4");
    ASSERT_TRUE(info.contains("streams")) << info.dump();
    int videos = 0, audios = 0;
    for (const auto &stream : info["streams"]) {
        if (stream["codec_type"] == "video") {
            ++videos;
            EXPECT_EQ(stream["codec_name"], "h264");
            EXPECT_EQ(stream["pix_fmt"], "yuv420p");
            EXPECT_EQ(stream["width"], 160);
            EXPECT_EQ(stream["height"], 120);
            EXPECT_EQ(stream["nb_read_frames"], "30");
        } else if (stream["codec_type"] == "audio") {
            ++audios;
            EXPECT_EQ(stream["codec_name"], "aac");
            const double duration = std::stod(stream["duration"].get<std::string>());
            EXPECT_NEAR(duration, 3.0, 0.1);
        }
    }
    EXPECT_EQ(videos, 1);
    EXPECT_EQ(audios, 1);
}

TEST_F(CaptureProgram, BadUsageExitsWithTwoAndWritesNothing) {
    for (const std::vector<std::string> &args : std::vector<std::vector<std::string>>{
             {"--fps", "0"}, {"--bogus"}, {"extra"}, {"--size", "641x480"}, {"--at", "130"}, {"--at"},
             {"--from", "9", "--to", "8"}}) {
        auto run = RunCapture(args, work_.path());
        EXPECT_EQ(run.exitCode, 2) << args.front();
        EXPECT_NE(run.err.find("vandrel-capture: "), std::string::npos) << run.err;
        EXPECT_NE(run.err.find("--help"), std::string::npos) << run.err;
    }
    EXPECT_TRUE(FileNames(work_.path()).empty());

    auto help = RunCapture({"--help"}, work_.path());
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_EQ(help.out.rfind("usage: vandrel-capture", 0), 0u) << help.out;
}

TEST_F(CaptureProgram, MissingFfmpegOrSoundtrackFailsClearly) {
    testsupport::TempDir emptyBin;
    auto noFfmpeg = RunCapture({"--content", kGeneratedContent, "--fps", "10", "--size", "160x120", "--to", "1"},
                               work_.path(), {{"PATH", emptyBin.path().string()}});
    EXPECT_EQ(noFfmpeg.exitCode, 1);
    EXPECT_NE(noFfmpeg.err.find("ffmpeg was not found"), std::string::npos) << noFfmpeg.err;
    EXPECT_TRUE(FileNames(work_.path()).empty());

    content_.Write("data/start.tga", TwoToneTga(kStart, kStart));
    auto noMusic = RunCapture({"--content", content_.path().string(), "--fps", "10", "--size", "160x120"},
                              work_.path());
    EXPECT_EQ(noMusic.exitCode, 1);
    EXPECT_NE(noMusic.err.find("DemoFinal.mp3"), std::string::npos) << noMusic.err;

    fs::create_directory(work_ / "taken");
    auto folderAsFile = RunCapture({"--at", "1", "-o", "taken", "--content", content_.path().string()}, work_.path());
    EXPECT_EQ(folderAsFile.exitCode, 1);
    EXPECT_NE(folderAsFile.err.find("is a folder"), std::string::npos) << folderAsFile.err;
    fs::remove(work_ / "taken");

    auto noContent = RunCapture({"--at", "1", "--content", (work_ / "nowhere").string()}, work_.path());
    EXPECT_EQ(noContent.exitCode, 1);
    EXPECT_NE(noContent.err.find("nowhere"), std::string::npos) << noContent.err;
    EXPECT_TRUE(FileNames(work_.path()).empty());
}

// A stand-in for ffmpeg: a shell script placed first on PATH.
fs::path FakeFfmpeg(const testsupport::TempDir &bin, const std::string &body) {
    const fs::path script = bin.Write("ffmpeg", "#!/bin/sh\n# the output file is the last argument\n"
                                                "for a in \"$@\"; do out=\"$a\"; done\n" +
                                                    body);
    fs::permissions(script, fs::perms::owner_all);
    return script;
}

TEST_F(CaptureProgram, FailingFfmpegIsReportedWithItsMessagesAndLeavesNoFile) {
    testsupport::TempDir bin;
    FakeFfmpeg(bin, "echo half a video > \"$out\"\n"
                    "echo 'an early message' >&2\n"
                    "echo 'Conversion failed: the stand-in gave up' >&2\n"
                    "exit 1\n");
    auto run = RunCapture({"-o", "out.mp4", "--content", kGeneratedContent, "--fps", "10", "--size", "160x120",
                           "--to", "2"},
                          work_.path(), {{"PATH", bin.path().string() + ":/usr/bin:/bin"}});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.err.find("ffmpeg failed (exit code 1)"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("Conversion failed: the stand-in gave up"), std::string::npos) << run.err;
    EXPECT_TRUE(FileNames(work_.path()).empty());
}

TEST_F(CaptureProgram, InterruptRemovesThePartialVideo) {
    testsupport::TempDir bin;
    // Starts its output, then reads nothing: the capture stalls on a full pipe.
    FakeFfmpeg(bin, ": > \"$out\"\nexec sleep 60\n");
    testsupport::ProcessOptions options;
    options.workingDir = work_.path().string();
    options.env = {{"PATH", bin.path().string() + ":/usr/bin:/bin"}};
    testsupport::Process capture({kCaptureProgram, "-o", "out.mp4", "--content", kGeneratedContent, "--fps", "10",
                                  "--size", "160x120"},
                                 options);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (FileNames(work_.path()).empty() && capture.running() && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    ASSERT_FALSE(FileNames(work_.path()).empty()) << "the stand-in never started its output";
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    ASSERT_EQ(kill(capture.pid(), SIGINT), 0);
    auto run = capture.Wait(std::chrono::seconds(30));
    EXPECT_FALSE(run.timedOut);
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.err.find("interrupted"), std::string::npos) << run.err;
    EXPECT_TRUE(FileNames(work_.path()).empty());
}

}  // namespace
