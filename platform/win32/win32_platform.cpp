#include "platform/win32/win32_platform.h"

#include "platform/native.h"

#include <cstdio>
#include <cstdlib>

namespace platform::win32 {
namespace {

// The platform whose window is open: Windows calls the window procedure
// without it.
Win32Platform *windowOwner = nullptr;

void Deliver(EventHandler handler, const Event &event) {
    if (handler != nullptr) handler(event);
}

}  // namespace

PIXELFORMATDESCRIPTOR PixelFormatRequest(int bits) {
    PIXELFORMATDESCRIPTOR pfd{};
    pfd.nSize = sizeof pfd;
    pfd.nVersion = 1;
    pfd.dwFlags = PFD_DRAW_TO_WINDOW | PFD_SUPPORT_OPENGL | PFD_DOUBLEBUFFER;
    pfd.iPixelType = PFD_TYPE_RGBA;
    pfd.cColorBits = static_cast<BYTE>(bits);
    pfd.cDepthBits = 16;
    pfd.iLayerType = PFD_MAIN_PLANE;
    return pfd;
}

WindowStyles StylesFor(bool fullscreen) {
    constexpr DWORD kClip = WS_CLIPSIBLINGS | WS_CLIPCHILDREN;
    if (fullscreen) return {WS_EX_APPWINDOW, WS_POPUP, WS_POPUP | kClip};
    return {WS_EX_APPWINDOW | WS_EX_WINDOWEDGE, WS_OVERLAPPEDWINDOW, WS_OVERLAPPEDWINDOW | kClip};
}

DEVMODEA DisplayModeRequest(int width, int height, int bits) {
    DEVMODEA mode{};
    mode.dmSize = sizeof mode;
    mode.dmPelsWidth = static_cast<DWORD>(width);
    mode.dmPelsHeight = static_cast<DWORD>(height);
    mode.dmBitsPerPel = static_cast<DWORD>(bits);
    mode.dmFields = DM_BITSPERPEL | DM_PELSWIDTH | DM_PELSHEIGHT;
    return mode;
}

UINT MessageBoxStyle(Buttons buttons, Icon icon) {
    UINT style = buttons == Buttons::YesNo ? MB_YESNO : MB_OK;
    if (icon == Icon::Exclamation) style |= MB_ICONEXCLAMATION;
    if (icon == Icon::Stop) style |= MB_ICONSTOP;
    if (icon == Icon::Information) style |= MB_ICONINFORMATION;
    return style;
}

Win32Platform::~Win32Platform() {
    if (windowOwner == this) windowOwner = nullptr;
}

LRESULT CALLBACK Win32Platform::WindowProc(HWND window, UINT message, WPARAM wParam,
                                           LPARAM lParam) {
    const EventHandler handler = windowOwner != nullptr ? windowOwner->onEvent_ : nullptr;
    using Kind = Event::Kind;
    Event event;
    switch (message) {
        case WM_ACTIVATE:
            // Only the minimised flag (the high word) counts.
            event.kind = Kind::Activate;
            event.minimised = HIWORD(wParam) != 0;
            Deliver(handler, event);
            return 0;
        case WM_SYSCOMMAND:
            // No screen saver and no monitor power saving through this window.
            if (wParam == SC_SCREENSAVE || wParam == SC_MONITORPOWER) return 0;
            break;
        case WM_CLOSE:
            Deliver(handler, Event{Kind::Close});
            return 0;
        case WM_KEYDOWN:
        case WM_KEYUP:
            event.kind = message == WM_KEYDOWN ? Kind::KeyDown : Kind::KeyUp;
            event.key = wParam;
            Deliver(handler, event);
            return 0;
        case WM_SIZE:
            event.kind = Kind::Resize;
            event.width = LOWORD(lParam);
            event.height = HIWORD(lParam);
            Deliver(handler, event);
            return 0;
        default:
            break;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

std::optional<OpenStep> Win32Platform::OpenWindow(const WindowRequest &request) {
    windowOwner = this;
    onEvent_ = request.onEvent;
    // A registration left by a refused display mode is taken as it is.
    if (!registered_) {
        instance_ = GetModuleHandleA(nullptr);
        WNDCLASSA wc{};
        wc.style = CS_HREDRAW | CS_VREDRAW | CS_OWNDC;
        wc.lpfnWndProc = WindowProc;
        wc.hInstance = instance_;
        wc.hIcon = LoadIconA(nullptr, MAKEINTRESOURCEA(32517));     // IDI_WINLOGO
        wc.hCursor = LoadCursorA(nullptr, MAKEINTRESOURCEA(32512));  // IDC_ARROW
        wc.lpszClassName = kClassName;
        if (RegisterClassA(&wc) == 0) {
            std::fprintf(stderr, "vandrel: cannot register the window class (error %lu)\n",
                         GetLastError());
            return OpenStep::Register;
        }
        registered_ = true;
    }

    if (request.fullscreen) {
        DEVMODEA mode = DisplayModeRequest(request.width, request.height, request.bits);
        const LONG result = ChangeDisplaySettingsA(&mode, CDS_FULLSCREEN);
        if (result != DISP_CHANGE_SUCCESSFUL) {
            std::fprintf(stderr, "vandrel: the display refuses %dx%d at %d bits per pixel (%ld)\n",
                         request.width, request.height, request.bits, result);
            return OpenStep::DisplayMode;
        }
        std::fprintf(stderr, "vandrel: full-screen display mode %dx%d at %d bits per pixel\n",
                     request.width, request.height, request.bits);
        fullscreen_ = true;
        ShowCursor(FALSE);
    }
    const WindowStyles styles = StylesFor(fullscreen_);
    RECT rect{0, 0, request.width, request.height};
    AdjustWindowRectEx(&rect, styles.style, FALSE, styles.exStyle);
    window_ = CreateWindowExA(styles.exStyle, kClassName, request.title,
                              styles.createStyle, 0, 0,
                              rect.right - rect.left, rect.bottom - rect.top, nullptr, nullptr,
                              instance_, nullptr);
    if (window_ == nullptr) {
        std::fprintf(stderr, "vandrel: cannot create the window (error %lu)\n", GetLastError());
        return OpenStep::Create;
    }
    RECT client{};
    GetClientRect(window_, &client);
    POINT origin{0, 0};
    ClientToScreen(window_, &origin);
    std::fprintf(stderr, "vandrel: window \"%s\" %ldx%ld %s, client area at (%ld, %ld)\n",
                 request.title, client.right - client.left, client.bottom - client.top,
                 fullscreen_ ? "full-screen" : "framed", origin.x, origin.y);

    // Filled once: later creations keep the first request's colour depth.
    if (pixelFormat_.nSize == 0) pixelFormat_ = PixelFormatRequest(request.bits);
    dc_ = GetDC(window_);
    if (dc_ == nullptr) return OpenStep::Device;
    // The format Windows chooses is taken as it is.
    const int format = ChoosePixelFormat(dc_, &pixelFormat_);
    if (format == 0) return OpenStep::ChooseFormat;
    if (!SetPixelFormat(dc_, format, &pixelFormat_)) return OpenStep::SetFormat;
    rc_ = wglCreateContext(dc_);
    if (rc_ == nullptr) return OpenStep::Context;
    if (!wglMakeCurrent(dc_, rc_)) return OpenStep::Activate;

    ShowWindow(window_, SW_SHOW);
    SetForegroundWindow(window_);
    SetFocus(window_);
    return std::nullopt;
}

unsigned Win32Platform::CloseWindow() {
    unsigned failed = 0;
    if (fullscreen_) {
        ChangeDisplaySettingsA(nullptr, 0);
        ShowCursor(TRUE);
        fullscreen_ = false;
    }
    if (rc_ != nullptr) {
        if (!wglMakeCurrent(nullptr, nullptr)) failed |= kReleaseCurrent;
        if (!wglDeleteContext(rc_)) failed |= kDeleteContext;
        rc_ = nullptr;
    }
    if (dc_ != nullptr) {
        if (!ReleaseDC(window_, dc_)) failed |= kReleaseDevice;
        dc_ = nullptr;
    }
    if (window_ != nullptr) {
        if (!DestroyWindow(window_)) failed |= kDestroyWindow;
        window_ = nullptr;
    }
    if (!UnregisterClassA(kClassName, instance_)) failed |= kUnregister;
    registered_ = false;
    return failed;
}

bool Win32Platform::PollMessage(Message *message) {
    // The record keeps the last message taken, as the loop's own record does.
    if (!PeekMessageA(&message_, nullptr, 0, 0, PM_REMOVE)) return false;
    message->quit = message_.message == WM_QUIT;
    message->parameter = static_cast<intptr_t>(message_.wParam);
    if (!message->quit) {
        TranslateMessage(&message_);
        DispatchMessageA(&message_);
    }
    return true;
}

void Win32Platform::PostQuit(int code) { PostQuitMessage(code); }

void Win32Platform::Present() { SwapBuffers(dc_); }

Answer Win32Platform::ShowMessageBox(const char *text, const char *caption, Buttons buttons,
                                     Icon icon) {
    if (caption != nullptr)
        std::fprintf(stderr, "vandrel: message box \"%s\": %s\n", caption, text);
    else
        std::fprintf(stderr, "vandrel: message box (default caption): %s\n", text);
    std::fflush(stderr);
    switch (MessageBoxA(nullptr, text, caption, MessageBoxStyle(buttons, icon))) {
        case 0:
            return Answer::Failed;
        case IDYES:
            return Answer::Yes;
        case IDOK:
            return Answer::Ok;
        default:
            // Closing a Yes/No box by other means counts as not Yes.
            return buttons == Buttons::YesNo ? Answer::No : Answer::Ok;
    }
}

int64_t Win32Platform::CounterFrequency() {
    LARGE_INTEGER frequency{};
    QueryPerformanceFrequency(&frequency);
    return frequency.QuadPart;
}

int64_t Win32Platform::CounterNow() {
    LARGE_INTEGER now{};
    QueryPerformanceCounter(&now);
    return now.QuadPart;
}

void Win32Platform::Exit(int code) { std::exit(code); }

}  // namespace platform::win32

namespace platform {

Platform &NativePlatform() {
    static win32::Win32Platform platform;
    return platform;
}

}  // namespace platform
