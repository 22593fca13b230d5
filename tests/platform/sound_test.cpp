// The sound layer: the four calls with no sound system, the silent one, and
// the SDL2_mixer one playing real MP3s to SDL's disk recorder.
#include "platform/sound.h"
#include "platform/sdl2/sdl2_sound.h"
#include "tests/platform/tone.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <thread>

namespace {

using namespace std::chrono_literals;

// ---- without a real output ---------------------------------------------

TEST(SoundCalls, WithNoSoundSystemNothingOpens) {
    platform::InstallSoundSystem(nullptr);
    EXPECT_EQ(FSOUND_Init(44100, 1, 2), 0);
    EXPECT_EQ(FSOUND_Stream_OpenFile("DemoFinal.mp3", 2, 0), nullptr);
    EXPECT_EQ(FSOUND_Stream_Play(0, nullptr), -1);
    EXPECT_EQ(FSOUND_Stream_GetTime(nullptr), -1);
}

TEST(SoundCalls, TheSilentSystemAcceptsEverythingAndStaysAtZero) {
    platform::SilentSound silent;
    platform::InstallSoundSystem(&silent);
    EXPECT_EQ(FSOUND_Init(44100, 1, 2), 1);
    SoundStream *stream = FSOUND_Stream_OpenFile("no such file.mp3", 2, 0);
    ASSERT_NE(stream, nullptr);
    EXPECT_EQ(FSOUND_Stream_Play(3, stream), 3);
    EXPECT_EQ(FSOUND_Stream_GetTime(stream), 0);
    // A null stream (a capture that never opened one) is refused, not a crash.
    EXPECT_EQ(FSOUND_Stream_Play(0, nullptr), -1);
    EXPECT_EQ(FSOUND_Stream_GetTime(nullptr), -1);
    platform::InstallSoundSystem(nullptr);
}

// ---- SDL2_mixer ----------------------------------------------------------

class MixerSoundTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string why;
        if (!tonetest::MakeToneMp3(dir_ / "tone.mp3", 1000, 0.3, &why) ||
            !tonetest::MakeToneMp3(dir_ / "long.mp3", 1000, 5.0, &why))
            GTEST_SKIP() << why;
    }

    // Records everything played into a file, paced as a sound card would.
    void RecordToDisk() {
        setenv("SDL_AUDIODRIVER", "disk", 1);
        setenv("SDL_DISKAUDIOFILE", (dir_ / "out.raw").c_str(), 1);
    }
    // The left channel of the recording from the first sound on, once it
    // holds `seconds` of it (empty if it never does).
    std::vector<int16_t> RecordedFromOnset(double seconds) {
        const auto wanted = static_cast<size_t>(seconds * 44100);
        for (int i = 0; i < 500; ++i) {
            std::vector<int16_t> left =
                tonetest::LeftChannel(testsupport::ReadFile(dir_ / "out.raw"));
            const size_t onset = tonetest::Onset(left);
            if (onset < left.size() && left.size() - onset >= wanted)
                return std::vector<int16_t>(left.begin() + static_cast<long>(onset), left.end());
            std::this_thread::sleep_for(10ms);
        }
        return {};
    }
    static std::vector<int16_t> Slice(const std::vector<int16_t> &samples, double from, double to) {
        return std::vector<int16_t>(samples.begin() + static_cast<long>(from * 44100),
                                    samples.begin() + static_cast<long>(to * 44100));
    }
    std::string Path(const char *name) const { return (dir_ / name).string(); }

    testsupport::TempDir dir_;
};

TEST_F(MixerSoundTest, OpensA44100HzOutputAndSaysWhichFormat) {
    RecordToDisk();
    platform::sdl2::Sdl2MixerSound sound;
    ::testing::internal::CaptureStderr();
    const bool ok = sound.Init(44100, 1, 2);
    const std::string log = ::testing::internal::GetCapturedStderr();
    ASSERT_TRUE(ok);
    EXPECT_FALSE(sound.silent());
    EXPECT_NE(log.find("driver=disk rate=44100 format=s16le channels=2"), std::string::npos) << log;
}

TEST_F(MixerSoundTest, WithoutASoundDeviceItPlaysToTheSilentOutput) {
    setenv("SDL_AUDIODRIVER", "no-such-driver", 1);
    platform::sdl2::Sdl2MixerSound sound;
    ::testing::internal::CaptureStderr();
    const bool ok = sound.Init(44100, 1, 2);
    const std::string log = ::testing::internal::GetCapturedStderr();
    ASSERT_TRUE(ok);
    EXPECT_TRUE(sound.silent());
    EXPECT_NE(log.find("driver=dummy rate=44100"), std::string::npos) << log;
    // Streams still open and run.
    SoundStream *stream = sound.OpenStream(Path("long.mp3").c_str(), 2, 0);
    ASSERT_NE(stream, nullptr);
    EXPECT_EQ(sound.Play(0, stream), 0);
}

TEST_F(MixerSoundTest, OpensOnlyWholeReadableSoundFiles) {
    RecordToDisk();
    platform::sdl2::Sdl2MixerSound sound;
    EXPECT_EQ(sound.OpenStream(Path("tone.mp3").c_str(), 2, 0), nullptr) << "before init";
    ASSERT_TRUE(sound.Init(44100, 1, 2));
    EXPECT_EQ(sound.OpenStream(Path("missing.mp3").c_str(), 2, 0), nullptr);
    EXPECT_EQ(sound.OpenStream(nullptr, 2, 0), nullptr);
    EXPECT_EQ(sound.OpenStream(Path("tone.mp3").c_str(), 2, 4096), nullptr);
    dir_.Write("empty.mp3", "");
    EXPECT_EQ(sound.OpenStream(Path("empty.mp3").c_str(), 2, 0), nullptr);
    EXPECT_NE(sound.OpenStream(Path("tone.mp3").c_str(), 2, 0), nullptr);
}

TEST_F(MixerSoundTest, PlaysTheToneItWasGiven) {
    RecordToDisk();
    platform::sdl2::Sdl2MixerSound sound;
    ASSERT_TRUE(sound.Init(44100, 1, 2));
    SoundStream *stream = sound.OpenStream(Path("long.mp3").c_str(), 2, 0);
    ASSERT_NE(stream, nullptr);
    EXPECT_EQ(sound.PositionMs(stream), 0);
    EXPECT_EQ(sound.Play(0, stream), 0);
    const std::vector<int16_t> played = RecordedFromOnset(0.6);
    ASSERT_FALSE(played.empty()) << "nothing was played";
    const std::vector<int16_t> tone = Slice(played, 0.05, 0.55);
    EXPECT_GT(tonetest::Rms(tone), 5000.0);
    EXPECT_NEAR(tonetest::ZeroCrossingFrequency(tone, 44100), 1000.0, 10.0);
}

TEST_F(MixerSoundTest, ARepeatedPlayRequestLeavesThePlayingStreamAlone) {
    RecordToDisk();
    platform::sdl2::Sdl2MixerSound sound;
    ASSERT_TRUE(sound.Init(44100, 1, 2));
    SoundStream *stream = sound.OpenStream(Path("long.mp3").c_str(), 2, 0);
    ASSERT_NE(stream, nullptr);
    ASSERT_EQ(sound.Play(0, stream), 0);
    int before = 0;
    for (int i = 0; i < 300 && before < 300; ++i) {
        std::this_thread::sleep_for(10ms);
        before = sound.PositionMs(stream);
    }
    ASSERT_GE(before, 300) << "the stream did not advance";
    for (int i = 0; i < 100; ++i) EXPECT_EQ(sound.Play(0, stream), 0);
    // A restart would have put the position back near 0.
    EXPECT_GE(sound.PositionMs(stream), before);
}

TEST_F(MixerSoundTest, LoopModeStartsOverAtTheEnd) {
    RecordToDisk();
    platform::sdl2::Sdl2MixerSound sound;
    ASSERT_TRUE(sound.Init(44100, 1, 2));
    SoundStream *stream = sound.OpenStream(Path("tone.mp3").c_str(), kSoundStreamLoop, 0);
    ASSERT_NE(stream, nullptr);
    ASSERT_EQ(sound.Play(0, stream), 0);
    const std::vector<int16_t> played = RecordedFromOnset(1.2);
    ASSERT_FALSE(played.empty()) << "nothing was played";
    // Long after the 0.3-second file ended, the tone still sounds.
    EXPECT_GT(tonetest::Rms(Slice(played, 0.7, 1.2)), 3000.0);
}

TEST_F(MixerSoundTest, WithoutLoopModeTheStreamPlaysOnce) {
    RecordToDisk();
    platform::sdl2::Sdl2MixerSound sound;
    ASSERT_TRUE(sound.Init(44100, 1, 2));
    SoundStream *stream = sound.OpenStream(Path("tone.mp3").c_str(), 0, 0);
    ASSERT_NE(stream, nullptr);
    ASSERT_EQ(sound.Play(0, stream), 0);
    const std::vector<int16_t> played = RecordedFromOnset(1.2);
    ASSERT_FALSE(played.empty()) << "nothing was played";
    EXPECT_GT(tonetest::Rms(Slice(played, 0.05, 0.2)), 3000.0);
    EXPECT_LT(tonetest::Rms(Slice(played, 0.7, 1.2)), 50.0);
}

TEST_F(MixerSoundTest, PlayAndPositionRefuseUnknownStreams) {
    RecordToDisk();
    platform::sdl2::Sdl2MixerSound sound;
    ASSERT_TRUE(sound.Init(44100, 1, 2));
    platform::SilentSound other;
    SoundStream *foreign = other.OpenStream("x.mp3", 2, 0);
    EXPECT_EQ(sound.Play(0, nullptr), -1);
    EXPECT_EQ(sound.Play(0, foreign), -1);
    EXPECT_EQ(sound.PositionMs(nullptr), -1);
    EXPECT_EQ(sound.PositionMs(foreign), -1);
}

}  // namespace
