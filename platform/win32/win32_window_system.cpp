#include "platform/win32/win32_window_system.h"

#include <cctype>
#include <cstdio>
#include <map>
#include <string>

namespace platform::win32 {

// The demo's codes are Windows' own; these checks keep them so.
static_assert(static_cast<UINT>(MessageKind::Size) == WM_SIZE);
static_assert(static_cast<UINT>(MessageKind::Activate) == WM_ACTIVATE);
static_assert(static_cast<UINT>(MessageKind::Close) == WM_CLOSE);
static_assert(static_cast<UINT>(MessageKind::Quit) == WM_QUIT);
static_assert(static_cast<UINT>(MessageKind::KeyDown) == WM_KEYDOWN);
static_assert(static_cast<UINT>(MessageKind::KeyUp) == WM_KEYUP);
static_assert(static_cast<UINT>(MessageKind::Char) == WM_CHAR);
static_assert(static_cast<UINT>(MessageKind::SysKeyDown) == WM_SYSKEYDOWN);
static_assert(static_cast<UINT>(MessageKind::SysKeyUp) == WM_SYSKEYUP);
static_assert(static_cast<UINT>(MessageKind::SysCommand) == WM_SYSCOMMAND);
static_assert(syscommand::Minimize == SC_MINIMIZE && syscommand::Close == SC_CLOSE);
static_assert(syscommand::ScreenSave == SC_SCREENSAVE);
static_assert(syscommand::MonitorPower == SC_MONITORPOWER);
static_assert(classstyle::VerticalRedraw == CS_VREDRAW);
static_assert(classstyle::HorizontalRedraw == CS_HREDRAW);
static_assert(classstyle::OwnDeviceContext == CS_OWNDC);
static_assert(windowstyle::Popup == WS_POPUP);
static_assert(windowstyle::ClipSiblings == WS_CLIPSIBLINGS);
static_assert(windowstyle::ClipChildren == WS_CLIPCHILDREN);
static_assert(windowstyle::OverlappedWindow == WS_OVERLAPPEDWINDOW);
static_assert(windowstyle::ExWindowEdge == WS_EX_WINDOWEDGE);
static_assert(windowstyle::ExAppWindow == WS_EX_APPWINDOW);
static_assert(pixelformat::DrawToWindow == PFD_DRAW_TO_WINDOW);
static_assert(pixelformat::SupportOpenGL == PFD_SUPPORT_OPENGL);
static_assert(pixelformat::DoubleBuffer == PFD_DOUBLEBUFFER);
static_assert(pixelformat::TypeRgba == PFD_TYPE_RGBA);
static_assert(pixelformat::MainPlane == PFD_MAIN_PLANE);
static_assert(kSystemIconWinLogo == 32517 && kSystemCursorArrow == 32512);
static_assert(sizeof(PIXELFORMATDESCRIPTOR) == 40);

namespace {

// The demo's procedure of every class registered here, by class atom.
std::map<ATOM, WindowProc> &ClassProcedures() {
    static std::map<ATOM, WindowProc> procedures;
    return procedures;
}

HWND ToHwnd(WindowHandle window) { return reinterpret_cast<HWND>(window); }
HDC ToHdc(DeviceContextHandle dc) { return reinterpret_cast<HDC>(dc); }
HGLRC ToHglrc(RenderContextHandle rc) { return reinterpret_cast<HGLRC>(rc); }
HINSTANCE ToHinstance(ModuleHandle module) { return reinterpret_cast<HINSTANCE>(module); }

const char *OrNothing(const char *text) { return text != nullptr ? text : ""; }

// Class names compare without regard to case, as Windows compares them.
std::string ClassKey(const char *name) {
    std::string key = OrNothing(name);
    for (char &c : key) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return key;
}

}  // namespace

PIXELFORMATDESCRIPTOR ToPixelFormatDescriptor(const PixelFormatDescriptor &request) {
    PIXELFORMATDESCRIPTOR pfd{};
    pfd.nSize = request.size;
    pfd.nVersion = request.version;
    pfd.dwFlags = request.flags;
    pfd.iPixelType = request.pixelType;
    pfd.cColorBits = request.colorBits;
    pfd.cRedBits = request.redBits;
    pfd.cRedShift = request.redShift;
    pfd.cGreenBits = request.greenBits;
    pfd.cGreenShift = request.greenShift;
    pfd.cBlueBits = request.blueBits;
    pfd.cBlueShift = request.blueShift;
    pfd.cAlphaBits = request.alphaBits;
    pfd.cAlphaShift = request.alphaShift;
    pfd.cAccumBits = request.accumBits;
    pfd.cAccumRedBits = request.accumRedBits;
    pfd.cAccumGreenBits = request.accumGreenBits;
    pfd.cAccumBlueBits = request.accumBlueBits;
    pfd.cAccumAlphaBits = request.accumAlphaBits;
    pfd.cDepthBits = request.depthBits;
    pfd.cStencilBits = request.stencilBits;
    pfd.cAuxBuffers = request.auxBuffers;
    pfd.iLayerType = request.layerType;
    pfd.bReserved = request.reserved;
    pfd.dwLayerMask = request.layerMask;
    pfd.dwVisibleMask = request.visibleMask;
    pfd.dwDamageMask = request.damageMask;
    return pfd;
}

DEVMODEA ToDevMode(const DisplayMode &mode) {
    DEVMODEA devMode{};
    devMode.dmSize = sizeof devMode;
    devMode.dmPelsWidth = static_cast<DWORD>(mode.width);
    devMode.dmPelsHeight = static_cast<DWORD>(mode.height);
    devMode.dmBitsPerPel = static_cast<DWORD>(mode.bitsPerPixel);
    devMode.dmFields = DM_BITSPERPEL | DM_PELSWIDTH | DM_PELSHEIGHT;
    return devMode;
}

UINT MessageBoxStyle(MessageBoxButtons buttons, MessageBoxIcon icon) {
    UINT style = buttons == MessageBoxButtons::YesNo ? MB_YESNO : MB_OK;
    switch (icon) {
        case MessageBoxIcon::Exclamation:
            style |= MB_ICONEXCLAMATION;
            break;
        case MessageBoxIcon::Stop:
            style |= MB_ICONSTOP;
            break;
        case MessageBoxIcon::Information:
            style |= MB_ICONINFORMATION;
            break;
        case MessageBoxIcon::None:
            break;
    }
    return style;
}

LRESULT CALLBACK Win32WindowSystem::ClassProcedure(HWND window, UINT message, WPARAM wParam,
                                                   LPARAM lParam) {
    const auto atom = static_cast<ATOM>(GetClassWord(window, GCW_ATOM));
    const auto found = ClassProcedures().find(atom);
    if (found == ClassProcedures().end() || found->second == nullptr)
        return DefWindowProcA(window, message, wParam, lParam);
    return found->second(reinterpret_cast<WindowHandle>(window), static_cast<MessageKind>(message),
                         wParam, lParam);
}

ModuleHandle Win32WindowSystem::ProgramModule() {
    return reinterpret_cast<ModuleHandle>(GetModuleHandleA(nullptr));
}

bool Win32WindowSystem::RegisterWindowClass(const WindowClass &windowClass) {
    WNDCLASSA wc{};
    wc.style = windowClass.style;
    wc.lpfnWndProc = ClassProcedure;
    wc.cbClsExtra = windowClass.classExtraBytes;
    wc.cbWndExtra = windowClass.windowExtraBytes;
    wc.hInstance = ToHinstance(windowClass.instance);
    wc.hIcon = windowClass.systemIcon != 0
                   ? LoadIconA(nullptr, MAKEINTRESOURCEA(windowClass.systemIcon))
                   : nullptr;
    wc.hCursor = windowClass.systemCursor != 0
                     ? LoadCursorA(nullptr, MAKEINTRESOURCEA(windowClass.systemCursor))
                     : nullptr;
    wc.hbrBackground = windowClass.backgroundBrush ? GetSysColorBrush(COLOR_WINDOW) : nullptr;
    wc.lpszMenuName = windowClass.menuName;
    wc.lpszClassName = windowClass.name;
    const ATOM atom = RegisterClassA(&wc);
    if (atom == 0) {
        std::fprintf(stderr, "vandrel: cannot register the window class \"%s\" (error %lu)\n",
                     OrNothing(windowClass.name), GetLastError());
        return false;
    }
    ClassProcedures()[atom] = windowClass.procedure;
    classAtoms_[ClassKey(windowClass.name)] = atom;
    return true;
}

bool Win32WindowSystem::UnregisterWindowClass(const char *name, ModuleHandle instance) {
    if (!UnregisterClassA(name, ToHinstance(instance))) return false;
    const auto atom = classAtoms_.find(ClassKey(name));
    if (atom != classAtoms_.end()) {
        ClassProcedures().erase(atom->second);
        classAtoms_.erase(atom);
    }
    return true;
}

bool Win32WindowSystem::SwitchDisplayMode(const DisplayMode &mode) {
    DEVMODEA devMode = ToDevMode(mode);
    const LONG result = ChangeDisplaySettingsA(&devMode, CDS_FULLSCREEN);
    if (result != DISP_CHANGE_SUCCESSFUL) {
        std::fprintf(stderr, "vandrel: the display refuses %dx%d at %d bits per pixel (%ld)\n",
                     mode.width, mode.height, mode.bitsPerPixel, result);
        return false;
    }
    std::fprintf(stderr, "vandrel: full-screen display mode %dx%d at %d bits per pixel\n",
                 mode.width, mode.height, mode.bitsPerPixel);
    return true;
}

void Win32WindowSystem::RestoreDisplayMode() { ChangeDisplaySettingsA(nullptr, 0); }

bool Win32WindowSystem::AdjustWindowRectangle(Rect *rect, uint32_t style, uint32_t exStyle) {
    RECT r{rect->left, rect->top, rect->right, rect->bottom};
    if (!AdjustWindowRectEx(&r, style, FALSE, exStyle)) return false;
    *rect = Rect{r.left, r.top, r.right, r.bottom};
    return true;
}

WindowHandle Win32WindowSystem::CreateAppWindow(const WindowCreation &creation) {
    HWND window = CreateWindowExA(creation.exStyle, creation.className, creation.title,
                                  creation.style, creation.x, creation.y, creation.width,
                                  creation.height, nullptr, nullptr, ToHinstance(creation.instance),
                                  nullptr);
    if (window == nullptr) {
        std::fprintf(stderr, "vandrel: cannot create the window (error %lu)\n", GetLastError());
        return nullptr;
    }
    RECT client{};
    GetClientRect(window, &client);
    POINT origin{0, 0};
    ClientToScreen(window, &origin);
    std::fprintf(stderr, "vandrel: window \"%s\" %ldx%ld %s, client area at (%ld, %ld)\n",
                 OrNothing(creation.title), client.right - client.left,
                 client.bottom - client.top,
                 (creation.style & WS_POPUP) != 0 ? "full-screen" : "framed", origin.x, origin.y);
    return reinterpret_cast<WindowHandle>(window);
}

bool Win32WindowSystem::DestroyAppWindow(WindowHandle window) {
    return DestroyWindow(ToHwnd(window)) != FALSE;
}

DeviceContextHandle Win32WindowSystem::AcquireDeviceContext(WindowHandle window) {
    return reinterpret_cast<DeviceContextHandle>(GetDC(ToHwnd(window)));
}

bool Win32WindowSystem::ReleaseDeviceContext(WindowHandle window, DeviceContextHandle dc) {
    return ReleaseDC(ToHwnd(window), ToHdc(dc)) != 0;
}

int Win32WindowSystem::ChoosePixelFormatIndex(DeviceContextHandle dc,
                                              const PixelFormatDescriptor &request) {
    const PIXELFORMATDESCRIPTOR pfd = ToPixelFormatDescriptor(request);
    return ChoosePixelFormat(ToHdc(dc), &pfd);
}

bool Win32WindowSystem::ApplyPixelFormat(DeviceContextHandle dc, int index,
                                         const PixelFormatDescriptor &request) {
    const PIXELFORMATDESCRIPTOR pfd = ToPixelFormatDescriptor(request);
    return SetPixelFormat(ToHdc(dc), index, &pfd) != FALSE;
}

RenderContextHandle Win32WindowSystem::CreateRenderContext(DeviceContextHandle dc) {
    return reinterpret_cast<RenderContextHandle>(wglCreateContext(ToHdc(dc)));
}

bool Win32WindowSystem::MakeContextCurrent(DeviceContextHandle dc, RenderContextHandle rc) {
    return wglMakeCurrent(ToHdc(dc), ToHglrc(rc)) != FALSE;
}

bool Win32WindowSystem::DeleteRenderContext(RenderContextHandle rc) {
    return wglDeleteContext(ToHglrc(rc)) != FALSE;
}

void Win32WindowSystem::ShowAppWindow(WindowHandle window) { ShowWindow(ToHwnd(window), SW_SHOW); }

void Win32WindowSystem::BringToForeground(WindowHandle window) {
    SetForegroundWindow(ToHwnd(window));
}

void Win32WindowSystem::GiveKeyboardFocus(WindowHandle window) { SetFocus(ToHwnd(window)); }

int Win32WindowSystem::ChangeCursorVisibility(bool show) { return ShowCursor(show ? TRUE : FALSE); }

bool Win32WindowSystem::PollMessage(Message *message) {
    MSG msg;
    if (!PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) return false;
    lastMessage_ = msg;
    message->window = reinterpret_cast<WindowHandle>(msg.hwnd);
    message->kind = static_cast<MessageKind>(msg.message);
    message->wParam = msg.wParam;
    message->lParam = msg.lParam;
    return true;
}

MSG Win32WindowSystem::ToMsg(const Message &message) const {
    MSG msg = lastMessage_;
    if (msg.hwnd != ToHwnd(message.window) || msg.message != static_cast<UINT>(message.kind) ||
        msg.wParam != message.wParam || msg.lParam != message.lParam) {
        msg = MSG{};
        msg.hwnd = ToHwnd(message.window);
        msg.message = static_cast<UINT>(message.kind);
        msg.wParam = message.wParam;
        msg.lParam = message.lParam;
        msg.time = GetMessageTime();
    }
    return msg;
}

void Win32WindowSystem::TranslateKeys(const Message &message) {
    const MSG msg = ToMsg(message);
    TranslateMessage(&msg);
}

intptr_t Win32WindowSystem::DispatchToWindow(const Message &message) {
    const MSG msg = ToMsg(message);
    return DispatchMessageA(&msg);
}

void Win32WindowSystem::PostQuit(int exitCode) { PostQuitMessage(exitCode); }

intptr_t Win32WindowSystem::DefaultWindowProc(WindowHandle window, MessageKind kind,
                                              uintptr_t wParam, intptr_t lParam) {
    return DefWindowProcA(ToHwnd(window), static_cast<UINT>(kind), wParam, lParam);
}

bool Win32WindowSystem::PresentBackBuffer(DeviceContextHandle dc) {
    return SwapBuffers(ToHdc(dc)) != FALSE;
}

MessageBoxAnswer Win32WindowSystem::ShowMessageBox(const char *text, const char *caption,
                                                   MessageBoxButtons buttons,
                                                   MessageBoxIcon icon) {
    if (caption != nullptr)
        std::fprintf(stderr, "vandrel: message box \"%s\": %s\n", caption, OrNothing(text));
    else
        std::fprintf(stderr, "vandrel: message box (default caption): %s\n", OrNothing(text));
    std::fflush(stderr);
    switch (MessageBoxA(nullptr, text, caption, MessageBoxStyle(buttons, icon))) {
        case IDOK:
            return MessageBoxAnswer::Ok;
        case IDYES:
            return MessageBoxAnswer::Yes;
        case IDNO:
            return MessageBoxAnswer::No;
        case 0:
            return MessageBoxAnswer::Failed;
        default:
            // Closing a Yes/No box by other means counts as not Yes.
            return buttons == MessageBoxButtons::YesNo ? MessageBoxAnswer::No
                                                       : MessageBoxAnswer::Ok;
    }
}

}  // namespace platform::win32
