// Looking at recorded sound: interleaved signed 16-bit little-endian stereo,
// as the private sound server's pipe delivers it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace recording {

// The left channel.
std::vector<int16_t> LeftChannel(const std::string &raw);

// Index of the first sample louder than a quiet hiss; the size when none is.
size_t Onset(const std::vector<int16_t> &samples);

// Root mean square on a 0..32767 scale.
double Rms(const std::vector<int16_t> &samples);

// The frequency the signal crosses zero at (a sine's own), from the first to
// the last crossing; samples near zero are not counted. 0 with too few
// crossings.
double ZeroCrossingFrequency(const std::vector<int16_t> &samples, int rate);

// The same, as the median over pieces of 100 ms, so that a few milliseconds
// dropped here and there do not count.
double MedianFrequency(const std::vector<int16_t> &samples, int rate);

// The longest run of quiet samples, and how many there are in all.
struct Quiet {
    size_t longest = 0;
    size_t total = 0;
};
Quiet QuietStretches(const std::vector<int16_t> &samples);

}  // namespace recording
