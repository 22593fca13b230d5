#include "app/demo_main.h"

#include "app/demo_window.h"
#include "demo/sequencer.h"
#include "platform/keys.h"

namespace {

// Sound failures are told in a plain box: no owner, the platform's default
// caption, OK and no icon.
void ReportSoundFailure(platform::Platform &platform, const char *text) {
    platform.ShowMessageBox(text, nullptr, platform::Buttons::Ok, platform::Icon::None);
}

}  // namespace

int DemoMain(platform::Platform &platform) {
    platform::Install(&platform);
    platform::Sound &sound = platform.sound();
    if (!sound.Start(44100, 1, 2)) {
        ReportSoundFailure(platform, "Error: Could not init");
        return 1;
    }
    // Opened here, started by the first frame.
    soundtrackStream = sound.Open(kSoundtrackFile, platform::kSoundtrackLoop, 0);
    if (soundtrackStream == nullptr) {
        ReportSoundFailure(platform, "Error: Could not load module");
        return 1;
    }

    if (!OpenDemoWindow(kWindowTitle, kWindowWidth, kWindowHeight, kWindowBits, fullscreenMode))
        return 0;

    // Kept across passes: its last contents give the exit code.
    platform::Message message{};
    bool done = false;
    while (!done) {
        // One message per pass, and no frame while any is waiting.
        if (platform.PollMessage(&message)) {
            done = message.quit;
            continue;
        }

        if (windowActive && keyDown[platform::keys::Escape]) {
            done = true;
        } else {
            StepFrame();
            platform.Present();
        }

        // F1 is a flag, not a count: any number of presses since the last
        // idle pass make one switch. It is looked at even when Escape has
        // just ended the loop.
        if (keyDown[platform::keys::F1]) {
            keyDown[platform::keys::F1] = false;
            CloseDemoWindow();
            fullscreenMode = !fullscreenMode;
            if (!OpenDemoWindow(kWindowTitle, kWindowWidth, kWindowHeight, kWindowBits,
                                fullscreenMode))
                return 0;
        }
    }

    CloseDemoWindow();
    return static_cast<int>(message.parameter);
}
