// The SDL2_mixer sound layer: a stream advances in milliseconds, plays on
// undisturbed by repeated play requests, and starts over at its end in loop mode.
#include "platform/sdl2/sdl2_sound.h"
#include "support/tone.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

namespace {

using platform::Soundtrack;

using namespace std::chrono_literals;

TEST(MixerSound, APlayingStreamAdvancesUndisturbedAndLoopsOnlyInLoopMode) {
    testsupport::TempDir dir;
    const std::string tone = (dir / "tone.mp3").string(), shortTone = (dir / "short.mp3").string();
    std::string why;
    if (!tonetest::MakeToneMp3(tone, 1000, 3.0, &why) ||
        !tonetest::MakeToneMp3(shortTone, 1000, 0.3, &why))
        GTEST_SKIP() << why;
    setenv("SDL_AUDIODRIVER", "disk", 1);
    setenv("SDL_DISKAUDIOFILE", (dir / "out.raw").c_str(), 1);
    platform::sdl2::Sdl2MixerSound sound;
    EXPECT_EQ(sound.Open(tone.c_str(), platform::kSoundtrackLoop, 0), nullptr) << "before init";
    ASSERT_TRUE(sound.Start(44100, 1, 2));
    EXPECT_FALSE(sound.silent());
    EXPECT_EQ(sound.Open((dir / "missing.mp3").c_str(), platform::kSoundtrackLoop, 0), nullptr);
    Soundtrack *stream = sound.Open(tone.c_str(), platform::kSoundtrackLoop, 0);
    ASSERT_NE(stream, nullptr);
    EXPECT_EQ(sound.PositionMs(stream), 0);
    ASSERT_EQ(sound.Play(0, stream), 0);
    const auto started = std::chrono::steady_clock::now();
    int before = 0;
    for (int i = 0; i < 300 && before < 200; ++i, std::this_thread::sleep_for(10ms))
        before = sound.PositionMs(stream);
    ASSERT_GE(before, 200) << "the stream did not advance";
    EXPECT_GE(std::chrono::steady_clock::now() - started, 150ms) << "not milliseconds";
    for (int i = 0; i < 100; ++i) EXPECT_EQ(sound.Play(0, stream), 0);
    EXPECT_GE(sound.PositionMs(stream), before) << "a restart puts the position back near 0";
    // A 0.3-second file: 0.8 seconds later only a looping stream still plays.
    for (unsigned int mode : {0u, platform::kSoundtrackLoop}) {
        Soundtrack *once = sound.Open(shortTone.c_str(), mode, 0);
        ASSERT_EQ(sound.Play(0, once), 0);
        std::this_thread::sleep_for(800ms);
        int position = 0;
        for (int i = 0; i < 10 && position == 0; ++i, std::this_thread::sleep_for(10ms))
            position = sound.PositionMs(once);
        EXPECT_EQ(position > 0, mode == platform::kSoundtrackLoop) << "mode " << mode << ": " << position;
    }
}

}  // namespace
