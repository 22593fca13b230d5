// Opening and closing the demo window on the scripted platform: the order of
// the steps, every failure row with its boxes, the window procedure, and the
// projection read back from a real OpenGL context.
#include "tests/app/shell_fixture.h"

#include "platform/offscreen/offscreen_gl.h"
#include "platform/opengl.h"

#include <array>
#include <cmath>
#include <optional>

using platform::MessageBoxAnswer;
using platform::MessageBoxButtons;
using platform::MessageBoxIcon;
using platform::MessageKind;
using platform::scripted::ShownBox;
using platform::scripted::Step;
using ::testing::ElementsAre;

namespace {

const ShownBox kFallbackQuestion{
    "The Requested Fullscreen Mode Is Not Supported By\nYour Video Card. Use Windowed Mode "
    "Instead?",
    "Orv GL", MessageBoxButtons::YesNo, MessageBoxIcon::Exclamation};
const ShownBox kWillClose{"Program Will Now Close.", "ERROR", MessageBoxButtons::Ok,
                          MessageBoxIcon::Stop};
constexpr uint32_t kFramedStyle = 0x00CF0000u | 0x06000000u;  // overlapped, clipping

bool OpenVandrel(bool fullscreen) { return OpenDemoWindow("Vandrel", 640, 480, 32, fullscreen); }

// What closing a fullscreen window undoes when `held` of window, device
// context and rendering context were obtained; -1: no teardown at all.
std::vector<std::string> Undone(int held) {
    if (held < 0) return {};
    std::vector<std::string> calls = {"RestoreDisplayMode", "ShowCursor"};
    if (held >= 3) calls.insert(calls.end(), {"MakeContextCurrent none", "DeleteRenderContext"});
    if (held >= 2) calls.push_back("ReleaseDeviceContext");
    if (held >= 1) calls.push_back("DestroyAppWindow");
    calls.push_back("UnregisterWindowClass OpenGL");
    return calls;
}

// The teardown calls among the log's lines, in order.
std::vector<std::string> TeardownCalls(const std::vector<std::string> &log) {
    const std::vector<std::string> all = Undone(3);
    std::vector<std::string> calls;
    std::copy_if(log.begin(), log.end(), std::back_inserter(calls), [&](const std::string &line) {
        return std::find(all.begin(), all.end(), line) != all.end();
    });
    return calls;
}

TEST_F(ShellTest, OpenRunsEveryStepInOrder) {
    ASSERT_TRUE(OpenVandrel(true));
    EXPECT_THAT(fake.log(),
                ElementsAre("RegisterWindowClass OpenGL", "SwitchDisplayMode 640x480x32",
                            "HideCursor", "AdjustWindowRectangle", "CreateAppWindow Vandrel",
                            "AcquireDeviceContext", "ChoosePixelFormatIndex", "ApplyPixelFormat 7",
                            "CreateRenderContext", "MakeContextCurrent", "ShowAppWindow",
                            "BringToForeground", "GiveKeyboardFocus", "StartDemo"));
    EXPECT_TRUE(fake.boxes().empty());
    EXPECT_EQ(fake.currentContext(), renderContext);
    EXPECT_NE(deviceContext, nullptr);
    const platform::WindowClass &wc = *fake.lastClass();
    EXPECT_EQ(std::tie(wc.style, wc.systemIcon, wc.systemCursor), std::tuple(0x23u, 32517, 32512));
    EXPECT_EQ(wc.procedure, &DemoWindowProc);
    const platform::PixelFormatDescriptor &pf = *fake.lastPixelFormat();
    EXPECT_EQ(std::tie(pf.size, pf.flags, pf.colorBits, pf.depthBits),
              std::tuple(uint16_t{40}, 0x25u, uint8_t{32}, uint8_t{16}));
    EXPECT_EQ(pf.stencilBits + pf.accumBits + pf.auxBuffers + pf.alphaBits, 0);
}

TEST_F(ShellTest, EachModeGetsItsStylesAndA640By480ClientArea) {
    // The scripted frame adds 4 pixels a side and a 20-pixel caption.
    const struct {
        bool fullscreen;
        uint32_t exStyle, style;
        int width, height, cursor;
    } modes[] = {{true, 0x00040000u, 0x86000000u, 640, 480, -1},
                 {false, 0x00040100u, kFramedStyle, 648, 508, 0}};
    for (const auto &m : modes) {
        ASSERT_TRUE(OpenVandrel(m.fullscreen));
        const platform::WindowCreation &c = *fake.lastCreation();
        EXPECT_EQ(std::tie(c.exStyle, c.style, c.x, c.y, c.width, c.height),
                  std::tuple(m.exStyle, m.style, 0, 0, m.width, m.height))
            << "fullscreen " << m.fullscreen;
        EXPECT_EQ(fake.cursorCount(), m.cursor);
        CloseDemoWindow();
    }
}

TEST_F(ShellTest, ThePixelFormatRequestIsFilledByTheFirstCreationPastTheWindow) {
    fake.Fail(Step::CreateWindow);
    ASSERT_FALSE(OpenDemoWindow("Vandrel", 640, 480, 24, false));
    fake.Succeed(Step::CreateWindow);
    ASSERT_TRUE(OpenDemoWindow("Vandrel", 640, 480, 16, false));
    CloseDemoWindow();
    ASSERT_TRUE(OpenDemoWindow("Vandrel", 640, 480, 32, false));
    EXPECT_EQ(fake.lastPixelFormat()->colorBits, 16);
}

TEST_F(ShellTest, ARefusedModeAnsweredYesGoesOnWindowed) {
    fake.SetFullscreenOffered(false);
    fake.Answer(MessageBoxAnswer::Yes);
    ASSERT_TRUE(OpenVandrel(true));
    EXPECT_EQ(fake.boxes(), std::vector<ShownBox>{kFallbackQuestion});
    EXPECT_FALSE(fullscreenMode);
    EXPECT_EQ(fake.lastCreation()->style, kFramedStyle);
    EXPECT_EQ(fake.cursorCount(), 0);
}

// ---- failures ------------------------------------------------------------

struct CreationFailure {
    const char *name;
    std::optional<Step> step;  // none: the mode is refused (text null) or start-up fails
    MessageBoxAnswer answer;   // to the fallback question
    const char *text;          // the box; null: the question, then "Program Will Now Close."
    int held;                  // what the teardown before the box undoes (see Undone)
};
void PrintTo(const CreationFailure &row, std::ostream *out) { *out << row.name; }

// clang-format off
const CreationFailure kCreationFailures[] = {
    {"RegisterClass", Step::RegisterClass, {}, "Failed To Register The Window Class.", -1},
    {"FallbackAnsweredNo", {}, MessageBoxAnswer::No, nullptr, -1},
    {"FallbackNotShown", {}, MessageBoxAnswer::Failed, nullptr, -1},
    {"CreateWindow", Step::CreateWindow, {}, "Window Creation Error.", 0},
    {"AcquireDeviceContext", Step::AcquireDeviceContext, {}, "Can't Create A GL Device Context.", 1},
    {"ChoosePixelFormat", Step::ChoosePixelFormat, {}, "Can't Find A Suitable PixelFormat.", 2},
    {"ApplyPixelFormat", Step::ApplyPixelFormat, {}, "Can't Set The PixelFormat.", 2},
    {"CreateRenderContext", Step::CreateRenderContext, {}, "Can't Create A GL Rendering Context.", 2},
    {"MakeContextCurrent", Step::MakeContextCurrent, {}, "Can't Activate The GL Rendering Context.", 3},
    {"StartDemo", {}, {}, "Initialization Failed.", 3},
};
// clang-format on

class CreationFailureTest : public ShellTest,
                            public ::testing::WithParamInterface<CreationFailure> {};

// Every box shows with the display restored and no window left.
TEST_P(CreationFailureTest, ShowsItsBoxesAfterUndoingWhatWasBuilt) {
    const CreationFailure &row = GetParam();
    if (row.step) {
        fake.Fail(*row.step);
    } else if (row.text == nullptr) {
        fake.SetFullscreenOffered(false);
        fake.Answer(row.answer);
    } else {
        fakeDemo.startFails = true;
    }
    EXPECT_FALSE(OpenVandrel(true));
    const ShownBox box{row.text ? row.text : "", "ERROR", MessageBoxButtons::Ok,
                       MessageBoxIcon::Exclamation};
    const std::vector<ShownBox> boxes = row.text
                                            ? std::vector<ShownBox>{box}
                                            : std::vector<ShownBox>{kFallbackQuestion, kWillClose};
    EXPECT_EQ(fake.boxes(), boxes);
    EXPECT_EQ(TeardownCalls(fake.log()), Undone(row.held));
    EXPECT_EQ(fake.windowsAlive() + fake.renderContextsAlive() + fake.deviceContextsHeld(), 0);
    EXPECT_EQ(std::tie(mainWindow, deviceContext, renderContext),
              std::tuple(nullptr, nullptr, nullptr));
    EXPECT_EQ(fake.cursorCount(), 0);
}

INSTANTIATE_TEST_SUITE_P(EveryRow, CreationFailureTest, ::testing::ValuesIn(kCreationFailures),
                         [](const auto &info) { return std::string(info.param.name); });

TEST_F(ShellTest, CloseUnwindsWhatOpenBuilt) {
    for (bool fullscreen : {true, false}) {
        ASSERT_TRUE(OpenVandrel(fullscreen));
        fake.ClearLog();
        CloseDemoWindow();
        std::vector<std::string> expected = Undone(3);
        if (!fullscreen) expected.erase(expected.begin(), expected.begin() + 2);
        EXPECT_EQ(fake.log(), expected);
        EXPECT_TRUE(fake.boxes().empty());
        EXPECT_FALSE(fake.displaySwitched());
        EXPECT_EQ(fake.cursorCount(), 0);
        EXPECT_EQ(fake.currentContext(), nullptr);
        EXPECT_EQ(fake.windowsAlive() + fake.renderContextsAlive() + fake.deviceContextsHeld(), 0);
    }
}

struct TeardownFailure {
    const char *name;
    Step step;
    const char *text;
};
void PrintTo(const TeardownFailure &row, std::ostream *out) { *out << row.name; }

class TeardownFailureTest : public ShellTest,
                            public ::testing::WithParamInterface<TeardownFailure> {};

// The box shows in its place and every later step is still tried.
TEST_P(TeardownFailureTest, ReportsTheStepAndGoesOn) {
    ASSERT_TRUE(OpenVandrel(true));
    fake.ClearLog();
    fake.Fail(GetParam().step);
    CloseDemoWindow();
    const ShownBox box{GetParam().text,
                       "SHUTDOWN ERROR",
                       MessageBoxButtons::Ok,
                       MessageBoxIcon::Information,
                       false,
                       GetParam().step == Step::UnregisterClass ? 0 : 1};
    EXPECT_EQ(fake.boxes(), std::vector<ShownBox>{box});
    EXPECT_EQ(TeardownCalls(fake.log()), Undone(3));
    EXPECT_EQ(std::tie(mainWindow, deviceContext, renderContext),
              std::tuple(nullptr, nullptr, nullptr));
}

INSTANTIATE_TEST_SUITE_P(
    EveryRow, TeardownFailureTest,
    // clang-format off
    ::testing::Values(
        TeardownFailure{"ReleaseCurrent", Step::ReleaseCurrent, "Release Of DC And RC Failed."},
        TeardownFailure{"DeleteRenderContext", Step::DeleteRenderContext, "Release Rendering Context Failed."},
        TeardownFailure{"ReleaseDeviceContext", Step::ReleaseDeviceContext, "Release Device Context Failed."},
        TeardownFailure{"DestroyWindow", Step::DestroyWindow, "Could Not Release hWnd."},
        TeardownFailure{"UnregisterClass", Step::UnregisterClass, "Could Not Unregister Class."}),
    // clang-format on
    [](const auto &info) { return std::string(info.param.name); });

// ---- the window procedure -----------------------------------------------

intptr_t Send(MessageKind kind, uintptr_t wParam, intptr_t lParam = 0) {
    return DemoWindowProc(mainWindow, kind, wParam, lParam);
}

TEST_F(ShellTest, ActivationFollowsTheMinimisedFlagOnly) {
    ASSERT_TRUE(OpenVandrel(false));
    EXPECT_EQ(Send(MessageKind::Activate, platform::MakeWParam(0, 1)), 0);
    EXPECT_FALSE(windowActive);
    Send(MessageKind::Activate, platform::MakeWParam(0, 0));  // deactivated, not minimised
    EXPECT_TRUE(windowActive);
    Send(MessageKind::Activate, platform::MakeWParam(1, 1));
    EXPECT_FALSE(windowActive);
}

TEST_F(ShellTest, KeysSetAndClearTheirEntryOnly) {
    ASSERT_TRUE(OpenVandrel(false));
    EXPECT_EQ(Send(MessageKind::KeyDown, 27), 0);
    EXPECT_EQ(Send(MessageKind::KeyDown, 255), 0);
    EXPECT_EQ(Send(MessageKind::KeyUp, 27), 0);
    for (uintptr_t outside : {uintptr_t{256}, uintptr_t{256 + 27}, ~uintptr_t{0}})
        EXPECT_EQ(Send(MessageKind::KeyDown, outside), 0);
    Send(MessageKind::SysKeyDown, 121);  // F10 is a system key
    EXPECT_EQ(std::count(std::begin(keyDown), std::end(keyDown), true), 1);
    EXPECT_TRUE(keyDown[255]);
}

TEST_F(ShellTest, OnlyScreenSaverAndMonitorPowerAreSwallowedAndCloseOnlyAsksToQuit) {
    ASSERT_TRUE(OpenVandrel(false));
    fake.ClearLog();
    EXPECT_EQ(Send(MessageKind::SysCommand, 0xF140), 0);
    EXPECT_EQ(Send(MessageKind::SysCommand, 0xF170), 0);
    Send(MessageKind::SysCommand, 0xF020);
    Send(MessageKind::SysCommand, 0xF141);
    Send(static_cast<MessageKind>(0x0200), 7);
    EXPECT_EQ(Send(MessageKind::Close, 0), 0);
    EXPECT_THAT(fake.log(), ElementsAre("DefaultWindowProc SysCommand 61472",
                                        "DefaultWindowProc SysCommand 61761",
                                        "DefaultWindowProc 0x0200 7", "PostQuit 0"));
    EXPECT_EQ(fake.windowsAlive(), 1);
}

TEST_F(ShellTest, TheViewFollowsTheRequestedThenTheReportedClientSize) {
    platform::OffscreenGL gl;
    std::string error;
    if (!gl.Create(64, 64, &error)) GTEST_SKIP() << "no offscreen OpenGL: " << error;
    auto viewport = [] {
        std::array<GLint, 4> v{};
        glGetIntegerv(GL_VIEWPORT, v.data());
        return v;
    };
    auto matrix = [](GLenum which) {
        std::array<GLfloat, 16> m{};
        glGetFloatv(which, m.data());
        return m;
    };
    const double focal = 1.0 / std::tan(22.5 * M_PI / 180.0);  // 45 degrees vertically

    glMatrixMode(GL_MODELVIEW);
    glTranslatef(1, 2, 3);
    ASSERT_TRUE(OpenVandrel(false));
    EXPECT_EQ(viewport(), (std::array<GLint, 4>{0, 0, 640, 480}));
    const auto p = matrix(GL_PROJECTION_MATRIX);
    EXPECT_NEAR(p[0], focal * 480 / 640, 1e-5);
    EXPECT_NEAR(p[5], focal, 1e-5);
    EXPECT_NEAR(p[10], -100.1 / 99.9, 1e-5);  // near 0.1, far 100
    EXPECT_NEAR(p[14], -20.0 / 99.9, 1e-5);
    EXPECT_EQ(matrix(GL_MODELVIEW_MATRIX),
              (std::array<GLfloat, 16>{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1}));
    GLint mode = 0;
    glGetIntegerv(GL_MATRIX_MODE, &mode);
    EXPECT_EQ(mode, GL_MODELVIEW);

    Send(MessageKind::Size, 0, platform::MakeLParam(800, 600));
    EXPECT_EQ(viewport(), (std::array<GLint, 4>{0, 0, 800, 600}));
    // A minimised window reports 0 by 0: the height counts as 1.
    Send(MessageKind::Size, 0, platform::MakeLParam(300, 0));
    EXPECT_EQ(viewport(), (std::array<GLint, 4>{0, 0, 300, 1}));
    EXPECT_NEAR(matrix(GL_PROJECTION_MATRIX)[0], focal / 300, 1e-7);
}

}  // namespace
