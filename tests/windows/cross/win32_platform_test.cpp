// The Win32 window system against the real system (under Wine on a private
// 640x480 X server): the records it hands Windows, the demo's full-screen
// window as Windows sees it, and the counter.
#include "app/demo_main.h"
#include "app/demo_window.h"
#include "demo/sequencer.h"
#include "demo/start_demo.h"
#include "platform/opengl.h"
#include "platform/win32/win32_counter.h"
#include "platform/win32/win32_window_system.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

// The demo's side, as the shell sees it.
SoundStream *soundtrackStream = nullptr;
bool StartDemo() { return true; }
int StepFrame() { return 1; }

namespace {

using namespace platform;

TEST(Win32Records, PixelFormatDisplayModeAndBoxStylesAreWindowsOwn) {
    // Every field a different value, so a swapped or dropped field shows.
    PixelFormatDescriptor d{.size = 40, .version = 1, .flags = 0x25, .pixelType = 1};
    uint8_t v = 2;
    for (uint8_t *field : {&d.colorBits, &d.redBits, &d.redShift, &d.greenBits, &d.greenShift, &d.blueBits,
                           &d.blueShift, &d.alphaBits, &d.alphaShift, &d.accumBits, &d.accumRedBits,
                           &d.accumGreenBits, &d.accumBlueBits, &d.accumAlphaBits, &d.depthBits,
                           &d.stencilBits, &d.auxBuffers, &d.layerType, &d.reserved})
        *field = v++;
    d.layerMask = 0x1111, d.visibleMask = 0x2222, d.damageMask = 0x3333;
    const PIXELFORMATDESCRIPTOR p = win32::ToPixelFormatDescriptor(d);
    const std::vector<int> got = {
        p.nSize,          p.nVersion,        static_cast<int>(p.dwFlags), p.iPixelType,     p.cColorBits,
        p.cRedBits,       p.cRedShift,       p.cGreenBits,     p.cGreenShift,    p.cBlueBits,
        p.cBlueShift,     p.cAlphaBits,      p.cAlphaShift,    p.cAccumBits,     p.cAccumRedBits,
        p.cAccumGreenBits, p.cAccumBlueBits, p.cAccumAlphaBits, p.cDepthBits,    p.cStencilBits,
        p.cAuxBuffers,    p.iLayerType,      p.bReserved,      static_cast<int>(p.dwLayerMask),
        static_cast<int>(p.dwVisibleMask),   static_cast<int>(p.dwDamageMask)};
    std::vector<int> wanted = {40, 1, 0x25, 1};
    for (int i = 2; i <= 20; ++i) wanted.push_back(i);
    wanted.insert(wanted.end(), {0x1111, 0x2222, 0x3333});
    EXPECT_EQ(got, wanted);

    // Size and depth, and nothing else: no refresh rate.
    const DEVMODEA m = win32::ToDevMode(DisplayMode{640, 480, 32});
    EXPECT_EQ(m.dmSize, sizeof(DEVMODEA));
    EXPECT_EQ(std::vector<DWORD>({m.dmPelsWidth, m.dmPelsHeight, m.dmBitsPerPel, m.dmDisplayFrequency}),
              std::vector<DWORD>({640, 480, 32, 0}));
    EXPECT_EQ(m.dmFields, static_cast<DWORD>(DM_BITSPERPEL | DM_PELSWIDTH | DM_PELSHEIGHT));

    using win32::MessageBoxStyle;
    EXPECT_EQ(MessageBoxStyle(MessageBoxButtons::Ok, MessageBoxIcon::None), UINT{MB_OK});
    EXPECT_EQ(MessageBoxStyle(MessageBoxButtons::Ok, MessageBoxIcon::Stop), UINT{MB_ICONSTOP});
    EXPECT_EQ(MessageBoxStyle(MessageBoxButtons::Ok, MessageBoxIcon::Information), UINT{MB_ICONINFORMATION});
    EXPECT_EQ(MessageBoxStyle(MessageBoxButtons::YesNo, MessageBoxIcon::Exclamation),
              UINT{MB_YESNO | MB_ICONEXCLAMATION});
}

// Boxes are noted and answered instead of waiting for a user.
class AnsweringWindows final : public win32::Win32WindowSystem {
public:
    MessageBoxAnswer ShowMessageBox(const char *text, const char *, MessageBoxButtons, MessageBoxIcon) override {
        boxes.push_back(text);
        return MessageBoxAnswer::No;
    }
    std::vector<std::string> boxes;
};

TEST(Win32Shell, TheFullscreenDemoWindowIsOfItsClassFormatAndContextAndClosingUndoesIt) {
    if (GetSystemMetrics(SM_CXSCREEN) != 640 || GetSystemMetrics(SM_CYSCREEN) != 480)
        GTEST_SKIP() << "needs a 640x480 screen";
    AnsweringWindows windows;
    InstallWindowSystem(&windows);
    const int cursor = ShowCursor(TRUE) - 1;
    ShowCursor(FALSE);
    ASSERT_TRUE(OpenDemoWindow("Vandrel", 640, 480, 32, true));
    EXPECT_EQ(windows.boxes, std::vector<std::string>());
    const HWND hwnd = reinterpret_cast<HWND>(mainWindow);
    const HGLRC context = reinterpret_cast<HGLRC>(renderContext);
    const HDC dc = reinterpret_cast<HDC>(deviceContext);

    char className[32] = {};
    GetClassNameA(hwnd, className, sizeof className);
    EXPECT_STREQ(className, "OpenGL");
    EXPECT_EQ(GetClassLongA(hwnd, GCL_STYLE), DWORD{CS_HREDRAW | CS_VREDRAW | CS_OWNDC});
    EXPECT_EQ(GetClassLongA(hwnd, GCL_CBCLSEXTRA) + GetClassLongA(hwnd, GCL_CBWNDEXTRA), 0u);
    EXPECT_EQ(GetClassLongPtrA(hwnd, GCLP_HBRBACKGROUND), 0u);
    EXPECT_EQ(reinterpret_cast<HICON>(GetClassLongPtrA(hwnd, GCLP_HICON)), LoadIconA(nullptr, IDI_WINLOGO));
    EXPECT_EQ(reinterpret_cast<HCURSOR>(GetClassLongPtrA(hwnd, GCLP_HCURSOR)), LoadCursorA(nullptr, IDC_ARROW));
    EXPECT_EQ(reinterpret_cast<HINSTANCE>(GetClassLongPtrA(hwnd, GCLP_HMODULE)), GetModuleHandleA(nullptr));
    EXPECT_EQ(ShowCursor(TRUE) - 1, cursor - 1) << "the cursor is not hidden";
    ShowCursor(FALSE);

    // The context current on the window's own device context, in a
    // double-buffered RGBA format with a depth buffer.
    EXPECT_EQ(wglGetCurrentContext(), context);
    EXPECT_EQ(wglGetCurrentDC(), dc);
    PIXELFORMATDESCRIPTOR chosen{};
    ASSERT_GT(DescribePixelFormat(dc, GetPixelFormat(dc), sizeof chosen, &chosen), 0);
    const DWORD flags = PFD_DOUBLEBUFFER | PFD_SUPPORT_OPENGL | PFD_DRAW_TO_WINDOW;
    EXPECT_EQ(chosen.dwFlags & flags, flags);
    EXPECT_EQ(chosen.iPixelType, PFD_TYPE_RGBA);
    EXPECT_GE(chosen.cDepthBits, 16);

    CloseDemoWindow();
    EXPECT_EQ(windows.boxes, std::vector<std::string>());
    EXPECT_FALSE(IsWindow(hwnd));
    EXPECT_EQ(wglGetCurrentContext(), nullptr);
    EXPECT_FALSE(wglMakeCurrent(nullptr, context)) << "the context still exists";
    WNDCLASSA wc{};
    EXPECT_FALSE(GetClassInfoA(GetModuleHandleA(nullptr), "OpenGL", &wc)) << "the class is still registered";
    EXPECT_EQ(ShowCursor(TRUE) - 1, cursor) << "the cursor was not shown again";
    ShowCursor(FALSE);
    InstallWindowSystem(nullptr);
}

TEST(Win32Counter, KeepsTimeWithTheSystemsTickCount) {
    win32::Win32PerformanceCounter counter;
    const int64_t before = counter.Now();
    const DWORD ticks = GetTickCount();
    Sleep(300);
    const double seconds = static_cast<double>(counter.Now() - before) / static_cast<double>(counter.Frequency());
    EXPECT_NEAR(seconds, (GetTickCount() - ticks) / 1000.0, 0.05);
}

}  // namespace
