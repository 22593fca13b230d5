#include "platform/web/web_platform.h"

#include "platform/native.h"
#include "platform/web/web_page.h"

#include <cmath>
#include <cstdlib>

namespace platform::web {

bool PageSound::Start(int, int, unsigned) { return true; }

Soundtrack *PageSound::Open(const char *file, unsigned mode, int size) {
    // The page plays whole files only.
    if (file == nullptr || size != 0 || !WebPageOpenSoundtrack(file)) return nullptr;
    open_ = true;
    loop_ = (mode & kSoundtrackLoop) != 0;
    return &stream_;
}

int PageSound::Play(int channel, Soundtrack *stream) {
    if (!open_ || stream != &stream_) return -1;
    WebPagePlaySoundtrack(loop_ ? 1 : 0);
    return channel;
}

int PageSound::PositionMs(Soundtrack *stream) {
    if (!open_ || stream != &stream_) return -1;
    return WebPageSoundtrackPositionMs();
}

std::optional<OpenStep> WebPlatform::OpenWindow(const WindowRequest &request) {
    onEvent_ = request.onEvent;
    if (request.fullscreen) {
        if (!WebPageEnterFullscreen()) return OpenStep::DisplayMode;
        fullscreen_ = true;
    }
    if (!WebPageCreateGLContext()) return OpenStep::Context;
    context_ = true;
    return std::nullopt;
}

unsigned WebPlatform::CloseWindow() {
    if (fullscreen_) WebPageLeaveFullscreen();
    fullscreen_ = false;
    if (context_) WebPageDestroyGLContext();
    context_ = false;
    onEvent_ = nullptr;
    return 0;
}

bool WebPlatform::PollMessage(Message *message) {
    WebPageEvent page{};
    if (WebPagePollEvent(&page)) {
        Event event;
        intptr_t parameter = 0;
        switch (page.kind) {
            case kWebPageKeyDown:
            case kWebPageKeyUp:
                event.kind = page.kind == kWebPageKeyDown ? Event::Kind::KeyDown : Event::Kind::KeyUp;
                event.key = static_cast<uintptr_t>(page.code);
                parameter = page.code;
                break;
            case kWebPageActivate:
                // A hidden page counts as minimised; shown again, it is active.
                event.kind = Event::Kind::Activate;
                event.minimised = page.code != 0;
                // The home platform's parameter: active state, minimised flag above it.
                parameter = event.minimised ? 0x10000 : 1;
                break;
            default:
                // Nothing the page should send; taken without effect.
                *message = Message{false, 0};
                return true;
        }
        *message = Message{false, parameter};
        if (onEvent_ != nullptr) onEvent_(event);
        return true;
    }
    // The quit comes when nothing else waits.
    if (!quitCode_) return false;
    *message = Message{true, *quitCode_};
    quitCode_.reset();
    return true;
}

void WebPlatform::Present() { WebPagePresent(); }

Answer WebPlatform::ShowMessageBox(const char *text, const char *caption, Buttons buttons, Icon) {
    switch (WebPageMessageBox(text, caption, buttons == Buttons::YesNo ? kWebPageYesNo : kWebPageOk)) {
        case kWebPageAnswerOk:
            return Answer::Ok;
        case kWebPageAnswerYes:
            return Answer::Yes;
        case kWebPageAnswerNo:
            return Answer::No;
        default:
            return Answer::Failed;
    }
}

int64_t WebPlatform::CounterNow() { return std::llround(WebPageNowMs() * 1000.0); }

// The runtime unwinds to the page, which shows the code on its end screen.
void WebPlatform::Exit(int code) { std::exit(code); }

bool WebPlatform::StartsFullscreen() { return WebPageStartsFullscreen() != 0; }

}  // namespace platform::web

namespace platform {

Platform &NativePlatform() {
    static web::WebPlatform platform;
    return platform;
}

}  // namespace platform
