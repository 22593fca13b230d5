// The entry and main loop with the scripted platform: sound start-up
// failures, one message per pass, the two keys, the exit codes, and the
// switch between fullscreen and windowed.
#include "tests/app/shell_fixture.h"

#include "demo/sequencer.h"
#include "platform/virtual_keys.h"

#include <gmock/gmock.h>

using platform::MessageBoxAnswer;
using platform::MessageBoxButtons;
using platform::MessageBoxIcon;
using platform::MessageKind;
using platform::scripted::Step;
using ::testing::ElementsAre;

namespace {

constexpr int kEscape = platform::vk::Escape;
constexpr int kF1 = platform::vk::F1;

class DemoMainTest : public ShellTest {
protected:
    // Runs the loop; `script` is called once after each frame (and once
    // before the first) with the number of frames drawn so far, and posts
    // what should happen next.
    int Run(std::function<void(int frames)> script) {
        int scripted = -1;
        fake.onIdle = [this, script, scripted]() mutable {
            if (fakeDemo.frames == scripted) return;
            scripted = fakeDemo.frames;
            script(scripted);
        };
        const int code = DemoMain();
        EXPECT_FALSE(fake.runaway()) << "the loop did not end";
        return code;
    }

    // Log positions of every line equal to `line`.
    std::vector<long> All(const std::string &line) const {
        std::vector<long> at;
        for (long i = Find(line); i >= 0; i = Find(line, i + 1)) at.push_back(i);
        return at;
    }
};

// ---- sound start-up -----------------------------------------------------

TEST_F(DemoMainTest, StartsTheSoundAndOpensTheSoundtrackBeforeTheWindow) {
    const int code = Run([&](int frames) {
        if (frames == 1) fake.Post(MessageKind::Close);
    });
    EXPECT_EQ(code, 0);
    EXPECT_EQ(fake.log()[0], "SoundInit 44100 1 2");
    EXPECT_EQ(fake.log()[1], "SoundOpen DemoFinal.mp3 2 0");
    EXPECT_EQ(fake.log()[2], "RegisterWindowClass OpenGL");
    // Opened, not started: playing is the frame's business.
    EXPECT_EQ(fake.playRequests, 0);
    EXPECT_NE(soundtrackStream, nullptr);
}

TEST_F(DemoMainTest, ASoundStartFailureShowsAPlainBoxAndEndsWithCode1) {
    fake.soundInitFails = true;
    EXPECT_EQ(DemoMain(), 1);
    ASSERT_EQ(fake.boxes().size(), 1u);
    EXPECT_EQ(fake.boxes()[0].text, "Error: Could not init");
    EXPECT_FALSE(fake.boxes()[0].caption.has_value());
    EXPECT_EQ(fake.boxes()[0].buttons, MessageBoxButtons::Ok);
    EXPECT_EQ(fake.boxes()[0].icon, MessageBoxIcon::None);
    EXPECT_THAT(fake.log(),
                ElementsAre("SoundInit 44100 1 2", "MessageBox (default): Error: Could not init"));
}

TEST_F(DemoMainTest, AMissingSoundtrackShowsAPlainBoxAndNeverOpensAWindow) {
    fake.streamOpenFails = true;
    EXPECT_EQ(DemoMain(), 1);
    ASSERT_EQ(fake.boxes().size(), 1u);
    EXPECT_EQ(fake.boxes()[0].text, "Error: Could not load module");
    EXPECT_FALSE(fake.boxes()[0].caption.has_value());
    EXPECT_EQ(fake.boxes()[0].buttons, MessageBoxButtons::Ok);
    EXPECT_EQ(fake.boxes()[0].icon, MessageBoxIcon::None);
    EXPECT_EQ(Find("RegisterWindowClass OpenGL"), -1);
}

TEST_F(DemoMainTest, AFailedFirstWindowEndsWithCode0) {
    fake.Fail(Step::CreateWindow);
    EXPECT_EQ(DemoMain(), 0);
    EXPECT_EQ(fakeDemo.frames, 0);
    ASSERT_EQ(fake.boxes().size(), 1u);
    EXPECT_EQ(fake.boxes()[0].text, "Window Creation Error.");
}

TEST_F(DemoMainTest, StartsFullscreen) {
    Run([&](int frames) {
        if (frames == 1) fake.Post(MessageKind::Close);
    });
    EXPECT_GE(Find("SwitchDisplayMode 640x480x32"), 0);
    EXPECT_EQ(fake.lastCreationTitle(), "Vandrel");
}

// ---- ending -------------------------------------------------------------

TEST_F(DemoMainTest, ClosingTheWindowEndsWithCode0AfterTheTeardown) {
    const int code = Run([&](int frames) {
        if (frames == 3) fake.Post(MessageKind::SysCommand, platform::syscommand::Close);
    });
    EXPECT_EQ(code, 0);
    EXPECT_EQ(fakeDemo.frames, 3);
    const long quit = Find("Message Quit 0");
    ASSERT_GE(quit, 0);
    EXPECT_GT(Find("DestroyAppWindow", quit), quit);
    EXPECT_GT(Find("UnregisterWindowClass OpenGL", quit), quit);
    EXPECT_EQ(fake.windowsAlive(), 0);
    EXPECT_FALSE(fake.displaySwitched());
}

TEST_F(DemoMainTest, EscapeEndsWith27FromItsOwnMessages) {
    const int code = Run([&](int frames) {
        if (frames == 2) fake.PostKeyDown(kEscape);
    });
    EXPECT_EQ(code, 27);
    EXPECT_EQ(fakeDemo.frames, 2);
    // The key-down and the character it produced, then the idle pass ends it.
    const long down = Find("Message KeyDown 27");
    ASSERT_GE(down, 0);
    EXPECT_EQ(fake.log()[static_cast<size_t>(down) + 1], "Message Char 27");
    EXPECT_EQ(Find("StepFrame", down), -1);
    EXPECT_GE(Find("DestroyAppWindow", down), 0);
}

TEST_F(DemoMainTest, EscapeReturnsTheParameterOfTheLastMessageTaken) {
    const int code = Run([&](int frames) {
        if (frames == 2) {
            fake.PostKeyDown(kEscape);
            fake.PostKeyUp('Q');
        }
    });
    EXPECT_EQ(code, 'Q');
}

TEST_F(DemoMainTest, EscapeIsIgnoredWhileMinimisedAndActsOnRestore) {
    int restoredAt = -1;
    const int code = Run([&](int frames) {
        if (frames == 1) {
            fake.PostActivate(true);
            fake.PostKeyDown(kEscape);
        }
        if (frames == 5 && restoredAt < 0) {
            restoredAt = frames;
            fake.PostActivate(false);
        }
    });
    // Frames went on while minimised, and stopped on the first idle pass
    // after the restore.
    EXPECT_EQ(fakeDemo.frames, 5);
    // The last message was the activation: its parameter is the exit code.
    EXPECT_EQ(code, static_cast<int>(platform::MakeWParam(1, 0)));
}

TEST_F(DemoMainTest, SeveralWaitingMessagesAreHandledOnePerPassBeforeTheNextFrame) {
    Run([&](int frames) {
        if (frames == 1) {
            fake.Post(MessageKind::Size, 0, platform::MakeLParam(320, 200));
            fake.PostKeyDown('A');
            fake.PostKeyUp('A');
        }
        if (frames == 3) fake.Post(MessageKind::Close);
    });
    const long first = Find("StepFrame");
    const long second = Find("StepFrame", first + 1);
    ASSERT_GE(second, 0);
    std::vector<std::string> between(fake.log().begin() + first + 1, fake.log().begin() + second);
    EXPECT_THAT(between,
                ElementsAre("PresentBackBuffer", "Message Size 0", "Message KeyDown 65",
                            "Message Char 97", "DefaultWindowProc Char 97", "Message KeyUp 65"));
}

TEST_F(DemoMainTest, EveryFrameIsPresented) {
    Run([&](int frames) {
        if (frames == 4) fake.Post(MessageKind::Close);
    });
    const std::vector<long> frames = All("StepFrame");
    ASSERT_EQ(frames.size(), 4u);
    for (long at : frames) EXPECT_EQ(fake.log()[static_cast<size_t>(at) + 1], "PresentBackBuffer");
}

// ---- F1 -------------------------------------------------------------------

TEST_F(DemoMainTest, F1SwitchesToWindowedAfterRestoringTheDisplay) {
    Run([&](int frames) {
        if (frames == 1 && fakeDemo.startCalls == 1) fake.PostKeyDown(kF1);
        if (frames == 3) fake.PostKeyDown(kEscape);
    });
    EXPECT_EQ(fakeDemo.startCalls, 2);
    EXPECT_FALSE(fullscreenMode);
    const std::vector<long> creations = All("CreateAppWindow Vandrel");
    ASSERT_EQ(creations.size(), 2u);
    const long restore = Find("RestoreDisplayMode");
    EXPECT_GT(restore, creations[0]);
    EXPECT_LT(restore, creations[1]);
    // The new window is framed; no display switch was asked for it.
    EXPECT_EQ(Count("SwitchDisplayMode 640x480x32"), 1);
    EXPECT_EQ(fake.lastCreation()->style, 0x00CF0000u | 0x06000000u);
    // The old context went before the new one came.
    EXPECT_LT(Find("DeleteRenderContext"), Find("CreateRenderContext", creations[1]));
    // The key entry was cleared by the switch: one switch only.
    EXPECT_FALSE(keyDown[kF1]);
}

TEST_F(DemoMainTest, F1IsAFlagNotACount) {
    Run([&](int frames) {
        if (frames == 1 && fakeDemo.startCalls == 1) {
            fake.PostKeyDown(kF1);
            fake.PostKeyDown(kF1);
            fake.PostKeyDown(kF1);
        }
        // A key-down after the switch (an auto-repeat) switches again.
        if (frames == 3 && fakeDemo.startCalls == 2) fake.PostKeyDown(kF1);
        if (frames == 6) fake.PostKeyDown(kEscape);
    });
    EXPECT_EQ(fakeDemo.startCalls, 3);
    EXPECT_EQ(Count("CreateAppWindow Vandrel"), 3);
    EXPECT_TRUE(fullscreenMode);
}

TEST_F(DemoMainTest, EscapeAndF1OnTheSamePassSwitchThenEnd) {
    const int code = Run([&](int frames) {
        if (frames == 2) {
            fake.PostKeyDown(kF1);
            fake.PostKeyDown(kEscape);
        }
    });
    EXPECT_EQ(code, 27);
    EXPECT_EQ(fakeDemo.frames, 2);  // no frame on the pass that ended it
    EXPECT_EQ(fakeDemo.startCalls, 2);
    const long escape = Find("DefaultWindowProc Char 27");
    ASSERT_GE(escape, 0);
    // Closed, re-created windowed, then closed again by the end of the loop.
    EXPECT_THAT(
        std::vector<std::string>(fake.log().begin() + escape + 1, fake.log().end()),
        ElementsAre("RestoreDisplayMode", "ShowCursor", "MakeContextCurrent none",
                    "DeleteRenderContext", "ReleaseDeviceContext", "DestroyAppWindow",
                    "UnregisterWindowClass OpenGL", "RegisterWindowClass OpenGL",
                    "AdjustWindowRectangle", "CreateAppWindow Vandrel", "AcquireDeviceContext",
                    "ChoosePixelFormatIndex", "ApplyPixelFormat 7", "CreateRenderContext",
                    "MakeContextCurrent", "ShowAppWindow", "BringToForeground", "GiveKeyboardFocus",
                    "StartDemo", "MakeContextCurrent none", "DeleteRenderContext",
                    "ReleaseDeviceContext", "DestroyAppWindow", "UnregisterWindowClass OpenGL"));
    EXPECT_EQ(fake.windowsAlive(), 0);
}

TEST_F(DemoMainTest, ARefusedFullscreenOnSwitchBackOffersWindowedAndTheNextF1TriesAgain) {
    Run([&](int frames) {
        // Fullscreen -> windowed -> fullscreen refused (windowed) -> fullscreen.
        if (frames == 1 && fakeDemo.startCalls == 1) fake.PostKeyDown(kF1);
        if (frames == 2 && fakeDemo.startCalls == 2) {
            fake.SetFullscreenOffered(false);
            fake.Answer(MessageBoxAnswer::Yes);
            fake.PostKeyDown(kF1);
        }
        if (frames == 3 && fakeDemo.startCalls == 3) {
            EXPECT_FALSE(fullscreenMode);
            fake.SetFullscreenOffered(true);
            fake.PostKeyDown(kF1);
        }
        if (frames == 4) fake.PostKeyDown(kEscape);
    });
    EXPECT_EQ(fakeDemo.startCalls, 4);
    EXPECT_EQ(Count("SwitchDisplayMode 640x480x32"), 3);
    ASSERT_EQ(fake.boxes().size(), 1u);
    EXPECT_EQ(fake.boxes()[0].caption, "Orv GL");
    EXPECT_TRUE(fullscreenMode);
}

TEST_F(DemoMainTest, AFailedRecreationEndsWithCode0AtOnce) {
    const int code = Run([&](int frames) {
        if (frames == 2 && fakeDemo.startCalls == 1) {
            fake.Fail(Step::AcquireDeviceContext);
            fake.PostKeyDown(kF1);
        }
    });
    EXPECT_EQ(code, 0);
    EXPECT_EQ(fakeDemo.frames, 3);  // the pass that saw F1 drew its frame first
    ASSERT_EQ(fake.boxes().size(), 1u);
    EXPECT_EQ(fake.boxes()[0].text, "Can't Create A GL Device Context.");
    EXPECT_EQ(fake.windowsAlive(), 0);
}

TEST_F(DemoMainTest, RefusingTheWindowedFallbackOnSwitchEndsWithCode0) {
    fullscreenMode = false;  // start windowed, so F1 asks for fullscreen
    const int code = Run([&](int frames) {
        if (frames == 1 && fakeDemo.startCalls == 1) {
            fake.SetFullscreenOffered(false);
            fake.Answer(MessageBoxAnswer::No);
            fake.PostKeyDown(kF1);
        }
    });
    EXPECT_EQ(code, 0);
    ASSERT_EQ(fake.boxes().size(), 2u);
    EXPECT_EQ(fake.boxes()[1].text, "Program Will Now Close.");
    EXPECT_EQ(fakeDemo.frames, 2);
}

}  // namespace
