// MP3 frame headers as the Windows sound layer reads them to describe a file
// to the system's codec (real files are read by the Windows sound tests).
#include "platform/win32/mp3_frame.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <vector>

namespace {

using namespace platform::mp3;
using Bytes = std::vector<uint8_t>;

// MPEG-1 Layer III, no CRC, 128 kbit/s, 44.1 kHz, no padding, joint stereo.
const Bytes kMpeg1 = {0xFF, 0xFB, 0x90, 0x44};

// `count` frames with this header (zero bodies), after `before`.
Bytes Frames(const Bytes &header, int count, Bytes before = {}) {
    for (int i = 0; i < count; ++i) {
        before.insert(before.end(), header.begin(), header.end());
        before.resize(before.size() + static_cast<size_t>(ParseFrameHeader(header.data())->frameBytes) - 4);
    }
    return before;
}

TEST(Mp3FrameHeader, ReadsEveryFieldOfValidHeadersAndRefusesTheRest) {
    struct Case {
        const char *what;
        Bytes bytes;
        MpegVersion version;
        int kbps, rate, channels;
        bool padding, crc;
        int frameBytes, samples;
    };
    const Case valid[] = {
        {"MPEG-1 128k 44.1k stereo", kMpeg1, MpegVersion::Mpeg1, 128, 44100, 2, false, false, 417, 1152},
        {"padding, CRC, mono", {0xFF, 0xFA, 0x92, 0xC0}, MpegVersion::Mpeg1, 128, 44100, 1, true, true, 418, 1152},
        {"MPEG-2 64k 22.05k", {0xFF, 0xF3, 0x80, 0xC4}, MpegVersion::Mpeg2, 64, 22050, 1, false, false, 208, 576},
        {"MPEG-2.5 8k 8k", {0xFF, 0xE3, 0x18, 0xC4}, MpegVersion::Mpeg25, 8, 8000, 1, false, false, 72, 576},
    };
    for (const Case &c : valid) {
        const auto h = ParseFrameHeader(c.bytes.data());
        ASSERT_TRUE(h) << c.what;
        EXPECT_EQ(h->version, c.version) << c.what;
        EXPECT_EQ(h->bitrateKbps, c.kbps) << c.what;
        EXPECT_EQ(h->sampleRate, c.rate) << c.what;
        EXPECT_EQ(h->channels, c.channels) << c.what;
        EXPECT_EQ(h->padding, c.padding) << c.what;
        EXPECT_EQ(h->crcProtected, c.crc) << c.what;
        EXPECT_EQ(h->frameBytes, c.frameBytes) << c.what;
        EXPECT_EQ(h->samplesPerFrame, c.samples) << c.what;
    }
    const std::pair<const char *, Bytes> invalid[] = {
        {"broken sync", {0xFE, 0xFB, 0x90, 0x44}},   {"reserved version", {0xFF, 0xEB, 0x90, 0x44}},
        {"Layer II", {0xFF, 0xFD, 0x90, 0x44}},      {"Layer I", {0xFF, 0xFF, 0x90, 0x44}},
        {"reserved layer", {0xFF, 0xF9, 0x90, 0x44}}, {"free format", {0xFF, 0xFB, 0x00, 0x44}},
        {"bad bit rate", {0xFF, 0xFB, 0xF0, 0x44}},  {"reserved rate", {0xFF, 0xFB, 0x9C, 0x44}}};
    for (const auto &[what, bytes] : invalid) EXPECT_FALSE(ParseFrameHeader(bytes.data())) << what;
}

TEST(Mp3Id3v2Tag, SizeIncludesHeaderAndFooterAndNeedsSynchsafeBytes) {
    // A body of 0x81 = (1 << 7) | 1 bytes in synchsafe form.
    EXPECT_EQ(Id3v2TagSize(Bytes{'I', 'D', '3', 4, 0, 0x00, 0, 0, 1, 1}.data(), 10), 10u + 129u);
    EXPECT_EQ(Id3v2TagSize(Bytes{'I', 'D', '3', 4, 0, 0x10, 0, 0, 1, 1}.data(), 10), 20u + 129u) << "footer";
    EXPECT_EQ(Id3v2TagSize(Bytes{'I', 'D', '3', 4, 0, 0, 0, 0, 0x80, 1}.data(), 10), 0u) << "not synchsafe";
    EXPECT_EQ(Id3v2TagSize(Bytes{'I', 'D', '3', 4, 0, 0, 0, 0, 1, 1}.data(), 9), 0u) << "too short";
    EXPECT_EQ(Id3v2TagSize(kMpeg1.data(), 4), 0u);
}

TEST(Mp3FirstFrame, NeedsASuccessorOrTheEndOfTheFile) {
    // Junk holding a lone false sync (a valid header without a successor).
    const Bytes junk = Frames(kMpeg1, 3, {0x00, 0x11, 0xFF, 0xFB, 0x90, 0x44, 0x22, 0x33});
    EXPECT_EQ(FindFirstFrame(junk.data(), junk.size(), true), std::optional<size_t>(8));
    const Bytes one = Frames(kMpeg1, 1);
    EXPECT_EQ(FindFirstFrame(one.data(), one.size(), true), std::optional<size_t>(0));
    EXPECT_FALSE(FindFirstFrame(one.data(), one.size(), false)) << "a lone frame before the end";
    EXPECT_FALSE(FindFirstFrame(junk.data(), 8, true)) << "junk only";
    EXPECT_FALSE(FindFirstFrame(junk.data(), 0, true));
}

TEST(Mp3Length, CountsTheSamplesOfEveryFrameUpToTheFirstNonFrame) {
    Bytes data = Frames(kMpeg1, 5, {1, 2, 3});
    for (char c : std::string("TAG and then an ID3v1 tag")) data.push_back(static_cast<uint8_t>(c));
    std::FILE *file = fmemopen(data.data(), data.size(), "rb");
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(CountSamples(file, 3), 5u * 1152u);
    std::fclose(file);
}

}  // namespace
