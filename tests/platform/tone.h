// Test tones: a sine made into an MP3 with the system's sox and lame, and a
// look at recorded 16-bit stereo sound to tell a tone from silence.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace tonetest {

// Writes a stereo 44.1 kHz sine of this frequency and length as an MP3.
// False (with the reason) when sox or lame are missing or fail.
bool MakeToneMp3(const std::filesystem::path &path, int frequency, double seconds,
                 std::string *why);

// The left channel of interleaved signed 16-bit little-endian stereo bytes,
// from the first sample louder than a quiet hiss on (empty when none is).
std::vector<int16_t> FromOnset(const std::string &raw);

// Root mean square on a 0..32767 scale.
double Rms(const std::vector<int16_t> &samples);

// The frequency a clean sine crosses zero at, in Hz; samples near zero are
// ignored so that noise does not count.
double ZeroCrossingFrequency(const std::vector<int16_t> &samples, int rate);

}  // namespace tonetest
