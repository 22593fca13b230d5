#include "platform/sdl2/sdl2_window_system.h"

#include "platform/sdl2/keep_libraries_loaded.h"
#include "platform/sdl2/sdl2_keys.h"
#include "platform/virtual_keys.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace platform::sdl2 {
namespace {

// The frame and caption bit of the framed window style: such windows can be
// resized by the user.
constexpr uint32_t kSizingFrame = 0x00040000u;

// Message parameters of key messages: repeat count 1, bit 30 set when the key
// was already down, bit 31 set on release.
intptr_t KeyLParam(bool repeat, bool release) {
    uint32_t value = 1;
    if (repeat || release) value |= 1u << 30;
    if (release) value |= 1u << 31;
    return static_cast<intptr_t>(value);
}

// SDL picks a windowless driver by itself when there is no display; the demo
// would then run unseen and unstoppable. Such drivers count only when asked
// for by name.
bool IsUsableVideoDriver(const char *driver) {
    if (driver == nullptr) return false;
    const bool windowless = std::strcmp(driver, "offscreen") == 0 ||
                            std::strcmp(driver, "dummy") == 0 || std::strcmp(driver, "evdev") == 0;
    if (!windowless) return true;
    const char *requested = std::getenv("SDL_VIDEODRIVER");
    return requested != nullptr && std::strcmp(requested, driver) == 0;
}

int BitsOf(const SDL_DisplayMode &mode) {
    return static_cast<int>(SDL_BYTESPERPIXEL(mode.format)) * 8;
}

}  // namespace

Sdl2WindowSystem::Sdl2WindowSystem() = default;

Sdl2WindowSystem::~Sdl2WindowSystem() {
    for (auto &rc : contexts_) SDL_GL_DeleteContext(rc->gl);
    contexts_.clear();
    for (auto &window : windows_) SDL_DestroyWindow(window->sdl);
    windows_.clear();
    if (videoStarted_) SDL_QuitSubSystem(SDL_INIT_VIDEO);
}

bool Sdl2WindowSystem::StartVideo() {
    if (videoStarted_) return true;
    // The demo ends on its own close message, not on SDL's.
    SDL_SetHint(SDL_HINT_QUIT_ON_LAST_WINDOW_CLOSE, "0");
    // A full-screen window stays full-screen when a box takes the focus.
    SDL_SetHint(SDL_HINT_VIDEO_MINIMIZE_ON_FOCUS_LOSS, "0");
    if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) {
        std::fprintf(stderr, "vandrel: cannot start video: %s\n", SDL_GetError());
        return false;
    }
    const char *driver = SDL_GetCurrentVideoDriver();
    if (!IsUsableVideoDriver(driver)) {
        std::fprintf(stderr, "vandrel: no display to open a window on (video driver %s)\n",
                     driver != nullptr ? driver : "none");
        SDL_QuitSubSystem(SDL_INIT_VIDEO);
        return false;
    }
    videoStarted_ = true;
    return true;
}

Sdl2WindowSystem::Window *Sdl2WindowSystem::Find(WindowHandle handle) const {
    for (const auto &window : windows_)
        if (reinterpret_cast<WindowHandle>(window.get()) == handle) return window.get();
    return nullptr;
}

Sdl2WindowSystem::Window *Sdl2WindowSystem::FindSdl(uint32_t windowId) const {
    for (const auto &window : windows_)
        if (SDL_GetWindowID(window->sdl) == windowId) return window.get();
    return nullptr;
}

Sdl2WindowSystem::DeviceContext *Sdl2WindowSystem::FindDc(DeviceContextHandle handle) const {
    for (const auto &window : windows_)
        if (reinterpret_cast<DeviceContextHandle>(&window->dc) == handle) return &window->dc;
    return nullptr;
}

Sdl2WindowSystem::RenderContext *Sdl2WindowSystem::FindRc(RenderContextHandle handle) const {
    for (const auto &rc : contexts_)
        if (reinterpret_cast<RenderContextHandle>(rc.get()) == handle) return rc.get();
    return nullptr;
}

ModuleHandle Sdl2WindowSystem::ProgramModule() {
    // There is one module, the program; any non-null value names it.
    static char programModule;
    return reinterpret_cast<ModuleHandle>(&programModule);
}

bool Sdl2WindowSystem::RegisterWindowClass(const WindowClass &windowClass) {
    if (windowClass.name == nullptr || windowClass.procedure == nullptr) return false;
    if (!StartVideo()) return false;
    return classes_.emplace(windowClass.name, windowClass).second;
}

bool Sdl2WindowSystem::UnregisterWindowClass(const char *name, ModuleHandle) {
    if (name == nullptr) return false;
    // A class that still has windows stays registered.
    for (const auto &window : windows_)
        if (window->className == name) return false;
    return classes_.erase(name) != 0;
}

bool Sdl2WindowSystem::SwitchDisplayMode(const DisplayMode &mode) {
    if (!StartVideo()) return false;
    const int count = SDL_GetNumDisplayModes(0);
    for (int i = 0; i < count; ++i) {
        SDL_DisplayMode offered;
        if (SDL_GetDisplayMode(0, i, &offered) != 0) continue;
        // SDL lists the modes best first (deepest colour, then highest
        // refresh rate), so the first exact match is the one to take.
        if (offered.w == mode.width && offered.h == mode.height &&
            BitsOf(offered) == mode.bitsPerPixel) {
            reservedMode_ = offered;
            std::fprintf(stderr, "vandrel: full-screen display mode %dx%d (%s, %d Hz)\n", offered.w,
                         offered.h, SDL_GetPixelFormatName(offered.format), offered.refresh_rate);
            return true;
        }
    }
    std::fprintf(stderr, "vandrel: the display offers no %dx%d mode at %d bits per pixel\n",
                 mode.width, mode.height, mode.bitsPerPixel);
    return false;
}

void Sdl2WindowSystem::RestoreDisplayMode() {
    reservedMode_.reset();
    for (const auto &window : windows_) {
        if ((SDL_GetWindowFlags(window->sdl) & SDL_WINDOW_FULLSCREEN) != 0)
            SDL_SetWindowFullscreen(window->sdl, 0);
    }
}

bool Sdl2WindowSystem::AdjustWindowRectangle(Rect *rect, uint32_t, uint32_t) {
    return rect != nullptr;
}

WindowHandle Sdl2WindowSystem::CreateAppWindow(const WindowCreation &creation) {
    if (creation.className == nullptr) return nullptr;
    auto registered = classes_.find(creation.className);
    if (registered == classes_.end() || creation.width <= 0 || creation.height <= 0) return nullptr;

    // The one pixel format every window is made for (see the header).
    SDL_GL_ResetAttributes();
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_COMPATIBILITY);
    SDL_GL_SetAttribute(SDL_GL_RED_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_GREEN_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_BLUE_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_ALPHA_SIZE, 0);
    SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, 16);
    SDL_GL_SetAttribute(SDL_GL_STENCIL_SIZE, 0);
    SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);

    Uint32 flags = SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN;
    const bool popup = (creation.style & windowstyle::Popup) != 0;
    if (popup) {
        flags |= reservedMode_ ? SDL_WINDOW_FULLSCREEN : SDL_WINDOW_BORDERLESS;
    } else if ((creation.style & kSizingFrame) != 0) {
        flags |= SDL_WINDOW_RESIZABLE;
    }

    SDL_Window *sdl = SDL_CreateWindow(creation.title != nullptr ? creation.title : "", creation.x,
                                       creation.y, creation.width, creation.height, flags);
    if (sdl == nullptr) {
        std::fprintf(stderr, "vandrel: cannot create the window: %s\n", SDL_GetError());
        return nullptr;
    }
    // A GL-capable window already loads the GL driver (to choose its visual),
    // and SDL unloads it again with the last window: pin it now, not only when
    // a context is made, so it stays for the rest of the process either way.
    KeepLoadedLibrariesLoaded();
    if (popup && reservedMode_ && SDL_SetWindowDisplayMode(sdl, &*reservedMode_) != 0) {
        std::fprintf(stderr, "vandrel: cannot set the full-screen mode: %s\n", SDL_GetError());
        SDL_DestroyWindow(sdl);
        return nullptr;
    }

    std::fprintf(stderr, "vandrel: window \"%s\" %dx%d %s\n", SDL_GetWindowTitle(sdl),
                 creation.width, creation.height,
                 (flags & SDL_WINDOW_FULLSCREEN) != 0   ? "full-screen"
                 : (flags & SDL_WINDOW_BORDERLESS) != 0 ? "borderless"
                                                        : "framed");

    auto window = std::make_unique<Window>();
    window->sdl = sdl;
    window->procedure = registered->second.procedure;
    window->className = creation.className;
    window->dc.window = window.get();
    windows_.push_back(std::move(window));
    return reinterpret_cast<WindowHandle>(windows_.back().get());
}

bool Sdl2WindowSystem::DestroyAppWindow(WindowHandle handle) {
    Window *window = Find(handle);
    if (window == nullptr) return false;
    for (auto &rc : contexts_) {
        if (rc->window == window) rc->window = nullptr;
    }
    SDL_DestroyWindow(window->sdl);
    // Messages for a window that is gone are never delivered.
    queue_.erase(std::remove_if(queue_.begin(), queue_.end(),
                                [handle](const Message &m) { return m.window == handle; }),
                 queue_.end());
    windows_.erase(std::find_if(windows_.begin(), windows_.end(),
                                [window](const auto &w) { return w.get() == window; }));
    if (windows_.empty()) SDL_EnableScreenSaver();
    return true;
}

DeviceContextHandle Sdl2WindowSystem::AcquireDeviceContext(WindowHandle handle) {
    Window *window = Find(handle);
    if (window == nullptr) return nullptr;
    // Each window owns one device context; acquiring it again gives the same.
    window->dc.held = true;
    return reinterpret_cast<DeviceContextHandle>(&window->dc);
}

bool Sdl2WindowSystem::ReleaseDeviceContext(WindowHandle handle, DeviceContextHandle dcHandle) {
    DeviceContext *dc = FindDc(dcHandle);
    if (dc == nullptr || !dc->held || reinterpret_cast<WindowHandle>(dc->window) != handle)
        return false;
    dc->held = false;
    return true;
}

int Sdl2WindowSystem::ChoosePixelFormatIndex(DeviceContextHandle dcHandle,
                                             const PixelFormatDescriptor &request) {
    DeviceContext *dc = FindDc(dcHandle);
    if (dc == nullptr || !dc->held) return 0;
    const uint32_t needed = pixelformat::DrawToWindow | pixelformat::SupportOpenGL;
    if ((request.flags & needed) != needed || request.pixelType != pixelformat::TypeRgba) return 0;
    if (request.colorBits > 32 || request.depthBits > 16 || request.stencilBits != 0 ||
        request.accumBits != 0 || request.auxBuffers != 0)
        return 0;
    return 1;
}

bool Sdl2WindowSystem::ApplyPixelFormat(DeviceContextHandle dcHandle, int index,
                                        const PixelFormatDescriptor &) {
    DeviceContext *dc = FindDc(dcHandle);
    if (dc == nullptr || !dc->held || index != 1) return false;
    // A window's format is set once and for all.
    if (dc->pixelFormat != 0 && dc->pixelFormat != index) return false;
    dc->pixelFormat = index;
    return true;
}

RenderContextHandle Sdl2WindowSystem::CreateRenderContext(DeviceContextHandle dcHandle) {
    DeviceContext *dc = FindDc(dcHandle);
    if (dc == nullptr || !dc->held || dc->pixelFormat == 0) return nullptr;
    SDL_GLContext gl = SDL_GL_CreateContext(dc->window->sdl);
    if (gl == nullptr) {
        std::fprintf(stderr, "vandrel: cannot create an OpenGL context: %s\n", SDL_GetError());
        return nullptr;
    }
    KeepLoadedLibrariesLoaded();
    auto rc = std::make_unique<RenderContext>();
    rc->gl = gl;
    rc->window = dc->window;
    contexts_.push_back(std::move(rc));
    return reinterpret_cast<RenderContextHandle>(contexts_.back().get());
}

bool Sdl2WindowSystem::MakeContextCurrent(DeviceContextHandle dcHandle,
                                          RenderContextHandle rcHandle) {
    if (rcHandle == nullptr) return SDL_GL_MakeCurrent(nullptr, nullptr) == 0;
    DeviceContext *dc = FindDc(dcHandle);
    RenderContext *rc = FindRc(rcHandle);
    if (dc == nullptr || !dc->held || rc == nullptr) return false;
    return SDL_GL_MakeCurrent(dc->window->sdl, rc->gl) == 0;
}

bool Sdl2WindowSystem::DeleteRenderContext(RenderContextHandle rcHandle) {
    RenderContext *rc = FindRc(rcHandle);
    if (rc == nullptr) return false;
    if (SDL_GL_GetCurrentContext() == rc->gl) SDL_GL_MakeCurrent(nullptr, nullptr);
    SDL_GL_DeleteContext(rc->gl);
    contexts_.erase(std::find_if(contexts_.begin(), contexts_.end(),
                                 [rc](const auto &c) { return c.get() == rc; }));
    return true;
}

void Sdl2WindowSystem::ShowAppWindow(WindowHandle handle) {
    Window *window = Find(handle);
    if (window == nullptr) return;
    SDL_ShowWindow(window->sdl);
    // The window procedure decides whether the screen saver and monitor power
    // saving may start while the window shows (see the header).
    SDL_DisableScreenSaver();
    Send(window, MessageKind::SysCommand, syscommand::ScreenSave, 0);
    Send(window, MessageKind::SysCommand, syscommand::MonitorPower, 2);
}

void Sdl2WindowSystem::BringToForeground(WindowHandle handle) {
    if (Window *window = Find(handle)) SDL_RaiseWindow(window->sdl);
}

void Sdl2WindowSystem::GiveKeyboardFocus(WindowHandle handle) {
    if (Window *window = Find(handle)) SDL_SetWindowInputFocus(window->sdl);
}

int Sdl2WindowSystem::ChangeCursorVisibility(bool show) {
    cursorCount_ += show ? 1 : -1;
    if (videoStarted_) SDL_ShowCursor(cursorCount_ >= 0 ? SDL_ENABLE : SDL_DISABLE);
    return cursorCount_;
}

bool Sdl2WindowSystem::PollMessage(Message *message) {
    if (videoStarted_) {
        SDL_Event event;
        while (queue_.empty() && SDL_PollEvent(&event)) TranslateEvent(event);
    }
    if (!queue_.empty()) {
        *message = queue_.front();
        queue_.pop_front();
        return true;
    }
    // The quit comes when nothing else waits.
    if (quitCode_) {
        *message = Message{nullptr, MessageKind::Quit, static_cast<uintptr_t>(*quitCode_), 0};
        quitCode_.reset();
        return true;
    }
    return false;
}

void Sdl2WindowSystem::TranslateKeys(const Message &message) {
    if (message.kind != MessageKind::KeyDown) return;
    const bool shift = (SDL_GetModState() & KMOD_SHIFT) != 0;
    const int character = vk::CharacterOf(static_cast<int>(message.wParam), shift);
    // The character message is taken before anything else that waits.
    if (character >= 0)
        queue_.push_front(Message{message.window, MessageKind::Char,
                                  static_cast<uintptr_t>(character), message.lParam});
}

intptr_t Sdl2WindowSystem::DispatchToWindow(const Message &message) {
    Window *window = Find(message.window);
    if (window == nullptr) return 0;
    return Send(window, message.kind, message.wParam, message.lParam);
}

intptr_t Sdl2WindowSystem::Send(Window *window, MessageKind kind, uintptr_t wParam,
                                intptr_t lParam) {
    return window->procedure(reinterpret_cast<WindowHandle>(window), kind, wParam, lParam);
}

void Sdl2WindowSystem::PostQuit(int exitCode) { quitCode_ = exitCode; }

intptr_t Sdl2WindowSystem::DefaultWindowProc(WindowHandle handle, MessageKind kind,
                                             uintptr_t wParam, intptr_t) {
    Window *window = Find(handle);
    if (window == nullptr) return 0;
    if (kind == MessageKind::SysCommand) {
        switch (wParam) {
            case syscommand::ScreenSave:
            case syscommand::MonitorPower:
                // Not refused by the window: the screen saver may start.
                SDL_EnableScreenSaver();
                break;
            case syscommand::Close:
                Send(window, MessageKind::Close, 0, 0);
                break;
            case syscommand::Minimize:
                SDL_MinimizeWindow(window->sdl);
                break;
            default:
                break;
        }
    } else if (kind == MessageKind::SysKeyDown && wParam == vk::F4) {
        // Alt+F4 is the keyboard's close command.
        Send(window, MessageKind::SysCommand, syscommand::Close, 0);
    }
    return 0;
}

bool Sdl2WindowSystem::PresentBackBuffer(DeviceContextHandle dcHandle) {
    DeviceContext *dc = FindDc(dcHandle);
    if (dc == nullptr || !dc->held) return false;
    SDL_GL_SwapWindow(dc->window->sdl);
    return true;
}

MessageBoxAnswer Sdl2WindowSystem::ShowMessageBox(const char *text, const char *caption,
                                                  MessageBoxButtons buttons, MessageBoxIcon icon) {
    // The platform's default caption for boxes that bring none.
    const char *title = caption != nullptr ? caption : "Error";
    // Also written to standard error: the box may be impossible to show (no
    // display), and a log keeps what the user was told.
    std::fprintf(stderr, "vandrel: message box \"%s\": %s\n", title, text != nullptr ? text : "");

    enum { kOk = 1, kYes = 6, kNo = 7 };
    SDL_MessageBoxButtonData okButtons[] = {
        {SDL_MESSAGEBOX_BUTTON_RETURNKEY_DEFAULT | SDL_MESSAGEBOX_BUTTON_ESCAPEKEY_DEFAULT, kOk,
         "OK"},
    };
    SDL_MessageBoxButtonData yesNoButtons[] = {
        {SDL_MESSAGEBOX_BUTTON_RETURNKEY_DEFAULT, kYes, "Yes"},
        {SDL_MESSAGEBOX_BUTTON_ESCAPEKEY_DEFAULT, kNo, "No"},
    };

    SDL_MessageBoxData data{};
    switch (icon) {
        case MessageBoxIcon::Exclamation:
            data.flags = SDL_MESSAGEBOX_WARNING;
            break;
        case MessageBoxIcon::Stop:
            data.flags = SDL_MESSAGEBOX_ERROR;
            break;
        case MessageBoxIcon::Information:
            data.flags = SDL_MESSAGEBOX_INFORMATION;
            break;
        case MessageBoxIcon::None:
            data.flags = 0;
            break;
    }
    data.flags |= SDL_MESSAGEBOX_BUTTONS_LEFT_TO_RIGHT;
    data.window = nullptr;
    data.title = title;
    data.message = text != nullptr ? text : "";
    if (buttons == MessageBoxButtons::YesNo) {
        data.numbuttons = 2;
        data.buttons = yesNoButtons;
    } else {
        data.numbuttons = 1;
        data.buttons = okButtons;
    }

    int chosen = -1;
    if (SDL_ShowMessageBox(&data, &chosen) != 0) {
        std::fprintf(stderr, "vandrel: the message box could not be shown: %s\n", SDL_GetError());
        return MessageBoxAnswer::Failed;
    }
    switch (chosen) {
        case kYes:
            return MessageBoxAnswer::Yes;
        case kNo:
            return MessageBoxAnswer::No;
        case kOk:
            return MessageBoxAnswer::Ok;
        default:
            // Closed without a button.
            return buttons == MessageBoxButtons::YesNo ? MessageBoxAnswer::No
                                                       : MessageBoxAnswer::Ok;
    }
}

void Sdl2WindowSystem::TranslateEvent(const SDL_Event &event) {
    switch (event.type) {
        case SDL_WINDOWEVENT: {
            Window *window = FindSdl(event.window.windowID);
            if (window == nullptr) return;
            switch (event.window.event) {
                case SDL_WINDOWEVENT_FOCUS_GAINED:
                    Queue(window, MessageKind::Activate, MakeWParam(activation::Active, 0), 0);
                    break;
                case SDL_WINDOWEVENT_FOCUS_LOST: {
                    const bool minimised =
                        (SDL_GetWindowFlags(window->sdl) & SDL_WINDOW_MINIMIZED) != 0;
                    Queue(window, MessageKind::Activate,
                          MakeWParam(activation::Inactive, minimised ? 1 : 0), 0);
                    break;
                }
                case SDL_WINDOWEVENT_MINIMIZED:
                    Queue(window, MessageKind::Activate, MakeWParam(activation::Inactive, 1), 0);
                    Queue(window, MessageKind::Size, 0, MakeLParam(0, 0));
                    break;
                case SDL_WINDOWEVENT_RESTORED: {
                    int w = 0, h = 0;
                    SDL_GetWindowSize(window->sdl, &w, &h);
                    Queue(window, MessageKind::Activate, MakeWParam(activation::Active, 0), 0);
                    Queue(window, MessageKind::Size, 0,
                          MakeLParam(static_cast<uint16_t>(w), static_cast<uint16_t>(h)));
                    break;
                }
                case SDL_WINDOWEVENT_SIZE_CHANGED:
                    Queue(window, MessageKind::Size, 0,
                          MakeLParam(static_cast<uint16_t>(event.window.data1),
                                     static_cast<uint16_t>(event.window.data2)));
                    break;
                case SDL_WINDOWEVENT_CLOSE:
                    // The close button is the close command.
                    Queue(window, MessageKind::SysCommand, syscommand::Close, 0);
                    break;
                default:
                    break;
            }
            break;
        }
        case SDL_KEYDOWN:
        case SDL_KEYUP: {
            Window *window = FindSdl(event.key.windowID);
            if (window == nullptr && !windows_.empty()) window = windows_.back().get();
            if (window == nullptr) return;
            const uint8_t key = VirtualKeyFromSdl(event.key.keysym.sym);
            if (key == 0) return;
            const bool down = event.type == SDL_KEYDOWN;
            // Keys pressed with Alt, Alt itself and F10 are system keys.
            const bool system =
                (event.key.keysym.mod & KMOD_ALT) != 0 || key == vk::Menu || key == vk::F10;
            MessageKind kind = down ? (system ? MessageKind::SysKeyDown : MessageKind::KeyDown)
                                    : (system ? MessageKind::SysKeyUp : MessageKind::KeyUp);
            Queue(window, kind, key, KeyLParam(event.key.repeat != 0, !down));
            break;
        }
        case SDL_QUIT:
            // Asked to end from outside (a signal): close the window as a
            // user would, so the display is restored on the way out.
            if (!windows_.empty())
                Queue(windows_.back().get(), MessageKind::SysCommand, syscommand::Close, 0);
            else
                PostQuit(0);
            break;
        default:
            break;
    }
}

void Sdl2WindowSystem::Queue(Window *window, MessageKind kind, uintptr_t wParam, intptr_t lParam) {
    queue_.push_back(Message{reinterpret_cast<WindowHandle>(window), kind, wParam, lParam});
}

}  // namespace platform::sdl2
