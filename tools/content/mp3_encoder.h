// MP3 encoding of 16-bit stereo through the LAME library, set up so that
// the same samples always give the same bytes: constant bit rate, no tags
// (no ID3, no Xing/Info frame), nothing taken from the clock.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace content {

// Encodes interleaved stereo samples at `sampleRate` as MPEG audio layer III
// at `kbps` kilobits a second. Throws std::runtime_error when the encoder
// refuses the settings or fails, std::invalid_argument for an odd number
// of samples.
std::string EncodeMp3(const std::vector<int16_t> &interleaved, int sampleRate, int kbps);

}  // namespace content
