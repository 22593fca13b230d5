// The demo clock and the scene sequencer on the scripted platform's counter.
// No rendering context is current, so the scenes draw nothing; the scene
// drawn is the scene state the frame leaves, and the rotating I4's angle
// shows whether a frame drew at all.
#include "demo/demo_clock.h"
#include "demo/scenes.h"
#include "demo/sequencer.h"
#include "platform/scripted/scripted_platform.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace {

class SequencerTest : public ::testing::Test {
protected:
    void SetUp() override {
        sceneState = 1;
        soundtrackStream = fake.Open("DemoFinal.mp3", 2, 0);
    }
    void StartAt(int64_t ticks) {
        fake.now = ticks;
        StartDemoClock();
    }
    // One frame with the counter (1000 ticks a second) at `ticks`: the scene
    // drawn, -1 for none (the process would have ended).
    int FrameAt(int64_t ticks) {
        fake.now = ticks;
        const size_t exits = fake.exitCode.has_value();
        EXPECT_EQ(StepFrame(), 1);
        return fake.exitCode.has_value() > exits ? -1 : sceneState;
    }
    int FrameInSecond(int64_t second) { return FrameAt(second * 1000 + 500); }

    platform::scripted::ScriptedPlatform fake;
};

TEST_F(SequencerTest, SecondsAreTheDifferenceOfTwoTruncatedQuotients) {
    fake.ClearLog();
    StartAt(5300);  // 0.3 s into a counter second: the title fade ends at frame time 9.7
    EXPECT_EQ(std::tie(startSeconds, startTime), std::tuple(5, 5.3f));
    EXPECT_EQ(FrameAt(5999), 1);
    EXPECT_EQ(elapsedSeconds, 0);
    EXPECT_THAT(fake.log(), ::testing::ElementsAre("CounterFrequency", "CounterNow", "Play 0", "Position",
                                                   "CounterNow"));
    EXPECT_EQ(fake.lastPlayed, soundtrackStream);
    EXPECT_EQ(FrameAt(6000), 1);
    EXPECT_EQ(elapsedSeconds, 1);
    EXPECT_NEAR(frameTime, 0.7f, 1e-4);
    EXPECT_EQ(FrameAt(14999), 1);
    EXPECT_EQ(FrameAt(15000), 3);
    EXPECT_NEAR(frameTime, 9.7f, 1e-4);
    // A counter without a frequency leaves the clock at 0 instead of dividing by it.
    fake.frequency = 0;
    StartAt(123456);
    EXPECT_EQ(FrameAt(999999), 1);
    EXPECT_EQ(std::tie(elapsedSeconds, frameTime), std::tuple(0, 0.0f));
}

TEST_F(SequencerTest, TheTimelineSwitchesAtItsSecondsAndEndsAt120WithoutDrawing) {
    const struct {
        int from, to, scene;
    } spans[] = {{0, 9, 1},      {10, 14, 3},    {15, 24, 4},   {25, 34, 17}, {35, 41, 6},
                 {42, 47, 7},    {48, 51, 8},    {52, 56, 20},  {57, 69, 9},  {70, 74, 11},
                 {75, 84, 10},   {85, 89, 12},   {90, 94, 13},  {95, 99, 14}, {100, 104, 15},
                 {105, 109, 16}, {110, 114, 19}, {115, 119, 18}};
    StartAt(0);
    for (const auto &span : spans)
        for (int second = span.from; second <= span.to; ++second)
            EXPECT_EQ(FrameInSecond(second), span.scene) << "second " << second;
    EXPECT_EQ(FrameInSecond(70), 11) << "second 70 shows I9 whenever it is seen";
    EXPECT_EQ(FrameInSecond(121), 11) << "a run that never sees 120 goes on";
    EXPECT_FALSE(fake.exitCode.has_value());
    sceneState = 6;  // rotating I4 turns by a degree each frame it draws
    const float angle = spinAngle;
    EXPECT_EQ(FrameInSecond(120), -1);
    EXPECT_EQ(fake.exitCode, 0);
    EXPECT_EQ(fake.log().back(), "Exit 0");
    EXPECT_EQ(spinAngle, angle) << "the frame that ends the demo draws nothing";
    EXPECT_EQ(FrameInSecond(36), 6);
    EXPECT_EQ(spinAngle, angle + 1);
}

TEST_F(SequencerTest, ASwitchSecondNoFrameSeesIsSkipped) {
    StartAt(0);
    EXPECT_EQ(FrameInSecond(41), 1);
    EXPECT_EQ(FrameInSecond(35), 6);
    EXPECT_EQ(FrameInSecond(43), 6);  // a stall from 35 to 43 skips the switch at 42
    EXPECT_EQ(FrameInSecond(48), 8);
}

TEST_F(SequencerTest, ARestartedClockCountsFromZeroWhileTheSceneStateStays) {
    sceneState = 10;
    StartAt(80700);  // an F1 switch at second 80.7
    EXPECT_EQ(FrameAt(82000), 10) << "the old scene stays until the next switch";
    EXPECT_EQ(FrameAt(90100), 3);
    StartAt(80700);
    EXPECT_EQ(FrameAt(80800), 1) << "a frame in second 0 brings the title fade back";
    EXPECT_EQ(elapsedSeconds, 0);
    EXPECT_NEAR(frameTime, 0.1f, 1e-3);
}

}  // namespace
