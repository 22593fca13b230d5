// The program the page runs until the platform layer has its web backend: it
// drives the demo's real start-up, timeline, scenes and texture loading with
// the page's clock, canvas, keys, dialogs and soundtrack (web_page.h), the
// way the demo's shell does on the desktop: the sound first, then the
// window (fullscreen with the windowed fallback), one key or one frame per
// pass, Escape to end, F1 to re-create the window in the other mode.
//
// It stands in for app/ with the web backend; once that backend exists the
// page runs the demo's own shell and this file goes.
#include <cmath>
#include <cstdint>

#include "demo/sequencer.h"
#include "demo/start_demo.h"
#include "platform/counter.h"
#include "platform/opengl.h"
#include "platform/sound.h"
#include "platform/virtual_keys.h"
#include "platform/web/web_page.h"

namespace {

// The page's clock in microseconds.
class PageCounter final : public platform::PerformanceCounter {
public:
    int64_t Frequency() override { return 1000000; }
    int64_t Now() override { return std::llround(WebPageNowMs() * 1000.0); }
};

// The page's soundtrack: one stream, decoded and played by the browser.
class PageSound final : public platform::SoundSystem {
public:
    bool Init(int, int, unsigned int) override { return true; }
    SoundStream *OpenStream(const char *name, unsigned int mode, int size) override {
        if (name == nullptr || size != 0 || !WebPageOpenSoundtrack(name)) return nullptr;
        loop_ = (mode & kSoundStreamLoop) != 0;
        return &stream_;
    }
    int Play(int channel, SoundStream *stream) override {
        if (stream != &stream_) return -1;
        WebPagePlaySoundtrack(loop_ ? 1 : 0);
        return channel;
    }
    int PositionMs(SoundStream *stream) override {
        return stream == &stream_ ? WebPageSoundtrackPositionMs() : -1;
    }

private:
    SoundStream stream_;
    bool loop_ = false;
};

constexpr int kWidth = 640, kHeight = 480;

bool keyDown[256] = {};
bool windowActive = true;
bool fullscreenMode = true;

void ResizeView(int width, int height) {
    glViewport(0, 0, width, height);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    gluPerspective(45.0, static_cast<GLdouble>(static_cast<GLfloat>(width) / static_cast<GLfloat>(height)),
                   static_cast<GLdouble>(0.1f), 100.0);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
}

void CloseWindow() {
    if (fullscreenMode) WebPageLeaveFullscreen();
    WebPageDestroyGLContext();
}

bool OpenWindow(bool fullscreen) {
    fullscreenMode = fullscreen;
    if (fullscreenMode && !WebPageEnterFullscreen()) {
        if (WebPageMessageBox("The Requested Fullscreen Mode Is Not Supported By\nYour Video Card. "
                              "Use Windowed Mode Instead?",
                              "Orv GL", kWebPageYesNo) != kWebPageAnswerYes) {
            WebPageMessageBox("Program Will Now Close.", "ERROR", kWebPageOk);
            return false;
        }
        fullscreenMode = false;
    }
    if (!WebPageCreateGLContext()) {
        CloseWindow();
        WebPageMessageBox("Can't Create A GL Rendering Context.", "ERROR", kWebPageOk);
        return false;
    }
    ResizeView(kWidth, kHeight);
    StartDemo();
    return true;
}

}  // namespace

int main() {
    PageCounter counter;
    PageSound sound;
    platform::InstallCounter(&counter);
    platform::InstallSoundSystem(&sound);

    if (!FSOUND_Init(44100, 1, 2)) {
        WebPageMessageBox("Error: Could not init", nullptr, kWebPageOk);
        return 1;
    }
    soundtrackStream = FSOUND_Stream_OpenFile("DemoFinal.mp3", kSoundStreamLoop, 0);
    if (soundtrackStream == nullptr) {
        WebPageMessageBox("Error: Could not load module", nullptr, kWebPageOk);
        return 1;
    }

    if (!OpenWindow(WebPageStartsFullscreen() != 0)) return 0;

    int lastKey = 0;
    bool done = false;
    while (!done) {
        WebPageEvent event;
        if (WebPagePollEvent(&event)) {
            if (event.kind == kWebPageActivate) windowActive = event.code == 0;
            if (event.kind == kWebPageKeyDown || event.kind == kWebPageKeyUp) {
                keyDown[event.code & 0xFF] = event.kind == kWebPageKeyDown;
                lastKey = event.code;
            }
            continue;
        }
        if (windowActive && keyDown[platform::vk::Escape]) {
            done = true;
        } else {
            StepFrame();
            WebPagePresent();
        }
        if (keyDown[platform::vk::F1]) {
            keyDown[platform::vk::F1] = false;
            CloseWindow();
            if (!OpenWindow(!fullscreenMode)) return 0;
        }
    }
    CloseWindow();
    return lastKey;
}
