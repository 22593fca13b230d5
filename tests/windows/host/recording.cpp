#include "tests/windows/host/recording.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace recording {
namespace {
// Below this a sample counts as quiet (a sine at half volume passes it
// only right at its zero crossings).
constexpr int kQuiet = 300;
}  // namespace

std::vector<int16_t> LeftChannel(const std::string &raw) {
    std::vector<int16_t> left;
    left.reserve(raw.size() / 4);
    for (size_t i = 0; i + 3 < raw.size(); i += 4) {
        const auto lo = static_cast<uint8_t>(raw[i]);
        const auto hi = static_cast<uint8_t>(raw[i + 1]);
        left.push_back(static_cast<int16_t>(static_cast<uint16_t>(lo | (hi << 8))));
    }
    return left;
}

size_t Onset(const std::vector<int16_t> &samples) {
    for (size_t i = 0; i < samples.size(); ++i)
        if (std::abs(static_cast<int>(samples[i])) > 1000) return i;
    return samples.size();
}

double Rms(const std::vector<int16_t> &samples) {
    if (samples.empty()) return 0.0;
    double sum = 0.0;
    for (int16_t s : samples) sum += static_cast<double>(s) * s;
    return std::sqrt(sum / static_cast<double>(samples.size()));
}

double ZeroCrossingFrequency(const std::vector<int16_t> &samples, int rate) {
    int crossings = 0;
    int sign = 0;
    size_t first = 0, last = 0;
    for (size_t i = 0; i < samples.size(); ++i) {
        const int s = samples[i];
        if (std::abs(s) < kQuiet) continue;
        const int now = s > 0 ? 1 : -1;
        if (sign != 0 && now != sign) {
            if (crossings == 0) first = i;
            last = i;
            ++crossings;
        }
        sign = now;
    }
    if (crossings < 3 || last <= first) return 0.0;
    // Two crossings per period.
    return (crossings - 1) / 2.0 / (static_cast<double>(last - first) / rate);
}

double MedianFrequency(const std::vector<int16_t> &samples, int rate) {
    std::vector<double> pieces;
    const size_t piece = static_cast<size_t>(rate) / 10;
    for (size_t at = 0; at + piece <= samples.size(); at += piece)
        pieces.push_back(ZeroCrossingFrequency(
            std::vector<int16_t>(samples.begin() + static_cast<long>(at),
                                 samples.begin() + static_cast<long>(at + piece)),
            rate));
    if (pieces.empty()) return 0.0;
    const auto middle = pieces.begin() + static_cast<long>(pieces.size() / 2);
    std::nth_element(pieces.begin(), middle, pieces.end());
    return *middle;
}

Quiet QuietStretches(const std::vector<int16_t> &samples) {
    Quiet quiet;
    size_t run = 0;
    for (int16_t s : samples) {
        run = std::abs(static_cast<int>(s)) < kQuiet ? run + 1 : 0;
        quiet.total += run > 0 ? 1 : 0;
        quiet.longest = std::max(quiet.longest, run);
    }
    return quiet;
}

}  // namespace recording
