// The entry and main loop on the scripted platform: sound start-up, one
// message per pass, the two keys, the exit codes and the F1 switch.
#include "tests/app/shell_fixture.h"

#include "demo/sequencer.h"
#include "platform/virtual_keys.h"

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

constexpr int kEscape = platform::vk::Escape;
constexpr int kF1 = platform::vk::F1;

// What a test does after each frame, given the number of frames drawn so far
// (0 before the first).
using Script = std::function<void(ScriptedPlatform &, int frames)>;

class DemoMainTest : public ShellTest {
protected:
    int Run(const Script &script) {
        int seen = -1;
        fake.onIdle = [&] {
            if (fakeDemo.frames == seen) return;
            seen = fakeDemo.frames;
            script(fake, seen);
        };
        const int code = DemoMain();
        EXPECT_FALSE(fake.runaway()) << "the loop did not end";
        return code;
    }
};

Script At(int frame, std::function<void(ScriptedPlatform &)> act) {
    return [frame, act](ScriptedPlatform &p, int frames) {
        if (frames == frame) act(p);
    };
}

TEST_F(DemoMainTest, StartsTheSoundThenOpensTheSoundtrackThenAFullscreenWindow) {
    EXPECT_EQ(Run(At(1, [](ScriptedPlatform &p) { p.Post(MessageKind::Close); })), 0);
    ASSERT_GE(fake.log().size(), 4u);
    EXPECT_THAT(std::vector<std::string>(fake.log().begin(), fake.log().begin() + 4),
                ElementsAre("SoundInit 44100 1 2", "SoundOpen DemoFinal.mp3 2 0",
                            "RegisterWindowClass OpenGL", "SwitchDisplayMode 640x480x32"));
    EXPECT_EQ(fake.lastCreationTitle(), "Vandrel");
    EXPECT_NE(soundtrackStream, nullptr);
}

TEST_F(DemoMainTest, ASoundFailureShowsAPlainBoxAndEndsWithCode1WithoutAWindow) {
    const struct {
        bool initFails;
        const char *text;
    } failures[] = {{true, "Error: Could not init"}, {false, "Error: Could not load module"}};
    for (const auto &failure : failures) {
        ScriptedPlatform platform;
        platform.Install();
        (failure.initFails ? platform.soundInitFails : platform.streamOpenFails) = true;
        EXPECT_EQ(DemoMain(), 1);
        const ShownBox plain{failure.text, std::nullopt, MessageBoxButtons::Ok,
                             MessageBoxIcon::None};
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

// How a run ends: the exit code and the frames drawn.
struct Ending {
    const char *name;
    Script script;
    int code;
    int frames;
    int starts;  // StartDemo calls: 2 when F1 switched once
};

const Ending kEndings[] = {
    {"CloseCommand",
     At(3,
        [](ScriptedPlatform &p) { p.Post(MessageKind::SysCommand, platform::syscommand::Close); }),
     0, 3, 1},
    // The key-down and the character it produced both carry 27.
    {"Escape", At(2, [](ScriptedPlatform &p) { p.PostKeyDown(kEscape); }), 27, 2, 1},
    {"EscapeThenAnotherMessage",
     At(2,
        [](ScriptedPlatform &p) {
            p.PostKeyDown(kEscape);
            p.PostKeyUp('Q');
        }),
     'Q', 2, 1},
    // Frames go on while minimised; the first idle pass after the restore
    // ends the run, with the activation's parameter as the code.
    {"EscapeWhileMinimised",
     [](ScriptedPlatform &p, int frames) {
         if (frames == 1) {
             p.PostActivate(true);
             p.PostKeyDown(kEscape);
         }
         if (frames == 5) p.PostActivate(false);
     },
     static_cast<int>(platform::MakeWParam(1, 0)), 5, 1},
    // Both on one idle pass: no frame, the switch happens, then the end.
    {"EscapeAndF1OnOnePass",
     At(2,
        [](ScriptedPlatform &p) {
            p.PostKeyDown(kF1);
            p.PostKeyDown(kEscape);
        }),
     27, 2, 2},
    // The pass that saw F1 drew its frame first.
    {"FailedRecreation",
     At(2,
        [](ScriptedPlatform &p) {
            p.Fail(Step::AcquireDeviceContext);
            p.PostKeyDown(kF1);
        }),
     0, 3, 1},
};

class EndingTest : public DemoMainTest, public ::testing::WithParamInterface<Ending> {};

TEST_P(EndingTest, EndsWithItsCodeAndNothingLeftOpen) {
    EXPECT_EQ(Run(GetParam().script), GetParam().code);
    EXPECT_EQ(fakeDemo.frames, GetParam().frames);
    EXPECT_EQ(fakeDemo.startCalls, GetParam().starts);
    EXPECT_EQ(fake.windowsAlive(), 0);
    EXPECT_FALSE(fake.displaySwitched());
}

INSTANTIATE_TEST_SUITE_P(Loop, EndingTest, ::testing::ValuesIn(kEndings),
                         [](const auto &info) { return std::string(info.param.name); });

TEST_F(DemoMainTest, WaitingMessagesAreHandledOnePerPassBeforeTheNextFrame) {
    Run([](ScriptedPlatform &p, int frames) {
        if (frames == 1) {
            p.Post(MessageKind::Size, 0, platform::MakeLParam(320, 200));
            p.PostKeyDown('A');
            p.PostKeyUp('A');
        }
        if (frames == 3) p.Post(MessageKind::Close);
    });
    const long first = Find("StepFrame");
    const long second = Find("StepFrame", first + 1);
    ASSERT_GE(second, 0);
    EXPECT_THAT(
        std::vector<std::string>(fake.log().begin() + first + 1, fake.log().begin() + second),
        ElementsAre("PresentBackBuffer", "Message Size 0", "Message KeyDown 65", "Message Char 97",
                    "DefaultWindowProc Char 97", "Message KeyUp 65"));
}

TEST_F(DemoMainTest, F1SwitchesToWindowedAfterRestoringTheDisplay) {
    Run([](ScriptedPlatform &p, int frames) {
        if (frames == 1) p.PostKeyDown(kF1);
        if (frames == 3) p.PostKeyDown(kEscape);
    });
    EXPECT_FALSE(fullscreenMode);
    const long second = Find("CreateAppWindow Vandrel", Find("CreateAppWindow Vandrel") + 1);
    ASSERT_GT(second, 0);
    EXPECT_LT(Find("RestoreDisplayMode"), second);
    EXPECT_LT(Find("DeleteRenderContext"), second);  // the old context goes first
    EXPECT_EQ(Count("SwitchDisplayMode 640x480x32"), 1);
    EXPECT_EQ(fake.lastCreation()->style, 0x00CF0000u | 0x06000000u);
}

TEST_F(DemoMainTest, F1IsAFlagNotACount) {
    Run([](ScriptedPlatform &p, int frames) {
        if (frames == 1)
            for (int i = 0; i < 3; ++i) p.PostKeyDown(kF1);
        if (frames == 3) p.PostKeyDown(kF1);  // after a switch (an auto-repeat): again
        if (frames == 6) p.PostKeyDown(kEscape);
    });
    EXPECT_EQ(fakeDemo.startCalls, 3);
    EXPECT_TRUE(fullscreenMode);
}

TEST_F(DemoMainTest, ARefusedFullscreenOnSwitchOffersWindowedAndTheNextF1TriesAgain) {
    Run([](ScriptedPlatform &p, int frames) {
        if (frames == 1) p.PostKeyDown(kF1);  // to windowed
        if (frames == 2) {                    // to fullscreen, refused, answered Yes
            p.SetFullscreenOffered(false);
            p.PostKeyDown(kF1);
        }
        if (frames == 3) {
            EXPECT_FALSE(fullscreenMode);
            p.SetFullscreenOffered(true);
            p.PostKeyDown(kF1);
        }
        if (frames == 4) p.PostKeyDown(kEscape);
    });
    EXPECT_EQ(fakeDemo.startCalls, 4);
    EXPECT_EQ(Count("SwitchDisplayMode 640x480x32"), 3);
    EXPECT_EQ(fake.boxes().size(), 1u);
    EXPECT_TRUE(fullscreenMode);
}

TEST_F(DemoMainTest, RefusingTheFallbackOnSwitchEndsWithCode0) {
    fullscreenMode = false;
    const int code = Run(At(1, [](ScriptedPlatform &p) {
        p.SetFullscreenOffered(false);
        p.Answer(MessageBoxAnswer::No);
        p.PostKeyDown(kF1);
    }));
    EXPECT_EQ(code, 0);
    EXPECT_EQ(fakeDemo.frames, 2);
    ASSERT_EQ(fake.boxes().size(), 2u);
    EXPECT_EQ(fake.boxes()[1].text, "Program Will Now Close.");
}

}  // namespace
