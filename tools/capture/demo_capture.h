// Runs the demo frame by frame in an offscreen OpenGL context, on a virtual
// clock that moves exactly one frame per step, through the same start-up and
// frame step the demo program uses.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "platform/counter.h"
#include "platform/offscreen/offscreen_gl.h"
#include "platform/process_exit.h"
#include "platform/sound.h"

namespace capture {

// A performance counter that ticks `fps` times per second and moves only
// when told to, one tick per frame. It starts at tick 0, a whole second, so
// the demo clock's start fraction is 0: frame n sees the time n / fps, and
// the scene changes fall exactly on the timeline's seconds.
class FrameCounter final : public platform::PerformanceCounter {
public:
    explicit FrameCounter(int fps) : fps_(fps) {}
    int64_t Frequency() override { return fps_; }
    int64_t Now() override { return ticks_; }
    void Advance() { ++ticks_; }

private:
    int64_t fps_;
    int64_t ticks_ = 0;
};

// The demo's process exit, which a capture must never reach: a capture stops
// before second 120, where the demo ends itself. A request is recorded, and
// the frame step then returns without drawing.
class ForbiddenExit final : public platform::ProcessExit {
public:
    void Exit(int exitCode) override {
        requested_ = true;
        exitCode_ = exitCode;
    }
    bool requested() const { return requested_; }
    int exitCode() const { return exitCode_; }

private:
    bool requested_ = false;
    int exitCode_ = 0;
};

struct DemoCaptureSettings {
    int width = 640;
    int height = 480;
    int fps = 60;
    // Where "data.dat" and the loose "data/" pictures are looked for.
    std::filesystem::path contentDir = ".";
};

// One run of the demo's timeline. While it exists it is the process's
// performance counter, sound system (a silent one) and process exit, and its
// OpenGL context is current; only one may exist at a time. Each Start begins
// the timeline as a freshly started demo program would: scene state 1 and
// all motion values 0.
class DemoCapture {
public:
    DemoCapture() = default;
    ~DemoCapture();
    DemoCapture(const DemoCapture &) = delete;
    DemoCapture &operator=(const DemoCapture &) = delete;

    // Creates the offscreen context, sets the view as the demo window does
    // (the 4:3 picture centred in the frame) and runs the demo's start-up
    // with `contentDir` as the working folder (it is restored afterwards).
    // On failure returns false and says why.
    bool Start(const DemoCaptureSettings &settings, std::string *error);

    // Draws the next frame of the timeline. Returns false, saying why, when
    // the timeline has no frame left or the demo asked to end the process.
    bool RenderNextFrame(std::string *error);

    // The frame most recently drawn: width x height RGBA pixels, top row
    // first.
    std::vector<uint8_t> ReadFrame() const { return gl_.ReadPixelsTopDown(); }

    // The index of the frame the next RenderNextFrame draws.
    int64_t nextFrame() const { return nextFrame_; }
    // Frames in the whole timeline at this rate.
    int64_t totalFrames() const { return totalFrames_; }

private:
    void Uninstall();

    platform::OffscreenGL gl_;
    std::unique_ptr<FrameCounter> counter_;
    platform::SilentSound sound_;
    ForbiddenExit exit_;
    bool installed_ = false;
    int64_t nextFrame_ = 0;
    int64_t totalFrames_ = 0;
};

}  // namespace capture
