#include "tools/capture/demo_capture.h"

#include <memory>

#include "app/demo_main.h"
#include "app/demo_window.h"
#include "demo/demo_clock.h"
#include "demo/scenes.h"
#include "demo/sequencer.h"
#include "demo/start_demo.h"
#include "platform/opengl.h"
#include "tools/capture/capture_options.h"

namespace capture {
namespace {

// The demo's state as it is when the program starts: the timeline resumes
// from whatever a previous run in this process left otherwise.
void ResetTimelineState() {
    sceneState = 1;
    spinAngle = 0.0f;
    gridAngle = 0.0f;
    slideX = 0.0f;
    slideStep = 0.0f;
}

// Runs the start-up with `dir` as the working folder, where the demo looks
// for its pictures, and comes back to the caller's folder afterwards.
bool StartDemoIn(const std::filesystem::path &dir, std::string *error) {
    std::error_code ec;
    const std::filesystem::path previous = std::filesystem::current_path(ec);
    if (ec) {
        *error = "cannot read the current folder: " + ec.message();
        return false;
    }
    std::filesystem::current_path(dir, ec);
    if (ec) {
        *error = "cannot enter the content folder " + dir.string() + ": " + ec.message();
        return false;
    }
    StartDemo();
    std::filesystem::current_path(previous, ec);
    if (ec) {
        *error = "cannot return to " + previous.string() + ": " + ec.message();
        return false;
    }
    return true;
}

}  // namespace

DemoCapture::~DemoCapture() { Uninstall(); }

void DemoCapture::Uninstall() {
    if (!installed_) return;
    // The stream belongs to the silent sound system, which goes with us.
    soundtrackStream = nullptr;
    platform::InstallCounter(nullptr);
    platform::InstallSoundSystem(nullptr);
    platform::InstallProcessExit(nullptr);
    installed_ = false;
}

bool DemoCapture::Start(const DemoCaptureSettings &settings, std::string *error) {
    Uninstall();
    if (settings.width < 1 || settings.height < 1 || settings.fps < 1) {
        *error = "a capture needs a positive size and frame rate";
        return false;
    }
    if (!gl_.Create(settings.width, settings.height, error)) return false;

    counter_ = std::make_unique<FrameCounter>(settings.fps);
    platform::InstallCounter(counter_.get());
    platform::InstallSoundSystem(&sound_);
    platform::InstallProcessExit(&exit_);
    installed_ = true;
    exit_ = ForbiddenExit();
    nextFrame_ = 0;
    totalFrames_ = TimelineFrames(settings.fps);

    // As the demo program does before its first frame, with the silent
    // sound standing in for the soundtrack, which the video gets from the
    // file itself.
    FSOUND_Init(44100, 1, 2);
    soundtrackStream = FSOUND_Stream_OpenFile(kSoundtrackFile, kSoundStreamLoop, 0);
    ResetTimelineState();

    // The window's view, then the picture's place in a frame that need not
    // be 4:3. The scenes clear the whole frame, so the bars stay black.
    const Viewport picture = PictureViewport(settings.width, settings.height);
    ResizeView(picture.width, picture.height);
    glViewport(picture.x, picture.y, picture.width, picture.height);

    return StartDemoIn(settings.contentDir, error);
}

bool DemoCapture::RenderNextFrame(std::string *error) {
    if (!installed_) {
        *error = "the capture has not been started";
        return false;
    }
    if (nextFrame_ >= totalFrames_) {
        *error = "the timeline has no frame left";
        return false;
    }
    StepFrame();
    if (exit_.requested()) {
        *error = "the demo asked to end the process at frame " + std::to_string(nextFrame_) +
                 " (elapsed second " + std::to_string(elapsedSeconds) + ")";
        return false;
    }
    ++nextFrame_;
    counter_->Advance();
    return true;
}

}  // namespace capture
