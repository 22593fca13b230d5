// The shell with the demo on the scripted platform: the steps of opening and
// closing the window and their boxes, the window's events, and the main loop.
#include "app/demo_main.h"
#include "app/demo_window.h"
#include "platform/offscreen/offscreen_gl.h"
#include "platform/opengl.h"
#include "platform/scripted/scripted_platform.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

using platform::Answer;
using platform::Buttons;
using platform::Event;
using platform::Icon;
using platform::OpenStep;
using platform::scripted::ShownBox;
using ::testing::ElementsAre;

namespace platform::scripted {
void PrintTo(const ShownBox &b, std::ostream *out) {
    *out << "{\"" << b.text << "\", " << b.caption.value_or("(default)") << ", buttons " << int(b.buttons)
         << ", icon " << int(b.icon) << ", switched " << b.displaySwitched << "}";
}
}  // namespace platform::scripted

namespace {

const ShownBox kQuestion{"The Requested Fullscreen Mode Is Not Supported By\nYour Video Card. Use Windowed Mode Instead?",
                         "Orv GL", Buttons::YesNo, Icon::Exclamation, true};
const ShownBox kWillClose{"Program Will Now Close.", "ERROR", Buttons::Ok, Icon::Stop, true};
const std::string kOpenFullscreen = "OpenWindow Vandrel 640x480x32 fullscreen",
                  kOpenWindowed = "OpenWindow Vandrel 640x480x32 windowed";
constexpr uintptr_t kEscape = 27, kF1 = 112;

Event Key(bool down, uintptr_t key) {
    Event event{down ? Event::Kind::KeyDown : Event::Kind::KeyUp};
    event.key = key;
    return event;
}
Event Activate(bool minimised) {
    Event event{Event::Kind::Activate};
    event.minimised = minimised;
    return event;
}

bool OpenVandrel(bool fullscreen) { return OpenDemoWindow("Vandrel", 640, 480, 32, fullscreen); }

class ShellTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::fill(std::begin(keyDown), std::end(keyDown), false);
        windowActive = fullscreenMode = true;
    }
    // The calls of the log that open or close the window.
    std::vector<std::string> WindowCalls() const {
        std::vector<std::string> calls;
        for (const std::string &line : fake.log())
            if (line.starts_with("OpenWindow") || line.starts_with("CloseWindow")) calls.push_back(line);
        return calls;
    }
    long Count(const std::string &line) const { return std::count(fake.log().begin(), fake.log().end(), line); }
    // Runs the demo, posting each {frame, event, parameter} once that many frames are presented.
    int Run(const std::vector<std::tuple<int, Event, intptr_t>> &posts) {
        int seen = -1;
        fake.onIdle = [&] {
            if (fake.presents == seen) return;
            seen = fake.presents;
            for (const auto &[frame, event, parameter] : posts)
                if (frame == seen) fake.Post(event, parameter);
        };
        const int code = DemoMain(fake);
        EXPECT_FALSE(fake.runaway()) << "the loop did not end";
        return code;
    }

    platform::scripted::ScriptedPlatform fake;
};

TEST_F(ShellTest, OpeningAsksForTheModeAndFallsBackToWindowedOnlyWhenTheUserSaysYes) {
    const struct {
        bool fullscreen, refused;
        Answer answer;
        bool opened, fullscreenAfter;
        std::vector<std::string> calls;
        std::vector<ShownBox> boxes;
    } rows[] = {
        {true, false, Answer::Yes, true, true, {kOpenFullscreen}, {}},
        {false, false, Answer::Yes, true, false, {kOpenWindowed}, {}},
        {true, true, Answer::Yes, true, false, {kOpenFullscreen, kOpenWindowed}, {kQuestion}},
        {true, true, Answer::No, false, true, {kOpenFullscreen}, {kQuestion, kWillClose}},
        {true, true, Answer::Failed, false, true, {kOpenFullscreen}, {kQuestion, kWillClose}},
    };
    for (const auto &row : rows) {
        platform::scripted::ScriptedPlatform fresh;
        if (row.refused) fresh.RefuseFullscreen();
        fresh.Answer(row.answer);
        EXPECT_EQ(OpenVandrel(row.fullscreen), row.opened);
        std::vector<std::string> calls;
        for (const std::string &line : fresh.log())
            if (line.starts_with("OpenWindow") || line.starts_with("CloseWindow")) calls.push_back(line);
        EXPECT_EQ(calls, row.calls);
        std::vector<ShownBox> boxes = row.boxes;
        for (ShownBox &box : boxes) box.displaySwitched = false;
        EXPECT_EQ(fresh.boxes(), boxes);
        EXPECT_EQ(fullscreenMode, row.fullscreenAfter);
        const long starts = std::count(fresh.log().begin(), fresh.log().end(), "CounterFrequency");
        EXPECT_EQ(starts, row.opened ? 1 : 0) << "the demo's start-up runs once the window is open";
        fresh.CloseWindow();
    }
}

// Every step after the registration is undone before its box, so a
// full-screen mode is gone when it shows.
TEST_F(ShellTest, EachFailedStepOfOpeningShowsItsBoxAfterUndoingWhatWasBuilt) {
    const std::pair<OpenStep, const char *> rows[] = {
        {OpenStep::Register, "Failed To Register The Window Class."},
        {OpenStep::Create, "Window Creation Error."},
        {OpenStep::Device, "Can't Create A GL Device Context."},
        {OpenStep::ChooseFormat, "Can't Find A Suitable PixelFormat."},
        {OpenStep::SetFormat, "Can't Set The PixelFormat."},
        {OpenStep::Context, "Can't Create A GL Rendering Context."},
        {OpenStep::Activate, "Can't Activate The GL Rendering Context."},
    };
    for (const auto &[step, text] : rows) {
        SCOPED_TRACE(platform::scripted::StepName(step));
        platform::scripted::ScriptedPlatform fresh;
        fresh.Fail(step);
        EXPECT_FALSE(OpenVandrel(true));
        EXPECT_EQ(fresh.boxes(), std::vector<ShownBox>({{text, "ERROR", Buttons::Ok, Icon::Exclamation, false}}));
        EXPECT_EQ(fresh.log().back(), "Box ERROR: " + std::string(text));
        const bool undone = std::ranges::any_of(fresh.log(), [](const std::string &line) {
            return line.starts_with("CloseWindow");
        });
        EXPECT_EQ(undone, step != OpenStep::Register) << "only a registration failure has nothing to undo";
        EXPECT_FALSE(fresh.windowOpen());
    }
}

TEST_F(ShellTest, EachFailedStepOfClosingShowsItsBoxInOrder) {
    const std::pair<unsigned, const char *> rows[] = {
        {platform::kReleaseCurrent, "Release Of DC And RC Failed."},
        {platform::kDeleteContext, "Release Rendering Context Failed."},
        {platform::kReleaseDevice, "Release Device Context Failed."},
        {platform::kDestroyWindow, "Could Not Release hWnd."},
        {platform::kUnregister, "Could Not Unregister Class."},
    };
    std::vector<ShownBox> all;
    for (const auto &[step, text] : rows) all.push_back({text, "SHUTDOWN ERROR", Buttons::Ok, Icon::Information, false});
    for (size_t i = 0; i <= std::size(rows); ++i) {
        platform::scripted::ScriptedPlatform fresh;  // row i alone, then all of them
        fresh.FailClose(i < std::size(rows) ? rows[i].first : ~0u);
        ASSERT_TRUE(OpenVandrel(false));
        CloseDemoWindow();
        EXPECT_EQ(fresh.boxes(), i < std::size(rows) ? std::vector<ShownBox>{all[i]} : all);
    }
    platform::Install(&fake);
    ASSERT_TRUE(OpenVandrel(false));
    CloseDemoWindow();
    EXPECT_TRUE(fake.boxes().empty()) << "a teardown without failures shows nothing";
}

// The projection itself shows in the capture's stills.
TEST_F(ShellTest, TheWindowsEventsSetTheFlagsKeysAndViewAndCloseAsksToQuit) {
    static platform::OffscreenGL *gl = new platform::OffscreenGL;  // kept: see the scenes' test
    std::string error;
    if (gl->width() == 0 && !gl->Create(64, 64, &error)) GTEST_SKIP() << "no offscreen OpenGL: " << error;
    const auto viewport = [] {
        std::vector<GLint> v(4);
        glGetIntegerv(GL_VIEWPORT, v.data());
        return v;
    };
    ASSERT_TRUE(OpenVandrel(false));
    EXPECT_EQ(viewport(), (std::vector<GLint>{0, 0, 640, 480})) << "the requested size";
    const auto send = [&](const Event &event) {
        fake.Post(event);
        platform::Message message;
        ASSERT_TRUE(fake.PollMessage(&message));
    };
    send(Activate(true));
    EXPECT_FALSE(windowActive);
    send(Activate(false));
    EXPECT_TRUE(windowActive);
    for (uintptr_t key : {uintptr_t{27}, uintptr_t{255}, uintptr_t{256}, uintptr_t{256 + 27}, ~uintptr_t{0}})
        send(Key(true, key));
    send(Key(false, 27));
    EXPECT_EQ(std::count(std::begin(keyDown), std::end(keyDown), true), 1);
    EXPECT_TRUE(keyDown[255]);
    Event size{Event::Kind::Resize};
    size.width = 300;  // minimised: the height counts as 1
    send(size);
    EXPECT_EQ(viewport(), (std::vector<GLint>{0, 0, 300, 1}));
    EXPECT_EQ(Count("PostQuit 0"), 0);
    send(Event{Event::Kind::Close});
    EXPECT_EQ(Count("PostQuit 0"), 1);
    EXPECT_TRUE(fake.windowOpen()) << "the loop tears the window down, not the close";
}

TEST_F(ShellTest, AFailedStartShowsItsBoxAndEndsBeforeAnyFrame) {
    const struct {
        bool startFails, openFails;
        ShownBox box;
        int code;
    } rows[] = {{true, false, {"Error: Could not init", std::nullopt, Buttons::Ok, Icon::None, false}, 1},
                {false, true, {"Error: Could not load module", std::nullopt, Buttons::Ok, Icon::None, false}, 1},
                {false, false, {"Window Creation Error.", "ERROR", Buttons::Ok, Icon::Exclamation, false}, 0}};
    for (const auto &row : rows) {
        platform::scripted::ScriptedPlatform platform;
        platform.soundStartFails = row.startFails;
        platform.soundtrackOpenFails = row.openFails;
        platform.Fail(OpenStep::Create);
        EXPECT_EQ(DemoMain(platform), row.code);
        EXPECT_EQ(platform.boxes(), std::vector<ShownBox>{row.box});
        EXPECT_EQ(platform.lastRequest.has_value(), row.code == 0) << "a window was asked for";
        EXPECT_EQ(platform.presents, 0);
    }
}

struct Ending {
    const char *name;
    std::vector<std::tuple<int, Event, intptr_t>> posts;
    int code, frames, opens;
};
void PrintTo(const Ending &row, std::ostream *out) { *out << row.name; }

// clang-format off
const Ending kEndings[] = {
    {"Close", {{3, Event{Event::Kind::Close}, 0}}, 0, 3, 1},
    {"Escape", {{2, Key(true, kEscape), 27}}, 27, 2, 1},
    // The exit code is the last message's parameter, whatever it was.
    {"EscapeThenAnotherMessage", {{2, Key(true, kEscape), 27}, {2, Key(false, 'Q'), 'Q'}}, 'Q', 2, 1},
    // Frames go on while minimised; the restore's idle pass ends the run.
    {"EscapeWhileMinimised", {{1, Activate(true), 0x10000}, {1, Key(true, kEscape), 27},
                              {5, Activate(false), 1}}, 1, 5, 1},
    // No frame on that pass, but the switch still happens before the end.
    {"EscapeAndF1OnOnePass", {{2, Key(true, kF1), 112}, {2, Key(true, kEscape), 27}}, 27, 2, 2},
    // Three presses before a pass make one switch; one after it another.
    {"F1IsAFlagNotACount", {{1, Key(true, kF1), 112}, {1, Key(true, kF1), 112}, {1, Key(true, kF1), 112},
                            {3, Key(true, kF1), 112}, {6, Key(true, kEscape), 27}}, 27, 6, 3},
};
// clang-format on

class EndingTest : public ShellTest, public ::testing::WithParamInterface<Ending> {};

TEST_P(EndingTest, EndsWithItsCodeAndNothingLeftOpen) {
    EXPECT_EQ(Run(GetParam().posts), GetParam().code);
    EXPECT_EQ(fake.presents, GetParam().frames);
    EXPECT_EQ(WindowCalls().size(), 2u * GetParam().opens);
    EXPECT_FALSE(fake.windowOpen() || fake.displaySwitched());
}

INSTANTIATE_TEST_SUITE_P(Loop, EndingTest, ::testing::ValuesIn(kEndings),
                         [](const auto &info) { return std::string(info.param.name); });

TEST_F(ShellTest, StartsSoundSoundtrackAndWindowThenTakesWaitingMessagesOnePerPass) {
    Event size{Event::Kind::Resize};
    EXPECT_EQ(Run({{1, size, 0}, {1, Key(true, 'A'), 'A'}, {1, Key(false, 'A'), 'A'}, {3, Event{Event::Kind::Close}, 0}}),
              0);
    EXPECT_THAT(std::vector<std::string>(fake.log().begin(), fake.log().begin() + 3),
                ElementsAre("StartSound 44100 1 2", "OpenSoundtrack DemoFinal.mp3 2 0", kOpenFullscreen));
    std::vector<std::string> between;  // from the first frame's present to the second frame
    const auto first = std::find(fake.log().begin(), fake.log().end(), "Present");
    for (auto line = first + 1; *line != "Play 0"; ++line) between.push_back(*line);
    EXPECT_THAT(between, ElementsAre("Message Resize 0", "Message KeyDown 65", "Message KeyUp 65"));
    EXPECT_EQ(fake.lastPlayed, fake.Open("DemoFinal.mp3", 2, 0)) << "the frames play the soundtrack";
}

TEST_F(ShellTest, F1SwitchesToWindowedAfterRestoringTheDisplayAndAFailedSwitchEndsWith0) {
    Run({{1, Key(true, kF1), 112}, {3, Key(true, kEscape), 27}});
    EXPECT_FALSE(fullscreenMode);
    EXPECT_THAT(WindowCalls(), ElementsAre(kOpenFullscreen, "CloseWindow restoring the display", kOpenWindowed,
                                           "CloseWindow"));

    platform::scripted::ScriptedPlatform failing;
    SetUp();
    int frames = 0;
    failing.onIdle = [&] {
        if (failing.presents == 2 && frames++ == 0) {
            failing.Fail(OpenStep::Device);
            failing.PostKey(true, kF1);
        }
    };
    EXPECT_EQ(DemoMain(failing), 0);
    EXPECT_EQ(failing.presents, 3) << "the pass that saw F1 drew its frame";
    EXPECT_EQ(failing.boxes(), std::vector<ShownBox>({{"Can't Create A GL Device Context.", "ERROR", Buttons::Ok,
                                                       Icon::Exclamation, false}}));
    EXPECT_FALSE(failing.windowOpen());
}

}  // namespace
