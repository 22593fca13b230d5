// The demo's platform in a browser page (Emscripten builds), speaking to the
// page through its binding (web_page.h):
// - the window is a canvas of the page with a WebGL 1 context (OpenGL 1.1
//   emulated on it, see web_gl.cpp); DisplayMode is the browser's
//   fullscreen, refused when the user did not start the demo themselves;
//   Register, Create, Device, ChooseFormat, SetFormat and Activate have
//   nothing to do in a page and never fail;
// - messages are the page's queued keys and visibility changes;
// - Present gives way to the browser until its next animation frame;
// - message boxes are the page's modal dialog;
// - the counter is the page's clock (real, or the tests' virtual one);
// - the soundtrack is decoded and played by the page.
// When the browser leaves fullscreen by itself (the user's first Escape
// there), the demo is told nothing: it goes on as it was, in the page, and
// the next Escape reaches it as a key.
#pragma once

#include "platform/platform.h"

#include <optional>

namespace platform::web {

// The page's soundtrack: one stream, fetched and decoded by the browser.
class PageSound final : public Sound {
public:
    bool Start(int mixRate, int channels, unsigned flags) override;
    Soundtrack *Open(const char *file, unsigned mode, int size) override;
    int Play(int channel, Soundtrack *stream) override;
    int PositionMs(Soundtrack *stream) override;

private:
    Soundtrack stream_;
    bool open_ = false;
    bool loop_ = false;
};

class WebPlatform final : public Platform {
public:
    std::optional<OpenStep> OpenWindow(const WindowRequest &request) override;
    unsigned CloseWindow() override;
    bool PollMessage(Message *message) override;
    void PostQuit(int code) override { quitCode_ = code; }
    void Present() override;
    Answer ShowMessageBox(const char *text, const char *caption, Buttons buttons,
                          Icon icon) override;
    // Microseconds of the page's clock.
    int64_t CounterFrequency() override { return 1000000; }
    int64_t CounterNow() override;
    Sound &sound() override { return sound_; }
    void Exit(int code) override;
    // Fullscreen only when the user started the demo; a page that starts
    // it by itself (?autostart) may not go fullscreen.
    bool StartsFullscreen() override;

private:
    PageSound sound_;
    EventHandler onEvent_ = nullptr;
    bool fullscreen_ = false;
    bool context_ = false;
    std::optional<int> quitCode_;
};

}  // namespace platform::web
