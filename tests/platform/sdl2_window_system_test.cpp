// The SDL2 window system on a private X server: classes, display modes, a
// window with a real OpenGL context from creation to teardown, the screen
// saver, and SDL events turned into the demo's messages.
#include "platform/sdl2/sdl2_window_system.h"
#include "platform/opengl.h"
#include "platform/virtual_keys.h"
#include "tests/support/xvfb.h"

#include <SDL.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

using platform::Message;
using platform::MessageKind;
using platform::sdl2::Sdl2WindowSystem;

// What the window procedure under test received, and how it behaves.
std::vector<Message> received;
bool refuseScreenSaver = true;
platform::WindowSystem *windowSystem = nullptr;

intptr_t RecordingProc(platform::WindowHandle window, MessageKind kind, uintptr_t wParam,
                       intptr_t lParam) {
    received.push_back(Message{window, kind, wParam, lParam});
    if (kind == MessageKind::SysCommand &&
        (wParam == platform::syscommand::ScreenSave ||
         wParam == platform::syscommand::MonitorPower) &&
        refuseScreenSaver)
        return 0;
    if (kind == MessageKind::Close) return 0;
    return windowSystem->DefaultWindowProc(window, kind, wParam, lParam);
}

platform::PixelFormatDescriptor DemoPixelFormat() {
    platform::PixelFormatDescriptor p{};
    p.size = 40;
    p.version = 1;
    p.flags = 0x25;
    p.colorBits = 32;
    p.depthBits = 16;
    return p;
}

class Sdl2WindowSystemTest : public ::testing::Test {
protected:
    void SetUp() override {
        received.clear();
        refuseScreenSaver = true;
        setenv("SDL_VIDEODRIVER", "x11", 1);
    }
    void TearDown() override { windowSystem = nullptr; }

    // Registers the test class and creates a window (hidden until shown).
    platform::WindowHandle MakeWindow(Sdl2WindowSystem &ws, uint32_t style, int w = 640,
                                      int h = 480) {
        windowSystem = &ws;
        platform::WindowClass wc;
        wc.name = "TestClass";
        wc.procedure = RecordingProc;
        if (!ws.RegisterWindowClass(wc)) return nullptr;
        platform::WindowCreation c;
        c.className = "TestClass";
        c.title = "Window Under Test";
        c.style = style;
        c.width = w;
        c.height = h;
        return ws.CreateAppWindow(c);
    }
    static SDL_Window *SdlWindowTitled(const char *title) {
        for (Uint32 id = 1; id < 64; ++id) {
            SDL_Window *w = SDL_GetWindowFromID(id);
            if (w != nullptr && std::strcmp(SDL_GetWindowTitle(w), title) == 0) return w;
        }
        return nullptr;
    }
    // Every message waiting now, in order.
    static std::vector<Message> Drain(Sdl2WindowSystem &ws) {
        std::vector<Message> all;
        Message m;
        while (ws.PollMessage(&m)) all.push_back(m);
        return all;
    }
    static std::vector<Message> Only(const std::vector<Message> &all, MessageKind kind) {
        std::vector<Message> some;
        for (const Message &m : all)
            if (m.kind == kind) some.push_back(m);
        return some;
    }
};

constexpr uint32_t kFramed = platform::windowstyle::OverlappedWindow |
                             platform::windowstyle::ClipSiblings |
                             platform::windowstyle::ClipChildren;

TEST_F(Sdl2WindowSystemTest, WithoutADisplayNoClassCanBeRegistered) {
    unsetenv("SDL_VIDEODRIVER");
    unsetenv("DISPLAY");
    unsetenv("WAYLAND_DISPLAY");
    Sdl2WindowSystem ws;
    platform::WindowClass wc;
    wc.name = "TestClass";
    wc.procedure = RecordingProc;
    EXPECT_FALSE(ws.RegisterWindowClass(wc));
}

TEST_F(Sdl2WindowSystemTest, AClassIsRegisteredOnceAndStaysWhileItHasWindows) {
    REQUIRE_XVFB(x, "640x480x24");
    Sdl2WindowSystem ws;
    platform::WindowHandle window = MakeWindow(ws, kFramed);
    ASSERT_NE(window, nullptr);
    platform::WindowClass again;
    again.name = "TestClass";
    again.procedure = RecordingProc;
    EXPECT_FALSE(ws.RegisterWindowClass(again));
    EXPECT_FALSE(ws.UnregisterWindowClass("TestClass", ws.ProgramModule()));
    EXPECT_TRUE(ws.DestroyAppWindow(window));
    EXPECT_TRUE(ws.UnregisterWindowClass("TestClass", ws.ProgramModule()));
    EXPECT_FALSE(ws.UnregisterWindowClass("TestClass", ws.ProgramModule()));
}

TEST_F(Sdl2WindowSystemTest, OffersOnlyTheModesTheDisplayHas) {
    REQUIRE_XVFB(x, "640x480x24");
    Sdl2WindowSystem ws;
    EXPECT_TRUE(ws.SwitchDisplayMode({640, 480, 32}));
    EXPECT_FALSE(ws.SwitchDisplayMode({640, 480, 16}));
    EXPECT_FALSE(ws.SwitchDisplayMode({800, 600, 32}));
}

TEST_F(Sdl2WindowSystemTest, ALargerScreenRefuses640By480) {
    REQUIRE_XVFB(x, "800x600x24");
    Sdl2WindowSystem ws;
    EXPECT_FALSE(ws.SwitchDisplayMode({640, 480, 32}));
}

TEST_F(Sdl2WindowSystemTest, AWindowWithAnOpenGLContextFromCreationToTeardown) {
    REQUIRE_XVFB(x, "640x480x24");
    Sdl2WindowSystem ws;
    platform::WindowHandle window = MakeWindow(ws, kFramed);
    ASSERT_NE(window, nullptr);
    SDL_Window *sdl = SdlWindowTitled("Window Under Test");
    ASSERT_NE(sdl, nullptr);
    int w = 0, h = 0;
    SDL_GetWindowSize(sdl, &w, &h);
    EXPECT_EQ(w, 640);
    EXPECT_EQ(h, 480);
    EXPECT_NE(SDL_GetWindowFlags(sdl) & SDL_WINDOW_RESIZABLE, 0u);

    platform::DeviceContextHandle dc = ws.AcquireDeviceContext(window);
    ASSERT_NE(dc, nullptr);
    platform::PixelFormatDescriptor request = DemoPixelFormat();
    const int format = ws.ChoosePixelFormatIndex(dc, request);
    ASSERT_NE(format, 0);
    platform::PixelFormatDescriptor noOpenGL = request;
    noOpenGL.flags = 0x05;
    EXPECT_EQ(ws.ChoosePixelFormatIndex(dc, noOpenGL), 0);
    // No context before the format is set.
    EXPECT_EQ(ws.CreateRenderContext(dc), nullptr);
    ASSERT_TRUE(ws.ApplyPixelFormat(dc, format, request));
    EXPECT_FALSE(ws.ApplyPixelFormat(dc, format + 1, request));

    platform::RenderContextHandle rc = ws.CreateRenderContext(dc);
    ASSERT_NE(rc, nullptr);
    ASSERT_TRUE(ws.MakeContextCurrent(dc, rc));
    ASSERT_NE(glGetString(GL_VERSION), nullptr);
    GLint depthBits = 0, doubleBuffered = 0;
    glGetIntegerv(GL_DEPTH_BITS, &depthBits);
    glGetIntegerv(GL_DOUBLEBUFFER, &doubleBuffered);
    EXPECT_GE(depthBits, 16);
    EXPECT_EQ(doubleBuffered, GL_TRUE);

    glClearColor(1.0f, 0.0f, 0.0f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    std::array<uint8_t, 4> pixel{};
    glReadPixels(10, 10, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, pixel.data());
    EXPECT_EQ(pixel[0], 255);
    EXPECT_EQ(pixel[1], 0);
    EXPECT_TRUE(ws.PresentBackBuffer(dc));

    EXPECT_TRUE(ws.MakeContextCurrent(nullptr, nullptr));
    EXPECT_EQ(SDL_GL_GetCurrentContext(), nullptr);
    EXPECT_TRUE(ws.DeleteRenderContext(rc));
    EXPECT_FALSE(ws.DeleteRenderContext(rc));
    EXPECT_TRUE(ws.ReleaseDeviceContext(window, dc));
    EXPECT_FALSE(ws.ReleaseDeviceContext(window, dc));
    EXPECT_FALSE(ws.PresentBackBuffer(dc));
    EXPECT_TRUE(ws.DestroyAppWindow(window));
    EXPECT_FALSE(ws.DestroyAppWindow(window));
    EXPECT_EQ(SdlWindowTitled("Window Under Test"), nullptr);
    EXPECT_TRUE(ws.UnregisterWindowClass("TestClass", ws.ProgramModule()));
}

TEST_F(Sdl2WindowSystemTest, APopupWithAReservedModeIsFullscreenUntilTheModeIsRestored) {
    REQUIRE_XVFB(x, "640x480x24");
    Sdl2WindowSystem ws;
    ASSERT_TRUE(ws.SwitchDisplayMode({640, 480, 32}));
    platform::WindowHandle window = MakeWindow(ws, platform::windowstyle::Popup);
    ASSERT_NE(window, nullptr);
    ws.ShowAppWindow(window);
    SDL_Window *sdl = SdlWindowTitled("Window Under Test");
    ASSERT_NE(sdl, nullptr);
    EXPECT_NE(SDL_GetWindowFlags(sdl) & SDL_WINDOW_FULLSCREEN, 0u);
    ws.RestoreDisplayMode();
    EXPECT_EQ(SDL_GetWindowFlags(sdl) & SDL_WINDOW_FULLSCREEN, 0u);
    EXPECT_TRUE(ws.DestroyAppWindow(window));
}

TEST_F(Sdl2WindowSystemTest, APopupWithoutAReservedModeIsABorderlessWindow) {
    REQUIRE_XVFB(x, "640x480x24");
    Sdl2WindowSystem ws;
    platform::WindowHandle window = MakeWindow(ws, platform::windowstyle::Popup, 320, 200);
    ASSERT_NE(window, nullptr);
    SDL_Window *sdl = SdlWindowTitled("Window Under Test");
    ASSERT_NE(sdl, nullptr);
    EXPECT_EQ(SDL_GetWindowFlags(sdl) & SDL_WINDOW_FULLSCREEN, 0u);
    EXPECT_NE(SDL_GetWindowFlags(sdl) & SDL_WINDOW_BORDERLESS, 0u);
}

TEST_F(Sdl2WindowSystemTest, TheScreenSaverStaysOffWhileAWindowThatRefusesItShows) {
    REQUIRE_XVFB(x, "640x480x24");
    Sdl2WindowSystem ws;
    platform::WindowHandle window = MakeWindow(ws, kFramed);
    ASSERT_NE(window, nullptr);
    ws.ShowAppWindow(window);
    EXPECT_FALSE(SDL_IsScreenSaverEnabled());
    // Both commands were put to the procedure.
    EXPECT_EQ(Only(received, MessageKind::SysCommand).size(), 2u);
    EXPECT_TRUE(ws.DestroyAppWindow(window));
    EXPECT_TRUE(SDL_IsScreenSaverEnabled());
}

TEST_F(Sdl2WindowSystemTest, AWindowThatLetsTheCommandsThroughAllowsTheScreenSaver) {
    REQUIRE_XVFB(x, "640x480x24");
    refuseScreenSaver = false;
    Sdl2WindowSystem ws;
    platform::WindowHandle window = MakeWindow(ws, kFramed);
    ASSERT_NE(window, nullptr);
    ws.ShowAppWindow(window);
    EXPECT_TRUE(SDL_IsScreenSaverEnabled());
}

TEST_F(Sdl2WindowSystemTest, CursorVisibilityNests) {
    REQUIRE_XVFB(x, "640x480x24");
    Sdl2WindowSystem ws;
    ASSERT_NE(MakeWindow(ws, kFramed), nullptr);
    EXPECT_EQ(ws.ChangeCursorVisibility(false), -1);
    EXPECT_EQ(SDL_ShowCursor(SDL_QUERY), SDL_DISABLE);
    EXPECT_EQ(ws.ChangeCursorVisibility(false), -2);
    EXPECT_EQ(ws.ChangeCursorVisibility(true), -1);
    EXPECT_EQ(SDL_ShowCursor(SDL_QUERY), SDL_DISABLE);
    EXPECT_EQ(ws.ChangeCursorVisibility(true), 0);
    EXPECT_EQ(SDL_ShowCursor(SDL_QUERY), SDL_ENABLE);
}

// ---- events to messages ---------------------------------------------------

class Sdl2EventTest : public Sdl2WindowSystemTest {
protected:
    void SetUp() override {
        Sdl2WindowSystemTest::SetUp();
        xvfb_ = std::make_unique<testsupport::XvfbServer>("640x480x24");
        if (!xvfb_->ok()) GTEST_SKIP() << "no X server for this test: " << xvfb_->error();
        window_ = MakeWindow(ws_, kFramed);
        ASSERT_NE(window_, nullptr);
        sdl_ = SdlWindowTitled("Window Under Test");
        ASSERT_NE(sdl_, nullptr);
        Drain(ws_);
    }
    void TearDown() override {
        ws_.DestroyAppWindow(window_);
        Sdl2WindowSystemTest::TearDown();
    }
    SDL_Event Key(Uint32 type, SDL_Keycode key, Uint16 mod = 0, Uint8 repeat = 0) const {
        SDL_Event e{};
        e.type = type;
        e.key.windowID = SDL_GetWindowID(sdl_);
        e.key.keysym.sym = key;
        e.key.keysym.mod = mod;
        e.key.repeat = repeat;
        return e;
    }
    SDL_Event WindowEvent(Uint8 event, int data1 = 0, int data2 = 0) const {
        SDL_Event e{};
        e.type = SDL_WINDOWEVENT;
        e.window.windowID = SDL_GetWindowID(sdl_);
        e.window.event = event;
        e.window.data1 = data1;
        e.window.data2 = data2;
        return e;
    }
    // The messages one event becomes (the window is hidden, so the X
    // server adds none of its own).
    std::vector<Message> Translate(const SDL_Event &event) {
        ws_.TranslateEvent(event);
        return Drain(ws_);
    }

    std::unique_ptr<testsupport::XvfbServer> xvfb_;
    Sdl2WindowSystem ws_;
    platform::WindowHandle window_ = nullptr;
    SDL_Window *sdl_ = nullptr;
};

MATCHER_P3(IsMessage, kind, wParam, lParam, "") {
    return arg.kind == kind && arg.wParam == static_cast<uintptr_t>(wParam) &&
           arg.lParam == static_cast<intptr_t>(lParam);
}

using ::testing::ElementsAre;

TEST_F(Sdl2EventTest, KeysBecomeKeyMessagesByVirtualKeyCode) {
    EXPECT_THAT(Translate(Key(SDL_KEYDOWN, SDLK_ESCAPE)),
                ElementsAre(IsMessage(MessageKind::KeyDown, 27, 1)));
    EXPECT_THAT(Translate(Key(SDL_KEYDOWN, SDLK_F1, 0, 1)),
                ElementsAre(IsMessage(MessageKind::KeyDown, 112, 1 | (1 << 30))));
    EXPECT_THAT(
        Translate(Key(SDL_KEYUP, SDLK_F1)),
        ElementsAre(IsMessage(MessageKind::KeyUp, 112, static_cast<intptr_t>(0xC0000001u))));
    EXPECT_THAT(Translate(Key(SDL_KEYDOWN, SDLK_q)),
                ElementsAre(IsMessage(MessageKind::KeyDown, 'Q', 1)));
    EXPECT_TRUE(Translate(Key(SDL_KEYDOWN, SDLK_AUDIOPLAY)).empty());
}

TEST_F(Sdl2EventTest, AltCombinationsAndF10AreSystemKeys) {
    EXPECT_THAT(Translate(Key(SDL_KEYDOWN, SDLK_x, KMOD_LALT)),
                ElementsAre(IsMessage(MessageKind::SysKeyDown, 'X', 1)));
    EXPECT_THAT(Translate(Key(SDL_KEYDOWN, SDLK_F10)),
                ElementsAre(IsMessage(MessageKind::SysKeyDown, 121, 1)));
    EXPECT_THAT(
        Translate(Key(SDL_KEYUP, SDLK_F10)),
        ElementsAre(IsMessage(MessageKind::SysKeyUp, 121, static_cast<intptr_t>(0xC0000001u))));
}

TEST_F(Sdl2EventTest, MinimiseAndRestoreAreActivationWithTheMinimisedFlag) {
    EXPECT_THAT(Translate(WindowEvent(SDL_WINDOWEVENT_MINIMIZED)),
                ElementsAre(IsMessage(MessageKind::Activate, platform::MakeWParam(0, 1), 0),
                            IsMessage(MessageKind::Size, 0, 0)));
    EXPECT_THAT(Translate(WindowEvent(SDL_WINDOWEVENT_RESTORED)),
                ElementsAre(IsMessage(MessageKind::Activate, platform::MakeWParam(1, 0), 0),
                            IsMessage(MessageKind::Size, 0, platform::MakeLParam(640, 480))));
    EXPECT_THAT(Translate(WindowEvent(SDL_WINDOWEVENT_FOCUS_GAINED)),
                ElementsAre(IsMessage(MessageKind::Activate, platform::MakeWParam(1, 0), 0)));
}

TEST_F(Sdl2EventTest, ResizingIsASizeMessage) {
    EXPECT_THAT(Translate(WindowEvent(SDL_WINDOWEVENT_SIZE_CHANGED, 800, 600)),
                ElementsAre(IsMessage(MessageKind::Size, 0, platform::MakeLParam(800, 600))));
}

TEST_F(Sdl2EventTest, TheCloseButtonIsTheCloseCommandWhichClosesTheWindow) {
    const std::vector<Message> messages = Translate(WindowEvent(SDL_WINDOWEVENT_CLOSE));
    ASSERT_THAT(messages, ElementsAre(IsMessage(MessageKind::SysCommand, 0xF060, 0)));
    received.clear();
    ws_.DispatchToWindow(messages[0]);
    // The procedure got the command, passed it on, and got Close back.
    ASSERT_EQ(received.size(), 2u);
    EXPECT_EQ(received[0].kind, MessageKind::SysCommand);
    EXPECT_EQ(received[1].kind, MessageKind::Close);
}

TEST_F(Sdl2EventTest, AltF4ClosesThroughTheDefaultProcedure) {
    received.clear();
    ws_.DefaultWindowProc(window_, MessageKind::SysKeyDown, platform::vk::F4, 1);
    ASSERT_EQ(received.size(), 2u);
    EXPECT_EQ(received[0].kind, MessageKind::SysCommand);
    EXPECT_EQ(received[0].wParam, 0xF060u);
    EXPECT_EQ(received[1].kind, MessageKind::Close);
}

TEST_F(Sdl2EventTest, AQuitRequestFromOutsideClosesTheWindow) {
    SDL_Event quit{};
    quit.type = SDL_QUIT;
    EXPECT_THAT(Translate(quit), ElementsAre(IsMessage(MessageKind::SysCommand, 0xF060, 0)));
}

TEST_F(Sdl2EventTest, ACharacterComesNextAndTheQuitComesLast) {
    ws_.PostQuit(5);
    ws_.TranslateEvent(Key(SDL_KEYDOWN, SDLK_ESCAPE));
    ws_.TranslateEvent(Key(SDL_KEYDOWN, SDLK_a));
    Message first;
    ASSERT_TRUE(ws_.PollMessage(&first));
    ASSERT_EQ(first.kind, MessageKind::KeyDown);
    ws_.TranslateKeys(first);
    std::vector<Message> rest = Drain(ws_);
    EXPECT_THAT(rest, ElementsAre(IsMessage(MessageKind::Char, 27, 1),
                                  IsMessage(MessageKind::KeyDown, 'A', 1),
                                  IsMessage(MessageKind::Quit, 5, 0)));
}

TEST_F(Sdl2EventTest, MessagesForADestroyedWindowAreDropped) {
    ws_.TranslateEvent(Key(SDL_KEYDOWN, SDLK_ESCAPE));
    ASSERT_TRUE(ws_.DestroyAppWindow(window_));
    EXPECT_TRUE(Drain(ws_).empty());
    window_ = nullptr;
}

}  // namespace
