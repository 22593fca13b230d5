#include "tests/platform/tone.h"

#include "tests/support/subprocess.h"

#include <cmath>
#include <cstdlib>

namespace tonetest {

bool MakeToneMp3(const std::filesystem::path &path, int frequency, double seconds,
                 std::string *why) {
    const std::filesystem::path wav = path.parent_path() / (path.stem().string() + ".wav");
    auto sox = testsupport::RunProcess({"sox", "-n", "-r", "44100", "-c", "2", "-b", "16",
                                        wav.string(), "synth", std::to_string(seconds), "sine",
                                        std::to_string(frequency), "vol", "0.5"});
    if (!sox.started || sox.exitCode != 0) {
        *why = "sox could not make the tone: " + sox.err;
        return false;
    }
    auto lame =
        testsupport::RunProcess({"lame", "--quiet", "-b", "128", wav.string(), path.string()});
    std::filesystem::remove(wav);
    if (!lame.started || lame.exitCode != 0) {
        *why = "lame could not encode the tone: " + lame.err;
        return false;
    }
    return true;
}

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
    constexpr int kDeadBand = 200;
    int crossings = 0;
    int sign = 0;
    size_t first = 0, last = 0;
    for (size_t i = 0; i < samples.size(); ++i) {
        const int s = samples[i];
        if (std::abs(s) < kDeadBand) continue;
        const int now = s > 0 ? 1 : -1;
        if (sign != 0 && now != sign) {
            if (crossings == 0) first = i;
            last = i;
            ++crossings;
        }
        sign = now;
    }
    if (crossings < 3 || last <= first) return 0.0;
    // Two crossings per period, counted between the first and last crossing.
    const double seconds = static_cast<double>(last - first) / rate;
    return (crossings - 1) / 2.0 / seconds;
}

}  // namespace tonetest
