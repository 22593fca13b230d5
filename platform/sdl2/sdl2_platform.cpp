#include "platform/sdl2/sdl2_platform.h"

#include "platform/keys.h"
#include "platform/native.h"
#include "platform/sdl2/keep_libraries_loaded.h"
#include "platform/sdl2/sdl2_keys.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace platform::sdl2 {
namespace {

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

Sdl2Platform::Sdl2Platform() = default;

Sdl2Platform::~Sdl2Platform() {
    if (context_ != nullptr) SDL_GL_DeleteContext(context_);
    if (window_ != nullptr) SDL_DestroyWindow(window_);
    if (videoStarted_) SDL_QuitSubSystem(SDL_INIT_VIDEO);
}

bool Sdl2Platform::StartVideo() {
    if (videoStarted_) return true;
    // The demo ends on its own close handling, not on SDL's.
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

std::optional<OpenStep> Sdl2Platform::OpenWindow(const WindowRequest &request) {
    if (!StartVideo()) return OpenStep::Register;
    onEvent_ = request.onEvent;

    if (request.fullscreen) {
        // SDL lists the modes best first (deepest colour, then highest
        // refresh rate), so the first exact match is the one to take.
        const int count = SDL_GetNumDisplayModes(0);
        for (int i = 0; i < count && !fullscreenMode_; ++i) {
            SDL_DisplayMode offered;
            if (SDL_GetDisplayMode(0, i, &offered) == 0 && offered.w == request.width &&
                offered.h == request.height && BitsOf(offered) == request.bits)
                fullscreenMode_ = offered;
        }
        if (!fullscreenMode_) {
            std::fprintf(stderr, "vandrel: the display offers no %dx%d mode at %d bits per pixel\n",
                         request.width, request.height, request.bits);
            return OpenStep::DisplayMode;
        }
        std::fprintf(stderr, "vandrel: full-screen display mode %dx%d (%s, %d Hz)\n",
                     fullscreenMode_->w, fullscreenMode_->h,
                     SDL_GetPixelFormatName(fullscreenMode_->format), fullscreenMode_->refresh_rate);
        SDL_ShowCursor(SDL_DISABLE);
        cursorHidden_ = true;
    }

    // The one pixel format the demo asks for (see the header).
    SDL_GL_ResetAttributes();
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_COMPATIBILITY);
    SDL_GL_SetAttribute(SDL_GL_RED_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_GREEN_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_BLUE_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_ALPHA_SIZE, 0);
    SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, 16);
    SDL_GL_SetAttribute(SDL_GL_STENCIL_SIZE, 0);
    SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
    const Uint32 flags = SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN |
                         (fullscreenMode_ ? SDL_WINDOW_FULLSCREEN : SDL_WINDOW_RESIZABLE);
    // Windowed, the client area is the requested size with its outer corner
    // at the screen's top left (the window manager adds the frame).
    window_ = SDL_CreateWindow(request.title, 0, 0, request.width, request.height, flags);
    if (window_ == nullptr) {
        std::fprintf(stderr, "vandrel: cannot create the window: %s\n", SDL_GetError());
        return OpenStep::Create;
    }
    // A GL-capable window already loads the GL driver (to choose its visual),
    // and SDL unloads it again with the last window: pin it now, so it stays
    // for the rest of the process and a leak checker at exit can still name
    // the driver's own leftovers.
    KeepLoadedLibrariesLoaded();
    if (fullscreenMode_ && SDL_SetWindowDisplayMode(window_, &*fullscreenMode_) != 0) {
        std::fprintf(stderr, "vandrel: cannot set the full-screen mode: %s\n", SDL_GetError());
        return OpenStep::Create;
    }
    std::fprintf(stderr, "vandrel: window \"%s\" %dx%d %s\n", request.title, request.width,
                 request.height, fullscreenMode_ ? "full-screen" : "framed");

    context_ = SDL_GL_CreateContext(window_);
    if (context_ == nullptr) {
        std::fprintf(stderr, "vandrel: cannot create an OpenGL context: %s\n", SDL_GetError());
        return OpenStep::Context;
    }
    KeepLoadedLibrariesLoaded();
    if (SDL_GL_MakeCurrent(window_, context_) != 0) return OpenStep::Activate;

    SDL_ShowWindow(window_);
    SDL_RaiseWindow(window_);
    SDL_SetWindowInputFocus(window_);
    SDL_DisableScreenSaver();
    return std::nullopt;
}

unsigned Sdl2Platform::CloseWindow() {
    unsigned failed = 0;
    if (fullscreenMode_) {
        if (window_ != nullptr) SDL_SetWindowFullscreen(window_, 0);
        fullscreenMode_.reset();
    }
    if (cursorHidden_) {
        SDL_ShowCursor(SDL_ENABLE);
        cursorHidden_ = false;
    }
    if (context_ != nullptr) {
        if (SDL_GL_MakeCurrent(window_, nullptr) != 0) failed |= kReleaseCurrent;
        SDL_GL_DeleteContext(context_);
        context_ = nullptr;
    }
    if (window_ != nullptr) {
        SDL_DestroyWindow(window_);
        window_ = nullptr;
        SDL_EnableScreenSaver();
    }
    onEvent_ = nullptr;
    return failed;
}

std::vector<Event> Sdl2Platform::EventsOf(const SDL_Event &event, intptr_t *parameter) const {
    using Kind = Event::Kind;
    *parameter = 0;
    std::vector<Event> events;
    switch (event.type) {
        case SDL_WINDOWEVENT: {
            if (window_ == nullptr || event.window.windowID != SDL_GetWindowID(window_)) break;
            const auto activate = [&](bool active, bool minimised) {
                Event e{Kind::Activate};
                e.minimised = minimised;
                // The home platform's parameter: active state, minimised flag above it.
                *parameter = (active ? 1 : 0) | (minimised ? 0x10000 : 0);
                events.push_back(e);
            };
            const auto resize = [&](int width, int height) {
                Event e{Kind::Resize};
                e.width = width;
                e.height = height;
                events.push_back(e);
            };
            switch (event.window.event) {
                case SDL_WINDOWEVENT_FOCUS_GAINED:
                    activate(true, false);
                    break;
                case SDL_WINDOWEVENT_FOCUS_LOST:
                    activate(false, (SDL_GetWindowFlags(window_) & SDL_WINDOW_MINIMIZED) != 0);
                    break;
                case SDL_WINDOWEVENT_MINIMIZED:
                    activate(false, true);
                    resize(0, 0);
                    break;
                case SDL_WINDOWEVENT_RESTORED: {
                    int w = 0, h = 0;
                    SDL_GetWindowSize(window_, &w, &h);
                    activate(true, false);
                    resize(w, h);
                    break;
                }
                case SDL_WINDOWEVENT_SIZE_CHANGED:
                    resize(event.window.data1, event.window.data2);
                    break;
                case SDL_WINDOWEVENT_CLOSE:
                    events.push_back(Event{Kind::Close});
                    break;
                default:
                    break;
            }
            break;
        }
        case SDL_KEYDOWN:
        case SDL_KEYUP: {
            const uint8_t key = VirtualKeyFromSdl(event.key.keysym.sym);
            if (key == 0) break;
            *parameter = key;
            const bool down = event.type == SDL_KEYDOWN;
            // Keys pressed with Alt, Alt itself and F10 are the system's, not
            // the demo's; Alt+F4 closes the window.
            if ((event.key.keysym.mod & KMOD_ALT) != 0 || key == keys::Menu || key == keys::F10) {
                if (down && key == keys::F4) events.push_back(Event{Kind::Close});
                break;
            }
            Event e{down ? Kind::KeyDown : Kind::KeyUp};
            e.key = key;
            events.push_back(e);
            break;
        }
        case SDL_QUIT:
            // Asked to end from outside (a signal): close the window as a
            // user would, so the display is restored on the way out.
            events.push_back(Event{Kind::Close});
            break;
        default:
            break;
    }
    return events;
}

bool Sdl2Platform::PollMessage(Message *message) {
    // SDL's events that mean nothing to the window (pointer motion, exposure,
    // ...) are passed over within the same poll, as a window procedure's
    // default handling would take them: they neither use up a pass of the
    // loop nor change the last message's parameter.
    SDL_Event event;
    while (videoStarted_ && SDL_PollEvent(&event)) {
        intptr_t parameter = 0;
        const std::vector<Event> events = EventsOf(event, &parameter);
        if (events.empty() && event.type != SDL_KEYDOWN && event.type != SDL_KEYUP) continue;
        *message = Message{false, parameter};
        for (const Event &e : events)
            if (onEvent_ != nullptr) onEvent_(e);
        return true;
    }
    // The quit comes when nothing else waits.
    if (!quitCode_) return false;
    *message = Message{true, *quitCode_};
    quitCode_.reset();
    return true;
}

void Sdl2Platform::PostQuit(int code) { quitCode_ = code; }

void Sdl2Platform::Present() {
    if (window_ != nullptr) SDL_GL_SwapWindow(window_);
}

void Sdl2Platform::Exit(int code) { std::exit(code); }

Answer Sdl2Platform::ShowMessageBox(const char *text, const char *caption, Buttons buttons,
                                    Icon icon) {
    // The platform's default caption for boxes that bring none.
    const char *title = caption != nullptr ? caption : "Error";
    std::fprintf(stderr, "vandrel: message box \"%s\": %s\n", title, text);

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
    data.flags = SDL_MESSAGEBOX_BUTTONS_LEFT_TO_RIGHT;
    if (icon == Icon::Exclamation) data.flags |= SDL_MESSAGEBOX_WARNING;
    if (icon == Icon::Stop) data.flags |= SDL_MESSAGEBOX_ERROR;
    if (icon == Icon::Information) data.flags |= SDL_MESSAGEBOX_INFORMATION;
    data.title = title;
    data.message = text;
    const bool yesNo = buttons == Buttons::YesNo;
    data.numbuttons = yesNo ? 2 : 1;
    data.buttons = yesNo ? yesNoButtons : okButtons;

    int chosen = -1;
    if (SDL_ShowMessageBox(&data, &chosen) != 0) {
        std::fprintf(stderr, "vandrel: the message box could not be shown: %s\n", SDL_GetError());
        return Answer::Failed;
    }
    if (chosen == kYes) return Answer::Yes;
    // Closed without a button counts as not Yes.
    return yesNo ? Answer::No : Answer::Ok;
}

}  // namespace platform::sdl2

namespace platform {

Platform &NativePlatform() {
    // Registered first so it runs last at exit, after the platform below has
    // closed what it opened; this also holds for the exit taken from inside
    // a frame, where nothing is torn down before.
    static const bool sdlQuitRegistered = std::atexit([] { SDL_Quit(); }) == 0;
    (void)sdlQuitRegistered;
    static sdl2::Sdl2Platform platform;
    return platform;
}

}  // namespace platform
