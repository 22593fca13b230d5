// The capture's command line, its frame arithmetic, the 4:3 placement, the
// progress line and the ffmpeg command it builds.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/temp_dir.h"
#include "tools/capture/capture_options.h"
#include "tools/capture/png_output.h"
#include "tools/capture/progress.h"
#include "tools/capture/video_encoder.h"

namespace {

using namespace capture;

CaptureOptions Parse(const std::vector<std::string> &args) {
    ParsedOptions parsed = ParseCaptureOptions(args);
    EXPECT_TRUE(parsed.ok) << parsed.error;
    return parsed.options;
}

std::string ParseError(const std::vector<std::string> &args) {
    ParsedOptions parsed = ParseCaptureOptions(args);
    EXPECT_FALSE(parsed.ok);
    return parsed.error;
}

TEST(CaptureOptions, WithoutArgumentsMakesTheWholeVideoAtTheDemosSize) {
    CaptureOptions o = Parse({});
    EXPECT_EQ(o.kind, OutputKind::Video);
    EXPECT_EQ(o.output, "vandrel.mp4");
    EXPECT_EQ(o.fps, 60);
    EXPECT_EQ(o.width, 640);
    EXPECT_EQ(o.height, 480);
    EXPECT_EQ(o.contentDir, ".");
    FrameRange range = RequestedFrames(o);
    EXPECT_EQ(range.first, 0);
    EXPECT_EQ(range.end, 7200);
}

TEST(CaptureOptions, ReadsEveryOptionInBothSpellings) {
    CaptureOptions o = Parse({"--fps", "30", "--size=1280x720", "-o", "out.mp4", "--from=10", "--to", "20.5",
                              "--content", "assets"});
    EXPECT_EQ(o.kind, OutputKind::Video);
    EXPECT_EQ(o.fps, 30);
    EXPECT_EQ(o.width, 1280);
    EXPECT_EQ(o.height, 720);
    EXPECT_EQ(o.output, "out.mp4");
    EXPECT_EQ(o.from, 10);
    EXPECT_EQ(o.to, 20.5);
    EXPECT_EQ(o.contentDir, "assets");
    FrameRange range = RequestedFrames(o);
    EXPECT_EQ(range.first, 300);
    EXPECT_EQ(range.end, 615);
}

TEST(CaptureOptions, PngFramesGoIntoTheirFolder) {
    CaptureOptions o = Parse({"--png", "frames", "--from", "8", "--to", "10"});
    EXPECT_EQ(o.kind, OutputKind::PngFrames);
    EXPECT_EQ(o.output, "frames");
    FrameRange range = RequestedFrames(o);
    EXPECT_EQ(range.first, 480);
    EXPECT_EQ(range.count(), 120);
}

TEST(CaptureOptions, AStillIsTheFrameOnScreenAtItsMoment) {
    CaptureOptions o = Parse({"--at", "14.5"});
    EXPECT_EQ(o.kind, OutputKind::Still);
    EXPECT_EQ(o.output, "vandrel-14.5s.png");
    FrameRange range = RequestedFrames(o);
    EXPECT_EQ(range.first, 870);
    EXPECT_EQ(range.count(), 1);

    EXPECT_EQ(Parse({"--at", "8", "-o", "title.png"}).output, "title.png");
    // Into a folder of frames, under the frame's own name.
    EXPECT_EQ(Parse({"--at", "8", "--png", "stills", "--fps", "25"}).output, "stills/frame-000200.png");
    // The last moment before the end is the last frame.
    EXPECT_EQ(RequestedFrames(Parse({"--at", "119.999"})).first, 7199);
}

TEST(CaptureOptions, HelpNeedsNothingElse) {
    EXPECT_TRUE(Parse({"--help"}).help);
    EXPECT_TRUE(Parse({"-h", "--fps", "30"}).help);
    const std::string help = CaptureHelp();
    EXPECT_EQ(help.rfind("usage: vandrel-capture", 0), 0u);
    for (const char *option : {"--png", "--from", "--to", "--at", "--fps", "--size", "--content", "-o"})
        EXPECT_NE(help.find(option), std::string::npos) << option;
}

TEST(CaptureOptions, RefusesBadUsageWithAReason) {
    EXPECT_NE(ParseError({"--bogus"}).find("--bogus"), std::string::npos);
    EXPECT_NE(ParseError({"stray"}).find("stray"), std::string::npos);
    EXPECT_NE(ParseError({"--fps"}).find("needs a value"), std::string::npos);
    EXPECT_NE(ParseError({"--fps="}).find("needs a value"), std::string::npos);
    for (const char *fps : {"0", "-5", "241", "30.5", "abc", "60x"})
        EXPECT_NE(ParseError({"--fps", fps}).find("--fps"), std::string::npos) << fps;
    for (const char *size : {"640", "640x", "x480", "0x480", "640x0", "8193x100", "-640x480", "640x480x3"})
        EXPECT_NE(ParseError({"--size", size}).find("--size"), std::string::npos) << size;
    for (const char *seconds : {"-1", "abc", "1e3", "nan", "inf", "8s", ""})
        EXPECT_FALSE(ParseCaptureOptions({"--at", seconds}).ok) << seconds;
    EXPECT_NE(ParseError({"--at", "120"}).find("--at"), std::string::npos);
    EXPECT_NE(ParseError({"--to", "120.5"}).find("--to"), std::string::npos);
    EXPECT_NE(ParseError({"--from", "10", "--to", "10"}).find("--from"), std::string::npos);
    EXPECT_NE(ParseError({"--from", "120"}).find("--from"), std::string::npos);
    EXPECT_NE(ParseError({"--at", "5", "--from", "1"}).find("--at"), std::string::npos);
    EXPECT_NE(ParseError({"--png", "dir", "-o", "x.mp4"}).find("--png"), std::string::npos);
    // yuv420p halves the colour planes: H.264 needs even sides.
    EXPECT_NE(ParseError({"--size", "641x480"}).find("even"), std::string::npos);
    EXPECT_TRUE(ParseCaptureOptions({"--size", "641x481", "--png", "dir"}).ok);
}

TEST(FrameArithmetic, FramesShowTheirMomentsOnTheTimeline) {
    EXPECT_EQ(TimelineFrames(60), 7200);
    EXPECT_EQ(TimelineFrames(1), 120);
    EXPECT_EQ(FrameOnScreenAt(0, 60), 0);
    EXPECT_EQ(FrameOnScreenAt(8, 60), 480);
    EXPECT_EQ(FrameOnScreenAt(8.01, 60), 480);
    EXPECT_EQ(FrameOnScreenAt(8.02, 60), 481);
    // Products that binary floating point puts a hair below a whole number.
    EXPECT_EQ(FrameOnScreenAt(0.29, 100), 29);
    EXPECT_EQ(FrameOnScreenAt(0.3, 3), 0);

    CaptureOptions o;
    o.fps = 100;
    o.from = 0.1;
    o.to = 0.29;  // frame 29 starts at 0.29 and is not before it
    FrameRange range = RequestedFrames(o);
    EXPECT_EQ(range.first, 10);
    EXPECT_EQ(range.end, 29);
    o.fps = 10;
    o.from = 1.01;
    o.to = 1.02;  // both inside frame 10
    range = RequestedFrames(o);
    EXPECT_EQ(range.first, 10);
    EXPECT_EQ(range.count(), 1);
}

TEST(PictureViewport, KeepsTheDemosFourToThreePictureCentred) {
    auto expect = [](int w, int h, int x, int y, int vw, int vh) {
        Viewport v = PictureViewport(w, h);
        EXPECT_EQ(v.x, x) << w << "x" << h;
        EXPECT_EQ(v.y, y) << w << "x" << h;
        EXPECT_EQ(v.width, vw) << w << "x" << h;
        EXPECT_EQ(v.height, vh) << w << "x" << h;
    };
    expect(640, 480, 0, 0, 640, 480);
    expect(1600, 1200, 0, 0, 1600, 1200);
    expect(1920, 1080, 240, 0, 1440, 1080);  // bars left and right
    expect(640, 640, 0, 80, 640, 480);       // bars above and below
    expect(200, 120, 20, 0, 160, 120);
    expect(101, 100, 0, 12, 101, 76);        // 75.75 rounds to 76
    expect(1, 1, 0, 0, 1, 1);
}

TEST(Progress, ShowsDoneTotalElapsedAndTimeLeft) {
    EXPECT_EQ(FormatDuration(0), "0:00");
    EXPECT_EQ(FormatDuration(7.4), "0:07");
    EXPECT_EQ(FormatDuration(65), "1:05");
    EXPECT_EQ(FormatDuration(3723), "1:02:03");
    EXPECT_EQ(FormatDuration(-1), "--:--");

    EXPECT_EQ(ProgressLine(0, 7200, 0, 10), "[..........]   0%  0/7200 frames  elapsed 0:00  left --:--");
    // A quarter done in 10 s leaves 30 s.
    EXPECT_EQ(ProgressLine(1800, 7200, 10, 10), "[##........]  25%  1800/7200 frames  elapsed 0:10  left 0:30");
    EXPECT_EQ(ProgressLine(7200, 7200, 80, 4), "[####] 100%  7200/7200 frames  elapsed 1:20  left 0:00");
    EXPECT_EQ(ProgressLine(3, 4, 3, 0), " 75%  3/4 frames  elapsed 0:03  left 0:01");
}

TEST(Progress, WritesAPlainLineEveryTenthWhenNotOnATerminal) {
    testsupport::TempDir dir;
    const std::filesystem::path path = dir / "progress.txt";
    std::FILE *file = std::fopen(path.c_str(), "w+");
    ASSERT_NE(file, nullptr);
    {
        ProgressReport report(file, false, 1000);
        for (int done = 0; done <= 1000; ++done) report.Update(done);
        report.Finish(1000);
    }
    std::fclose(file);
    const std::string text = testsupport::ReadFile(path);
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 11);  // 0%, 10%, ..., 100%
    EXPECT_EQ(text.find('\r'), std::string::npos);
    EXPECT_NE(text.find("capture:  50%  500/1000 frames"), std::string::npos) << text;
    EXPECT_NE(text.find("capture: 100%  1000/1000 frames"), std::string::npos) << text;
}

TEST(FfmpegCommand, SendsRawFramesAndCutsTheMusicToTheVideo) {
    VideoSettings s;
    s.ffmpeg = "/usr/bin/ffmpeg";
    s.width = 320;
    s.height = 240;
    s.fps = 25;
    s.output = "/tmp/out.mp4";
    s.soundtrack = "/content/DemoFinal.mp3";
    s.audioStart = 8;
    s.duration = 2.5;
    const std::vector<std::string> c = FfmpegCommand(s, "/tmp/out.mp4.partial");
    auto valueAfter = [&](const std::string &flag, size_t from = 0) -> std::string {
        auto it = std::find(c.begin() + static_cast<long>(from), c.end(), flag);
        return it == c.end() || it + 1 == c.end() ? "" : *(it + 1);
    };
    auto indexOf = [&](const std::string &arg) {
        return static_cast<size_t>(std::find(c.begin(), c.end(), arg) - c.begin());
    };
    EXPECT_EQ(c.front(), "/usr/bin/ffmpeg");
    EXPECT_EQ(c.back(), "/tmp/out.mp4.partial");
    EXPECT_EQ(valueAfter("-pix_fmt"), "rgba");
    EXPECT_EQ(valueAfter("-video_size"), "320x240");
    EXPECT_EQ(valueAfter("-framerate"), "25");
    EXPECT_EQ(valueAfter("-i"), "pipe:0");
    // The seek and the cut belong to the music's input, before its -i.
    const size_t music = indexOf("/content/DemoFinal.mp3");
    ASSERT_LT(music, c.size());
    EXPECT_LT(indexOf("-ss"), music);
    EXPECT_EQ(std::stod(valueAfter("-ss")), 8.0);
    EXPECT_EQ(std::stod(valueAfter("-t")), 2.5);
    EXPECT_EQ(valueAfter("-c:v"), "libx264");
    EXPECT_EQ(valueAfter("-pix_fmt", indexOf("-c:v")), "yuv420p");
    EXPECT_EQ(valueAfter("-c:a"), "aac");
    EXPECT_EQ(valueAfter("-f", indexOf("-c:a")), "mp4");
    EXPECT_NE(indexOf("1:a:0"), c.size());

    s.soundtrack.clear();
    const std::vector<std::string> silent = FfmpegCommand(s, "x.partial");
    EXPECT_EQ(std::count(silent.begin(), silent.end(), "-i"), 1);
    EXPECT_EQ(std::count(silent.begin(), silent.end(), "-c:a"), 0);
}

TEST(FfmpegMessages, KeepsTheLastNonEmptyLines) {
    EXPECT_EQ(LastLines("a\nb\n\nc\r\nd\n", 2), "c\nd");
    EXPECT_EQ(LastLines("only\n", 5), "only");
    EXPECT_EQ(LastLines("", 3), "");
}

TEST(FindOnPath, FindsExecutablesOnly) {
    testsupport::TempDir one, two;
    one.Write("ffmpeg", "not executable");
    std::filesystem::path tool = two.Write("ffmpeg", "#!/bin/sh\n");
    std::filesystem::permissions(tool, std::filesystem::perms::owner_all);
    const std::string list = one.path().string() + ":" + two.path().string();
    EXPECT_EQ(FindOnPath("ffmpeg", list.c_str()), tool.string());
    EXPECT_EQ(FindOnPath("ffmpeg", one.path().c_str()), "");
    EXPECT_EQ(FindOnPath("ffmpeg", nullptr), "");
    EXPECT_EQ(FindOnPath("ffprobe", list.c_str()), "");
}

TEST(PngOutput, NamesFramesByTheirPlaceInTheTimeline) {
    EXPECT_EQ(FrameFileName(0), "frame-000000.png");
    EXPECT_EQ(FrameFileName(7199), "frame-007199.png");
    EXPECT_EQ(FrameFileName(1234567), "frame-1234567.png");
}

TEST(PngOutput, RefusesAFrameOfTheWrongSizeAndAnUnwritablePlace) {
    testsupport::TempDir dir;
    std::string error;
    EXPECT_FALSE(WritePng(dir / "a.png", 2, 2, std::vector<uint8_t>(15), &error));
    EXPECT_NE(error.find("2x2"), std::string::npos);
    EXPECT_FALSE(WritePng(dir / "missing" / "a.png", 2, 2, std::vector<uint8_t>(16), &error));
    EXPECT_NE(error.find("missing"), std::string::npos);
    EXPECT_TRUE(std::filesystem::is_empty(dir.path()));
}

}  // namespace
