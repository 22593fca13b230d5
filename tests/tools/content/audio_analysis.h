// Audio helpers for the soundtrack tests: MP3 decoding through libmpg123
// and simple measurements of loudness and spectral shape.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace contenttest {

struct DecodedAudio {
    bool ok = false;
    std::string error;
    long rate = 0;
    int channels = 0;
    std::vector<int16_t> samples;  // interleaved
    double seconds() const { return channels && rate ? double(samples.size()) / channels / rate : 0.0; }
};

// Decodes a whole MP3 file to 16-bit samples.
DecodedAudio DecodeMp3File(const std::string &path);

// Root-mean-square level in dBFS of stereo frames [first, first + count)
// of interleaved 16-bit audio (both channels together).
double RmsDb(const std::vector<int16_t> &interleaved, size_t firstFrame, size_t frameCount);

// Spectral shape of mono audio over [begin, end) frames: power per octave
// band from 40 Hz to 10 kHz in dB, then the 12 pitch classes' share of the
// power between 100 Hz and 2 kHz, scaled to dB-like numbers.
std::vector<double> SpectralProfile(const std::vector<double> &mono, long rate, size_t begin, size_t end);

// Root-mean-square difference of two profiles.
double ProfileDistance(const std::vector<double> &a, const std::vector<double> &b);

// Power of mono audio at one frequency (Goertzel), relative units.
double PowerAt(const std::vector<double> &mono, long rate, size_t begin, size_t end, double frequency);

}  // namespace contenttest
