#include "tests/platform/tone.h"

#include "tests/support/subprocess.h"

#include <cmath>
#include <cstdlib>

namespace tonetest {

bool MakeToneMp3(const std::filesystem::path &path, int frequency, double seconds,
                 std::string *why) {
    const std::string wav = path.string() + ".wav";
    auto sox = testsupport::RunProcess({"sox", "-n", "-r", "44100", "-c", "2", "-b", "16", wav,
                                        "synth", std::to_string(seconds), "sine",
                                        std::to_string(frequency), "vol", "0.5"});
    auto lame = testsupport::RunProcess({"lame", "--quiet", "-b", "128", wav, path.string()});
    std::filesystem::remove(wav);
    if (sox.exitCode == 0 && lame.exitCode == 0) return true;
    *why = "sox and lame could not make the tone: " + sox.err + lame.err;
    return false;
}

std::vector<int16_t> FromOnset(const std::string &raw) {
    std::vector<int16_t> left;
    for (size_t i = 0; i + 3 < raw.size(); i += 4) {
        const auto sample = static_cast<int16_t>(static_cast<uint8_t>(raw[i]) |
                                                 static_cast<uint8_t>(raw[i + 1]) << 8);
        if (!left.empty() || std::abs(sample) > 1000) left.push_back(sample);
    }
    return left;
}

double Rms(const std::vector<int16_t> &samples) {
    double sum = 0.0;
    for (int16_t s : samples) sum += static_cast<double>(s) * s;
    return samples.empty() ? 0.0 : std::sqrt(sum / static_cast<double>(samples.size()));
}

double ZeroCrossingFrequency(const std::vector<int16_t> &samples, int rate) {
    int crossings = 0, sign = 0;
    size_t first = 0, last = 0;
    for (size_t i = 0; i < samples.size(); ++i) {
        if (std::abs(samples[i]) < 200) continue;
        const int now = samples[i] > 0 ? 1 : -1;
        if (sign != 0 && now != sign) {
            if (crossings++ == 0) first = i;
            last = i;
        }
        sign = now;
    }
    // Two crossings per period, counted between the first and the last.
    return crossings < 3 ? 0.0 : (crossings - 1) / 2.0 * rate / static_cast<double>(last - first);
}

}  // namespace tonetest
