// MPEG audio Layer III frame headers: enough of the format to describe an MP3
// file to a codec (rate, channels, bit rate, frame size) and to find where
// its frames start, behind an ID3v2 tag and any junk. Plain C++, no system
// calls: the Windows sound layer builds its codec's input format from it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <optional>

namespace platform::mp3 {

enum class MpegVersion { Mpeg1, Mpeg2, Mpeg25 };

struct FrameHeader {
    MpegVersion version = MpegVersion::Mpeg1;
    int bitrateKbps = 0;      // never 0: free-format frames are not accepted
    int sampleRate = 0;       // Hz
    int channels = 0;         // 1 (mono) or 2
    bool padding = false;     // one extra byte in this frame
    bool crcProtected = false;
    int frameBytes = 0;       // header included
    int samplesPerFrame = 0;  // per channel: 1152 (MPEG-1) or 576
};

// The header of a Layer III frame starting at `bytes` (4 bytes are read), or
// nothing when those bytes are not one: no sync, a reserved version, another
// layer, a free-format or invalid bit rate, or a reserved sample rate.
std::optional<FrameHeader> ParseFrameHeader(const uint8_t *bytes);

// The size of the ID3v2 tag at the start of `bytes` (its header, body and
// footer), or 0 when there is none or `size` is too small to tell.
size_t Id3v2TagSize(const uint8_t *bytes, size_t size);

// The offset of the first frame in `bytes` (scanned from its start; skip an
// ID3v2 tag before): a frame header whose successor starts exactly one frame
// later with the same version and sample rate, or, when `bytes` runs to the
// end of the file, one that reaches exactly to that end. Nothing when no such
// frame exists.
std::optional<size_t> FindFirstFrame(const uint8_t *bytes, size_t size, bool endOfFile);

// The play length of the frames from `offset` on, in samples per channel:
// frame headers are read one after another (nothing is decoded) until the
// end of the file or the first place that holds no frame header. Leaves the
// file position undefined.
uint64_t CountSamples(std::FILE *file, long offset);

}  // namespace platform::mp3
