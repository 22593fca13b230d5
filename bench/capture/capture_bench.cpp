// capture_bench: how fast vandrel-capture renders the demo, in frames per
// second and as a multiple of real time at the capture's frame rate.
//
// Three runs over the same stretch of the timeline (by default all of it,
// since the scenes differ in cost), each from a fresh start of the demo:
//   render            every frame drawn and finished (glFinish), nothing read
//   render + readback every frame also read back as RGBA pixels, which is
//                     what the capture does for each frame it writes
//   + ffmpeg          the frames also piped to ffmpeg, which encodes them
//                     with the soundtrack into a temporary MP4: a full capture
//
// Usage: capture_bench [--seconds S] [--fps N] [--size WxH] [--content DIR] [--no-ffmpeg]
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
#include "tools/capture/demo_capture.h"
#include "tools/capture/video_encoder.h"

namespace {

using namespace capture;
using Clock = std::chrono::steady_clock;

enum class Mode { Render, Readback, Ffmpeg };

struct Bench {
    int fps = 60;
    int width = 640;
    int height = 480;
    double seconds = kTimelineSeconds;
    std::filesystem::path content = VANDREL_CONTENT_DIR;
    bool ffmpeg = true;
};

// Runs the first `frames` frames of the timeline; returns the seconds taken
// (negative on failure, after saying why).
double Run(const Bench &b, Mode mode, int64_t frames) {
    DemoCapture demo;
    DemoCaptureSettings settings;
    settings.width = b.width;
    settings.height = b.height;
    settings.fps = b.fps;
    settings.contentDir = b.content;
    std::string error;
    if (!demo.Start(settings, &error)) {
        std::fprintf(stderr, "capture_bench: %s\n", error.c_str());
        return -1;
    }
    testsupport::TempDir scratch;
    VideoEncoder encoder;
    if (mode == Mode::Ffmpeg) {
        VideoSettings video;
        video.ffmpeg = FindOnPath("ffmpeg", std::getenv("PATH"));
        video.width = b.width;
        video.height = b.height;
        video.fps = b.fps;
        video.output = scratch / "bench.mp4";
        video.soundtrack = b.content / "DemoFinal.mp3";
        video.duration = static_cast<double>(frames) / b.fps;
        if (!encoder.Start(video, &error)) {
            std::fprintf(stderr, "capture_bench: %s\n", error.c_str());
            return -1;
        }
    }
    const Clock::time_point start = Clock::now();
    for (int64_t frame = 0; frame < frames; ++frame) {
        if (!demo.RenderNextFrame(&error)) {
            std::fprintf(stderr, "capture_bench: %s\n", error.c_str());
            return -1;
        }
        if (mode == Mode::Render) {
            glFinish();
            continue;
        }
        const std::vector<uint8_t> pixels = demo.ReadFrame();
        if (mode == Mode::Ffmpeg && !encoder.WriteFrame(pixels, &error)) {
            std::fprintf(stderr, "capture_bench: %s\n", error.c_str());
            return -1;
        }
    }
    if (mode == Mode::Ffmpeg && !encoder.Finish(&error)) {
        std::fprintf(stderr, "capture_bench: %s\n", error.c_str());
        return -1;
    }
    return std::chrono::duration<double>(Clock::now() - start).count();
}

int Usage() {
    std::fprintf(stderr, "usage: capture_bench [--seconds S] [--fps N] [--size WxH] [--content DIR] [--no-ffmpeg]\n");
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
        } else if ((arg == "--fps" || arg == "--size") && i + 1 < argc) {
            passOn.push_back(arg);
            passOn.push_back(argv[++i]);
        } else {
            return Usage();
        }
    }
    passOn.push_back("--png");
    passOn.push_back("unused");
    const ParsedOptions parsed = ParseCaptureOptions(passOn);
    if (!parsed.ok || b.seconds <= 0 || b.seconds > kTimelineSeconds) {
        if (!parsed.ok) std::fprintf(stderr, "capture_bench: %s\n", parsed.error.c_str());
        return Usage();
    }
    b.fps = parsed.options.fps;
    b.width = parsed.options.width;
    b.height = parsed.options.height;

    const int64_t frames = std::min(FrameOnScreenAt(b.seconds, b.fps), TimelineFrames(b.fps));
    std::printf("capture_bench: %dx%d at %d fps, %lld frames (%.1f s of the timeline), content %s\n", b.width,
                b.height, b.fps, static_cast<long long>(frames), static_cast<double>(frames) / b.fps,
                b.content.c_str());
    struct Case {
        const char *name;
        Mode mode;
    };
    std::vector<Case> cases = {{"render", Mode::Render}, {"render + readback", Mode::Readback}};
    if (b.ffmpeg) cases.push_back({"render + readback + ffmpeg", Mode::Ffmpeg});
    for (const Case &c : cases) {
        const double seconds = Run(b, c.mode, frames);
        if (seconds < 0) return 1;
        const double fps = static_cast<double>(frames) / seconds;
        std::printf("  %-28s %7.1f s  %7.1f frames/s  %5.2fx real time\n", c.name, seconds, fps, fps / b.fps);
        std::fflush(stdout);
    }
    return 0;
}
