// The entry and main loop on the scripted platform: sound start-up, one
// message per pass, the two keys, the exit codes and the F1 switch.
#include "tests/app/shell_fixture.h"

#include "demo/sequencer.h"

#include <functional>

using platform::MessageBoxAnswer;
using platform::MessageBoxButtons;
using platform::MessageBoxIcon;
using platform::MessageKind;
using platform::scripted::ScriptedPlatform;
using platform::scripted::ShownBox;
using platform::scripted::Step;
using ::testing::ElementsAre;

namespace {

constexpr MessageKind kKeyDown = MessageKind::KeyDown;
constexpr uintptr_t kEscape = 27, kF1 = 112;

// A message posted once `frame` frames have been drawn.
struct Post {
    int frame;
    MessageKind kind;
    uintptr_t wParam;
};

class DemoMainTest : public ShellTest {
protected:
    // Runs the loop; `script` is called on the first idle pass after each
    // frame (and before the first) with the number of frames drawn.
    int Run(const std::function<void(int frames)> &script) {
        int seen = -1;
        fake.onIdle = [&] {
            if (fakeDemo.frames != seen) script(seen = fakeDemo.frames);
        };
        const int code = DemoMain();
        EXPECT_FALSE(fake.runaway()) << "the loop did not end";
        return code;
    }
    int Run(const std::vector<Post> &posts) {
        return Run([&](int frames) {
            for (const Post &post : posts)
                if (post.frame == frames) fake.Post(post.kind, post.wParam);
        });
    }
};

TEST_F(DemoMainTest, StartsTheSoundThenOpensTheSoundtrackThenAFullscreenWindow) {
    EXPECT_EQ(Run({{1, MessageKind::Close, 0}}), 0);
    ASSERT_GE(fake.log().size(), 4u);
    EXPECT_THAT(std::vector<std::string>(fake.log().begin(), fake.log().begin() + 4),
                ElementsAre("SoundInit 44100 1 2", "SoundOpen DemoFinal.mp3 2 0",
                            "RegisterWindowClass OpenGL", "SwitchDisplayMode 640x480x32"));
    EXPECT_EQ(fake.lastCreationTitle(), "Vandrel");
    EXPECT_NE(soundtrackStream, nullptr);
}

TEST_F(DemoMainTest, ASoundFailureShowsAPlainBoxAndEndsWithCode1WithoutAWindow) {
    const std::pair<bool, const char *> failures[] = {{true, "Error: Could not init"},
                                                      {false, "Error: Could not load module"}};
    for (auto [initFails, text] : failures) {
        ScriptedPlatform platform;
        platform.Install();
        (initFails ? platform.soundInitFails : platform.streamOpenFails) = true;
        EXPECT_EQ(DemoMain(), 1);
        const ShownBox plain{text, std::nullopt, MessageBoxButtons::Ok, MessageBoxIcon::None};
        EXPECT_EQ(platform.boxes(), std::vector<ShownBox>{plain});
        EXPECT_FALSE(platform.lastClass().has_value());
    }
}

TEST_F(DemoMainTest, AFailedFirstWindowEndsWithCode0BeforeAnyFrame) {
    fake.Fail(Step::CreateWindow);
    EXPECT_EQ(DemoMain(), 0);
    EXPECT_EQ(fakeDemo.frames, 0);
    EXPECT_EQ(fake.boxes().size(), 1u);
}

// How a run ends: its exit code, the frames drawn and the windows created.
struct Ending {
    const char *name;
    std::vector<Post> posts;
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

class EndingTest : public DemoMainTest, public ::testing::WithParamInterface<Ending> {};

TEST_P(EndingTest, EndsWithItsCodeAndNothingLeftOpen) {
    EXPECT_EQ(Run(GetParam().posts), GetParam().code);
    EXPECT_EQ(fakeDemo.frames, GetParam().frames);
    EXPECT_EQ(fakeDemo.startCalls, GetParam().starts);
    EXPECT_EQ(fake.windowsAlive(), 0);
    EXPECT_FALSE(fake.displaySwitched());
}

INSTANTIATE_TEST_SUITE_P(Loop, EndingTest, ::testing::ValuesIn(kEndings),
                         [](const auto &info) { return std::string(info.param.name); });

TEST_F(DemoMainTest, WaitingMessagesAreHandledOnePerPassBeforeTheNextFrame) {
    Run({{1, MessageKind::Size, 0},
         {1, kKeyDown, 'A'},
         {1, MessageKind::KeyUp, 'A'},
         {3, MessageKind::Close, 0}});
    const long first = Find("StepFrame");
    const long second = Find("StepFrame", first + 1);
    ASSERT_GE(second, 0);
    EXPECT_THAT(
        std::vector<std::string>(fake.log().begin() + first + 1, fake.log().begin() + second),
        ElementsAre("PresentBackBuffer", "Message Size 0", "Message KeyDown 65", "Message Char 97",
                    "DefaultWindowProc Char 97", "Message KeyUp 65"));
}

TEST_F(DemoMainTest, F1SwitchesToWindowedAfterRestoringTheDisplay) {
    Run({{1, kKeyDown, kF1}, {3, kKeyDown, kEscape}});
    EXPECT_FALSE(fullscreenMode);
    const long second = Find("CreateAppWindow Vandrel", Find("CreateAppWindow Vandrel") + 1);
    ASSERT_GT(second, 0);
    EXPECT_LT(Find("RestoreDisplayMode"), second);
    EXPECT_LT(Find("DeleteRenderContext"), second);  // the old context goes first
    EXPECT_EQ(Count("SwitchDisplayMode 640x480x32"), 1);
    EXPECT_EQ(fake.lastCreation()->style, 0x00CF0000u | 0x06000000u);
}

TEST_F(DemoMainTest, ARefusedFullscreenOnSwitchOffersWindowedAndTheNextF1TriesAgain) {
    Run([&](int frames) {
        // To windowed, to fullscreen refused (answered Yes), to fullscreen, then the end.
        fake.SetFullscreenOffered(frames != 2);
        if (frames == 3) {
            EXPECT_FALSE(fullscreenMode);
        }
        if (frames >= 1) fake.Post(kKeyDown, frames < 4 ? kF1 : kEscape);
    });
    EXPECT_EQ(fakeDemo.startCalls, 4);
    EXPECT_EQ(Count("SwitchDisplayMode 640x480x32"), 3);
    EXPECT_EQ(fake.boxes().size(), 1u);
    EXPECT_TRUE(fullscreenMode);
}

// A re-creation fails at its device context, or its fullscreen mode is
// refused and the fallback answered No.
class FailedSwitchTest : public DemoMainTest, public ::testing::WithParamInterface<bool> {};

TEST_P(FailedSwitchTest, EndsWithCode0) {
    const bool refused = GetParam();
    fullscreenMode = !refused;
    const int code = Run([&](int frames) {
        if (frames != 2) return;
        refused ? fake.SetFullscreenOffered(false) : fake.Fail(Step::AcquireDeviceContext);
        fake.Answer(MessageBoxAnswer::No);
        fake.Post(kKeyDown, kF1);
    });
    EXPECT_EQ(code, 0);
    EXPECT_EQ(fakeDemo.frames, 3) << "the pass that saw F1 drew its frame first";
    ASSERT_FALSE(fake.boxes().empty());
    EXPECT_EQ(fake.boxes().back().text,
              refused ? "Program Will Now Close." : "Can't Create A GL Device Context.");
    EXPECT_EQ(fake.windowsAlive(), 0);
}

INSTANTIATE_TEST_SUITE_P(Switch, FailedSwitchTest, ::testing::Bool(), [](const auto &info) {
    return std::string(info.param ? "FallbackRefused" : "DeviceContextFailed");
});

}  // namespace
