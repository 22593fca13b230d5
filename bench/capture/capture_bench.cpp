// capture_bench: how fast vandrel-capture renders the demo, in frames per
// second and as a multiple of real time at the capture's frame rate.
//
// Three runs over the same stretch of the timeline (by default all of it,
// since the scenes differ in cost), each the demo's own start-up and main
// loop on the offscreen platform, in a process of its own:
//   render            every frame drawn and finished (glFinish), nothing read
//   render + readback every frame also read back, as the capture does
//   + ffmpeg          the frames also encoded by ffmpeg with the soundtrack
//                     into a temporary MP4: a full capture
// Each prints its wall time and the processor time of all its processes
// (ffmpeg included): on a machine shared with other work the wall time
// suffers, the processor time much less.
//
// Usage: capture_bench [--seconds S] [--fps N] [--size WxH] [--content DIR]
//                      [--quality Q] [--no-ffmpeg]
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/opengl.h"
#include "tests/support/temp_dir.h"
#include "tools/capture/capture_options.h"
#include "tools/capture/demo_run.h"
#include "tools/capture/video_encoder.h"

namespace {

using namespace capture;
using Clock = std::chrono::steady_clock;

enum class Mode { Render, Readback, Ffmpeg };

struct Bench {
    CaptureOptions options;
    double seconds = kTimelineSeconds;
    std::filesystem::path content = VANDREL_CONTENT_DIR;
    bool ffmpeg = true;
};

class BenchSink final : public platform::offscreen::FrameSink {
public:
    BenchSink(Mode mode, VideoEncoder &encoder) : mode_(mode), encoder_(encoder) {}
    bool TakeFrame(int64_t, const uint8_t *bgra, std::string *error) override {
        return mode_ != Mode::Ffmpeg || encoder_.WriteFrame(bgra, error);
    }
    bool Continue(int64_t, std::string *) override {
        if (mode_ == Mode::Render) glFinish();
        return true;
    }

private:
    Mode mode_;
    VideoEncoder &encoder_;
};

// One run in this (child) process; the exit status says whether it worked.
int RunOnce(const Bench &b, Mode mode, int64_t frames) {
    const CaptureOptions &o = b.options;
    testsupport::TempDir scratch;
    VideoEncoder encoder;
    std::string error;
    if (mode == Mode::Ffmpeg) {
        VideoSettings video;
        video.ffmpeg = FindOnPath("ffmpeg", std::getenv("PATH"));
        video.quality = o.quality;
        video.width = o.width;
        video.height = o.height;
        video.fps = o.fps;
        video.output = scratch / "bench.mp4";
        video.soundtrack = b.content / "DemoFinal.mp3";
        video.duration = static_cast<double>(frames) / o.fps;
        if (!encoder.Start(video, &error)) {
            std::fprintf(stderr, "capture_bench: %s\n", error.c_str());
            return 1;
        }
    }
    BenchSink sink(mode, encoder);
    platform::offscreen::OffscreenSettings settings;
    settings.width = o.width;
    settings.height = o.height;
    settings.fps = o.fps;
    settings.contentFolder = b.content.c_str();
    settings.firstFrame = mode == Mode::Render ? frames : 0;
    settings.endFrame = frames;
    settings.sink = &sink;
    if (!RunDemo(settings, &error) || (mode == Mode::Ffmpeg && !encoder.Finish(&error))) {
        std::fprintf(stderr, "capture_bench: %s\n", error.c_str());
        return 1;
    }
    return 0;
}

double Seconds(const timeval &t) { return static_cast<double>(t.tv_sec) + t.tv_usec / 1e6; }

int Usage() {
    std::fprintf(stderr,
                 "usage: capture_bench [--seconds S] [--fps N] [--size WxH] [--content DIR] [--quality Q] "
                 "[--no-ffmpeg]\n");
    return 2;
}

}  // namespace

int main(int argc, char **argv) {
    Bench b;
    std::vector<std::string> passOn;  // options the capture's own parser checks
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--no-ffmpeg") {
            b.ffmpeg = false;
        } else if (arg == "--seconds" && i + 1 < argc) {
            b.seconds = std::atof(argv[++i]);
        } else if (arg == "--content" && i + 1 < argc) {
            b.content = std::filesystem::absolute(argv[++i]);
        } else if ((arg == "--fps" || arg == "--size" || arg == "--quality") && i + 1 < argc) {
            passOn.push_back(arg);
            passOn.push_back(argv[++i]);
        } else {
            return Usage();
        }
    }
    const ParsedOptions parsed = ParseCaptureOptions(passOn);
    if (!parsed.ok || b.seconds <= 0 || b.seconds > kTimelineSeconds) {
        if (!parsed.ok) std::fprintf(stderr, "capture_bench: %s\n", parsed.error.c_str());
        return Usage();
    }
    b.options = parsed.options;
    const CaptureOptions &o = b.options;
    const int64_t frames = std::min(FrameOnScreenAt(b.seconds, o.fps), TimelineFrames(o.fps));
    std::printf("capture_bench: %dx%d at %d fps, %lld frames (%.1f s of the timeline), %d processors, content %s\n",
                o.width, o.height, o.fps, static_cast<long long>(frames), static_cast<double>(frames) / o.fps,
                static_cast<int>(sysconf(_SC_NPROCESSORS_ONLN)), b.content.c_str());
    struct Case {
        const char *name;
        Mode mode;
    };
    std::vector<Case> cases = {{"render", Mode::Render}, {"render + readback", Mode::Readback}};
    if (b.ffmpeg) cases.push_back({"render + readback + ffmpeg", Mode::Ffmpeg});
    for (const Case &c : cases) {
        std::fflush(stdout);
        rusage before{}, after{};
        getrusage(RUSAGE_CHILDREN, &before);
        const Clock::time_point start = Clock::now();
        const pid_t child = fork();
        if (child == 0) _exit(RunOnce(b, c.mode, frames));
        int status = 0;
        if (child < 0 || waitpid(child, &status, 0) != child || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
            return 1;
        const double wall = std::chrono::duration<double>(Clock::now() - start).count();
        getrusage(RUSAGE_CHILDREN, &after);
        const double cpu = Seconds(after.ru_utime) - Seconds(before.ru_utime) + Seconds(after.ru_stime) -
                           Seconds(before.ru_stime);
        const double fps = static_cast<double>(frames) / wall;
        // The processor time spread over two processors with nothing else to
        // do: the speed an idle two-processor machine reaches at best.
        const double quiet = static_cast<double>(frames) / std::max(cpu / 2, 1e-9);
        std::printf("  %-28s %7.1f s wall %7.1f s processor  %7.1f frames/s  %5.2fx real time"
                    "  (%5.2fx for its processor time on two processors)\n",
                    c.name, wall, cpu, fps, fps / o.fps, quiet / o.fps);
    }
    return 0;
}
