// The demo clock and the scene sequencer, driven by a scripted counter.
#include "demo/sequencer.h"
#include "demo/demo_clock.h"
#include "platform/scripted/scripted_platform.h"
#include "tests/demo/scene_recorder.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

using ::testing::ElementsAre;

namespace {

constexpr int64_t kFrequency = 1000;  // ticks per second of the scripted counter

class SequencerTest : public ::testing::Test {
protected:
    void SetUp() override {
        fake.Install();
        fake.frequency = kFrequency;
        sceneState = 1;
        drawnScenes.clear();
        soundtrackStream = fake.OpenStream("DemoFinal.mp3", 2, 0);
    }

    // Starts the clock with the counter at `ticks`.
    void StartAt(int64_t ticks) {
        fake.now = ticks;
        StartDemoClock();
    }
    // Runs one frame with the counter at `ticks`; returns what was drawn
    // (nothing: -1).
    int32_t FrameAt(int64_t ticks) {
        fake.now = ticks;
        drawnScenes.clear();
        EXPECT_EQ(StepFrame(), 1);
        return drawnScenes.empty() ? -1 : drawnScenes.back();
    }
    // A frame in whole second `second` of a clock started at tick 0.
    int32_t FrameInSecond(int64_t second) { return FrameAt(second * kFrequency + 500); }

    platform::scripted::ScriptedPlatform fake;
};

// ---- the clock ----------------------------------------------------------

TEST_F(SequencerTest, TheClockStartReadsFrequencyThenCounter) {
    fake.ClearLog();
    StartAt(5300);
    EXPECT_THAT(fake.log(), ElementsAre("CounterFrequency", "CounterNow"));
    EXPECT_EQ(counterFrequency, kFrequency);
    EXPECT_EQ(startSeconds, 5);
    EXPECT_FLOAT_EQ(startTime, 5.3f);
}

TEST_F(SequencerTest, SecondsAreTheDifferenceOfTwoTruncatedQuotients) {
    // Started 0.3 s into a counter second: second 1 is seen 0.7 s later.
    StartAt(5300);
    FrameAt(5999);
    EXPECT_EQ(elapsedSeconds, 0);
    FrameAt(6000);
    EXPECT_EQ(elapsedSeconds, 1);
    EXPECT_NEAR(frameTime, 0.7f, 1e-4);
}

TEST_F(SequencerTest, TheTitleFadeEndsAtTenSecondsMinusTheStartFraction) {
    StartAt(5300);
    EXPECT_EQ(FrameAt(14999), 1);
    EXPECT_EQ(FrameAt(15000), 3);
    EXPECT_EQ(elapsedSeconds, 10);
    EXPECT_NEAR(frameTime, 9.7f, 1e-4);
    // The renderer of the new scene is handed that same frame time.
    ASSERT_FALSE(drawnFrameTimes.empty());
    EXPECT_EQ(drawnFrameTimes.back(), frameTime);
}

TEST_F(SequencerTest, FrameTimeCountsFromTheStartInFractionalSeconds) {
    StartAt(2000);
    FrameAt(4250);
    EXPECT_FLOAT_EQ(frameTime, 2.25f);
}

TEST_F(SequencerTest, ANanosecondCounterKeepsFrameTimeFine) {
    fake.frequency = 1000000000;
    StartAt(int64_t{3600} * 1000000000 + 123456789);  // an hour after boot
    FrameAt(int64_t{3600} * 1000000000 + 123456789 + 1500000000);
    EXPECT_EQ(elapsedSeconds, 1);
    // The start held in single precision costs a constant offset only; at
    // an hour that is under a millisecond.
    EXPECT_NEAR(frameTime, 1.5f, 1e-3);
}

TEST_F(SequencerTest, ACounterWithoutFrequencyLeavesTheClockAtZero) {
    fake.frequency = 0;
    StartAt(123456);
    EXPECT_EQ(FrameAt(999999), 1);
    EXPECT_EQ(elapsedSeconds, 0);
    EXPECT_EQ(frameTime, 0.0f);
}

// ---- one frame ----------------------------------------------------------

TEST_F(SequencerTest, AFrameKeepsTheSoundtrackGoingThenReadsTheCounterThenDraws) {
    StartAt(0);
    fake.ClearLog();
    fake.now = 1500;
    StepFrame();
    EXPECT_THAT(fake.log(), ElementsAre("SoundPlay 0", "SoundPosition", "CounterNow"));
    EXPECT_EQ(fake.lastPlayedStream, soundtrackStream);
    EXPECT_EQ(drawnScenes.size(), 1u);
}

TEST_F(SequencerTest, EveryFrameAsksToPlay) {
    StartAt(0);
    for (int i = 0; i < 5; ++i) FrameAt(100 * i);
    EXPECT_EQ(fake.playRequests, 5);
    EXPECT_EQ(fake.positionQueries, 5);
}

// ---- the timeline -------------------------------------------------------

TEST_F(SequencerTest, TheWholeTimelineOneFramePerSecond) {
    // What the screen shows, second by second.
    struct Span {
        int from, to, scene;
    };
    const Span spans[] = {
        {0, 9, 1},    {10, 14, 3},  {15, 24, 4},    {25, 34, 17},   {35, 41, 6},    {42, 47, 7},
        {48, 51, 8},  {52, 56, 20}, {57, 69, 9},    {70, 74, 11},   {75, 84, 10},   {85, 89, 12},
        {90, 94, 13}, {95, 99, 14}, {100, 104, 15}, {105, 109, 16}, {110, 114, 19}, {115, 119, 18}};
    StartAt(0);
    for (const Span &span : spans)
        for (int second = span.from; second <= span.to; ++second)
            EXPECT_EQ(FrameInSecond(second), span.scene) << "second " << second;
    EXPECT_FALSE(fake.exitCode.has_value());
}

TEST_F(SequencerTest, Second70ShowsI9AndSecond75ShowsI8) {
    StartAt(0);
    EXPECT_EQ(FrameInSecond(70), 11);
    EXPECT_EQ(FrameInSecond(74), 11);
    EXPECT_EQ(FrameInSecond(75), 10);
    // Order of seeing does not matter: each second is its own test.
    EXPECT_EQ(FrameInSecond(70), 11);
}

TEST_F(SequencerTest, ASecondNoFrameSeesIsSkipped) {
    StartAt(0);
    EXPECT_EQ(FrameInSecond(35), 6);
    EXPECT_EQ(FrameInSecond(41), 6);
    // A stall from 41 to 43: the switch at 42 never happens.
    EXPECT_EQ(FrameInSecond(43), 6);
    EXPECT_EQ(FrameInSecond(47), 6);
    EXPECT_EQ(FrameInSecond(48), 8);
}

TEST_F(SequencerTest, TheFirstFrameDrawsTheTitleFadeEvenPastSecondZero) {
    StartAt(0);
    EXPECT_EQ(FrameInSecond(3), 1);
}

TEST_F(SequencerTest, TheSceneChangesOnlyAtSwitchSecondsThatAFrameSees) {
    StartAt(0);
    // From second 3 straight to 80: no switch second was seen on the way.
    EXPECT_EQ(FrameInSecond(3), 1);
    EXPECT_EQ(FrameInSecond(80), 1);
    EXPECT_EQ(FrameInSecond(85), 12);
}

TEST_F(SequencerTest, Second120EndsTheProcessWithoutDrawing) {
    StartAt(0);
    EXPECT_EQ(FrameInSecond(115), 18);
    EXPECT_EQ(FrameInSecond(119), 18);
    EXPECT_FALSE(fake.exitCode.has_value());
    fake.ClearLog();
    EXPECT_EQ(FrameInSecond(120), -1);
    ASSERT_TRUE(fake.exitCode.has_value());
    EXPECT_EQ(*fake.exitCode, 0);
    EXPECT_EQ(fake.log().back(), "Exit 0");
    EXPECT_TRUE(drawnScenes.empty());
}

TEST_F(SequencerTest, ARunThatNeverSeesSecond120GoesOn) {
    StartAt(0);
    EXPECT_EQ(FrameInSecond(115), 18);
    EXPECT_EQ(FrameInSecond(119), 18);
    EXPECT_EQ(FrameInSecond(121), 18);
    EXPECT_EQ(FrameInSecond(500), 18);
    EXPECT_FALSE(fake.exitCode.has_value());
}

TEST_F(SequencerTest, ARestartedClockCountsFromZeroAndBringsTheTitleFadeBack) {
    StartAt(0);
    EXPECT_EQ(FrameInSecond(75), 10);
    EXPECT_EQ(FrameInSecond(80), 10);
    // The switch to windowed at second 80 starts the clock again.
    StartAt(80 * kFrequency + 700);
    EXPECT_EQ(FrameAt(80 * kFrequency + 800), 1);
    EXPECT_EQ(elapsedSeconds, 0);
    EXPECT_NEAR(frameTime, 0.1f, 1e-3);
    EXPECT_EQ(FrameAt(90 * kFrequency + 800), 3);
}

TEST_F(SequencerTest, ARestartNotSeenAtSecondZeroKeepsTheSceneUntilTheNextSwitch) {
    StartAt(0);
    EXPECT_EQ(FrameInSecond(75), 10);
    EXPECT_EQ(FrameInSecond(80), 10);
    StartAt(80 * kFrequency + 700);
    // A slow re-creation: the first frame of the new clock is in its second 1.
    EXPECT_EQ(FrameAt(82 * kFrequency), 10);
    EXPECT_EQ(elapsedSeconds, 2);
    EXPECT_EQ(FrameAt(90 * kFrequency + 100), 3);
}

}  // namespace
