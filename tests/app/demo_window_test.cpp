// Opening and closing the demo window with the scripted platform: the order
// of the steps, every failure row with its box, and the window procedure.
#include "tests/app/shell_fixture.h"

#include "platform/virtual_keys.h"

#include <gmock/gmock.h>

#include <optional>

using platform::MessageBoxAnswer;
using platform::MessageBoxButtons;
using platform::MessageBoxIcon;
using platform::MessageKind;
using platform::scripted::Step;
using ::testing::ElementsAre;

namespace {

constexpr const char *kFallbackQuestion =
    "The Requested Fullscreen Mode Is Not Supported By\nYour Video Card. Use Windowed Mode "
    "Instead?";

bool OpenVandrel(bool fullscreen) { return OpenDemoWindow("Vandrel", 640, 480, 32, fullscreen); }

// ---- opening ------------------------------------------------------------

using OpenDemoWindowTest = ShellTest;

TEST_F(OpenDemoWindowTest, FullscreenRunsEveryStepInOrder) {
    ASSERT_TRUE(OpenVandrel(true));
    EXPECT_THAT(fake.log(),
                ElementsAre("RegisterWindowClass OpenGL", "SwitchDisplayMode 640x480x32",
                            "HideCursor", "AdjustWindowRectangle", "CreateAppWindow Vandrel",
                            "AcquireDeviceContext", "ChoosePixelFormatIndex", "ApplyPixelFormat 7",
                            "CreateRenderContext", "MakeContextCurrent", "ShowAppWindow",
                            "BringToForeground", "GiveKeyboardFocus", "StartDemo"));
    EXPECT_TRUE(fake.boxes().empty());
    EXPECT_TRUE(fullscreenMode);
    EXPECT_NE(mainWindow, nullptr);
    EXPECT_NE(deviceContext, nullptr);
    EXPECT_NE(renderContext, nullptr);
    EXPECT_EQ(fake.currentContext(), renderContext);
    EXPECT_EQ(fake.cursorCount(), -1);
    EXPECT_EQ(moduleInstance, fake.ProgramModule());
}

TEST_F(OpenDemoWindowTest, RegistersTheClassWithItsFixedFields) {
    ASSERT_TRUE(OpenVandrel(true));
    ASSERT_TRUE(fake.lastClass().has_value());
    const platform::WindowClass &wc = *fake.lastClass();
    EXPECT_STREQ(wc.name, "OpenGL");
    EXPECT_EQ(wc.style, 0x23u);
    EXPECT_EQ(wc.procedure, &DemoWindowProc);
    EXPECT_EQ(wc.classExtraBytes, 0);
    EXPECT_EQ(wc.windowExtraBytes, 0);
    EXPECT_EQ(wc.instance, fake.ProgramModule());
    EXPECT_EQ(wc.systemIcon, 32517);
    EXPECT_EQ(wc.systemCursor, 32512);
    EXPECT_FALSE(wc.backgroundBrush);
    EXPECT_EQ(wc.menuName, nullptr);
}

TEST_F(OpenDemoWindowTest, FullscreenAsksForTheModeAndAPopupWindow) {
    ASSERT_TRUE(OpenVandrel(true));
    ASSERT_TRUE(fake.lastDisplayMode().has_value());
    EXPECT_EQ(fake.lastDisplayMode()->width, 640);
    EXPECT_EQ(fake.lastDisplayMode()->height, 480);
    EXPECT_EQ(fake.lastDisplayMode()->bitsPerPixel, 32);
    const platform::WindowCreation &c = *fake.lastCreation();
    EXPECT_EQ(c.exStyle, 0x00040000u);              // app window
    EXPECT_EQ(c.style, 0x80000000u | 0x06000000u);  // popup, clip siblings and children
    EXPECT_EQ(fake.lastCreationTitle(), "Vandrel");
    EXPECT_EQ(c.x, 0);
    EXPECT_EQ(c.y, 0);
    EXPECT_EQ(c.width, 640);  // a popup has no frame to add
    EXPECT_EQ(c.height, 480);
    EXPECT_EQ(c.instance, fake.ProgramModule());
}

TEST_F(OpenDemoWindowTest, WindowedMakesAFramedWindowWithA640By480ClientArea) {
    ASSERT_TRUE(OpenVandrel(false));
    EXPECT_EQ(Find("SwitchDisplayMode 640x480x32"), -1);
    EXPECT_EQ(Find("HideCursor"), -1);
    EXPECT_EQ(fake.cursorCount(), 0);
    EXPECT_FALSE(fullscreenMode);
    const platform::WindowCreation &c = *fake.lastCreation();
    EXPECT_EQ(c.exStyle, 0x00040000u | 0x00000100u);  // app window, window edge
    EXPECT_EQ(c.style, 0x00CF0000u | 0x06000000u);    // overlapped window, clipping
    // The scripted frame is 4 pixels with a 20-pixel caption: the outer size
    // comes from the adjusted rectangle.
    EXPECT_EQ(c.width, 648);
    EXPECT_EQ(c.height, 508);
    EXPECT_EQ(c.x, 0);
    EXPECT_EQ(c.y, 0);
}

TEST_F(OpenDemoWindowTest, RequestsADoubleBufferedRgbaFormatWithA16BitDepthBuffer) {
    ASSERT_TRUE(OpenVandrel(true));
    const platform::PixelFormatDescriptor &p = *fake.lastPixelFormat();
    EXPECT_EQ(p.size, 40);
    EXPECT_EQ(p.version, 1);
    EXPECT_EQ(p.flags, 0x25u);
    EXPECT_EQ(p.pixelType, 0);
    EXPECT_EQ(p.colorBits, 32);
    EXPECT_EQ(p.depthBits, 16);
    EXPECT_EQ(p.redBits + p.redShift + p.greenBits + p.greenShift + p.blueBits + p.blueShift, 0);
    EXPECT_EQ(p.alphaBits + p.alphaShift, 0);
    EXPECT_EQ(p.accumBits + p.accumRedBits + p.accumGreenBits + p.accumBlueBits + p.accumAlphaBits,
              0);
    EXPECT_EQ(p.stencilBits + p.auxBuffers + p.layerType + p.reserved, 0);
    EXPECT_EQ(p.layerMask + p.visibleMask + p.damageMask, 0u);
}

TEST_F(OpenDemoWindowTest, ThePixelFormatRequestOfTheFirstWindowHoldsForLaterOnes) {
    ASSERT_TRUE(OpenDemoWindow("Vandrel", 640, 480, 32, false));
    CloseDemoWindow();
    ASSERT_TRUE(OpenDemoWindow("Vandrel", 640, 480, 16, false));
    EXPECT_EQ(fake.lastPixelFormat()->colorBits, 32);
}

TEST_F(OpenDemoWindowTest, ThePixelFormatRequestIsFilledOnlyOnceTheWindowExists) {
    fake.Fail(Step::CreateWindow);
    ASSERT_FALSE(OpenDemoWindow("Vandrel", 640, 480, 24, false));
    fake.Succeed(Step::CreateWindow);
    ASSERT_TRUE(OpenDemoWindow("Vandrel", 640, 480, 16, false));
    EXPECT_EQ(fake.lastPixelFormat()->colorBits, 16);
}

TEST_F(OpenDemoWindowTest, AFailedRegistrationShowsItsBoxAndBuildsNothing) {
    fake.Fail(Step::RegisterClass);
    EXPECT_FALSE(OpenVandrel(true));
    EXPECT_THAT(fake.log(), ElementsAre("RegisterWindowClass OpenGL",
                                        "MessageBox ERROR: Failed To Register The Window Class."));
    ASSERT_EQ(fake.boxes().size(), 1u);
    EXPECT_EQ(fake.boxes()[0].caption, "ERROR");
    EXPECT_EQ(fake.boxes()[0].buttons, MessageBoxButtons::Ok);
    EXPECT_EQ(fake.boxes()[0].icon, MessageBoxIcon::Exclamation);
    EXPECT_EQ(fakeDemo.startCalls, 0);
}

TEST_F(OpenDemoWindowTest, ARefusedModeAnsweredYesGoesOnWindowed) {
    fake.SetFullscreenOffered(false);
    fake.Answer(MessageBoxAnswer::Yes);
    ASSERT_TRUE(OpenVandrel(true));
    ASSERT_EQ(fake.boxes().size(), 1u);
    EXPECT_EQ(fake.boxes()[0].text, kFallbackQuestion);
    EXPECT_EQ(fake.boxes()[0].caption, "Orv GL");
    EXPECT_EQ(fake.boxes()[0].buttons, MessageBoxButtons::YesNo);
    EXPECT_EQ(fake.boxes()[0].icon, MessageBoxIcon::Exclamation);
    EXPECT_FALSE(fullscreenMode);
    // Windowed from here on: framed window, cursor left alone.
    EXPECT_EQ(fake.lastCreation()->style, 0x00CF0000u | 0x06000000u);
    EXPECT_EQ(fake.cursorCount(), 0);
    EXPECT_EQ(fakeDemo.startCalls, 1);
}

TEST_F(OpenDemoWindowTest, ARefusedModeAnsweredNoClosesWithoutAWindow) {
    fake.SetFullscreenOffered(false);
    fake.Answer(MessageBoxAnswer::No);
    EXPECT_FALSE(OpenVandrel(true));
    ASSERT_EQ(fake.boxes().size(), 2u);
    EXPECT_EQ(fake.boxes()[1].text, "Program Will Now Close.");
    EXPECT_EQ(fake.boxes()[1].caption, "ERROR");
    EXPECT_EQ(fake.boxes()[1].buttons, MessageBoxButtons::Ok);
    EXPECT_EQ(fake.boxes()[1].icon, MessageBoxIcon::Stop);
    // No window, and no teardown either.
    EXPECT_EQ(Find("CreateAppWindow Vandrel"), -1);
    EXPECT_EQ(Find("UnregisterWindowClass OpenGL"), -1);
    EXPECT_EQ(fakeDemo.startCalls, 0);
}

TEST_F(OpenDemoWindowTest, AQuestionThatCouldNotBeShownCountsAsNo) {
    fake.SetFullscreenOffered(false);
    fake.Answer(MessageBoxAnswer::Failed);
    EXPECT_FALSE(OpenVandrel(true));
    ASSERT_EQ(fake.boxes().size(), 2u);
    EXPECT_EQ(fake.boxes()[1].text, "Program Will Now Close.");
}

// Every creation step after the window: its box, shown after the teardown.
struct CreationFailure {
    std::optional<Step> step;  // the failing step; none: the demo's start-up fails
    const char *text;
    std::vector<std::string> teardown;  // what the teardown must undo
};

std::string StepName(const std::optional<Step> &step) {
    if (!step) return "StartDemo";
    switch (*step) {
        case Step::RegisterClass:
            return "RegisterClass";
        case Step::UnregisterClass:
            return "UnregisterClass";
        case Step::SwitchDisplayMode:
            return "SwitchDisplayMode";
        case Step::CreateWindow:
            return "CreateWindow";
        case Step::DestroyWindow:
            return "DestroyWindow";
        case Step::AcquireDeviceContext:
            return "AcquireDeviceContext";
        case Step::ReleaseDeviceContext:
            return "ReleaseDeviceContext";
        case Step::ChoosePixelFormat:
            return "ChoosePixelFormat";
        case Step::ApplyPixelFormat:
            return "ApplyPixelFormat";
        case Step::CreateRenderContext:
            return "CreateRenderContext";
        case Step::MakeContextCurrent:
            return "MakeContextCurrent";
        case Step::ReleaseCurrent:
            return "ReleaseCurrent";
        case Step::DeleteRenderContext:
            return "DeleteRenderContext";
    }
    return "Unknown";
}

class CreationFailureTest : public ShellTest,
                            public ::testing::WithParamInterface<CreationFailure> {};

TEST_P(CreationFailureTest, TearsDownFirstThenShowsItsBoxAndReturnsFalse) {
    const CreationFailure &row = GetParam();
    if (row.step)
        fake.Fail(*row.step);
    else
        fakeDemo.startFails = true;

    EXPECT_FALSE(OpenVandrel(true));

    ASSERT_EQ(fake.boxes().size(), 1u);
    const platform::scripted::ShownBox &box = fake.boxes()[0];
    EXPECT_EQ(box.text, row.text);
    EXPECT_EQ(box.caption, "ERROR");
    EXPECT_EQ(box.buttons, MessageBoxButtons::Ok);
    EXPECT_EQ(box.icon, MessageBoxIcon::Exclamation);
    // The desktop's mode is back and the window gone before the box shows.
    EXPECT_FALSE(box.displaySwitched);
    EXPECT_EQ(box.windowsAlive, 0);

    // The teardown undid exactly what had been obtained, in order.
    const long restore = Find("RestoreDisplayMode");
    ASSERT_GE(restore, 0);
    std::vector<std::string> undone(fake.log().begin() + restore, fake.log().end() - 1);
    std::vector<std::string> expected = {"RestoreDisplayMode", "ShowCursor"};
    expected.insert(expected.end(), row.teardown.begin(), row.teardown.end());
    expected.push_back("UnregisterWindowClass OpenGL");
    EXPECT_EQ(undone, expected);

    EXPECT_EQ(mainWindow, nullptr);
    EXPECT_EQ(deviceContext, nullptr);
    EXPECT_EQ(renderContext, nullptr);
    EXPECT_EQ(fake.windowsAlive(), 0);
    EXPECT_EQ(fake.renderContextsAlive(), 0);
    EXPECT_EQ(fake.deviceContextsHeld(), 0);
    EXPECT_FALSE(fake.classRegistered());
    EXPECT_EQ(fake.cursorCount(), 0);
}

INSTANTIATE_TEST_SUITE_P(
    EveryStep, CreationFailureTest,
    ::testing::Values(CreationFailure{Step::CreateWindow, "Window Creation Error.", {}},
                      CreationFailure{Step::AcquireDeviceContext,
                                      "Can't Create A GL Device Context.",
                                      {"DestroyAppWindow"}},
                      CreationFailure{Step::ChoosePixelFormat,
                                      "Can't Find A Suitable PixelFormat.",
                                      {"ReleaseDeviceContext", "DestroyAppWindow"}},
                      CreationFailure{Step::ApplyPixelFormat,
                                      "Can't Set The PixelFormat.",
                                      {"ReleaseDeviceContext", "DestroyAppWindow"}},
                      CreationFailure{Step::CreateRenderContext,
                                      "Can't Create A GL Rendering Context.",
                                      {"ReleaseDeviceContext", "DestroyAppWindow"}},
                      CreationFailure{Step::MakeContextCurrent,
                                      "Can't Activate The GL Rendering Context.",
                                      {"MakeContextCurrent none", "DeleteRenderContext",
                                       "ReleaseDeviceContext", "DestroyAppWindow"}},
                      CreationFailure{std::nullopt,
                                      "Initialization Failed.",
                                      {"MakeContextCurrent none", "DeleteRenderContext",
                                       "ReleaseDeviceContext", "DestroyAppWindow"}}),
    [](const auto &info) { return StepName(info.param.step); });

// ---- closing ------------------------------------------------------------

using CloseDemoWindowTest = ShellTest;

TEST_F(CloseDemoWindowTest, UnwindsAFullscreenWindowInOrder) {
    ASSERT_TRUE(OpenVandrel(true));
    fake.ClearLog();
    CloseDemoWindow();
    EXPECT_THAT(fake.log(),
                ElementsAre("RestoreDisplayMode", "ShowCursor", "MakeContextCurrent none",
                            "DeleteRenderContext", "ReleaseDeviceContext", "DestroyAppWindow",
                            "UnregisterWindowClass OpenGL"));
    EXPECT_TRUE(fake.boxes().empty());
    EXPECT_EQ(mainWindow, nullptr);
    EXPECT_EQ(deviceContext, nullptr);
    EXPECT_EQ(renderContext, nullptr);
    EXPECT_FALSE(fake.displaySwitched());
    EXPECT_EQ(fake.cursorCount(), 0);
    EXPECT_EQ(fake.currentContext(), nullptr);
}

TEST_F(CloseDemoWindowTest, LeavesTheDisplayAndCursorAloneForAWindowedWindow) {
    ASSERT_TRUE(OpenVandrel(false));
    fake.ClearLog();
    CloseDemoWindow();
    EXPECT_THAT(fake.log(), ElementsAre("MakeContextCurrent none", "DeleteRenderContext",
                                        "ReleaseDeviceContext", "DestroyAppWindow",
                                        "UnregisterWindowClass OpenGL"));
}

struct TeardownFailure {
    Step step;
    const char *text;
};

class TeardownFailureTest : public ShellTest,
                            public ::testing::WithParamInterface<TeardownFailure> {};

TEST_P(TeardownFailureTest, ReportsTheStepAndGoesOn) {
    ASSERT_TRUE(OpenVandrel(true));
    fake.ClearLog();
    fake.Fail(GetParam().step);
    CloseDemoWindow();

    ASSERT_EQ(fake.boxes().size(), 1u);
    EXPECT_EQ(fake.boxes()[0].text, GetParam().text);
    EXPECT_EQ(fake.boxes()[0].caption, "SHUTDOWN ERROR");
    EXPECT_EQ(fake.boxes()[0].buttons, MessageBoxButtons::Ok);
    EXPECT_EQ(fake.boxes()[0].icon, MessageBoxIcon::Information);
    // Every step is still tried, the box in between.
    for (const char *step :
         {"RestoreDisplayMode", "ShowCursor", "MakeContextCurrent none", "DeleteRenderContext",
          "ReleaseDeviceContext", "DestroyAppWindow", "UnregisterWindowClass OpenGL"})
        EXPECT_GE(Find(step), 0) << step;
    EXPECT_EQ(fake.log().size(), 8u);
    EXPECT_EQ(mainWindow, nullptr);
    EXPECT_EQ(deviceContext, nullptr);
    EXPECT_EQ(renderContext, nullptr);
}

INSTANTIATE_TEST_SUITE_P(
    EveryStep, TeardownFailureTest,
    ::testing::Values(TeardownFailure{Step::ReleaseCurrent, "Release Of DC And RC Failed."},
                      TeardownFailure{Step::DeleteRenderContext,
                                      "Release Rendering Context Failed."},
                      TeardownFailure{Step::ReleaseDeviceContext, "Release Device Context Failed."},
                      TeardownFailure{Step::DestroyWindow, "Could Not Release hWnd."},
                      TeardownFailure{Step::UnregisterClass, "Could Not Unregister Class."}),
    [](const auto &info) { return StepName(info.param.step); });

TEST_F(CloseDemoWindowTest, ReportsEachFailedStepInItsOwnBoxInOrder) {
    ASSERT_TRUE(OpenVandrel(false));
    for (Step step : {Step::ReleaseCurrent, Step::DeleteRenderContext, Step::ReleaseDeviceContext,
                      Step::DestroyWindow, Step::UnregisterClass})
        fake.Fail(step);
    CloseDemoWindow();
    ASSERT_EQ(fake.boxes().size(), 5u);
    EXPECT_EQ(fake.boxes()[0].text, "Release Of DC And RC Failed.");
    EXPECT_EQ(fake.boxes()[1].text, "Release Rendering Context Failed.");
    EXPECT_EQ(fake.boxes()[2].text, "Release Device Context Failed.");
    EXPECT_EQ(fake.boxes()[3].text, "Could Not Release hWnd.");
    EXPECT_EQ(fake.boxes()[4].text, "Could Not Unregister Class.");
}

// ---- the window procedure -----------------------------------------------

using DemoWindowProcTest = ShellTest;

intptr_t Send(MessageKind kind, uintptr_t wParam, intptr_t lParam = 0) {
    return DemoWindowProc(mainWindow, kind, wParam, lParam);
}

TEST_F(DemoWindowProcTest, ActivationFollowsTheMinimisedFlagOnly) {
    ASSERT_TRUE(OpenVandrel(false));
    EXPECT_EQ(Send(MessageKind::Activate, platform::MakeWParam(0, 1)), 0);
    EXPECT_FALSE(windowActive);
    EXPECT_EQ(Send(MessageKind::Activate, platform::MakeWParam(1, 0)), 0);
    EXPECT_TRUE(windowActive);
    Send(MessageKind::Activate, platform::MakeWParam(0, 1));
    // Deactivated but not minimised: active as far as Escape is concerned.
    Send(MessageKind::Activate, platform::MakeWParam(0, 0));
    EXPECT_TRUE(windowActive);
    EXPECT_EQ(Count("DefaultWindowProc Activate 0"), 0);
}

TEST_F(DemoWindowProcTest, SwallowsScreenSaverAndMonitorPowerCommandsOnly) {
    ASSERT_TRUE(OpenVandrel(false));
    fake.ClearLog();
    EXPECT_EQ(Send(MessageKind::SysCommand, 0xF140), 0);
    EXPECT_EQ(Send(MessageKind::SysCommand, 0xF170), 0);
    EXPECT_TRUE(fake.log().empty());
    Send(MessageKind::SysCommand, 0xF020);  // minimise
    // Only the exact command is swallowed, not one with low bits set.
    Send(MessageKind::SysCommand, 0xF141);
    EXPECT_THAT(fake.log(), ElementsAre("DefaultWindowProc SysCommand 61472",
                                        "DefaultWindowProc SysCommand 61761"));
}

TEST_F(DemoWindowProcTest, CloseAsksTheLoopToQuitAndLeavesTheWindow) {
    ASSERT_TRUE(OpenVandrel(false));
    EXPECT_EQ(Send(MessageKind::Close, 0), 0);
    EXPECT_GE(Find("PostQuit 0"), 0);
    EXPECT_EQ(Find("DestroyAppWindow"), -1);
    EXPECT_EQ(fake.windowsAlive(), 1);
}

TEST_F(DemoWindowProcTest, TheCloseCommandReachesCloseThroughTheDefaultProcedure) {
    ASSERT_TRUE(OpenVandrel(false));
    Send(MessageKind::SysCommand, 0xF060);
    EXPECT_GE(Find("PostQuit 0"), 0);
}

TEST_F(DemoWindowProcTest, KeysSetAndClearTheirEntry) {
    ASSERT_TRUE(OpenVandrel(false));
    EXPECT_EQ(Send(MessageKind::KeyDown, platform::vk::Escape), 0);
    EXPECT_TRUE(keyDown[27]);
    EXPECT_EQ(Send(MessageKind::KeyDown, 255), 0);
    EXPECT_TRUE(keyDown[255]);
    EXPECT_EQ(Send(MessageKind::KeyUp, platform::vk::Escape), 0);
    EXPECT_FALSE(keyDown[27]);
    EXPECT_TRUE(keyDown[255]);
    EXPECT_EQ(std::count(std::begin(keyDown), std::end(keyDown), true), 1);
}

TEST_F(DemoWindowProcTest, KeyCodesBeyondTheTableChangeNothing) {
    ASSERT_TRUE(OpenVandrel(false));
    bool before[256];
    std::copy(std::begin(keyDown), std::end(keyDown), before);
    for (uintptr_t code :
         {uintptr_t{256}, uintptr_t{256 + 27}, uintptr_t{0x10070}, ~uintptr_t{0}}) {
        EXPECT_EQ(Send(MessageKind::KeyDown, code), 0);
        EXPECT_TRUE(std::equal(std::begin(keyDown), std::end(keyDown), before)) << code;
    }
}

TEST_F(DemoWindowProcTest, SystemKeysNeverReachTheKeyTable) {
    ASSERT_TRUE(OpenVandrel(false));
    Send(MessageKind::SysKeyDown, platform::vk::F10);
    Send(MessageKind::SysKeyDown, platform::vk::Escape);
    EXPECT_FALSE(keyDown[platform::vk::F10]);
    EXPECT_FALSE(keyDown[platform::vk::Escape]);
    EXPECT_EQ(Count("DefaultWindowProc SysKeyDown 121"), 1);
}

TEST_F(DemoWindowProcTest, OtherMessagesGoToTheDefaultProcedure) {
    ASSERT_TRUE(OpenVandrel(false));
    fake.ClearLog();
    Send(static_cast<MessageKind>(0x0200), 7);  // mouse move
    Send(MessageKind::Char, 27);
    EXPECT_THAT(fake.log(), ElementsAre("DefaultWindowProc 0x0200 7", "DefaultWindowProc Char 27"));
}

}  // namespace
