// The Win32 window system against the real system (under Wine on a private
// 640x480 X server when run by the native build): what the demo's window
// steps become in Windows' own records and calls, and what comes back.
#include "platform/opengl.h"
#include "platform/win32/win32_counter.h"
#include "platform/win32/win32_window_system.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

using namespace platform;
using platform::win32::Win32WindowSystem;

constexpr const char *kClassName = "VandrelTestClass";

// What the demo's window procedure saw.
struct Seen {
    MessageKind kind;
    uintptr_t wParam;
    intptr_t lParam;
};
std::vector<Seen> seen;

intptr_t RecordingProc(WindowHandle window, MessageKind kind, uintptr_t wParam, intptr_t lParam) {
    seen.push_back({kind, wParam, lParam});
    return Windows().DefaultWindowProc(window, kind, wParam, lParam);
}

class Win32WindowSystemTest : public ::testing::Test {
protected:
    void SetUp() override {
        InstallWindowSystem(&windows_);
        seen.clear();
    }
    void TearDown() override {
        if (rc_ != nullptr) {
            windows_.MakeContextCurrent(nullptr, nullptr);
            windows_.DeleteRenderContext(rc_);
        }
        if (dc_ != nullptr) windows_.ReleaseDeviceContext(window_, dc_);
        if (window_ != nullptr) windows_.DestroyAppWindow(window_);
        windows_.UnregisterWindowClass(kClassName, windows_.ProgramModule());
        InstallWindowSystem(nullptr);
    }

    WindowClass DemoClass() {
        WindowClass c;
        c.name = kClassName;
        c.style = classstyle::HorizontalRedraw | classstyle::VerticalRedraw |
                  classstyle::OwnDeviceContext;
        c.procedure = RecordingProc;
        c.instance = windows_.ProgramModule();
        c.systemIcon = kSystemIconWinLogo;
        c.systemCursor = kSystemCursorArrow;
        return c;
    }

    // A window as the demo asks for one in windowed mode; smaller than the
    // demo's, so that it fits a 640x480 screen with its frame.
    WindowHandle OpenWindowed(int width = 320, int height = 240) {
        if (!windows_.RegisterWindowClass(DemoClass())) return nullptr;
        const uint32_t exStyle = windowstyle::ExAppWindow | windowstyle::ExWindowEdge;
        Rect rect{0, 0, width, height};
        windows_.AdjustWindowRectangle(&rect, windowstyle::OverlappedWindow, exStyle);
        WindowCreation creation;
        creation.exStyle = exStyle;
        creation.className = kClassName;
        creation.title = "Vandrel test";
        creation.style =
            windowstyle::OverlappedWindow | windowstyle::ClipSiblings | windowstyle::ClipChildren;
        creation.width = rect.right - rect.left;
        creation.height = rect.bottom - rect.top;
        creation.instance = windows_.ProgramModule();
        window_ = windows_.CreateAppWindow(creation);
        return window_;
    }

    static PixelFormatDescriptor DemoPixelFormat() {
        PixelFormatDescriptor d;
        d.size = 40;
        d.version = 1;
        d.flags = pixelformat::DrawToWindow | pixelformat::SupportOpenGL | pixelformat::DoubleBuffer;
        d.pixelType = pixelformat::TypeRgba;
        d.colorBits = 32;
        d.depthBits = 16;
        d.layerType = pixelformat::MainPlane;
        return d;
    }

    // Takes queued messages until one of this kind comes, handing the others
    // to their windows. False when the queue runs dry first.
    bool PollFor(MessageKind kind, Message *out) {
        for (int i = 0; i < 1000; ++i) {
            Message m;
            if (!windows_.PollMessage(&m)) return false;
            if (m.kind == kind) {
                *out = m;
                return true;
            }
            windows_.DispatchToWindow(m);
        }
        return false;
    }

    Win32WindowSystem windows_;
    WindowHandle window_ = nullptr;
    DeviceContextHandle dc_ = nullptr;
    RenderContextHandle rc_ = nullptr;
};

TEST(Win32Records, PixelFormatRequestIsCopiedFieldByField) {
    // Every field a different value, so a swapped or dropped field shows.
    PixelFormatDescriptor d;
    d.size = 40;
    d.version = 1;
    d.flags = 0x25;
    d.pixelType = 1;
    uint8_t v = 2;
    for (uint8_t *field : {&d.colorBits, &d.redBits, &d.redShift, &d.greenBits, &d.greenShift,
                           &d.blueBits, &d.blueShift, &d.alphaBits, &d.alphaShift, &d.accumBits,
                           &d.accumRedBits, &d.accumGreenBits, &d.accumBlueBits,
                           &d.accumAlphaBits, &d.depthBits, &d.stencilBits, &d.auxBuffers,
                           &d.layerType, &d.reserved})
        *field = v++;
    d.layerMask = 0x1111;
    d.visibleMask = 0x2222;
    d.damageMask = 0x3333;

    const PIXELFORMATDESCRIPTOR p = win32::ToPixelFormatDescriptor(d);
    EXPECT_EQ(p.nSize, 40);
    EXPECT_EQ(p.nVersion, 1);
    EXPECT_EQ(p.dwFlags, 0x25u);
    EXPECT_EQ(p.iPixelType, 1);
    const std::vector<int> got = {
        p.cColorBits,     p.cRedBits,       p.cRedShift,     p.cGreenBits,     p.cGreenShift,
        p.cBlueBits,      p.cBlueShift,     p.cAlphaBits,    p.cAlphaShift,    p.cAccumBits,
        p.cAccumRedBits,  p.cAccumGreenBits, p.cAccumBlueBits, p.cAccumAlphaBits, p.cDepthBits,
        p.cStencilBits,   p.cAuxBuffers,    p.iLayerType,    p.bReserved};
    for (size_t i = 0; i < got.size(); ++i) EXPECT_EQ(got[i], static_cast<int>(i + 2)) << "field " << i;
    EXPECT_EQ(p.dwLayerMask, 0x1111u);
    EXPECT_EQ(p.dwVisibleMask, 0x2222u);
    EXPECT_EQ(p.dwDamageMask, 0x3333u);
}

TEST(Win32Records, DisplayModeRequestsSizeAndDepthOnly) {
    const DEVMODEA m = win32::ToDevMode(DisplayMode{640, 480, 32});
    EXPECT_EQ(m.dmSize, sizeof(DEVMODEA));
    EXPECT_EQ(m.dmPelsWidth, 640u);
    EXPECT_EQ(m.dmPelsHeight, 480u);
    EXPECT_EQ(m.dmBitsPerPel, 32u);
    EXPECT_EQ(m.dmFields, static_cast<DWORD>(DM_BITSPERPEL | DM_PELSWIDTH | DM_PELSHEIGHT));
    // No refresh rate and nothing else.
    EXPECT_EQ(m.dmDisplayFrequency, 0u);
    EXPECT_EQ(m.dmDriverExtra, 0);
    EXPECT_EQ(m.dmDisplayFlags, 0u);
}

TEST(Win32Records, MessageBoxStylesAreTheSystemsButtonAndIconFlags) {
    using win32::MessageBoxStyle;
    EXPECT_EQ(MessageBoxStyle(MessageBoxButtons::Ok, MessageBoxIcon::None), 0x00u);
    EXPECT_EQ(MessageBoxStyle(MessageBoxButtons::Ok, MessageBoxIcon::Exclamation), 0x30u);
    EXPECT_EQ(MessageBoxStyle(MessageBoxButtons::Ok, MessageBoxIcon::Stop), 0x10u);
    EXPECT_EQ(MessageBoxStyle(MessageBoxButtons::Ok, MessageBoxIcon::Information), 0x40u);
    EXPECT_EQ(MessageBoxStyle(MessageBoxButtons::YesNo, MessageBoxIcon::Exclamation), 0x34u);
}

TEST_F(Win32WindowSystemTest, AClassRegistersOnceAndUnregistersOnce) {
    ASSERT_TRUE(windows_.RegisterWindowClass(DemoClass()));
    EXPECT_FALSE(windows_.RegisterWindowClass(DemoClass())) << "registered twice";
    // Class names compare without regard to case.
    EXPECT_TRUE(windows_.UnregisterWindowClass("vandreltestclass", windows_.ProgramModule()));
    EXPECT_FALSE(windows_.UnregisterWindowClass(kClassName, windows_.ProgramModule()));
    EXPECT_TRUE(windows_.RegisterWindowClass(DemoClass())) << "a class can come back";
}

TEST_F(Win32WindowSystemTest, AdjustingGrowsAFramedRectangleAndLeavesAPopupAlone) {
    Rect popup{0, 0, 640, 480};
    ASSERT_TRUE(windows_.AdjustWindowRectangle(&popup, windowstyle::Popup, windowstyle::ExAppWindow));
    EXPECT_EQ(popup.left, 0);
    EXPECT_EQ(popup.top, 0);
    EXPECT_EQ(popup.right, 640);
    EXPECT_EQ(popup.bottom, 480);

    Rect framed{0, 0, 640, 480};
    ASSERT_TRUE(windows_.AdjustWindowRectangle(&framed, windowstyle::OverlappedWindow,
                                               windowstyle::ExAppWindow | windowstyle::ExWindowEdge));
    EXPECT_LT(framed.left, 0);
    EXPECT_LT(framed.top, 0);
    EXPECT_GT(framed.right, 640);
    EXPECT_GT(framed.bottom, 480);
    // The caption is above the client area: more room on top than below.
    EXPECT_GT(-framed.top, framed.bottom - 480);
}

TEST_F(Win32WindowSystemTest, CreationMessagesReachTheDemosProcedure) {
    ASSERT_NE(OpenWindowed(), nullptr);
    // WM_NCCREATE and WM_CREATE are sent while the window is created.
    bool sawCreate = false;
    for (const Seen &s : seen) sawCreate |= static_cast<UINT>(s.kind) == WM_CREATE;
    EXPECT_TRUE(sawCreate);

    seen.clear();
    windows_.ShowAppWindow(window_);
    // Showing sends a size message with the client size packed into lParam.
    bool sawSize = false;
    for (const Seen &s : seen) {
        if (s.kind != MessageKind::Size) continue;
        sawSize = true;
        EXPECT_EQ(LowWord(static_cast<uintptr_t>(s.lParam)), 320);
        EXPECT_EQ(HighWord(static_cast<uintptr_t>(s.lParam)), 240);
    }
    EXPECT_TRUE(sawSize);
}

TEST_F(Win32WindowSystemTest, PostedKeysComeBackAsTheDemosMessagesAndReachItsProcedure) {
    ASSERT_NE(OpenWindowed(), nullptr);
    HWND hwnd = reinterpret_cast<HWND>(window_);
    ASSERT_TRUE(PostMessageA(hwnd, WM_KEYDOWN, VK_F1, 0x003B0001));
    Message m;
    ASSERT_TRUE(PollFor(MessageKind::KeyDown, &m));
    EXPECT_EQ(m.window, window_);
    EXPECT_EQ(m.wParam, 0x70u);
    EXPECT_EQ(m.lParam, 0x003B0001);

    seen.clear();
    windows_.DispatchToWindow(m);
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].kind, MessageKind::KeyDown);
    EXPECT_EQ(seen[0].wParam, 0x70u);
}

TEST_F(Win32WindowSystemTest, TranslatingAKeyDownQueuesItsCharacter) {
    ASSERT_NE(OpenWindowed(), nullptr);
    HWND hwnd = reinterpret_cast<HWND>(window_);
    // Escape, scan code 1, repeat count 1.
    ASSERT_TRUE(PostMessageA(hwnd, WM_KEYDOWN, VK_ESCAPE, 0x00010001));
    Message key;
    ASSERT_TRUE(PollFor(MessageKind::KeyDown, &key));
    windows_.TranslateKeys(key);
    Message character;
    ASSERT_TRUE(PollFor(MessageKind::Char, &character));
    EXPECT_EQ(character.wParam, 27u);
}

TEST_F(Win32WindowSystemTest, AQuitCarriesItsCodeAndAnEmptyQueueDoesNotWait) {
    windows_.PostQuit(5);
    Message m;
    ASSERT_TRUE(PollFor(MessageKind::Quit, &m));
    EXPECT_EQ(m.wParam, 5u);
    const DWORD before = GetTickCount();
    while (windows_.PollMessage(&m)) {
    }
    EXPECT_LT(GetTickCount() - before, 1000u);
}

TEST_F(Win32WindowSystemTest, TheDemosPixelFormatGetsAWorkingDoubleBufferedContext) {
    ASSERT_NE(OpenWindowed(), nullptr);
    windows_.ShowAppWindow(window_);
    dc_ = windows_.AcquireDeviceContext(window_);
    ASSERT_NE(dc_, nullptr);
    const int format = windows_.ChoosePixelFormatIndex(dc_, DemoPixelFormat());
    ASSERT_GT(format, 0);
    ASSERT_TRUE(windows_.ApplyPixelFormat(dc_, format, DemoPixelFormat()));

    PIXELFORMATDESCRIPTOR chosen{};
    ASSERT_GT(DescribePixelFormat(reinterpret_cast<HDC>(dc_), GetPixelFormat(reinterpret_cast<HDC>(dc_)),
                                  sizeof chosen, &chosen),
              0);
    EXPECT_NE(chosen.dwFlags & PFD_DOUBLEBUFFER, 0u);
    EXPECT_NE(chosen.dwFlags & PFD_SUPPORT_OPENGL, 0u);
    EXPECT_NE(chosen.dwFlags & PFD_DRAW_TO_WINDOW, 0u);
    EXPECT_EQ(chosen.iPixelType, PFD_TYPE_RGBA);
    EXPECT_GE(chosen.cDepthBits, 16);

    rc_ = windows_.CreateRenderContext(dc_);
    ASSERT_NE(rc_, nullptr);
    ASSERT_TRUE(windows_.MakeContextCurrent(dc_, rc_));
    EXPECT_EQ(wglGetCurrentContext(), reinterpret_cast<HGLRC>(rc_));
    ASSERT_NE(glGetString(GL_VERSION), nullptr);

    // Drawing goes to the back buffer. (What the swap shows is checked on
    // screen by the program tests.)
    glViewport(0, 0, 320, 240);
    glClearColor(1.0f, 0.0f, 0.0f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    glFinish();
    unsigned char back[4] = {};
    glReadBuffer(GL_BACK);
    glReadPixels(160, 120, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, back);
    EXPECT_EQ(back[0], 255);
    EXPECT_EQ(back[1], 0);
    EXPECT_TRUE(windows_.PresentBackBuffer(dc_));

    EXPECT_TRUE(windows_.MakeContextCurrent(nullptr, nullptr));
    EXPECT_EQ(wglGetCurrentContext(), nullptr);
    EXPECT_TRUE(windows_.DeleteRenderContext(rc_));
    rc_ = nullptr;
}

TEST_F(Win32WindowSystemTest, TheScreensOwnModeIsAcceptedAndAModeItLacksIsRefused) {
    // Run on a 640x480 screen: that mode switches, a larger one does not.
    if (GetSystemMetrics(SM_CXSCREEN) != 640 || GetSystemMetrics(SM_CYSCREEN) != 480)
        GTEST_SKIP() << "needs a 640x480 screen";
    EXPECT_TRUE(windows_.SwitchDisplayMode(DisplayMode{640, 480, 32}));
    windows_.RestoreDisplayMode();
    EXPECT_FALSE(windows_.SwitchDisplayMode(DisplayMode{1600, 1200, 32}));
}

TEST(Win32Counter, RunsForwardAtItsStatedFrequency) {
    win32::Win32PerformanceCounter counter;
    const int64_t frequency = counter.Frequency();
    ASSERT_GT(frequency, 0);
    const int64_t before = counter.Now();
    Sleep(50);
    const int64_t after = counter.Now();
    const double seconds = static_cast<double>(after - before) / static_cast<double>(frequency);
    EXPECT_GE(seconds, 0.045);
    EXPECT_LT(seconds, 2.0);
}

}  // namespace
