// The shell on the scripted platform with a stand-in demo: the window's steps
// and failure boxes, the window procedure, the view and the main loop.
#include "app/demo_main.h"
#include "app/demo_window.h"
#include "demo/sequencer.h"
#include "demo/start_demo.h"
#include "platform/offscreen/offscreen_gl.h"
#include "platform/opengl.h"
#include "platform/scripted/scripted_platform.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>
#include <optional>

using platform::MessageBoxAnswer;
using platform::MessageBoxButtons;
using platform::MessageBoxIcon;
using platform::MessageKind;
using platform::scripted::ShownBox;
using platform::scripted::Step;
using ::testing::ElementsAre;

namespace platform::scripted {
bool operator==(const ShownBox &a, const ShownBox &b) {
    return std::tie(a.text, a.caption, a.buttons, a.icon, a.displaySwitched, a.windowsAlive) ==
           std::tie(b.text, b.caption, b.buttons, b.icon, b.displaySwitched, b.windowsAlive);
}
void PrintTo(const ShownBox &b, std::ostream *out) {
    *out << "{\"" << b.text << "\", " << b.caption.value_or("(default)") << ", buttons "
         << int(b.buttons) << ", icon " << int(b.icon) << ", switched " << b.displaySwitched
         << ", windows " << b.windowsAlive << "}";
}
}  // namespace platform::scripted

// The stand-in demo notes its start-ups and frames in the platform's log.
platform::scripted::ScriptedPlatform *demoLog = nullptr;
int demoStarts = 0, demoFrames = 0;
bool demoStartFails = false;
SoundStream *soundtrackStream = nullptr;
bool StartDemo() {
    ++demoStarts;
    if (demoLog != nullptr) demoLog->Note("StartDemo");
    return !demoStartFails;
}
int StepFrame() {
    ++demoFrames;
    if (demoLog != nullptr) demoLog->Note("StepFrame");
    return 1;
}

namespace {

const ShownBox kFallbackQuestion{
    "The Requested Fullscreen Mode Is Not Supported By\nYour Video Card. Use Windowed Mode "
    "Instead?",
    "Orv GL", MessageBoxButtons::YesNo, MessageBoxIcon::Exclamation};
const ShownBox kWillClose{"Program Will Now Close.", "ERROR", MessageBoxButtons::Ok,
                          MessageBoxIcon::Stop};
constexpr uint32_t kFramedStyle = 0x00CF0000u | 0x06000000u;
constexpr uintptr_t kEscape = 27, kF1 = 112;
constexpr MessageKind kKeyDown = MessageKind::KeyDown;

bool OpenVandrel(bool fullscreen) { return OpenDemoWindow("Vandrel", 640, 480, 32, fullscreen); }

// What closing a fullscreen window undoes when `held` of window, device and
// rendering context were obtained; -1: no teardown at all.
std::vector<std::string> Undone(int held) {
    if (held < 0) return {};
    std::vector<std::string> calls = {"RestoreDisplayMode", "ShowCursor"};
    if (held >= 3) calls.insert(calls.end(), {"MakeContextCurrent none", "DeleteRenderContext"});
    if (held >= 2) calls.push_back("ReleaseDeviceContext");
    if (held >= 1) calls.push_back("DestroyAppWindow");
    calls.push_back("UnregisterWindowClass OpenGL");
    return calls;
}

class ShellTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::fill(std::begin(keyDown), std::end(keyDown), false);
        windowActive = fullscreenMode = true;
        deviceContext = nullptr;
        mainWindow = nullptr;
        renderContext = nullptr;
        pixelFormatDesc = {};
        demoLog = &fake;
        demoStarts = demoFrames = 0;
        demoStartFails = false;
        fake.Install();
    }
    void TearDown() override { demoLog = nullptr; }

    std::vector<std::string> TeardownCalls() const {
        const std::vector<std::string> all = Undone(3);
        std::vector<std::string> calls;
        for (const std::string &line : fake.log())
            if (std::find(all.begin(), all.end(), line) != all.end()) calls.push_back(line);
        return calls;
    }
    long Find(const std::string &line, long from = 0) const {
        const auto at = std::find(fake.log().begin() + from, fake.log().end(), line);
        return at == fake.log().end() ? -1 : at - fake.log().begin();
    }
    // Runs the main loop; `script` runs on the first idle pass after each frame.
    static int Run(const std::function<void(int frames)> &script,
                   platform::scripted::ScriptedPlatform &platform) {
        int seen = -1;
        platform.onIdle = [&] {
            if (demoFrames != seen) script(seen = demoFrames);
        };
        const int code = DemoMain();
        EXPECT_FALSE(platform.runaway()) << "the loop did not end";
        return code;
    }
    // Runs the main loop posting each {frame, kind, wParam} once that many frames are drawn.
    int Run(const std::vector<std::tuple<int, MessageKind, uintptr_t>> &posts) {
        return Run(
            [&](int frames) {
                for (auto [frame, kind, wParam] : posts)
                    if (frame == frames) fake.Post(kind, wParam);
            },
            fake);
    }

    platform::scripted::ScriptedPlatform fake;
};

TEST_F(ShellTest, OpenRunsEveryStepInOrderAndEachModeGetsItsStylesAndA640By480ClientArea) {
    // The scripted frame adds 4 pixels a side and a 20-pixel caption.
    const struct {
        bool fullscreen, offered;
        uint32_t exStyle, style;
        int width, height, cursor;
        std::vector<ShownBox> boxes;
    } modes[] = {{true, true, 0x00040000u, 0x86000000u, 640, 480, -1, {}},
                 {false, true, 0x00040100u, kFramedStyle, 648, 508, 0, {}},
                 {true, false, 0x00040100u, kFramedStyle, 648, 508, 0, {kFallbackQuestion}}};
    for (const auto &m : modes) {
        platform::scripted::ScriptedPlatform fresh;
        fresh.Install();
        demoLog = &fresh;
        fresh.SetFullscreenOffered(m.offered);
        fresh.Answer(MessageBoxAnswer::Yes);
        ASSERT_TRUE(OpenVandrel(m.fullscreen));
        const platform::WindowCreation &c = *fresh.lastCreation();
        EXPECT_EQ(std::tie(c.exStyle, c.style, c.x, c.y, c.width, c.height),
                  std::tuple(m.exStyle, m.style, 0, 0, m.width, m.height))
            << m.fullscreen << m.offered;
        EXPECT_EQ(fresh.cursorCount(), m.cursor);
        EXPECT_EQ(fresh.boxes(), m.boxes);
        EXPECT_EQ(fullscreenMode, m.fullscreen && m.offered);
        EXPECT_EQ(fresh.currentContext(), renderContext);
        if (m.fullscreen && m.offered) {
            EXPECT_THAT(fresh.log(),
                        ElementsAre("RegisterWindowClass OpenGL", "SwitchDisplayMode 640x480x32",
                                    "HideCursor", "AdjustWindowRectangle", "CreateAppWindow Vandrel",
                                    "AcquireDeviceContext", "ChoosePixelFormatIndex", "ApplyPixelFormat 7",
                                    "CreateRenderContext", "MakeContextCurrent", "ShowAppWindow",
                                    "BringToForeground", "GiveKeyboardFocus", "StartDemo"));
        }
        CloseDemoWindow();
    }
}

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
        demoStartFails = true;
    }
    EXPECT_FALSE(OpenVandrel(true));
    const ShownBox box{row.text ? row.text : "", "ERROR", MessageBoxButtons::Ok,
                       MessageBoxIcon::Exclamation};
    const auto boxes = row.text ? std::vector<ShownBox>{box}
                                : std::vector<ShownBox>{kFallbackQuestion, kWillClose};
    EXPECT_EQ(fake.boxes(), boxes);
    EXPECT_EQ(TeardownCalls(), Undone(row.held));
    EXPECT_EQ(fake.windowsAlive() + fake.renderContextsAlive() + fake.deviceContextsHeld(), 0);
    EXPECT_EQ(std::tie(mainWindow, deviceContext, renderContext),
              std::tuple(nullptr, nullptr, nullptr));
    EXPECT_EQ(fake.cursorCount(), 0);
}

INSTANTIATE_TEST_SUITE_P(EveryRow, CreationFailureTest, ::testing::ValuesIn(kCreationFailures),
                         [](const auto &info) { return std::string(info.param.name); });

struct TeardownFailure {
    const char *name;
    bool fullscreen;
    std::optional<Step> step;
    const char *text;
};
void PrintTo(const TeardownFailure &row, std::ostream *out) { *out << row.name; }

class TeardownFailureTest : public ShellTest,
                            public ::testing::WithParamInterface<TeardownFailure> {};

// A failing step shows its box in its place and every later step is still tried.
TEST_P(TeardownFailureTest, ReportsTheStepAndGoesOn) {
    const TeardownFailure &row = GetParam();
    ASSERT_TRUE(OpenVandrel(row.fullscreen));
    fake.ClearLog();
    if (row.step) fake.Fail(*row.step);
    CloseDemoWindow();
    std::vector<ShownBox> boxes;
    if (row.text)
        boxes.push_back({row.text, "SHUTDOWN ERROR", MessageBoxButtons::Ok,
                         MessageBoxIcon::Information, false,
                         row.step == Step::UnregisterClass ? 0 : 1});
    EXPECT_EQ(fake.boxes(), boxes);
    std::vector<std::string> undone = Undone(3);
    if (!row.fullscreen) undone.erase(undone.begin(), undone.begin() + 2);
    EXPECT_EQ(row.step ? TeardownCalls() : fake.log(), undone);
    EXPECT_EQ(std::tie(mainWindow, deviceContext, renderContext),
              std::tuple(nullptr, nullptr, nullptr));
    EXPECT_FALSE(fake.displaySwitched());
    EXPECT_EQ(fake.cursorCount(), 0);
}

INSTANTIATE_TEST_SUITE_P(
    EveryRow, TeardownFailureTest,
    // clang-format off
    ::testing::Values(
        TeardownFailure{"NoneFullscreen", true, {}, nullptr},
        TeardownFailure{"NoneWindowed", false, {}, nullptr},
        TeardownFailure{"ReleaseCurrent", true, Step::ReleaseCurrent, "Release Of DC And RC Failed."},
        TeardownFailure{"DeleteRenderContext", true, Step::DeleteRenderContext, "Release Rendering Context Failed."},
        TeardownFailure{"ReleaseDeviceContext", true, Step::ReleaseDeviceContext, "Release Device Context Failed."},
        TeardownFailure{"DestroyWindow", true, Step::DestroyWindow, "Could Not Release hWnd."},
        TeardownFailure{"UnregisterClass", true, Step::UnregisterClass, "Could Not Unregister Class."}),
    // clang-format on
    [](const auto &info) { return std::string(info.param.name); });

intptr_t Send(MessageKind kind, uintptr_t wParam, intptr_t lParam = 0) {
    return DemoWindowProc(mainWindow, kind, wParam, lParam);
}

TEST_F(ShellTest, TheWindowProcedureHandlesActivationKeysAndCommands) {
    ASSERT_TRUE(OpenVandrel(false));
    // Activation follows the minimised flag only.
    EXPECT_EQ(Send(MessageKind::Activate, platform::MakeWParam(0, 1)), 0);
    EXPECT_FALSE(windowActive);
    Send(MessageKind::Activate, platform::MakeWParam(0, 0));
    EXPECT_TRUE(windowActive);
    // Keys set and clear their own entry; codes outside the table are ignored.
    EXPECT_EQ(Send(kKeyDown, 27) + Send(kKeyDown, 255) + Send(MessageKind::KeyUp, 27), 0);
    for (uintptr_t outside : {uintptr_t{256}, uintptr_t{256 + 27}, ~uintptr_t{0}})
        EXPECT_EQ(Send(kKeyDown, outside), 0);
    Send(MessageKind::SysKeyDown, 121);
    EXPECT_EQ(std::count(std::begin(keyDown), std::end(keyDown), true), 1);
    EXPECT_TRUE(keyDown[255]);
    // Only the screen saver and monitor power are swallowed; close only asks to quit.
    fake.ClearLog();
    EXPECT_EQ(Send(MessageKind::SysCommand, 0xF140) + Send(MessageKind::SysCommand, 0xF170), 0);
    Send(MessageKind::SysCommand, 0xF020);
    Send(static_cast<MessageKind>(0x0200), 7);
    EXPECT_EQ(Send(MessageKind::Close, 0), 0);
    EXPECT_THAT(fake.log(), ElementsAre("DefaultWindowProc SysCommand 61472",
                                        "DefaultWindowProc 0x0200 7", "PostQuit 0"));
    EXPECT_EQ(fake.windowsAlive(), 1);
}

// The projection itself shows in the capture's stills.
TEST_F(ShellTest, TheViewFollowsTheRequestedThenTheReportedClientSize) {
    platform::OffscreenGL gl;
    std::string error;
    if (!gl.Create(64, 64, &error)) GTEST_SKIP() << "no offscreen OpenGL: " << error;
    auto viewport = [] {
        std::vector<GLint> v(4);
        glGetIntegerv(GL_VIEWPORT, v.data());
        return v;
    };
    ASSERT_TRUE(OpenVandrel(false));
    EXPECT_EQ(viewport(), (std::vector<GLint>{0, 0, 640, 480}));
    Send(MessageKind::Size, 0, platform::MakeLParam(300, 0));  // minimised: the height counts as 1
    EXPECT_EQ(viewport(), (std::vector<GLint>{0, 0, 300, 1}));
}

TEST_F(ShellTest, AFailedStartShowsItsBoxAndEndsBeforeAnyFrame) {
    const struct {
        bool initFails, openFails;
        ShownBox box;
        int code;
    } rows[] = {
        {true, false, {"Error: Could not init", std::nullopt}, 1},
        {false, true, {"Error: Could not load module", std::nullopt}, 1},
        {false, false, {"Window Creation Error.", "ERROR", {}, MessageBoxIcon::Exclamation}, 0}};
    for (const auto &row : rows) {
        platform::scripted::ScriptedPlatform platform;
        platform.Install();
        platform.soundInitFails = row.initFails;
        platform.streamOpenFails = row.openFails;
        if (row.code == 0) platform.Fail(Step::CreateWindow);
        EXPECT_EQ(DemoMain(), row.code);
        EXPECT_EQ(platform.boxes(), std::vector<ShownBox>{row.box});
        EXPECT_EQ(platform.lastClass().has_value(), row.code == 0);
        EXPECT_EQ(demoFrames, 0);
    }
}

struct Ending {
    const char *name;
    std::vector<std::tuple<int, MessageKind, uintptr_t>> posts;
    int code, frames, starts;
};
void PrintTo(const Ending &row, std::ostream *out) { *out << row.name; }

const uintptr_t kMinimised = platform::MakeWParam(0, 1), kRestored = platform::MakeWParam(1, 0);

// clang-format off
const Ending kEndings[] = {
    {"CloseCommand", {{3, MessageKind::SysCommand, platform::syscommand::Close}}, 0, 3, 1},
    // The key-down and the character it produced both carry 27.
    {"Escape", {{2, kKeyDown, kEscape}}, 27, 2, 1},
    {"EscapeThenAnotherMessage", {{2, kKeyDown, kEscape}, {2, MessageKind::KeyUp, 'Q'}}, 'Q', 2, 1},
    // Frames go on while minimised; the restore's idle pass ends the run.
    {"EscapeWhileMinimised", {{1, MessageKind::Activate, kMinimised}, {1, kKeyDown, kEscape},
                              {5, MessageKind::Activate, kRestored}}, int(kRestored), 5, 1},
    // No frame on that pass, but the switch still happens before the end.
    {"EscapeAndF1OnOnePass", {{2, kKeyDown, kF1}, {2, kKeyDown, kEscape}}, 27, 2, 2},
    // Three presses before a pass make one switch; one after it another.
    {"F1IsAFlagNotACount", {{1, kKeyDown, kF1}, {1, kKeyDown, kF1}, {1, kKeyDown, kF1},
                            {3, kKeyDown, kF1}, {6, kKeyDown, kEscape}}, 27, 6, 3},
};
// clang-format on

class EndingTest : public ShellTest, public ::testing::WithParamInterface<Ending> {};

TEST_P(EndingTest, EndsWithItsCodeAndNothingLeftOpen) {
    EXPECT_EQ(Run(GetParam().posts), GetParam().code);
    EXPECT_EQ(std::tie(demoFrames, demoStarts), std::tie(GetParam().frames, GetParam().starts));
    EXPECT_EQ(fake.windowsAlive(), 0);
    EXPECT_FALSE(fake.displaySwitched());
}

INSTANTIATE_TEST_SUITE_P(Loop, EndingTest, ::testing::ValuesIn(kEndings),
                         [](const auto &info) { return std::string(info.param.name); });

TEST_F(ShellTest, StartsSoundSoundtrackAndWindowThenHandlesWaitingMessagesOnePerPass) {
    EXPECT_EQ(Run({{1, MessageKind::Size, 0}, {1, kKeyDown, 'A'}, {1, MessageKind::KeyUp, 'A'},
                   {3, MessageKind::Close, 0}}),
              0);
    EXPECT_THAT(std::vector<std::string>(fake.log().begin(), fake.log().begin() + 4),
                ElementsAre("SoundInit 44100 1 2", "SoundOpen DemoFinal.mp3 2 0",
                            "RegisterWindowClass OpenGL", "SwitchDisplayMode 640x480x32"));
    EXPECT_EQ(fake.lastCreationTitle(), "Vandrel");
    EXPECT_NE(soundtrackStream, nullptr);
    const long first = Find("StepFrame"), second = Find("StepFrame", first + 1);
    ASSERT_GE(second, 0);
    EXPECT_THAT(
        std::vector<std::string>(fake.log().begin() + first + 1, fake.log().begin() + second),
        ElementsAre("PresentBackBuffer", "Message Size 0", "Message KeyDown 65", "Message Char 97",
                    "DefaultWindowProc Char 97", "Message KeyUp 65"));
}

TEST_F(ShellTest, F1SwitchesToWindowedAfterRestoringTheDisplay) {
    Run({{1, kKeyDown, kF1}, {3, kKeyDown, kEscape}});
    EXPECT_FALSE(fullscreenMode);
    const long second = Find("CreateAppWindow Vandrel", Find("CreateAppWindow Vandrel") + 1);
    ASSERT_GT(second, 0);
    EXPECT_LT(Find("RestoreDisplayMode"), second);
    EXPECT_LT(Find("DeleteRenderContext"), second);
    EXPECT_EQ(std::count(fake.log().begin(), fake.log().end(), "SwitchDisplayMode 640x480x32"), 1);
    EXPECT_EQ(fake.lastCreation()->style, kFramedStyle);
}

// A re-creation that fails ends the run with code 0 after the frame of that pass.
TEST_F(ShellTest, AFailedSwitchEndsWithCode0) {
    const int code = Run(
        [&](int frames) {
            if (frames != 2) return;
            fake.Fail(Step::AcquireDeviceContext);
            fake.Post(kKeyDown, kF1);
        },
        fake);
    EXPECT_EQ(std::tie(code, demoFrames), std::tuple(0, 3));
    ASSERT_EQ(fake.boxes().size(), 1u);
    EXPECT_EQ(fake.boxes()[0].text, "Can't Create A GL Device Context.");
    EXPECT_EQ(fake.windowsAlive(), 0);
}

}  // namespace
