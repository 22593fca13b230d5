// The Windows sound layer against the system's own MP3 codec and waveOut.
// The native runner makes the test sounds (sox and lame) and names their
// folder in VANDREL_WINDOWS_TEST_DATA.
#include "platform/win32/acm_mp3_decoder.h"
#include "platform/win32/waveout_sound.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace {

using platform::mp3::MpegVersion;
using platform::Soundtrack;
using platform::win32::AcmMp3Decoder;
using platform::win32::WaveOutSound;

std::string TestFile(const char *name) {
    const char *dir = std::getenv("VANDREL_WINDOWS_TEST_DATA");
    return dir != nullptr ? (std::filesystem::path(dir) / name).string() : name;
}

#define REQUIRE_TEST_FILE(var, name)                                      \
    const std::string var = TestFile(name);                               \
    if (!std::filesystem::exists(var)) GTEST_SKIP() << "no test sound " << var

// Everything left to decode, in pieces of `chunk` bytes; interleaved samples.
std::vector<int16_t> DecodeAll(AcmMp3Decoder &decoder, size_t chunk) {
    std::vector<int16_t> samples;
    std::vector<uint8_t> buffer(chunk);
    const size_t whole = chunk - chunk % decoder.pcmFormat().nBlockAlign;
    for (size_t got = whole; got == whole;) {
        got = decoder.Read(buffer.data(), chunk);
        EXPECT_EQ(got % decoder.pcmFormat().nBlockAlign, 0u) << "a partial sample frame";
        for (size_t i = 0; i + 1 < got; i += 2) samples.push_back(static_cast<int16_t>(buffer[i] | buffer[i + 1] << 8));
    }
    return samples;
}

// One channel away from the codec's start and end: its frequency (zero
// crossings of the loud part, two per period) and its RMS.
std::pair<double, double> Measure(const std::vector<int16_t> &samples, int channels, int rate) {
    int crossings = 0, sign = 0;
    size_t first = 0, last = 0, count = 0;
    double power = 0;
    for (size_t i = static_cast<size_t>(rate / 10 * channels); i + rate / 10 * channels < samples.size(); i += channels) {
        power += double(samples[i]) * samples[i];
        ++count;
        if (std::abs(samples[i]) < 200) continue;
        const int now = samples[i] > 0 ? 1 : -1;
        if (sign != 0 && now != sign) {
            if (crossings++ == 0) first = i / channels;
            last = i / channels;
        }
        sign = now;
    }
    if (crossings < 3) return {0, 0};
    return {(crossings - 1) / 2.0 * rate / static_cast<double>(last - first), std::sqrt(power / count)};
}

TEST(AcmMp3Decoder, DecodesEachToneToItsFormatLengthAndFrequencyInPiecesOfAnySize) {
    struct Case {
        const char *file;
        MpegVersion version;
        int channels, rate;
        double seconds, frequency;
    };
    for (const Case &c : {Case{"stereo.mp3", MpegVersion::Mpeg1, 2, 44100, 2.0, 880},
                          Case{"tagged.mp3", MpegVersion::Mpeg1, 2, 44100, 5.0, 880},
                          Case{"mono.mp3", MpegVersion::Mpeg2, 1, 22050, 1.0, 440}}) {
        SCOPED_TRACE(c.file);
        REQUIRE_TEST_FILE(path, c.file);
        AcmMp3Decoder decoder;
        std::string why;
        ASSERT_TRUE(decoder.Open(path.c_str(), &why)) << why;
        EXPECT_EQ(decoder.firstFrame().version, c.version);
        const WAVEFORMATEX &pcm = decoder.pcmFormat();
        EXPECT_EQ(std::vector<int>({pcm.wFormatTag, pcm.nChannels, static_cast<int>(pcm.nSamplesPerSec), pcm.wBitsPerSample}),
                  std::vector<int>({WAVE_FORMAT_PCM, c.channels, c.rate, 16}));
        // The tagged file's frames start behind its 4 kB tag.
        EXPECT_EQ(decoder.firstFrameOffset() > 4000, std::string(c.file) == "tagged.mp3");

        const std::vector<int16_t> whole = DecodeAll(decoder, 4096);
        // Give or take the codec's delay and the last frame's padding.
        EXPECT_NEAR(static_cast<double>(whole.size()) / c.channels / c.rate, c.seconds, 0.1);
        const auto [frequency, rms] = Measure(whole, c.channels, c.rate);
        EXPECT_NEAR(frequency, c.frequency, 5.0);
        // sox's sine at half volume: about 0.5 / sqrt(2) of full scale.
        EXPECT_NEAR(rms, 11585.0, 2000.0);
        uint8_t byte[4];
        EXPECT_EQ(decoder.Read(byte, sizeof byte), 0u) << "sound after the end";
        for (size_t chunk : {6u, 1001u, 200000u}) {
            ASSERT_TRUE(decoder.Rewind());
            EXPECT_EQ(DecodeAll(decoder, chunk), whole) << "in pieces of " << chunk;
        }
    }
}

TEST(AcmMp3Decoder, RefusesFilesThatAreNotThereOrNotMp3) {
    REQUIRE_TEST_FILE(text, "text.mp3");
    std::string why;
    AcmMp3Decoder notMp3, missing;
    EXPECT_FALSE(notMp3.Open(text.c_str(), &why));
    EXPECT_EQ(why, "no MPEG Layer III frames");
    uint8_t buffer[64];
    EXPECT_EQ(notMp3.Read(buffer, sizeof buffer), 0u);
    EXPECT_FALSE(missing.Open(TestFile("missing.mp3").c_str(), &why));
}

// The same rules on the silent clock and on a device (when there is one).
class StreamRules : public ::testing::TestWithParam<bool> {
protected:
    void SetUp() override {
        ASSERT_TRUE(sound_.Start(44100, 1, 2));
        if (GetParam()) sound_.ForceSilent();
        else if (sound_.silent()) GTEST_SKIP() << "no sound device here";
    }
    WaveOutSound sound_;
};

TEST_P(StreamRules, PlayStartsTheStreamAndRepeatedPlaysLeaveItRunning) {
    REQUIRE_TEST_FILE(tone, "stereo.mp3");
    EXPECT_EQ(sound_.Open(tone.c_str(), 2, 4096), nullptr) << "only whole files stream";
    Soundtrack *stream = sound_.Open(tone.c_str(), 2, 0);
    ASSERT_NE(stream, nullptr);
    Sleep(200);
    EXPECT_EQ(sound_.PositionMs(stream), 0) << "running before play";
    EXPECT_EQ(sound_.Play(0, stream), 0);
    Sleep(400);
    const int first = sound_.PositionMs(stream);
    EXPECT_GE(first, 200);
    EXPECT_LT(first, 1500);
    // Asked again and again, as every frame does: it goes on.
    for (int i = 0; i < 20; ++i) {
        EXPECT_EQ(sound_.Play(0, stream), 0);
        Sleep(10);
    }
    EXPECT_GE(sound_.PositionMs(stream), first + 150);
    Soundtrack stranger;
    EXPECT_EQ(sound_.Play(0, &stranger), -1);
    EXPECT_EQ(sound_.PositionMs(nullptr), -1);
}

TEST_P(StreamRules, AOneShotStreamStopsAtItsEndAndALoopingOneGoesRound) {
    REQUIRE_TEST_FILE(tone, "mono.mp3");  // about 1 s
    Soundtrack *once = sound_.Open(tone.c_str(), 0, 0), *loop = sound_.Open(tone.c_str(), 2, 0);
    ASSERT_TRUE(once != nullptr && loop != nullptr);
    EXPECT_EQ(sound_.Play(3, once), 3);
    sound_.Play(0, loop);
    // Sampled for 2 s, the looping one climbs, then falls back past the end.
    int highest = 0, previous = 0;
    bool wrapped = false;
    for (int i = 0; i < 40; ++i) {
        Sleep(50);
        const int now = sound_.PositionMs(loop);
        wrapped |= now + 300 < previous;
        highest = std::max(highest, previous = now);
    }
    EXPECT_TRUE(wrapped) << "highest position " << highest;
    EXPECT_LT(highest, 1200);
    const int atEnd = sound_.PositionMs(once);
    EXPECT_NEAR(atEnd, 1000, 150);
    Sleep(200);
    EXPECT_EQ(sound_.PositionMs(once), atEnd) << "moved after the end";
    sound_.Play(3, once);
    Sleep(100);
    EXPECT_LT(sound_.PositionMs(once), 700) << "not started again";
}

INSTANTIATE_TEST_SUITE_P(Clock, StreamRules, ::testing::Bool(),
                         [](const auto &info) { return std::string(info.param ? "Silent" : "Device"); });

}  // namespace
