// The Windows sound layer against the system's own MP3 codec and waveOut.
// The test MP3s are made on the build machine (sox and lame) by the native
// build's runner, which names their folder in VANDREL_WINDOWS_TEST_DATA.
#include "platform/win32/acm_mp3_decoder.h"
#include "platform/win32/waveout_sound.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace {

using platform::win32::AcmMp3Decoder;
using platform::win32::WaveOutSound;

// 2 s of 880 Hz, 44.1 kHz stereo, 128 kbit/s; 1 s of 440 Hz, 22.05 kHz mono
// (MPEG-2); the first again behind an ID3v2 tag; a text file.
constexpr const char *kStereoTone = "tone880-stereo-44100.mp3";
constexpr const char *kMonoTone = "tone440-mono-22050.mp3";
constexpr const char *kTaggedTone = "tone880-tagged.mp3";
constexpr const char *kNotMp3 = "not-an-mp3.txt";

#define REQUIRE_TEST_FILE(var, name)                                                      \
    const char *var##_dir = std::getenv("VANDREL_WINDOWS_TEST_DATA");                     \
    if (var##_dir == nullptr || !std::filesystem::exists(std::filesystem::path(var##_dir) / (name))) \
        GTEST_SKIP() << "test sound " << (name) << " not found (VANDREL_WINDOWS_TEST_DATA)"; \
    const std::string var = (std::filesystem::path(var##_dir) / (name)).string()

struct Pcm {
    int rate = 0;
    int channels = 0;
    std::vector<int16_t> samples;  // interleaved
    std::vector<int16_t> Channel(int c) const {
        std::vector<int16_t> out;
        for (size_t i = static_cast<size_t>(c); i < samples.size(); i += static_cast<size_t>(channels))
            out.push_back(samples[i]);
        return out;
    }
    size_t frames() const { return samples.size() / static_cast<size_t>(channels); }
};

Pcm DecodeAll(AcmMp3Decoder &decoder, size_t chunk = 4096) {
    Pcm pcm;
    pcm.rate = static_cast<int>(decoder.pcmFormat().nSamplesPerSec);
    pcm.channels = decoder.pcmFormat().nChannels;
    std::vector<uint8_t> buffer(chunk);
    for (;;) {
        const size_t got = decoder.Read(buffer.data(), buffer.size());
        EXPECT_EQ(got % decoder.pcmFormat().nBlockAlign, 0u) << "a partial sample frame";
        for (size_t i = 0; i + 1 < got; i += 2)
            pcm.samples.push_back(static_cast<int16_t>(buffer[i] | (buffer[i + 1] << 8)));
        if (got < buffer.size() - buffer.size() % decoder.pcmFormat().nBlockAlign) break;
    }
    return pcm;
}

double Rms(const std::vector<int16_t> &s) {
    double sum = 0;
    for (int16_t v : s) sum += static_cast<double>(v) * v;
    return s.empty() ? 0.0 : std::sqrt(sum / static_cast<double>(s.size()));
}

// Zero crossings of the loud part, two per period.
double Frequency(const std::vector<int16_t> &s, int rate) {
    int crossings = 0, sign = 0;
    size_t first = 0, last = 0;
    for (size_t i = 0; i < s.size(); ++i) {
        if (std::abs(s[i]) < 200) continue;
        const int now = s[i] > 0 ? 1 : -1;
        if (sign != 0 && now != sign) {
            if (crossings == 0) first = i;
            last = i;
            ++crossings;
        }
        sign = now;
    }
    if (crossings < 3) return 0.0;
    return (crossings - 1) / 2.0 / (static_cast<double>(last - first) / rate);
}

// The middle of a decoded tone, away from the codec's start and end.
std::vector<int16_t> Middle(const std::vector<int16_t> &s, int rate) {
    const size_t skip = static_cast<size_t>(rate) / 10;
    if (s.size() < 3 * skip) return {};
    return std::vector<int16_t>(s.begin() + static_cast<long>(skip), s.end() - static_cast<long>(skip));
}

TEST(AcmMp3Decoder, DecodesAStereoToneToItsFrequencyLengthAndFormat) {
    REQUIRE_TEST_FILE(path, kStereoTone);
    AcmMp3Decoder decoder;
    std::string why;
    ASSERT_TRUE(decoder.Open(path.c_str(), &why)) << why;
    EXPECT_EQ(decoder.firstFrame().sampleRate, 44100);
    EXPECT_EQ(decoder.firstFrame().bitrateKbps, 128);
    EXPECT_EQ(decoder.pcmFormat().wFormatTag, WAVE_FORMAT_PCM);
    EXPECT_EQ(decoder.pcmFormat().nChannels, 2);
    EXPECT_EQ(decoder.pcmFormat().nSamplesPerSec, 44100u);
    EXPECT_EQ(decoder.pcmFormat().wBitsPerSample, 16);

    const Pcm pcm = DecodeAll(decoder);
    // Two seconds, give or take the codec's delay and the last frame's padding.
    EXPECT_NEAR(static_cast<double>(pcm.frames()), 88200.0, 3500.0);
    const auto left = Middle(pcm.Channel(0), pcm.rate);
    const auto right = Middle(pcm.Channel(1), pcm.rate);
    EXPECT_NEAR(Frequency(left, pcm.rate), 880.0, 5.0);
    EXPECT_NEAR(Frequency(right, pcm.rate), 880.0, 5.0);
    // sox's sine at half volume: an RMS of about 0.5 / sqrt(2) of full scale.
    EXPECT_NEAR(Rms(left), 11585.0, 1500.0);
}

TEST(AcmMp3Decoder, DecodesAMonoMpeg2Tone) {
    REQUIRE_TEST_FILE(path, kMonoTone);
    AcmMp3Decoder decoder;
    std::string why;
    ASSERT_TRUE(decoder.Open(path.c_str(), &why)) << why;
    EXPECT_EQ(decoder.firstFrame().version, platform::mp3::MpegVersion::Mpeg2);
    EXPECT_EQ(decoder.pcmFormat().nChannels, 1);
    EXPECT_EQ(decoder.pcmFormat().nSamplesPerSec, 22050u);
    const Pcm pcm = DecodeAll(decoder);
    EXPECT_NEAR(static_cast<double>(pcm.frames()), 22050.0, 2500.0);
    EXPECT_NEAR(Frequency(Middle(pcm.Channel(0), pcm.rate), pcm.rate), 440.0, 5.0);
}

TEST(AcmMp3Decoder, FindsTheFramesBehindAnId3v2Tag) {
    REQUIRE_TEST_FILE(plain, kStereoTone);
    REQUIRE_TEST_FILE(tagged, kTaggedTone);
    AcmMp3Decoder withTag, withoutTag;
    std::string why;
    ASSERT_TRUE(withTag.Open(tagged.c_str(), &why)) << why;
    ASSERT_TRUE(withoutTag.Open(plain.c_str(), &why)) << why;
    EXPECT_GT(withTag.firstFrameOffset(), withoutTag.firstFrameOffset() + 1000);
    const Pcm a = DecodeAll(withTag);
    const Pcm b = DecodeAll(withoutTag);
    EXPECT_NEAR(static_cast<double>(a.frames()), static_cast<double>(b.frames()), 1200.0);
    EXPECT_NEAR(Frequency(Middle(a.Channel(0), a.rate), a.rate), 880.0, 5.0);
}

TEST(AcmMp3Decoder, GivesWholeSampleFramesWhateverTheBufferSize) {
    REQUIRE_TEST_FILE(path, kStereoTone);
    AcmMp3Decoder reference;
    std::string why;
    ASSERT_TRUE(reference.Open(path.c_str(), &why)) << why;
    const Pcm whole = DecodeAll(reference);
    for (size_t chunk : {6u, 1001u, 4098u, 200000u}) {
        AcmMp3Decoder decoder;
        ASSERT_TRUE(decoder.Open(path.c_str(), &why)) << why;
        const Pcm pieces = DecodeAll(decoder, chunk);
        EXPECT_EQ(pieces.samples, whole.samples) << "chunk " << chunk;
    }
}

TEST(AcmMp3Decoder, RewindGivesTheSameSoundAgainAndTheEndStaysTheEnd) {
    REQUIRE_TEST_FILE(path, kMonoTone);
    AcmMp3Decoder decoder;
    std::string why;
    ASSERT_TRUE(decoder.Open(path.c_str(), &why)) << why;
    const Pcm first = DecodeAll(decoder);
    uint8_t byte[2];
    EXPECT_EQ(decoder.Read(byte, sizeof byte), 0u) << "sound after the end";
    ASSERT_TRUE(decoder.Rewind());
    const Pcm second = DecodeAll(decoder);
    EXPECT_EQ(first.samples, second.samples);
}

TEST(AcmMp3Decoder, RefusesFilesThatAreNotThereOrNotMp3) {
    REQUIRE_TEST_FILE(text, kNotMp3);
    std::string why;
    AcmMp3Decoder notMp3;
    EXPECT_FALSE(notMp3.Open(text.c_str(), &why));
    EXPECT_NE(why.find("no MPEG Layer III frames"), std::string::npos) << why;
    uint8_t buffer[64];
    EXPECT_EQ(notMp3.Read(buffer, sizeof buffer), 0u);
    AcmMp3Decoder missing;
    EXPECT_FALSE(missing.Open("no-such-file.mp3", &why));
}

// ---- the sound layer ------------------------------------------------------

class WaveOutSoundTest : public ::testing::Test {
protected:
    static void Wait(int ms) { Sleep(static_cast<DWORD>(ms)); }
    WaveOutSound sound_;
};

TEST_F(WaveOutSoundTest, NothingOpensBeforeInitAndBadRequestsFail) {
    REQUIRE_TEST_FILE(tone, kStereoTone);
    REQUIRE_TEST_FILE(text, kNotMp3);
    EXPECT_EQ(sound_.OpenStream(tone.c_str(), 2, 0), nullptr) << "opened before init";
    EXPECT_FALSE(sound_.Init(0, 1, 2));
    ASSERT_TRUE(sound_.Init(44100, 1, 2));
    EXPECT_TRUE(sound_.Init(44100, 1, 2)) << "a second init";
    EXPECT_EQ(sound_.OpenStream("no-such-file.mp3", 2, 0), nullptr);
    EXPECT_EQ(sound_.OpenStream(text.c_str(), 2, 0), nullptr);
    EXPECT_EQ(sound_.OpenStream(tone.c_str(), 2, 4096), nullptr) << "only whole files stream";
    EXPECT_EQ(sound_.OpenStream(nullptr, 2, 0), nullptr);
    EXPECT_EQ(sound_.Play(0, nullptr), -1);
    EXPECT_EQ(sound_.PositionMs(nullptr), -1);
    SoundStream stranger;
    EXPECT_EQ(sound_.Play(0, &stranger), -1);
}

// The same rules hold on the silent clock and on a device; each test runs
// both ways (the device when the machine has one).
class StreamRules : public WaveOutSoundTest, public ::testing::WithParamInterface<bool> {
protected:
    void SetUp() override {
        ASSERT_TRUE(sound_.Init(44100, 1, 2));
        if (GetParam()) {
            sound_.ForceSilent();
        } else if (sound_.silent()) {
            GTEST_SKIP() << "no sound device here";
        }
    }
};

TEST_P(StreamRules, PlayStartsTheStreamAndRepeatedPlaysLeaveItRunning) {
    REQUIRE_TEST_FILE(tone, kStereoTone);
    SoundStream *stream = sound_.OpenStream(tone.c_str(), 2, 0);
    ASSERT_NE(stream, nullptr);
    EXPECT_EQ(sound_.PositionMs(stream), 0) << "running before play";
    Wait(200);
    EXPECT_EQ(sound_.PositionMs(stream), 0) << "running before play";

    EXPECT_EQ(sound_.Play(0, stream), 0);
    Wait(400);
    const int first = sound_.PositionMs(stream);
    EXPECT_GE(first, 200);
    EXPECT_LT(first, 1500);
    // Asked again and again, as every frame does: it goes on.
    for (int i = 0; i < 20; ++i) {
        EXPECT_EQ(sound_.Play(0, stream), 0);
        Wait(10);
    }
    const int later = sound_.PositionMs(stream);
    EXPECT_GE(later, first + 150);
}

TEST_P(StreamRules, AOneShotStreamEndsAndAPlayAfterTheEndStartsItAgain) {
    REQUIRE_TEST_FILE(tone, kMonoTone);  // about 1 s
    SoundStream *stream = sound_.OpenStream(tone.c_str(), 0, 0);
    ASSERT_NE(stream, nullptr);
    EXPECT_EQ(sound_.Play(3, stream), 3);
    Wait(1800);
    const int atEnd = sound_.PositionMs(stream);
    EXPECT_NEAR(atEnd, 1000, 150);
    Wait(200);
    EXPECT_EQ(sound_.PositionMs(stream), atEnd) << "moved after the end";
    sound_.Play(3, stream);
    Wait(100);
    EXPECT_LT(sound_.PositionMs(stream), 700) << "not started again";
}

TEST_P(StreamRules, ALoopingStreamGoesRoundAgain) {
    REQUIRE_TEST_FILE(tone, kMonoTone);  // about 1 s
    SoundStream *stream = sound_.OpenStream(tone.c_str(), 2, 0);
    ASSERT_NE(stream, nullptr);
    sound_.Play(0, stream);
    // Sample it: the position climbs, then falls back once, past the end.
    int highest = 0;
    bool wrapped = false;
    int previous = 0;
    for (int i = 0; i < 40; ++i) {
        Wait(50);
        const int now = sound_.PositionMs(stream);
        if (now + 300 < previous) wrapped = true;
        highest = std::max(highest, now);
        previous = now;
    }
    EXPECT_TRUE(wrapped) << "highest position " << highest;
    EXPECT_LT(highest, 1200);
}

INSTANTIATE_TEST_SUITE_P(Clock, StreamRules, ::testing::Values(true, false),
                         [](const ::testing::TestParamInfo<bool> &info) {
                             return info.param ? std::string("Silent") : std::string("Device");
                         });

}  // namespace
