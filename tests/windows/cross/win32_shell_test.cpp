// The demo's shell (app/) on the real Win32 platform: what OpenDemoWindow,
// DemoWindowProc and CloseDemoWindow make of Windows' own windows, classes,
// pixel formats, contexts and messages. Boxes are answered by the test
// instead of a user; the demo itself is a stand-in that counts its start-ups.
#include "app/demo_main.h"
#include "app/demo_window.h"
#include "demo/sequencer.h"
#include "demo/start_demo.h"
#include "platform/opengl.h"
#include "platform/win32/win32_window_system.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

// The demo's side, as the shell sees it.
SoundStream *soundtrackStream = nullptr;
namespace {
int startCalls = 0;
bool startFails = false;
}  // namespace
bool StartDemo() {
    ++startCalls;
    return !startFails;
}
int StepFrame() { return 1; }

namespace {

using platform::MessageBoxAnswer;
using platform::MessageBoxButtons;
using platform::MessageBoxIcon;

struct Box {
    std::string text, caption;
    MessageBoxButtons buttons;
    MessageBoxIcon icon;
};

// The real window system, with boxes noted and answered by the test.
class AnsweringWindows final : public platform::win32::Win32WindowSystem {
public:
    MessageBoxAnswer ShowMessageBox(const char *text, const char *caption, MessageBoxButtons buttons,
                                    MessageBoxIcon icon) override {
        boxes.push_back({text != nullptr ? text : "", caption != nullptr ? caption : "(default)",
                         buttons, icon});
        return buttons == MessageBoxButtons::YesNo ? answer : MessageBoxAnswer::Ok;
    }
    std::vector<Box> boxes;
    MessageBoxAnswer answer = MessageBoxAnswer::Yes;
};

HWND Hwnd() { return reinterpret_cast<HWND>(mainWindow); }

bool ClassRegistered() {
    WNDCLASSA wc{};
    return GetClassInfoA(GetModuleHandleA(nullptr), "OpenGL", &wc) != FALSE;
}

class Win32ShellTest : public ::testing::Test {
protected:
    void SetUp() override {
        platform::InstallWindowSystem(&windows_);
        startCalls = 0;
        startFails = false;
        windowActive = true;
        for (bool &key : keyDown) key = false;
    }
    void TearDown() override {
        CloseDemoWindow();
        // A refused fallback returns without undoing the registration.
        UnregisterClassA("OpenGL", GetModuleHandleA(nullptr));
        platform::InstallWindowSystem(nullptr);
    }
    AnsweringWindows windows_;
};

TEST_F(Win32ShellTest, AWindowedDemoWindowIsMadeOfTheDescribedClassStylesAndFormat) {
    ASSERT_TRUE(OpenDemoWindow("Vandrel", 320, 240, 32, false));
    EXPECT_TRUE(windows_.boxes.empty());
    EXPECT_EQ(startCalls, 1);
    EXPECT_FALSE(fullscreenMode);
    ASSERT_NE(mainWindow, nullptr);

    char className[32] = {};
    GetClassNameA(Hwnd(), className, sizeof className);
    EXPECT_STREQ(className, "OpenGL");
    EXPECT_EQ(GetClassLongA(Hwnd(), GCL_STYLE), 0x23u);
    EXPECT_EQ(GetClassLongA(Hwnd(), GCL_CBCLSEXTRA), 0u);
    EXPECT_EQ(GetClassLongA(Hwnd(), GCL_CBWNDEXTRA), 0u);
    EXPECT_EQ(GetClassLongPtrA(Hwnd(), GCLP_HBRBACKGROUND), 0u);
    EXPECT_EQ(reinterpret_cast<HICON>(GetClassLongPtrA(Hwnd(), GCLP_HICON)),
              LoadIconA(nullptr, IDI_WINLOGO));
    EXPECT_EQ(reinterpret_cast<HCURSOR>(GetClassLongPtrA(Hwnd(), GCLP_HCURSOR)),
              LoadCursorA(nullptr, IDC_ARROW));
    EXPECT_EQ(reinterpret_cast<HINSTANCE>(GetClassLongPtrA(Hwnd(), GCLP_HMODULE)),
              GetModuleHandleA(nullptr));

    char title[32] = {};
    GetWindowTextA(Hwnd(), title, sizeof title);
    EXPECT_STREQ(title, "Vandrel");
    const DWORD style = static_cast<DWORD>(GetWindowLongA(Hwnd(), GWL_STYLE));
    const DWORD wanted = WS_OVERLAPPEDWINDOW | WS_CLIPSIBLINGS | WS_CLIPCHILDREN;
    EXPECT_EQ(style & wanted, wanted);
    EXPECT_EQ(style & WS_POPUP, 0u);
    const DWORD exStyle = static_cast<DWORD>(GetWindowLongA(Hwnd(), GWL_EXSTYLE));
    EXPECT_EQ(exStyle & (WS_EX_APPWINDOW | WS_EX_WINDOWEDGE), DWORD{WS_EX_APPWINDOW | WS_EX_WINDOWEDGE});
    EXPECT_TRUE(IsWindowVisible(Hwnd()));

    // The outer corner at the screen's corner, the client area as asked.
    RECT outer{}, client{};
    GetWindowRect(Hwnd(), &outer);
    GetClientRect(Hwnd(), &client);
    EXPECT_EQ(outer.left, 0);
    EXPECT_EQ(outer.top, 0);
    EXPECT_EQ(client.right, 320);
    EXPECT_EQ(client.bottom, 240);

    // The context current on the window's own device context, double-buffered
    // with a depth buffer, and the projection set for the requested size.
    EXPECT_EQ(wglGetCurrentContext(), reinterpret_cast<HGLRC>(renderContext));
    EXPECT_EQ(wglGetCurrentDC(), reinterpret_cast<HDC>(deviceContext));
    PIXELFORMATDESCRIPTOR chosen{};
    HDC dc = reinterpret_cast<HDC>(deviceContext);
    ASSERT_GT(DescribePixelFormat(dc, GetPixelFormat(dc), sizeof chosen, &chosen), 0);
    EXPECT_NE(chosen.dwFlags & PFD_DOUBLEBUFFER, 0u);
    EXPECT_GE(chosen.cDepthBits, 16);
    GLint viewport[4] = {};
    glGetIntegerv(GL_VIEWPORT, viewport);
    EXPECT_EQ(viewport[2], 320);
    EXPECT_EQ(viewport[3], 240);
    EXPECT_EQ(pixelFormatDesc.colorBits, 32);
}

TEST_F(Win32ShellTest, MessagesToTheWindowReachTheDemosWindowProcedure) {
    ASSERT_TRUE(OpenDemoWindow("Vandrel", 320, 240, 32, false));

    SendMessageA(Hwnd(), WM_KEYDOWN, VK_F1, 0);
    EXPECT_TRUE(keyDown[VK_F1]);
    SendMessageA(Hwnd(), WM_KEYUP, VK_F1, 0);
    EXPECT_FALSE(keyDown[VK_F1]);

    SendMessageA(Hwnd(), WM_ACTIVATE, MAKEWPARAM(WA_INACTIVE, 1), 0);
    EXPECT_FALSE(windowActive) << "minimised";
    SendMessageA(Hwnd(), WM_ACTIVATE, MAKEWPARAM(WA_INACTIVE, 0), 0);
    EXPECT_TRUE(windowActive) << "deactivated but not minimised";

    SendMessageA(Hwnd(), WM_SIZE, SIZE_RESTORED, MAKELPARAM(200, 0));
    GLint viewport[4] = {};
    glGetIntegerv(GL_VIEWPORT, viewport);
    EXPECT_EQ(viewport[2], 200);
    EXPECT_EQ(viewport[3], 1) << "a height of 0 counts as 1";

    // The screen saver is refused; other commands are carried out.
    EXPECT_EQ(SendMessageA(Hwnd(), WM_SYSCOMMAND, SC_SCREENSAVE, 0), 0);
    EXPECT_EQ(SendMessageA(Hwnd(), WM_SYSCOMMAND, SC_MONITORPOWER, 2), 0);
    EXPECT_FALSE(IsIconic(Hwnd()));
    SendMessageA(Hwnd(), WM_SYSCOMMAND, SC_MINIMIZE, 0);
    EXPECT_TRUE(IsIconic(Hwnd()));
}

TEST_F(Win32ShellTest, ClosingPostsTheQuitAndLeavesTheWindowToTheLoop) {
    ASSERT_TRUE(OpenDemoWindow("Vandrel", 320, 240, 32, false));
    EXPECT_EQ(SendMessageA(Hwnd(), WM_CLOSE, 0, 0), 0);
    EXPECT_TRUE(IsWindow(Hwnd()));
    MSG msg{};
    bool quit = false;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            quit = true;
            break;
        }
        DispatchMessageA(&msg);
    }
    ASSERT_TRUE(quit);
    EXPECT_EQ(msg.wParam, 0u);
}

TEST_F(Win32ShellTest, ClosingTheDemoWindowReleasesContextWindowAndClass) {
    ASSERT_TRUE(OpenDemoWindow("Vandrel", 320, 240, 32, false));
    HWND window = Hwnd();
    HGLRC context = reinterpret_cast<HGLRC>(renderContext);
    CloseDemoWindow();
    EXPECT_TRUE(windows_.boxes.empty()) << windows_.boxes[0].text;
    EXPECT_FALSE(IsWindow(window));
    EXPECT_EQ(wglGetCurrentContext(), nullptr);
    EXPECT_FALSE(wglMakeCurrent(nullptr, context)) << "the context still exists";
    EXPECT_EQ(mainWindow, nullptr);
    EXPECT_EQ(deviceContext, nullptr);
    EXPECT_EQ(renderContext, nullptr);
    EXPECT_FALSE(ClassRegistered());

    // And it can all be made again, as an F1 switch does.
    ASSERT_TRUE(OpenDemoWindow("Vandrel", 320, 240, 32, false));
    EXPECT_NE(reinterpret_cast<HGLRC>(renderContext), nullptr);
    EXPECT_EQ(startCalls, 2);
}

TEST_F(Win32ShellTest, AFailedStartUpTearsEverythingDownBeforeItsBox) {
    startFails = true;
    EXPECT_FALSE(OpenDemoWindow("Vandrel", 320, 240, 32, false));
    ASSERT_EQ(windows_.boxes.size(), 1u);
    EXPECT_EQ(windows_.boxes[0].text, "Initialization Failed.");
    EXPECT_EQ(windows_.boxes[0].caption, "ERROR");
    EXPECT_EQ(windows_.boxes[0].icon, MessageBoxIcon::Exclamation);
    EXPECT_EQ(mainWindow, nullptr);
    EXPECT_EQ(wglGetCurrentContext(), nullptr);
    EXPECT_FALSE(ClassRegistered());
}

TEST_F(Win32ShellTest, FullscreenOnA640x480ScreenSwitchesAndHidesTheCursorUntilClosed) {
    if (GetSystemMetrics(SM_CXSCREEN) != 640 || GetSystemMetrics(SM_CYSCREEN) != 480)
        GTEST_SKIP() << "needs a 640x480 screen";
    const int cursorBefore = ShowCursor(TRUE) - 1;
    ShowCursor(FALSE);
    ASSERT_TRUE(OpenDemoWindow("Vandrel", 640, 480, 32, true));
    EXPECT_TRUE(windows_.boxes.empty());
    EXPECT_TRUE(fullscreenMode);
    const DWORD style = static_cast<DWORD>(GetWindowLongA(Hwnd(), GWL_STYLE));
    EXPECT_NE(style & WS_POPUP, 0u);
    EXPECT_EQ(style & WS_CAPTION, 0u);
    RECT client{};
    GetClientRect(Hwnd(), &client);
    EXPECT_EQ(client.right, 640);
    EXPECT_EQ(client.bottom, 480);
    EXPECT_EQ(ShowCursor(TRUE) - 1, cursorBefore - 1) << "the cursor is not hidden";
    ShowCursor(FALSE);

    CloseDemoWindow();
    EXPECT_EQ(ShowCursor(TRUE) - 1, cursorBefore) << "the cursor was not shown again";
    ShowCursor(FALSE);
}

TEST_F(Win32ShellTest, ARefusedModeAnsweredYesGoesOnWindowed) {
    // 800x600 is not among a 640x480 screen's modes.
    windows_.answer = MessageBoxAnswer::Yes;
    ASSERT_TRUE(OpenDemoWindow("Vandrel", 800, 600, 32, true));
    ASSERT_EQ(windows_.boxes.size(), 1u);
    EXPECT_EQ(windows_.boxes[0].caption, "Orv GL");
    EXPECT_EQ(windows_.boxes[0].text,
              "The Requested Fullscreen Mode Is Not Supported By\nYour Video Card. Use Windowed "
              "Mode Instead?");
    EXPECT_EQ(windows_.boxes[0].buttons, MessageBoxButtons::YesNo);
    EXPECT_FALSE(fullscreenMode);
    EXPECT_NE(static_cast<DWORD>(GetWindowLongA(Hwnd(), GWL_STYLE)) & WS_CAPTION, 0u);
}

TEST_F(Win32ShellTest, ARefusedModeAnsweredNoEndsWithoutAWindow) {
    windows_.answer = MessageBoxAnswer::No;
    EXPECT_FALSE(OpenDemoWindow("Vandrel", 800, 600, 32, true));
    ASSERT_EQ(windows_.boxes.size(), 2u);
    EXPECT_EQ(windows_.boxes[1].text, "Program Will Now Close.");
    EXPECT_EQ(windows_.boxes[1].caption, "ERROR");
    EXPECT_EQ(windows_.boxes[1].icon, MessageBoxIcon::Stop);
    EXPECT_EQ(mainWindow, nullptr);
    EXPECT_EQ(startCalls, 0);
}

}  // namespace
