// A test tone: a stereo 44.1 kHz sine made into an MP3 by sox and lame; and
// what a recording of it played back holds.
#pragma once

#include "support/subprocess.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace tonetest {

// False (with the reason) when sox or lame are missing or fail.
inline bool MakeToneMp3(const std::filesystem::path &path, int frequency, double seconds, std::string *why) {
    const std::string wav = path.string() + ".wav";
    auto sox = testsupport::RunProcess({"sox", "-n", "-r", "44100", "-c", "2", "-b", "16", wav, "synth",
                                        std::to_string(seconds), "sine", std::to_string(frequency), "vol", "0.5"});
    auto lame = testsupport::RunProcess({"lame", "--quiet", "-b", "128", wav, path.string()});
    std::filesystem::remove(wav);
    *why = "sox and lame could not make the tone: " + sox.err + lame.err;
    return sox.exitCode == 0 && lame.exitCode == 0;
}

struct Heard {
    bool enough = false;  // the recording reaches `to`
    double level = 0;     // root mean square
    double frequency = 0; // the median over 100 ms pieces, from zero crossings
    double quiet = 0;     // the share of samples below 300
};

// The left channel of a 16-bit stereo 44.1 kHz recording, from `from` to
// `to` seconds after its first sound.
inline Heard Listen(const std::string &raw, double from, double to) {
    constexpr int kRate = 44100, kPiece = kRate / 10;
    std::vector<int> left;
    for (size_t i = 0; i + 3 < raw.size(); i += 4) {
        const int sample = int16_t(uint8_t(raw[i]) | uint8_t(raw[i + 1]) << 8);
        if (!left.empty() || std::abs(sample) > 1000) left.push_back(sample);
    }
    Heard heard;
    const auto begin = size_t(from * kRate), end = size_t(to * kRate);
    if (left.size() < end || end <= begin) return heard;
    heard.enough = true;
    std::vector<double> pieces;
    for (size_t at = begin; at < end; at += kPiece) {
        int crossings = 0, sign = 0;
        size_t first = 0, last = 0;
        for (size_t i = at; i < std::min(at + kPiece, end); ++i) {
            heard.level += double(left[i]) * left[i];
            if (std::abs(left[i]) < 300) {
                ++heard.quiet;
                continue;
            }
            const int now = left[i] > 0 ? 1 : -1;
            if (sign != 0 && now != sign && crossings++ == 0) first = i;
            if (sign != 0 && now != sign) last = i;
            sign = now;
        }
        pieces.push_back(crossings > 2 ? (crossings - 1) / 2.0 * kRate / double(last - first) : 0.0);
    }
    heard.level = std::sqrt(heard.level / double(end - begin));
    heard.quiet /= double(end - begin);
    std::nth_element(pieces.begin(), pieces.begin() + long(pieces.size() / 2), pieces.end());
    heard.frequency = pieces[pieces.size() / 2];
    return heard;
}

}  // namespace tonetest
