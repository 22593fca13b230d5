// The shell and the real timeline together on the scripted platform: the run
// to second 120, and the clock restart of an F1 switch.
#include "demo/demo_clock.h"
#include "demo/sequencer.h"
#include "platform/virtual_keys.h"
#include "tests/app/shell_fixture.h"
#include "tests/demo/scene_recorder.h"

namespace {

class ShellTimelineTest : public ::testing::Test {
protected:
    void SetUp() override {
        ResetShellGlobals();
        sceneState = 1;
        drawnScenes.clear();
        fake.Install();
        fake.frequency = 1000;
        fake.now = 250;
    }
    long Count(const std::string &line) const {
        return std::count(fake.log().begin(), fake.log().end(), line);
    }
    platform::scripted::ScriptedPlatform fake;
};

TEST_F(ShellTimelineTest, TheRunEndsFromInsideTheFrameThatSeesSecond120) {
    size_t drawnAtExit = 0;
    fake.onIdle = [&] {
        if (fake.exitCode) {
            // The real exit never returns; here the loop is closed instead.
            if (drawnAtExit == 0) {
                drawnAtExit = drawnScenes.size();
                fake.Post(platform::MessageKind::Close);
            }
            return;
        }
        fake.now += 400;  // 2.5 frames per second
    };
    DemoMain();
    ASSERT_TRUE(fake.exitCode.has_value());
    EXPECT_EQ(*fake.exitCode, 0);
    EXPECT_EQ(elapsedSeconds, 120);
    EXPECT_EQ(drawnScenes.size(), drawnAtExit);
    ASSERT_FALSE(drawnScenes.empty());
    EXPECT_EQ(drawnScenes.front(), 1);
    EXPECT_EQ(drawnScenes.back(), 18);
    // Every scene of the timeline was drawn on the way, in order of first
    // appearance.
    std::vector<int32_t> order;
    for (int32_t scene : drawnScenes)
        if (std::find(order.begin(), order.end(), scene) == order.end()) order.push_back(scene);
    EXPECT_EQ(order, (std::vector<int32_t>{1, 3, 4, 17, 6, 7, 8, 20, 9, 11, 10, 12, 13, 14, 15, 16,
                                           19, 18}));
    // The exit left the window to the process end: no teardown before it.
    EXPECT_EQ(Count("Exit 0"), 1);
}

TEST_F(ShellTimelineTest, F1RestartsTheClockWhileTheSoundtrackPlaysOn) {
    bool switched = false;
    bool escaped = false;
    int playsBeforeSwitch = 0;
    fake.onIdle = [&] {
        // A frame a second up to the switch, then three frames a second.
        fake.now += switched ? 300 : 1000;
        if (!switched && elapsedSeconds == 80) {
            switched = true;
            playsBeforeSwitch = fake.playRequests;
            drawnScenes.clear();
            fake.PostKeyDown(platform::vk::F1);
        } else if (switched && !escaped && drawnScenes.size() == 4) {
            escaped = true;
            fake.PostKeyDown(platform::vk::Escape);
        }
    };
    EXPECT_EQ(DemoMain(), 27);
    ASSERT_TRUE(switched);
    // The pass that saw F1 drew its frame on the old clock, then the new
    // clock started: its frames count from 0 again, the title fade first.
    ASSERT_EQ(drawnScenes.size(), 4u);
    EXPECT_EQ(drawnScenes[0], 10);
    EXPECT_EQ(drawnScenes[1], 1);
    EXPECT_EQ(drawnScenes[3], 1);
    EXPECT_LE(elapsedSeconds, 1);
    // The sound was started once and never touched by the switch.
    EXPECT_EQ(Count("SoundInit 44100 1 2"), 1);
    EXPECT_EQ(Count("SoundOpen DemoFinal.mp3 2 0"), 1);
    EXPECT_GT(fake.playRequests, playsBeforeSwitch);
    EXPECT_FALSE(fullscreenMode);
}

}  // namespace
