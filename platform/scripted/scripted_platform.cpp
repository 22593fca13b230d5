#include "platform/scripted/scripted_platform.h"

#include "platform/virtual_keys.h"

#include <cstdio>

namespace platform::scripted {
namespace {

// Far more polls than any scripted run needs; past it a loop is runaway.
constexpr long kPollLimit = 200000;

template <typename Handle>
Handle MakeHandle(uintptr_t value) {
    return reinterpret_cast<Handle>(value);
}

}  // namespace

std::string KindName(MessageKind kind) {
    switch (kind) {
        case MessageKind::Size:
            return "Size";
        case MessageKind::Activate:
            return "Activate";
        case MessageKind::Close:
            return "Close";
        case MessageKind::Quit:
            return "Quit";
        case MessageKind::KeyDown:
            return "KeyDown";
        case MessageKind::KeyUp:
            return "KeyUp";
        case MessageKind::Char:
            return "Char";
        case MessageKind::SysKeyDown:
            return "SysKeyDown";
        case MessageKind::SysKeyUp:
            return "SysKeyUp";
        case MessageKind::SysCommand:
            return "SysCommand";
    }
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "0x%04x", static_cast<unsigned>(kind));
    return buffer;
}

ScriptedPlatform::ScriptedPlatform() = default;

ScriptedPlatform::~ScriptedPlatform() {
    if (installed_) {
        InstallWindowSystem(nullptr);
        InstallCounter(nullptr);
        InstallSoundSystem(nullptr);
        InstallProcessExit(nullptr);
    }
}

void ScriptedPlatform::Install() {
    InstallWindowSystem(this);
    InstallCounter(this);
    InstallSoundSystem(this);
    InstallProcessExit(this);
    installed_ = true;
}

WindowHandle ScriptedPlatform::currentWindow() const {
    return windows_.empty() ? nullptr : windows_.rbegin()->first;
}

void ScriptedPlatform::Post(MessageKind kind, uintptr_t wParam, intptr_t lParam) {
    queue_.push_back(Message{currentWindow(), kind, wParam, lParam});
}

void ScriptedPlatform::PostActivate(bool minimised) {
    Post(MessageKind::Activate,
         MakeWParam(minimised ? activation::Inactive : activation::Active, minimised ? 1 : 0));
}

// ---- WindowSystem -------------------------------------------------------

ModuleHandle ScriptedPlatform::ProgramModule() { return MakeHandle<ModuleHandle>(0x400000); }

bool ScriptedPlatform::RegisterWindowClass(const WindowClass &windowClass) {
    std::string name = windowClass.name != nullptr ? windowClass.name : "";
    log_.push_back("RegisterWindowClass " + name);
    lastClass_ = windowClass;
    if (Fails(Step::RegisterClass) || classes_.count(name) != 0) return false;
    classes_[name] = windowClass.procedure;
    return true;
}

bool ScriptedPlatform::UnregisterWindowClass(const char *name, ModuleHandle) {
    std::string className = name != nullptr ? name : "";
    log_.push_back("UnregisterWindowClass " + className);
    if (Fails(Step::UnregisterClass)) return false;
    return classes_.erase(className) != 0;
}

bool ScriptedPlatform::SwitchDisplayMode(const DisplayMode &mode) {
    log_.push_back("SwitchDisplayMode " + std::to_string(mode.width) + "x" +
                   std::to_string(mode.height) + "x" + std::to_string(mode.bitsPerPixel));
    lastDisplayMode_ = mode;
    if (Fails(Step::SwitchDisplayMode) || !fullscreenOffered_) return false;
    displaySwitched_ = true;
    return true;
}

void ScriptedPlatform::RestoreDisplayMode() {
    log_.push_back("RestoreDisplayMode");
    displaySwitched_ = false;
}

bool ScriptedPlatform::AdjustWindowRectangle(Rect *rect, uint32_t style, uint32_t) {
    log_.push_back("AdjustWindowRectangle");
    // A frame of 4 pixels and a caption of 20 for framed windows, as a
    // platform with decorations would add.
    if ((style & windowstyle::OverlappedWindow) == windowstyle::OverlappedWindow) {
        rect->left -= 4;
        rect->right += 4;
        rect->top -= 24;
        rect->bottom += 4;
    }
    return true;
}

WindowHandle ScriptedPlatform::CreateAppWindow(const WindowCreation &creation) {
    lastTitle_ = creation.title != nullptr ? creation.title : "";
    log_.push_back("CreateAppWindow " + lastTitle_);
    lastCreation_ = creation;
    std::string className = creation.className != nullptr ? creation.className : "";
    auto registered = classes_.find(className);
    if (Fails(Step::CreateWindow) || registered == classes_.end()) return nullptr;
    auto window = MakeHandle<WindowHandle>(nextHandle_++);
    windows_[window] = registered->second;
    return window;
}

bool ScriptedPlatform::DestroyAppWindow(WindowHandle window) {
    log_.push_back("DestroyAppWindow");
    if (Fails(Step::DestroyWindow)) return false;
    return windows_.erase(window) != 0;
}

DeviceContextHandle ScriptedPlatform::AcquireDeviceContext(WindowHandle window) {
    log_.push_back("AcquireDeviceContext");
    if (Fails(Step::AcquireDeviceContext) || windows_.count(window) == 0) return nullptr;
    auto dc = MakeHandle<DeviceContextHandle>(nextHandle_++);
    deviceContexts_.insert(dc);
    return dc;
}

bool ScriptedPlatform::ReleaseDeviceContext(WindowHandle, DeviceContextHandle dc) {
    log_.push_back("ReleaseDeviceContext");
    if (Fails(Step::ReleaseDeviceContext)) return false;
    return deviceContexts_.erase(dc) != 0;
}

int ScriptedPlatform::ChoosePixelFormatIndex(DeviceContextHandle,
                                             const PixelFormatDescriptor &request) {
    log_.push_back("ChoosePixelFormatIndex");
    lastPixelFormat_ = request;
    return Fails(Step::ChoosePixelFormat) ? 0 : 7;
}

bool ScriptedPlatform::ApplyPixelFormat(DeviceContextHandle, int index,
                                        const PixelFormatDescriptor &) {
    log_.push_back("ApplyPixelFormat " + std::to_string(index));
    return !Fails(Step::ApplyPixelFormat);
}

RenderContextHandle ScriptedPlatform::CreateRenderContext(DeviceContextHandle dc) {
    log_.push_back("CreateRenderContext");
    if (Fails(Step::CreateRenderContext) || deviceContexts_.count(dc) == 0) return nullptr;
    auto rc = MakeHandle<RenderContextHandle>(nextHandle_++);
    renderContexts_.insert(rc);
    return rc;
}

bool ScriptedPlatform::MakeContextCurrent(DeviceContextHandle, RenderContextHandle rc) {
    if (rc == nullptr) {
        log_.push_back("MakeContextCurrent none");
        if (Fails(Step::ReleaseCurrent)) return false;
        current_ = nullptr;
        return true;
    }
    log_.push_back("MakeContextCurrent");
    if (Fails(Step::MakeContextCurrent) || renderContexts_.count(rc) == 0) return false;
    current_ = rc;
    return true;
}

bool ScriptedPlatform::DeleteRenderContext(RenderContextHandle rc) {
    log_.push_back("DeleteRenderContext");
    if (Fails(Step::DeleteRenderContext)) return false;
    if (current_ == rc) current_ = nullptr;
    return renderContexts_.erase(rc) != 0;
}

void ScriptedPlatform::ShowAppWindow(WindowHandle) { log_.push_back("ShowAppWindow"); }

void ScriptedPlatform::BringToForeground(WindowHandle) { log_.push_back("BringToForeground"); }

void ScriptedPlatform::GiveKeyboardFocus(WindowHandle) { log_.push_back("GiveKeyboardFocus"); }

int ScriptedPlatform::ChangeCursorVisibility(bool show) {
    log_.push_back(show ? "ShowCursor" : "HideCursor");
    cursorCount_ += show ? 1 : -1;
    return cursorCount_;
}

bool ScriptedPlatform::PollMessage(Message *message) {
    if (++polls_ > kPollLimit) {
        // Ends a runaway loop with a quit the test can recognise.
        runaway_ = true;
        *message = Message{nullptr, MessageKind::Quit, 0xDEAD, 0};
        return true;
    }
    if (queue_.empty() && !quitCode_ && onIdle) onIdle();
    if (queue_.empty()) {
        // The quit comes when nothing else waits.
        if (!quitCode_) return false;
        *message = Message{nullptr, MessageKind::Quit, static_cast<uintptr_t>(*quitCode_), 0};
        quitCode_.reset();
        log_.push_back("Message Quit " + std::to_string(message->wParam));
        return true;
    }
    *message = queue_.front();
    queue_.pop_front();
    log_.push_back("Message " + KindName(message->kind) + " " + std::to_string(message->wParam));
    return true;
}

void ScriptedPlatform::TranslateKeys(const Message &message) {
    if (message.kind != MessageKind::KeyDown) return;
    int character = vk::CharacterOf(static_cast<int>(message.wParam), false);
    // The character message is taken before any other waiting message.
    if (character >= 0)
        queue_.push_front(Message{message.window, MessageKind::Char,
                                  static_cast<uintptr_t>(character), message.lParam});
}

intptr_t ScriptedPlatform::DispatchToWindow(const Message &message) {
    auto window = windows_.find(message.window);
    if (window == windows_.end() || window->second == nullptr) return 0;
    return window->second(message.window, message.kind, message.wParam, message.lParam);
}

void ScriptedPlatform::PostQuit(int code) {
    log_.push_back("PostQuit " + std::to_string(code));
    quitCode_ = code;
}

intptr_t ScriptedPlatform::DefaultWindowProc(WindowHandle window, MessageKind kind,
                                             uintptr_t wParam, intptr_t) {
    log_.push_back("DefaultWindowProc " + KindName(kind) + " " + std::to_string(wParam));
    // The close command asks the window itself to close, as the platform does.
    if (kind == MessageKind::SysCommand && wParam == syscommand::Close) {
        auto target = windows_.find(window);
        if (target != windows_.end() && target->second != nullptr)
            target->second(window, MessageKind::Close, 0, 0);
    }
    return 0;
}

bool ScriptedPlatform::PresentBackBuffer(DeviceContextHandle dc) {
    log_.push_back("PresentBackBuffer");
    return deviceContexts_.count(dc) != 0;
}

MessageBoxAnswer ScriptedPlatform::ShowMessageBox(const char *text, const char *caption,
                                                  MessageBoxButtons buttons, MessageBoxIcon icon) {
    ShownBox box;
    box.text = text != nullptr ? text : "";
    if (caption != nullptr) box.caption = caption;
    box.buttons = buttons;
    box.icon = icon;
    box.displaySwitched = displaySwitched_;
    box.windowsAlive = windowsAlive();
    boxes_.push_back(box);
    log_.push_back("MessageBox " + (caption != nullptr ? std::string(caption) : "(default)") +
                   ": " + box.text);
    if (!answers_.empty()) {
        MessageBoxAnswer answer = answers_.front();
        answers_.pop_front();
        return answer;
    }
    return buttons == MessageBoxButtons::YesNo ? MessageBoxAnswer::Yes : MessageBoxAnswer::Ok;
}

// ---- PerformanceCounter -------------------------------------------------

int64_t ScriptedPlatform::Frequency() {
    log_.push_back("CounterFrequency");
    return frequency;
}

int64_t ScriptedPlatform::Now() {
    log_.push_back("CounterNow");
    return now;
}

// ---- SoundSystem --------------------------------------------------------

bool ScriptedPlatform::Init(int mixRate, int maxSoftwareChannels, unsigned int flags) {
    log_.push_back("SoundInit " + std::to_string(mixRate) + " " +
                   std::to_string(maxSoftwareChannels) + " " + std::to_string(flags));
    return !soundInitFails;
}

SoundStream *ScriptedPlatform::OpenStream(const char *name, unsigned int mode, int size) {
    log_.push_back("SoundOpen " + std::string(name != nullptr ? name : "") + " " +
                   std::to_string(mode) + " " + std::to_string(size));
    if (streamOpenFails) return nullptr;
    streams_.push_back(std::make_unique<SoundStream>());
    return streams_.back().get();
}

int ScriptedPlatform::Play(int channel, SoundStream *stream) {
    log_.push_back("SoundPlay " + std::to_string(channel));
    ++playRequests;
    lastPlayedStream = stream;
    return stream != nullptr ? channel : -1;
}

int ScriptedPlatform::PositionMs(SoundStream *stream) {
    log_.push_back("SoundPosition");
    ++positionQueries;
    return stream != nullptr ? 0 : -1;
}

// ---- ProcessExit --------------------------------------------------------

void ScriptedPlatform::Exit(int code) {
    log_.push_back("Exit " + std::to_string(code));
    exitCode = code;
}

}  // namespace platform::scripted
