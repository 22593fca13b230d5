// The SDL2_mixer sound layer playing real MP3s to SDL's disk recorder.
#include "platform/sdl2/sdl2_sound.h"
#include "tests/platform/tone.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <thread>

namespace {

using namespace std::chrono_literals;

class MixerSoundTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string why;
        if (!tonetest::MakeToneMp3(dir_ / "tone.mp3", 1000, 0.3, &why)) GTEST_SKIP() << why;
        setenv("SDL_AUDIODRIVER", "disk", 1);
        setenv("SDL_DISKAUDIOFILE", (dir_ / "out.raw").c_str(), 1);
    }
    SoundStream *Open(const char *name = "tone.mp3") {
        return sound_.OpenStream((dir_ / name).c_str(), kSoundStreamLoop, 0);
    }
    // Seconds [from, to) of what was played, counted from the first sound.
    std::vector<int16_t> Played(double from, double to) {
        std::vector<int16_t> played;
        for (int i = 0; i < 500 && played.size() < to * 44100;
             ++i, std::this_thread::sleep_for(10ms))
            played = tonetest::FromOnset(testsupport::ReadFile(dir_ / "out.raw"));
        if (played.size() < to * 44100) return {};
        return {played.begin() + static_cast<long>(from * 44100),
                played.begin() + static_cast<long>(to * 44100)};
    }

    testsupport::TempDir dir_;
    platform::sdl2::Sdl2MixerSound sound_;
};

TEST_F(MixerSoundTest, PlaysTheToneItWasGivenAndLoopsIt) {
    EXPECT_EQ(Open(), nullptr) << "opened before init";
    ::testing::internal::CaptureStderr();
    ASSERT_TRUE(sound_.Init(44100, 1, 2));
    EXPECT_NE(::testing::internal::GetCapturedStderr().find(
                  "driver=disk rate=44100 format=s16le channels=2"),
              std::string::npos);
    EXPECT_FALSE(sound_.silent());
    EXPECT_EQ(sound_.OpenStream((dir_ / "missing.mp3").c_str(), 2, 0), nullptr);
    SoundStream *stream = Open();
    ASSERT_NE(stream, nullptr);
    ASSERT_EQ(sound_.Play(0, stream), 0);

    const std::vector<int16_t> tone = Played(0.05, 0.25);
    ASSERT_FALSE(tone.empty()) << "nothing was played";
    EXPECT_GT(tonetest::Rms(tone), 5000.0);
    EXPECT_NEAR(tonetest::ZeroCrossingFrequency(tone, 44100), 1000.0, 10.0);
    // Long after the 0.3-second file ended, the tone still sounds.
    EXPECT_GT(tonetest::Rms(Played(0.7, 1.2)), 3000.0);
}

TEST_F(MixerSoundTest, ARepeatedPlayRequestLeavesThePlayingStreamAlone) {
    std::string why;
    ASSERT_TRUE(tonetest::MakeToneMp3(dir_ / "long.mp3", 1000, 3.0, &why)) << why;
    ASSERT_TRUE(sound_.Init(44100, 1, 2));
    SoundStream *stream = Open("long.mp3");
    ASSERT_NE(stream, nullptr);
    EXPECT_EQ(sound_.PositionMs(stream), 0);
    ASSERT_EQ(sound_.Play(0, stream), 0);
    int before = 0;
    for (int i = 0; i < 300 && before < 200; ++i, std::this_thread::sleep_for(10ms))
        before = sound_.PositionMs(stream);
    ASSERT_GE(before, 200) << "the stream did not advance";
    for (int i = 0; i < 100; ++i) EXPECT_EQ(sound_.Play(0, stream), 0);
    EXPECT_GE(sound_.PositionMs(stream), before) << "a restart puts the position back near 0";
}

}  // namespace
