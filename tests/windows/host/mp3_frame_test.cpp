// MP3 frame headers as the Windows sound layer reads them to describe a file
// to the system's codec: hand-made headers, and files made by lame.
#include "platform/win32/mp3_frame.h"
#include "tests/platform/tone.h"
#include "tests/support/subprocess.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

using namespace platform::mp3;

// MPEG-1 Layer III, no CRC, 128 kbit/s, 44.1 kHz, no padding, joint stereo.
const uint8_t kMpeg1Header[4] = {0xFF, 0xFB, 0x90, 0x44};

std::vector<uint8_t> Bytes(std::initializer_list<int> values) {
    std::vector<uint8_t> out;
    for (int v : values) out.push_back(static_cast<uint8_t>(v));
    return out;
}

// A run of frames with this header (frame bodies are zero bytes).
std::vector<uint8_t> Frames(const uint8_t header[4], int count) {
    const auto h = ParseFrameHeader(header);
    std::vector<uint8_t> out;
    for (int i = 0; i < count; ++i) {
        out.insert(out.end(), header, header + 4);
        out.resize(out.size() + static_cast<size_t>(h->frameBytes) - 4, 0);
    }
    return out;
}

TEST(Mp3FrameHeader, ReadsAnMpeg1Layer3Header) {
    const auto h = ParseFrameHeader(kMpeg1Header);
    ASSERT_TRUE(h.has_value());
    EXPECT_EQ(h->version, MpegVersion::Mpeg1);
    EXPECT_EQ(h->bitrateKbps, 128);
    EXPECT_EQ(h->sampleRate, 44100);
    EXPECT_EQ(h->channels, 2);
    EXPECT_FALSE(h->padding);
    EXPECT_FALSE(h->crcProtected);
    EXPECT_EQ(h->samplesPerFrame, 1152);
    // 144 * 128000 / 44100, rounded down.
    EXPECT_EQ(h->frameBytes, 417);
}

TEST(Mp3FrameHeader, CountsPaddingCrcAndMono) {
    // Padding bit set, CRC present (protection bit 0), mono.
    const auto h = ParseFrameHeader(Bytes({0xFF, 0xFA, 0x92, 0xC0}).data());
    ASSERT_TRUE(h.has_value());
    EXPECT_TRUE(h->padding);
    EXPECT_TRUE(h->crcProtected);
    EXPECT_EQ(h->channels, 1);
    EXPECT_EQ(h->frameBytes, 418);
}

TEST(Mp3FrameHeader, ReadsMpeg2AndMpeg25Rates) {
    // MPEG-2, 64 kbit/s (index 8), 22.05 kHz: 72 * 64000 / 22050 = 208.
    const auto mpeg2 = ParseFrameHeader(Bytes({0xFF, 0xF3, 0x80, 0xC4}).data());
    ASSERT_TRUE(mpeg2.has_value());
    EXPECT_EQ(mpeg2->version, MpegVersion::Mpeg2);
    EXPECT_EQ(mpeg2->bitrateKbps, 64);
    EXPECT_EQ(mpeg2->sampleRate, 22050);
    EXPECT_EQ(mpeg2->samplesPerFrame, 576);
    EXPECT_EQ(mpeg2->frameBytes, 208);
    // MPEG-2.5, 8 kbit/s (index 1), 8 kHz (index 2): 72 * 8000 / 8000 = 72.
    const auto mpeg25 = ParseFrameHeader(Bytes({0xFF, 0xE3, 0x18, 0xC4}).data());
    ASSERT_TRUE(mpeg25.has_value());
    EXPECT_EQ(mpeg25->version, MpegVersion::Mpeg25);
    EXPECT_EQ(mpeg25->sampleRate, 8000);
    EXPECT_EQ(mpeg25->bitrateKbps, 8);
    EXPECT_EQ(mpeg25->frameBytes, 72);
}

TEST(Mp3FrameHeader, RefusesWhatIsNoLayer3Header) {
    EXPECT_FALSE(ParseFrameHeader(Bytes({0xFE, 0xFB, 0x90, 0x44}).data())) << "broken sync";
    EXPECT_FALSE(ParseFrameHeader(Bytes({0xFF, 0xEB, 0x90, 0x44}).data())) << "reserved version";
    EXPECT_FALSE(ParseFrameHeader(Bytes({0xFF, 0xFD, 0x90, 0x44}).data())) << "Layer II";
    EXPECT_FALSE(ParseFrameHeader(Bytes({0xFF, 0xFF, 0x90, 0x44}).data())) << "Layer I";
    EXPECT_FALSE(ParseFrameHeader(Bytes({0xFF, 0xF9, 0x90, 0x44}).data())) << "reserved layer";
    EXPECT_FALSE(ParseFrameHeader(Bytes({0xFF, 0xFB, 0x00, 0x44}).data())) << "free format";
    EXPECT_FALSE(ParseFrameHeader(Bytes({0xFF, 0xFB, 0xF0, 0x44}).data())) << "bad bit rate";
    EXPECT_FALSE(ParseFrameHeader(Bytes({0xFF, 0xFB, 0x9C, 0x44}).data())) << "reserved rate";
}

TEST(Mp3Id3v2Tag, SizeIncludesHeaderAndFooterAndNeedsSynchsafeBytes) {
    // Body of 0x81 = (1 << 7) | 1 bytes in synchsafe form.
    EXPECT_EQ(Id3v2TagSize(Bytes({'I', 'D', '3', 4, 0, 0x00, 0, 0, 1, 1}).data(), 10), 10u + 129u);
    EXPECT_EQ(Id3v2TagSize(Bytes({'I', 'D', '3', 4, 0, 0x10, 0, 0, 1, 1}).data(), 10), 20u + 129u);
    EXPECT_EQ(Id3v2TagSize(Bytes({'I', 'D', '3', 4, 0, 0, 0, 0, 0x80, 1}).data(), 10), 0u)
        << "not synchsafe";
    EXPECT_EQ(Id3v2TagSize(Bytes({'I', 'D', '3', 4, 0, 0, 0, 0, 1}).data(), 9), 0u) << "too short";
    EXPECT_EQ(Id3v2TagSize(kMpeg1Header, 4), 0u);
}

TEST(Mp3FirstFrame, SkipsJunkAndFalseSyncs) {
    // Junk holding a lone false sync (a valid header without a successor).
    std::vector<uint8_t> data = Bytes({0x00, 0x11, 0xFF, 0xFB, 0x90, 0x44, 0x22, 0x33});
    const size_t firstFrame = data.size();
    const auto frames = Frames(kMpeg1Header, 3);
    data.insert(data.end(), frames.begin(), frames.end());
    const auto found = FindFirstFrame(data.data(), data.size(), true);
    ASSERT_TRUE(found.has_value());
    EXPECT_EQ(*found, firstFrame);
}

TEST(Mp3FirstFrame, ALastLoneFrameCountsOnlyAtTheEndOfTheFile) {
    const auto one = Frames(kMpeg1Header, 1);
    EXPECT_EQ(FindFirstFrame(one.data(), one.size(), true), std::optional<size_t>(0));
    EXPECT_FALSE(FindFirstFrame(one.data(), one.size(), false).has_value());
    const auto text = Bytes({'n', 'o', 't', ' ', 'a', 'n', ' ', 'm', 'p', '3'});
    EXPECT_FALSE(FindFirstFrame(text.data(), text.size(), true).has_value());
    EXPECT_FALSE(FindFirstFrame(text.data(), 0, true).has_value());
}

TEST(Mp3Length, CountsTheSamplesOfEveryFrameUpToTheFirstNonFrame) {
    testsupport::TempDir dir;
    std::vector<uint8_t> data = Bytes({1, 2, 3});
    const auto frames = Frames(kMpeg1Header, 5);
    data.insert(data.end(), frames.begin(), frames.end());
    for (char c : std::string("TAG and then an ID3v1 tag")) data.push_back(static_cast<uint8_t>(c));
    const auto path = dir.Write("frames.mp3", std::string(data.begin(), data.end()));
    std::FILE *file = std::fopen(path.c_str(), "rb");
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(CountSamples(file, 3), 5u * 1152u);
    std::fclose(file);
}

TEST(Mp3Files, AFileMadeByLameIsFoundAndMeasured) {
    testsupport::TempDir dir;
    std::string why;
    ASSERT_TRUE(tonetest::MakeToneMp3(dir / "tone.mp3", 440, 2.0, &why)) << why;
    const std::string bytes = testsupport::ReadFile(dir / "tone.mp3");
    const auto *data = reinterpret_cast<const uint8_t *>(bytes.data());
    const size_t tag = Id3v2TagSize(data, bytes.size());
    const auto first = FindFirstFrame(data + tag, bytes.size() - tag, true);
    ASSERT_TRUE(first.has_value());
    const auto header = ParseFrameHeader(data + tag + *first);
    ASSERT_TRUE(header.has_value());
    EXPECT_EQ(header->sampleRate, 44100);
    EXPECT_EQ(header->bitrateKbps, 128);
    std::FILE *file = std::fopen((dir / "tone.mp3").c_str(), "rb");
    ASSERT_NE(file, nullptr);
    // Two seconds, plus lame's information frame, its delay and its padding.
    const double seconds = static_cast<double>(CountSamples(file, static_cast<long>(tag + *first))) / 44100.0;
    std::fclose(file);
    EXPECT_NEAR(seconds, 2.0, 0.1);
}

}  // namespace
