#include "platform/win32/mp3_frame.h"

namespace platform::mp3 {
namespace {

// Kbit/s by bit-rate index; index 0 (free format) and 15 (invalid) are 0.
constexpr int kMpeg1Bitrates[16] = {0,   32,  40,  48,  56,  64,  80,  96,
                                    112, 128, 160, 192, 224, 256, 320, 0};
constexpr int kMpeg2Bitrates[16] = {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0};
// Hz by sample-rate index (3 is reserved).
constexpr int kMpeg1Rates[3] = {44100, 48000, 32000};

}  // namespace

std::optional<FrameHeader> ParseFrameHeader(const uint8_t *b) {
    // 11 sync bits, then version (2 bits), layer (2), no-CRC flag (1).
    if (b[0] != 0xFF || (b[1] & 0xE0) != 0xE0) return std::nullopt;
    const int versionBits = (b[1] >> 3) & 3;
    const int layerBits = (b[1] >> 1) & 3;
    if (versionBits == 1 || layerBits != 1) return std::nullopt;  // reserved; not Layer III
    const int bitrateIndex = b[2] >> 4;
    const int rateIndex = (b[2] >> 2) & 3;
    if (rateIndex == 3) return std::nullopt;

    FrameHeader h;
    h.version = versionBits == 3   ? MpegVersion::Mpeg1
                : versionBits == 2 ? MpegVersion::Mpeg2
                                   : MpegVersion::Mpeg25;
    const bool mpeg1 = h.version == MpegVersion::Mpeg1;
    h.bitrateKbps = mpeg1 ? kMpeg1Bitrates[bitrateIndex] : kMpeg2Bitrates[bitrateIndex];
    if (h.bitrateKbps == 0) return std::nullopt;
    const int divisor = h.version == MpegVersion::Mpeg1 ? 1 : h.version == MpegVersion::Mpeg2 ? 2 : 4;
    h.sampleRate = kMpeg1Rates[rateIndex] / divisor;
    h.padding = ((b[2] >> 1) & 1) != 0;
    h.crcProtected = (b[1] & 1) == 0;
    h.channels = (b[3] >> 6) == 3 ? 1 : 2;
    h.samplesPerFrame = mpeg1 ? 1152 : 576;
    // Bytes per frame: samples / 8 bits per byte * bit rate / sample rate.
    h.frameBytes = (h.samplesPerFrame / 8) * h.bitrateKbps * 1000 / h.sampleRate +
                   (h.padding ? 1 : 0);
    return h;
}

size_t Id3v2TagSize(const uint8_t *b, size_t size) {
    if (size < 10 || b[0] != 'I' || b[1] != 'D' || b[2] != '3') return 0;
    // The body size is "synchsafe": four bytes of seven bits each.
    for (int i = 6; i < 10; ++i)
        if ((b[i] & 0x80) != 0) return 0;
    const size_t body = (static_cast<size_t>(b[6]) << 21) | (static_cast<size_t>(b[7]) << 14) |
                        (static_cast<size_t>(b[8]) << 7) | b[9];
    const bool footer = (b[5] & 0x10) != 0;
    return 10 + body + (footer ? 10 : 0);
}

std::optional<size_t> FindFirstFrame(const uint8_t *bytes, size_t size, bool endOfFile) {
    for (size_t at = 0; at + 4 <= size; ++at) {
        const auto header = ParseFrameHeader(bytes + at);
        if (!header) continue;
        const size_t next = at + static_cast<size_t>(header->frameBytes);
        if (next == size && endOfFile) return at;
        if (next + 4 > size) continue;
        const auto following = ParseFrameHeader(bytes + next);
        if (following && following->version == header->version &&
            following->sampleRate == header->sampleRate)
            return at;
    }
    return std::nullopt;
}

uint64_t CountSamples(std::FILE *file, long offset) {
    uint64_t samples = 0;
    long at = offset;
    uint8_t bytes[4];
    while (std::fseek(file, at, SEEK_SET) == 0 && std::fread(bytes, 1, 4, file) == 4) {
        const auto header = ParseFrameHeader(bytes);
        if (!header) break;
        samples += static_cast<uint64_t>(header->samplesPerFrame);
        at += header->frameBytes;
    }
    return samples;
}

}  // namespace platform::mp3
