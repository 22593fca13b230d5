// The test double of the whole platform: a queue of events the test posts, a
// step of opening (or closing) the window that the test makes fail, answers
// for the message boxes, a counter the test moves, and a log of every call
// in the demo's terms so a test can read back what happened and in what
// order.
#pragma once

#include "platform/platform.h"

#include <deque>
#include <functional>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace platform::scripted {

struct ShownBox {
    std::string text;
    std::optional<std::string> caption;  // none: the platform's default caption
    Buttons buttons = Buttons::Ok;
    Icon icon = Icon::None;
    bool displaySwitched = false;  // a full-screen mode was in force while it showed
    bool operator==(const ShownBox &) const = default;
};

class ScriptedPlatform final : public Platform, public Sound {
public:
    ScriptedPlatform();
    ~ScriptedPlatform() override;  // uninstalls itself if installed

    // ---- script ---------------------------------------------------------------
    void Fail(OpenStep step) { failingOpen_ = step; }
    void FailClose(unsigned steps) { failingClose_ = steps; }
    // The display offers no full-screen mode: OpenWindow fails at DisplayMode.
    void RefuseFullscreen() { fullscreenOffered_ = false; }
    // Answers for the next boxes, in order; with none queued a box gets its
    // first button (OK or Yes).
    void Answer(platform::Answer answer) { answers_.push_back(answer); }
    // Queues an event as one message with this parameter (for a key, its code
    // by default).
    void Post(const Event &event, std::optional<intptr_t> parameter = std::nullopt);
    void PostKey(bool down, uintptr_t key);
    // Called whenever a poll finds nothing waiting (an idle pass of a loop),
    // before it returns: the place to script what happens next.
    std::function<void()> onIdle;

    // ---- read back ----------------------------------------------------------
    const std::vector<std::string> &log() const { return log_; }
    void ClearLog() { log_.clear(); }
    const std::vector<ShownBox> &boxes() const { return boxes_; }
    std::optional<WindowRequest> lastRequest;  // of the last OpenWindow
    bool windowOpen() const { return window_; }
    bool displaySwitched() const { return displaySwitched_; }
    int presents = 0;
    bool runaway() const { return runaway_; }  // a loop polled far more than any test needs

    int64_t frequency = 1000;
    int64_t now = 0;
    bool soundStartFails = false;
    bool soundtrackOpenFails = false;
    Soundtrack *lastPlayed = nullptr;
    std::optional<int> exitCode;
    std::string contentFolder;

    // ---- Platform -----------------------------------------------------------
    std::optional<OpenStep> OpenWindow(const WindowRequest &request) override;
    unsigned CloseWindow() override;
    bool PollMessage(Message *message) override;
    void PostQuit(int code) override;
    void Present() override;
    platform::Answer ShowMessageBox(const char *text, const char *caption, Buttons buttons,
                                    Icon icon) override;
    int64_t CounterFrequency() override;
    int64_t CounterNow() override;
    Sound &sound() override { return *this; }
    void Exit(int code) override;
    const char *ContentFolder() override { return contentFolder.c_str(); }

    // ---- Sound ----------------------------------------------------------------
    bool Start(int mixRate, int channels, unsigned flags) override;
    Soundtrack *Open(const char *file, unsigned mode, int size) override;
    int Play(int channel, Soundtrack *stream) override;
    int PositionMs(Soundtrack *stream) override;

private:
    struct Queued {
        Event event;
        intptr_t parameter;
    };

    std::vector<std::string> log_;
    std::optional<OpenStep> failingOpen_;
    unsigned failingClose_ = 0;
    bool fullscreenOffered_ = true;
    std::deque<platform::Answer> answers_;
    std::deque<Queued> queue_;
    std::optional<int> quitCode_;
    std::vector<ShownBox> boxes_;
    EventHandler onEvent_ = nullptr;
    bool registered_ = false, displaySwitched_ = false, window_ = false,
         device_ = false, context_ = false;
    long polls_ = 0;
    bool runaway_ = false;
    Soundtrack stream_;
};

// "Register", "DisplayMode", ...: for logs and test names.
const char *StepName(OpenStep step);

}  // namespace platform::scripted
