// The Win32 platform against the real system (under Wine on a private
// 640x480 X server): the records it hands Windows, the demo's full-screen
// window as Windows sees it once the shell has opened it, and the counter.
#include "app/demo_window.h"
#include "platform/opengl.h"
#include "platform/win32/win32_platform.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

using namespace platform;

TEST(Win32Records, PixelFormatDisplayModeWindowAndBoxStylesAreTheDemos) {
    // RGBA, double-buffered, window, OpenGL, the colour bits and a 16-bit depth buffer; nothing else.
    PIXELFORMATDESCRIPTOR expected{};
    expected.nSize = 40;
    expected.nVersion = 1;
    expected.dwFlags = 0x25;
    expected.iPixelType = PFD_TYPE_RGBA;
    expected.cColorBits = 24;
    expected.cDepthBits = 16;
    expected.iLayerType = PFD_MAIN_PLANE;
    const PIXELFORMATDESCRIPTOR p = win32::PixelFormatRequest(24);
    EXPECT_EQ(std::memcmp(&p, &expected, sizeof p), 0);

    // Size and depth, and nothing else: no refresh rate.
    const DEVMODEA m = win32::DisplayModeRequest(640, 480, 32);
    EXPECT_EQ(m.dmSize, sizeof(DEVMODEA));
    EXPECT_EQ(std::vector<DWORD>({m.dmPelsWidth, m.dmPelsHeight, m.dmBitsPerPel, m.dmDisplayFrequency}),
              std::vector<DWORD>({640, 480, 32, 0}));
    EXPECT_EQ(m.dmFields, static_cast<DWORD>(DM_BITSPERPEL | DM_PELSWIDTH | DM_PELSHEIGHT));

    for (bool fullscreen : {true, false}) {
        const win32::WindowStyles styles = win32::StylesFor(fullscreen);
        const DWORD clip = WS_CLIPSIBLINGS | WS_CLIPCHILDREN;
        EXPECT_EQ(std::vector<DWORD>({styles.exStyle, styles.style, styles.createStyle}),
                  fullscreen ? std::vector<DWORD>({WS_EX_APPWINDOW, WS_POPUP, WS_POPUP | clip})
                             : std::vector<DWORD>({WS_EX_APPWINDOW | WS_EX_WINDOWEDGE, WS_OVERLAPPEDWINDOW,
                                                   WS_OVERLAPPEDWINDOW | clip}));
    }

    using win32::MessageBoxStyle;
    EXPECT_EQ(MessageBoxStyle(Buttons::Ok, Icon::None), UINT{MB_OK});
    EXPECT_EQ(MessageBoxStyle(Buttons::Ok, Icon::Stop), UINT{MB_ICONSTOP});
    EXPECT_EQ(MessageBoxStyle(Buttons::Ok, Icon::Information), UINT{MB_ICONINFORMATION});
    EXPECT_EQ(MessageBoxStyle(Buttons::YesNo, Icon::Exclamation), UINT{MB_YESNO | MB_ICONEXCLAMATION});
}

// Boxes are noted and answered instead of waiting for a user.
class AnsweringPlatform final : public win32::Win32Platform {
public:
    Answer ShowMessageBox(const char *text, const char *, Buttons, Icon) override {
        boxes.push_back(text);
        return Answer::No;
    }
    std::vector<std::string> boxes;
};

// Whether a rendering context was current when the window was shown and
// when it was destroyed: the window shows once its context is current, and
// goes once the context is gone.
std::vector<std::string> watched;
LRESULT CALLBACK Watch(int code, WPARAM wParam, LPARAM lParam) {
    const auto *m = reinterpret_cast<const CWPSTRUCT *>(lParam);
    char name[8] = {};
    GetClassNameA(m->hwnd, name, sizeof name);
    if (code == HC_ACTION && std::string(name) == "OpenGL" &&
        ((m->message == WM_SHOWWINDOW && m->wParam) || m->message == WM_DESTROY))
        watched.push_back(std::string(m->message == WM_DESTROY ? "destroyed" : "shown") +
                          (wglGetCurrentContext() != nullptr ? " with" : " without") + " a current context");
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

TEST(Win32Platform, TheFullscreenDemoWindowIsOfItsClassStyleFormatAndContextAndClosingUndoesIt) {
    if (GetSystemMetrics(SM_CXSCREEN) != 640 || GetSystemMetrics(SM_CYSCREEN) != 480)
        GTEST_SKIP() << "needs a 640x480 screen";
    AnsweringPlatform platform;
    Install(&platform);
    const int cursor = ShowCursor(TRUE) - 1;
    ShowCursor(FALSE);
    const HHOOK hook = SetWindowsHookExA(WH_CALLWNDPROC, Watch, nullptr, GetCurrentThreadId());
    ASSERT_TRUE(OpenDemoWindow("Vandrel", 640, 480, 32, true));
    EXPECT_EQ(platform.boxes, std::vector<std::string>());
    const HWND hwnd = platform.window();

    char className[32] = {};
    GetClassNameA(hwnd, className, sizeof className);
    EXPECT_STREQ(className, "OpenGL");
    EXPECT_EQ(GetClassLongA(hwnd, GCL_STYLE), DWORD{CS_HREDRAW | CS_VREDRAW | CS_OWNDC});
    EXPECT_EQ(GetClassLongA(hwnd, GCL_CBCLSEXTRA) + GetClassLongA(hwnd, GCL_CBWNDEXTRA), 0u);
    EXPECT_EQ(GetClassLongPtrA(hwnd, GCLP_HBRBACKGROUND), 0u);
    EXPECT_EQ(reinterpret_cast<HICON>(GetClassLongPtrA(hwnd, GCLP_HICON)), LoadIconA(nullptr, IDI_WINLOGO));
    EXPECT_EQ(reinterpret_cast<HCURSOR>(GetClassLongPtrA(hwnd, GCLP_HCURSOR)), LoadCursorA(nullptr, IDC_ARROW));
    EXPECT_EQ(reinterpret_cast<HINSTANCE>(GetClassLongPtrA(hwnd, GCLP_HMODULE)), GetModuleHandleA(nullptr));
    const DWORD style = GetWindowLongA(hwnd, GWL_STYLE), exStyle = GetWindowLongA(hwnd, GWL_EXSTYLE);
    const DWORD popup = WS_POPUP | WS_CLIPSIBLINGS | WS_CLIPCHILDREN;
    EXPECT_EQ(style & (popup | WS_OVERLAPPEDWINDOW), popup);
    EXPECT_EQ(exStyle & (WS_EX_APPWINDOW | WS_EX_WINDOWEDGE), DWORD{WS_EX_APPWINDOW});
    RECT outer{};
    GetWindowRect(hwnd, &outer);
    EXPECT_EQ(std::vector<LONG>({outer.left, outer.top, outer.right, outer.bottom}),
              std::vector<LONG>({0, 0, 640, 480}));
    EXPECT_EQ(ShowCursor(TRUE) - 1, cursor - 1) << "the cursor is not hidden";
    ShowCursor(FALSE);

    // The context current on the window's own device context, in a
    // double-buffered RGBA format with a depth buffer.
    const HDC dc = platform.deviceContext();
    const HGLRC context = platform.renderContext();
    EXPECT_EQ(wglGetCurrentContext(), context);
    EXPECT_EQ(wglGetCurrentDC(), dc);
    PIXELFORMATDESCRIPTOR chosen{};
    ASSERT_GT(DescribePixelFormat(dc, GetPixelFormat(dc), sizeof chosen, &chosen), 0);
    const DWORD flags = PFD_DOUBLEBUFFER | PFD_SUPPORT_OPENGL | PFD_DRAW_TO_WINDOW;
    EXPECT_EQ(chosen.dwFlags & flags, flags);
    EXPECT_EQ(chosen.iPixelType, PFD_TYPE_RGBA);
    EXPECT_GE(chosen.cDepthBits, 16);

    // The window's messages as the demo's events (SendMessageA runs the
    // window procedure at once).
    const auto send = [&](UINT message, WPARAM w, LPARAM l) { EXPECT_EQ(SendMessageA(hwnd, message, w, l), 0); };
    send(WM_ACTIVATE, MAKEWPARAM(WA_ACTIVE, TRUE), 0);
    EXPECT_FALSE(windowActive) << "minimised";
    send(WM_ACTIVATE, MAKEWPARAM(WA_INACTIVE, FALSE), 0);
    EXPECT_TRUE(windowActive) << "only minimising counts";
    send(WM_KEYDOWN, VK_F1, 0);
    EXPECT_TRUE(keyDown[VK_F1]);
    send(WM_KEYUP, VK_F1, 0);
    EXPECT_FALSE(keyDown[VK_F1]);
    send(WM_SIZE, SIZE_MINIMIZED, MAKELPARAM(300, 0));
    GLint viewport[4] = {};
    glGetIntegerv(GL_VIEWPORT, viewport);
    EXPECT_EQ(std::vector<GLint>(viewport, viewport + 4), std::vector<GLint>({0, 0, 300, 1}));
    send(WM_CLOSE, 0, 0);
    MSG quit{};
    EXPECT_TRUE(PeekMessageA(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) << "no quit asked for";
    EXPECT_TRUE(IsWindow(hwnd)) << "the loop tears the window down, not the close";

    CloseDemoWindow();
    UnhookWindowsHookEx(hook);
    EXPECT_EQ(watched, std::vector<std::string>({"shown with a current context", "destroyed without a current context"}));
    EXPECT_EQ(platform.boxes, std::vector<std::string>());
    EXPECT_FALSE(IsWindow(hwnd));
    EXPECT_EQ(wglGetCurrentContext(), nullptr);
    EXPECT_FALSE(wglMakeCurrent(nullptr, context)) << "the context still exists";
    WNDCLASSA wc{};
    EXPECT_FALSE(GetClassInfoA(GetModuleHandleA(nullptr), "OpenGL", &wc)) << "the class is still registered";
    EXPECT_EQ(ShowCursor(TRUE) - 1, cursor) << "the cursor was not shown again";
    ShowCursor(FALSE);
    Install(nullptr);
}

TEST(Win32Platform, TheCounterKeepsTimeWithTheSystemsTickCount) {
    win32::Win32Platform platform;
    const int64_t before = platform.CounterNow();
    const DWORD ticks = GetTickCount();
    Sleep(300);
    const double seconds =
        static_cast<double>(platform.CounterNow() - before) / static_cast<double>(platform.CounterFrequency());
    EXPECT_NEAR(seconds, (GetTickCount() - ticks) / 1000.0, 0.05);
}

}  // namespace
