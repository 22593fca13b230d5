// The capture's command line, its frame arithmetic, the progress line and the
// ffmpeg command it builds.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "capture_options.h"
#include "progress.h"
#include "video_encoder.h"

namespace {

using namespace capture;

TEST(CaptureOptions, ReadsEveryOptionAndTheFramesItAsksFor) {
    const struct {
        std::vector<std::string> args;
        OutputKind kind;
        std::string output;
        int fps, width, height, first, end;
    } cases[] = {
        {{}, OutputKind::Video, "vandrel.mp4", 60, 640, 480, 0, 7200},
        {{"--fps", "30", "--size=1280x720", "-o", "out.mp4", "--from=10", "--to", "20.5"},
         OutputKind::Video, "out.mp4", 30, 1280, 720, 300, 615},
        {{"--png", "frames", "--from", "8", "--to", "10"}, OutputKind::PngFrames, "frames", 60, 640, 480, 480, 600},
        {{"--at", "14.5"}, OutputKind::Still, "vandrel-14.5s.png", 60, 640, 480, 870, 871},
        {{"--at", "8", "-o", "title.png"}, OutputKind::Still, "title.png", 60, 640, 480, 480, 481},
        {{"--at", "8", "--png", "stills", "--fps", "25"}, OutputKind::Still, "stills/frame-000200.png", 25, 640,
         480, 200, 201},
        {{"--at", "119.999"}, OutputKind::Still, "vandrel-119.999s.png", 60, 640, 480, 7199, 7200},
        // Frame 29 starts at 0.29 and is not before it, though 0.29 * 100 is a hair below 29.
        {{"--fps", "100", "--from", "0.1", "--to", "0.29"}, OutputKind::Video, "vandrel.mp4", 100, 640, 480, 10, 29},
        {{"--fps", "10", "--from", "1.01", "--to", "1.02"}, OutputKind::Video, "vandrel.mp4", 10, 640, 480, 10, 11},
    };
    for (const auto &c : cases) {
        const ParsedOptions parsed = ParseCaptureOptions(c.args);
        ASSERT_TRUE(parsed.ok) << parsed.error;
        const CaptureOptions &o = parsed.options;
        const FrameRange range = RequestedFrames(o);
        EXPECT_EQ(std::tie(o.kind, o.output, o.fps, o.width, o.height, range.first, range.end),
                  std::tie(c.kind, c.output, c.fps, c.width, c.height, c.first, c.end))
            << testing::PrintToString(c.args);
    }
    EXPECT_TRUE(ParseCaptureOptions({"-h", "--fps", "30"}).options.help);
}

TEST(CaptureOptions, RefusesBadUsageNamingTheOption) {
    const std::pair<std::vector<std::string>, const char *> cases[] = {
        {{"--bogus"}, "--bogus"}, {{"stray"}, "stray"}, {{"--fps"}, "needs a value"},
        {{"--fps="}, "needs a value"}, {{"--fps", "0"}, "--fps"}, {{"--fps", "241"}, "--fps"},
        {{"--fps", "30.5"}, "--fps"}, {{"--fps", "60x"}, "--fps"}, {{"--size", "640"}, "--size"},
        {{"--size", "0x480"}, "--size"}, {{"--size", "8193x100"}, "--size"}, {{"--size", "640x480x3"}, "--size"},
        {{"--size", "641x480"}, "even"}, {{"--at", "-1"}, "--at"}, {{"--at", "nan"}, "--at"},
        {{"--at", "8s"}, "--at"}, {{"--at", "120"}, "--at"}, {{"--to", "120.5"}, "--to"},
        {{"--from", "10", "--to", "10"}, "--from"}, {{"--from", "120"}, "--from"},
        {{"--at", "5", "--from", "1"}, "--at"}, {{"--png", "dir", "-o", "x.mp4"}, "--png"},
        {{"--quality", "slow"}, "--quality"}};
    for (const auto &[args, reason] : cases) {
        const ParsedOptions parsed = ParseCaptureOptions(args);
        EXPECT_FALSE(parsed.ok) << testing::PrintToString(args);
        EXPECT_NE(parsed.error.find(reason), std::string::npos) << parsed.error;
    }
    EXPECT_TRUE(ParseCaptureOptions({"--size", "641x481", "--png", "dir"}).ok) << "odd sizes suit PNG";
}

TEST(Progress, ShowsDoneTotalElapsedAndTimeLeft) {
    EXPECT_EQ(ProgressLine(0, 7200, 0, 10), "[..........]   0%  0/7200 frames  elapsed 0:00  left --:--");
    EXPECT_EQ(ProgressLine(1800, 7200, 10, 10), "[##........]  25%  1800/7200 frames  elapsed 0:10  left 0:30");
    EXPECT_EQ(ProgressLine(3, 4, 3723, 0), " 75%  3/4 frames  elapsed 1:02:03  left 20:41");
}

// The command's inputs, seek and cut are the video test's (capture_program_test).
TEST(FfmpegCommand, EachQualityItsOwnEncoderWorkAndTheDefaultTheFastest) {
    VideoSettings s;
    std::vector<std::string> presets;
    for (const char *quality : {"fast", "good", "best"}) {
        s.quality = ParseCaptureOptions({"--quality", quality}).options.quality;
        const std::vector<std::string> command = FfmpegCommand(s, "x");
        presets.push_back(*(std::find(command.begin(), command.end(), "-preset") + 1));
    }
    EXPECT_EQ(presets, (std::vector<std::string>{"ultrafast", "medium", "slow"}));
    EXPECT_EQ(ParseCaptureOptions({}).options.quality, Quality::Fast);
}

}  // namespace
