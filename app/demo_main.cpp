#include "app/demo_main.h"

#include "app/demo_window.h"
#include "demo/sequencer.h"
#include "platform/sound.h"
#include "platform/virtual_keys.h"

bool keyDown[256] = {};
bool windowActive = true;
bool fullscreenMode = true;
platform::DeviceContextHandle deviceContext = nullptr;

namespace {

// Sound failures are told in a plain box: no owner, the platform's default
// caption, OK and no icon.
void ReportSoundFailure(const char *text) {
    platform::Windows().ShowMessageBox(text, nullptr, platform::MessageBoxButtons::Ok,
                                       platform::MessageBoxIcon::None);
}

}  // namespace

int DemoMain() {
    using platform::MessageKind;
    platform::WindowSystem &windows = platform::Windows();

    if (!FSOUND_Init(44100, 1, 2)) {
        ReportSoundFailure("Error: Could not init");
        return 1;
    }
    // Opened here, started by the first frame.
    soundtrackStream = FSOUND_Stream_OpenFile(kSoundtrackFile, kSoundStreamLoop, 0);
    if (soundtrackStream == nullptr) {
        ReportSoundFailure("Error: Could not load module");
        return 1;
    }

    if (!OpenDemoWindow(kWindowTitle, kWindowWidth, kWindowHeight, kWindowBits, fullscreenMode))
        return 0;

    // Kept across passes: its last contents give the exit code.
    platform::Message message{};
    bool done = false;
    while (!done) {
        if (windows.PollMessage(&message)) {
            // One message per pass, and no frame while any is waiting.
            if (message.kind == MessageKind::Quit) {
                done = true;
            } else {
                windows.TranslateKeys(message);
                windows.DispatchToWindow(message);
            }
            continue;
        }

        if (windowActive && keyDown[platform::vk::Escape]) {
            done = true;
        } else {
            StepFrame();
            windows.PresentBackBuffer(deviceContext);
        }

        // F1 is a flag, not a count: any number of presses since the last
        // idle pass make one switch. It is looked at even when Escape has
        // just ended the loop.
        if (keyDown[platform::vk::F1]) {
            keyDown[platform::vk::F1] = false;
            CloseDemoWindow();
            fullscreenMode = !fullscreenMode;
            if (!OpenDemoWindow(kWindowTitle, kWindowWidth, kWindowHeight, kWindowBits,
                                fullscreenMode))
                return 0;
        }
    }

    CloseDemoWindow();
    return static_cast<int>(message.wParam);
}
