// vandrel-capture: renders the demo's timeline offscreen on a virtual clock
// and writes it as an MP4 video with the soundtrack (through ffmpeg), as PNG
// frames, or as one still picture.
//
// Exit status: 0 on success, 1 on failure (nothing half-written is left),
// 2 on bad usage.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "capture_options.h"
#include "demo_run.h"
#include "interrupt.h"
#include "png_output.h"
#include "progress.h"
#include "video_encoder.h"

namespace fs = std::filesystem;

namespace {

using namespace capture;

constexpr int kOk = 0;
constexpr int kFailed = 1;
constexpr int kBadUsage = 2;

constexpr const char *kPackName = "data.dat";
constexpr const char *kSoundtrackName = "DemoFinal.mp3";

int Fail(const std::string &what) {
    std::fprintf(stderr, "vandrel-capture: %s\n", what.c_str());
    return kFailed;
}

// Where the pictures come from; a folder without them gives a capture of
// untextured quads, which is what the demo shows too, so it is only a
// warning.
void WarnAboutMissingPictures(const fs::path &contentDir) {
    std::error_code ec;
    if (fs::exists(contentDir / kPackName, ec) || fs::is_directory(contentDir / "data", ec)) return;
    std::fprintf(stderr,
                 "vandrel-capture: warning: neither %s nor a data/ folder is in %s; the pictures will be "
                 "blank (--content names the folder that holds them)\n",
                 kPackName, contentDir.c_str());
}

bool MakeFolder(const fs::path &dir, std::string *error) {
    std::error_code ec;
    if (dir.empty() || fs::is_directory(dir, ec)) return true;
    fs::create_directories(dir, ec);
    if (ec) {
        *error = "cannot make the folder " + dir.string() + ": " + ec.message();
        return false;
    }
    return true;
}

std::string Describe(const CaptureOptions &o, const FrameRange &range) {
    char text[160];
    std::snprintf(text, sizeof text, "%lld frame%s at %d fps, %dx%d, %s s to %s s",
                  static_cast<long long>(range.count()), range.count() == 1 ? "" : "s", o.fps, o.width, o.height,
                  FormatSeconds(static_cast<double>(range.first) / o.fps).c_str(),
                  FormatSeconds(static_cast<double>(range.end) / o.fps).c_str());
    return text;
}

int Run(const CaptureOptions &o) {
    std::error_code ec;
    const fs::path contentDir = fs::absolute(o.contentDir, ec);
    if (ec || !fs::is_directory(contentDir, ec))
        return Fail("the content folder " + o.contentDir + " does not exist");
    const fs::path output = fs::absolute(o.output, ec);
    if (ec) return Fail("cannot use the output name " + o.output + ": " + ec.message());
    if (o.kind != OutputKind::PngFrames && fs::is_directory(output, ec))
        return Fail(output.string() + " is a folder; -o names the file to write");
    const FrameRange range = RequestedFrames(o);
    std::string error;

    VideoSettings video;
    if (o.kind == OutputKind::Video) {
        video.ffmpeg = FindOnPath("ffmpeg", std::getenv("PATH"));
        if (video.ffmpeg.empty())
            return Fail(
                "ffmpeg was not found on PATH; the video is made by the ffmpeg program (Debian package "
                "ffmpeg). Install it, or write PNG frames with --png DIR");
        video.soundtrack = contentDir / kSoundtrackName;
        if (!fs::is_regular_file(video.soundtrack, ec))
            return Fail("no soundtrack: " + video.soundtrack.string() +
                        " is missing (--content names the folder that holds it)");
        if (!fs::is_directory(output.parent_path(), ec))
            return Fail("cannot write " + output.string() + ": the folder " + output.parent_path().string() +
                        " does not exist");
        video.quality = o.quality;
        video.width = o.width;
        video.height = o.height;
        video.fps = o.fps;
        video.output = output;
        video.audioStart = static_cast<double>(range.first) / o.fps;
        video.duration = static_cast<double>(range.count()) / o.fps;
    } else {
        const fs::path folder = o.kind == OutputKind::PngFrames ? output : output.parent_path();
        if (!MakeFolder(folder, &error)) return Fail(error);
    }
    WarnAboutMissingPictures(contentDir);

    InstallStopHandlers();
    ProgressReport progress(stderr, isatty(STDERR_FILENO) == 1, range.end);
    VideoEncoder encoder;
    if (o.kind == OutputKind::Video && !encoder.Start(video, &error)) return Fail(error);

    // Every frame from the start is drawn, since the scenes carry motion and
    // OpenGL state from frame to frame; only the requested ones are read back.
    class Sink final : public platform::offscreen::FrameSink {
    public:
        Sink(const CaptureOptions &o, const fs::path &output, VideoEncoder &encoder, ProgressReport &progress,
             int64_t first)
            : o_(o), output_(output), encoder_(encoder), progress_(progress), first_(first) {}
        bool TakeFrame(int64_t index, const uint8_t *bgra, std::string *error) override {
            switch (o_.kind) {
                case OutputKind::Video:
                    return encoder_.WriteFrame(bgra, error);
                case OutputKind::PngFrames:
                    return WritePng(output_ / FrameFileName(index), o_.width, o_.height, bgra, error);
                case OutputKind::Still:
                    return WritePng(output_, o_.width, o_.height, bgra, error);
            }
            return false;
        }
        bool Continue(int64_t drawn, std::string *error) override {
            if (StopRequested()) {
                *error = "interrupted";
                return false;
            }
            progress_.Update(drawn);
            // While the frames before the requested ones are drawn, ffmpeg
            // only waits; one that has already failed is found out early.
            return o_.kind != OutputKind::Video || drawn > first_ || drawn % o_.fps != 0 ||
                   encoder_.StillRunning(error);
        }

    private:
        const CaptureOptions &o_;
        const fs::path &output_;
        VideoEncoder &encoder_;
        ProgressReport &progress_;
        int64_t first_;
    } sink(o, output, encoder, progress, range.first);

    progress.Update(0);
    platform::offscreen::OffscreenSettings settings;
    settings.width = o.width;
    settings.height = o.height;
    settings.fps = o.fps;
    settings.contentFolder = contentDir.c_str();
    settings.firstFrame = range.first;
    settings.endFrame = range.end;
    settings.sink = &sink;
    const bool ran = RunDemo(settings, &error);
    if (ran && (o.kind != OutputKind::Video || encoder.Finish(&error))) {
        progress.Finish(range.end);
    } else {
        progress.Abandon();
        encoder.Abort();
        return Fail(o.kind == OutputKind::Video ? error + "\n(no video was written)" : error);
    }

    std::printf("vandrel-capture: wrote %s (%s) in %s\n", output.c_str(), Describe(o, range).c_str(),
                FormatDuration(progress.elapsedSeconds()).c_str());
    return kOk;
}

}  // namespace

int main(int argc, char **argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    const ParsedOptions parsed = ParseCaptureOptions(args);
    if (!parsed.ok) {
        std::fprintf(stderr, "vandrel-capture: %s\nTry 'vandrel-capture --help'.\n", parsed.error.c_str());
        return kBadUsage;
    }
    if (parsed.options.help) {
        std::fputs(CaptureHelp().c_str(), stdout);
        return kOk;
    }
    return Run(parsed.options);
}
