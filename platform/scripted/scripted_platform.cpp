#include "platform/scripted/scripted_platform.h"

#include <string>

namespace platform::scripted {
namespace {

// Far more polls than any scripted run needs; past it a loop is runaway.
constexpr long kPollLimit = 200000;

const char *KindName(Event::Kind kind) {
    switch (kind) {
        case Event::Kind::Activate:
            return "Activate";
        case Event::Kind::Close:
            return "Close";
        case Event::Kind::KeyDown:
            return "KeyDown";
        case Event::Kind::KeyUp:
            return "KeyUp";
        case Event::Kind::Resize:
            return "Resize";
    }
    return "?";
}

}  // namespace

const char *StepName(OpenStep step) {
    constexpr const char *kNames[] = {"Register",     "DisplayMode", "Create",  "Device",
                                      "ChooseFormat", "SetFormat",   "Context", "Activate"};
    return kNames[static_cast<int>(step)];
}

ScriptedPlatform::ScriptedPlatform() { Install(this); }

ScriptedPlatform::~ScriptedPlatform() {
    if (IsCurrent(*this)) Install(nullptr);
}

void ScriptedPlatform::Post(const Event &event, std::optional<intptr_t> parameter) {
    queue_.push_back(Queued{event, parameter.value_or(static_cast<intptr_t>(event.key))});
}

void ScriptedPlatform::PostKey(bool down, uintptr_t key) {
    Event event{down ? Event::Kind::KeyDown : Event::Kind::KeyUp};
    event.key = key;
    Post(event);
}

std::optional<OpenStep> ScriptedPlatform::OpenWindow(const WindowRequest &request) {
    lastRequest = request;
    onEvent_ = request.onEvent;
    log_.push_back("OpenWindow " + std::string(request.title) + " " +
                   std::to_string(request.width) + "x" + std::to_string(request.height) + "x" +
                   std::to_string(request.bits) + (request.fullscreen ? " fullscreen" : " windowed"));
    const auto fails = [&](OpenStep step) {
        if (failingOpen_ != step) return false;
        log_.push_back(std::string("failed ") + StepName(step));
        return true;
    };
    if (!registered_) {
        if (fails(OpenStep::Register)) return OpenStep::Register;
        registered_ = true;
    }
    if (request.fullscreen) {
        if (fails(OpenStep::DisplayMode) || !fullscreenOffered_) return OpenStep::DisplayMode;
        displaySwitched_ = true;
    }
    for (OpenStep step : {OpenStep::Create, OpenStep::Device, OpenStep::ChooseFormat,
                          OpenStep::SetFormat, OpenStep::Context, OpenStep::Activate}) {
        if (fails(step)) return step;
        window_ = true;
        device_ = step >= OpenStep::Device;
        context_ = step >= OpenStep::Context;
    }
    return std::nullopt;
}

unsigned ScriptedPlatform::CloseWindow() {
    unsigned held = kUnregister;
    if (context_) held |= kReleaseCurrent | kDeleteContext;
    if (device_) held |= kReleaseDevice;
    if (window_) held |= kDestroyWindow;
    log_.push_back("CloseWindow" + std::string(displaySwitched_ ? " restoring the display" : ""));
    registered_ = displaySwitched_ = window_ = device_ = context_ = false;
    onEvent_ = nullptr;
    return failingClose_ & held;
}

bool ScriptedPlatform::PollMessage(Message *message) {
    if (++polls_ > kPollLimit) {
        runaway_ = true;
        *message = Message{true, 0xDEAD};
        return true;
    }
    if (queue_.empty() && !quitCode_ && onIdle) onIdle();
    if (!queue_.empty()) {
        const Queued next = queue_.front();
        queue_.pop_front();
        log_.push_back(std::string("Message ") + KindName(next.event.kind) + " " +
                       std::to_string(next.parameter));
        *message = Message{false, next.parameter};
        if (onEvent_ != nullptr) onEvent_(next.event);
        return true;
    }
    // The quit comes when nothing else waits.
    if (!quitCode_) return false;
    *message = Message{true, *quitCode_};
    quitCode_.reset();
    log_.push_back("Message Quit " + std::to_string(message->parameter));
    return true;
}

void ScriptedPlatform::PostQuit(int code) {
    log_.push_back("PostQuit " + std::to_string(code));
    quitCode_ = code;
}

void ScriptedPlatform::Present() {
    ++presents;
    log_.push_back("Present");
}

platform::Answer ScriptedPlatform::ShowMessageBox(const char *text, const char *caption,
                                                  Buttons buttons, Icon icon) {
    ShownBox box{text, std::nullopt, buttons, icon, displaySwitched_};
    if (caption != nullptr) box.caption = caption;
    boxes_.push_back(box);
    log_.push_back("Box " + box.caption.value_or("(default)") + ": " + box.text);
    if (!answers_.empty()) {
        const platform::Answer answer = answers_.front();
        answers_.pop_front();
        return answer;
    }
    return buttons == Buttons::YesNo ? platform::Answer::Yes : platform::Answer::Ok;
}

int64_t ScriptedPlatform::CounterFrequency() {
    log_.push_back("CounterFrequency");
    return frequency;
}

int64_t ScriptedPlatform::CounterNow() {
    log_.push_back("CounterNow");
    return now;
}

void ScriptedPlatform::Exit(int code) {
    log_.push_back("Exit " + std::to_string(code));
    exitCode = code;
}

bool ScriptedPlatform::Start(int mixRate, int channels, unsigned flags) {
    log_.push_back("StartSound " + std::to_string(mixRate) + " " + std::to_string(channels) +
                   " " + std::to_string(flags));
    return !soundStartFails;
}

Soundtrack *ScriptedPlatform::Open(const char *file, unsigned mode, int size) {
    log_.push_back("OpenSoundtrack " + std::string(file) + " " + std::to_string(mode) + " " +
                   std::to_string(size));
    return soundtrackOpenFails ? nullptr : &stream_;
}

int ScriptedPlatform::Play(int channel, Soundtrack *stream) {
    log_.push_back("Play " + std::to_string(channel));
    lastPlayed = stream;
    return stream != nullptr ? channel : -1;
}

int ScriptedPlatform::PositionMs(Soundtrack *stream) {
    log_.push_back("Position");
    return stream != nullptr ? 0 : -1;
}

}  // namespace platform::scripted
