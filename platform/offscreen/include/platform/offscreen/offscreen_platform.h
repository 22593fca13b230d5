// The demo's platform for capturing it: the window is an OpenGL context
// rendering into an invisible framebuffer (no display needed), the clock is
// virtual and moves one tick per presented frame at the capture's frame
// rate, the sound is silent, and every presented frame of a chosen range is
// read back and handed to a sink. The run ends by itself after the range's
// last frame, when the sink says stop, or when the demo would end the
// process.
//
// The frame may have any size: the demo's 4:3 picture is centred in it,
// between black bars where it is wider or taller.
#pragma once

#include "platform/offscreen/offscreen_gl.h"
#include "platform/platform.h"

#include <cstdint>
#include <string>

namespace platform::offscreen {

// Where the captured frames go.
class FrameSink {
public:
    virtual ~FrameSink() = default;
    // One frame of the range, `index` counted from the demo's start:
    // width x height BGRA pixels (4 bytes each), bottom row first, valid
    // during the call. False stops the run, saying why.
    virtual bool TakeFrame(int64_t index, const uint8_t *bgra, std::string *error) = 0;
    // Called once a frame is drawn (`drawn` frames so far), in the range or
    // not: the place to report progress. False stops the run, saying why.
    virtual bool Continue(int64_t drawn, std::string *error) = 0;
};

struct OffscreenSettings {
    int width = 640;
    int height = 480;
    int fps = 60;
    const char *contentFolder = "";  // not owned
    int64_t firstFrame = 0;          // frames [firstFrame, endFrame) go to the sink
    int64_t endFrame = 0;
    FrameSink *sink = nullptr;       // not owned
};

class OffscreenPlatform final : public Platform {
public:
    explicit OffscreenPlatform(const OffscreenSettings &settings);
    ~OffscreenPlatform() override;
    OffscreenPlatform(const OffscreenPlatform &) = delete;
    OffscreenPlatform &operator=(const OffscreenPlatform &) = delete;

    std::optional<OpenStep> OpenWindow(const WindowRequest &request) override;
    unsigned CloseWindow() override;
    bool PollMessage(Message *message) override;
    void PostQuit(int code) override;
    void Present() override;
    // Writes the box to standard error; a box means the run failed.
    Answer ShowMessageBox(const char *text, const char *caption, Buttons buttons,
                          Icon icon) override;
    int64_t CounterFrequency() override { return settings_.fps; }
    int64_t CounterNow() override { return drawn_; }
    Sound &sound() override { return sound_; }
    // Records the request and stops the run; it returns.
    void Exit(int code) override;
    const char *ContentFolder() override { return settings_.contentFolder; }

    // Frames drawn so far (the virtual clock's ticks).
    int64_t framesDrawn() const { return drawn_; }
    // Whether the run ended short of its range, and why.
    bool failed() const { return !failure_.empty(); }
    const std::string &failure() const { return failure_; }

private:
    void Fail(const std::string &why);
    bool ReadBack(int64_t frame);
    bool DeliverPending();

    OffscreenSettings settings_;
    OffscreenGL gl_;
    SilentSound sound_;
    EventHandler onEvent_ = nullptr;
    int pictureX_ = 0, pictureY_ = 0, pictureWidth_ = 0, pictureHeight_ = 0;
    bool resizePending_ = false;
    bool finished_ = false;
    std::optional<int> quitCode_;
    int64_t drawn_ = 0;
    std::string failure_;
    // Frames read back asynchronously, one behind the one drawn.
    unsigned buffers_[2] = {0, 0};
    int64_t pending_ = -1;  // the frame in flight, -1 for none
};

}  // namespace platform::offscreen
