#include "sample_content.h"

#include <cmath>
#include <random>

namespace rarwriter::samples {

std::string Text(size_t size, uint32_t seed) {
    static const char *const kWords[] = {
        "the", "archive", "of", "a", "window", "and", "block", "table", "to", "in", "is", "that", "match",
        "distance", "length", "for", "with", "symbol", "code", "byte", "stream", "header", "file", "reader",
        "channel", "delta", "weight", "every", "when", "not", "it", "on", "be", "from", "by", "this", "which",
        "predictor", "solid", "packed", "literal", "Huffman", "canonical", "zero", "one", "two", "three"};
    std::mt19937 rng(seed);
    std::string out;
    out.reserve(size + 16);
    size_t sentence = 0;
    while (out.size() < size) {
        const char *w = kWords[rng() % (sizeof kWords / sizeof *kWords)];
        std::string word = w;
        if (sentence == 0 && !word.empty()) word[0] = static_cast<char>(std::toupper(word[0]));
        out += word;
        ++sentence;
        const uint32_t r = rng() % 100;
        if (sentence > 4 && r < 12) {
            out += r < 2 ? "!\n" : (r < 6 ? ".\n" : ". ");
            sentence = 0;
        } else if (r < 18) {
            out += ", ";
        } else if (r < 20) {
            out += ' ';
            out += std::to_string(rng() % 1000);
            out += ' ';
        } else {
            out += ' ';
        }
    }
    out.resize(size);
    return out;
}

std::string Records(size_t size, uint32_t seed) {
    std::mt19937 rng(seed);
    std::string out;
    out.reserve(size + 32);
    uint32_t id = 1000;
    while (out.size() < size) {
        char record[24] = {'R', 'E', 'C', ':'};
        for (int i = 0; i < 4; ++i) record[4 + i] = static_cast<char>(id >> (8 * i));
        record[8] = static_cast<char>(rng() % 4);  // a flag
        for (int i = 9; i < 12; ++i) record[i] = 0;
        const uint32_t value = (rng() % 8 == 0) ? rng() : id * 3;
        for (int i = 0; i < 4; ++i) record[12 + i] = static_cast<char>(value >> (8 * i));
        for (int i = 16; i < 24; ++i) record[i] = static_cast<char>("padding!"[i - 16]);
        out.append(record, sizeof record);
        ++id;
    }
    out.resize(size);
    return out;
}

std::string Random(size_t size, uint32_t seed) {
    std::mt19937 rng(seed);
    std::string out(size, '\0');
    for (auto &c : out) c = static_cast<char>(rng());
    return out;
}

std::string Runs(size_t size, uint32_t seed) {
    std::mt19937 rng(seed);
    std::string out;
    out.reserve(size + 600);
    while (out.size() < size) out.append(1 + rng() % 600, static_cast<char>(rng() % 4 == 0 ? 0 : rng()));
    out.resize(size);
    return out;
}

std::string Pcm(size_t size, int channels, int bytesPerSample, uint32_t seed) {
    std::mt19937 rng(seed);
    std::normal_distribution<double> noise(0.0, 0.01);
    std::string out;
    out.reserve(size + 8);
    const double rate = 22050.0;
    for (size_t frame = 0; out.size() < size; ++frame) {
        const double t = static_cast<double>(frame) / rate;
        for (int c = 0; c < channels; ++c) {
            const double f = 220.0 * (c + 1) + 3.0 * seed;
            double v = 0.45 * std::sin(2 * M_PI * f * t) + 0.2 * std::sin(2 * M_PI * f * 2.01 * t + c) +
                       0.1 * std::sin(2 * M_PI * 3.3 * t) + noise(rng);
            v = std::max(-1.0, std::min(1.0, v));
            if (bytesPerSample == 1) {
                out.push_back(static_cast<char>(static_cast<int>(128 + v * 120)));
            } else {
                const auto s = static_cast<int16_t>(v * 30000);
                out.push_back(static_cast<char>(s & 0xFF));
                out.push_back(static_cast<char>((s >> 8) & 0xFF));
            }
        }
    }
    out.resize(size);
    return out;
}

std::string FarRepeats(size_t size, size_t distance, uint32_t seed) {
    std::mt19937 rng(seed);
    std::string out = Random(std::min(size, distance), seed);
    while (out.size() < size) {
        const size_t at = out.size();
        out.push_back(out[at - distance]);
        if (rng() % 3000 == 0) out.back() = static_cast<char>(rng());
    }
    return out;
}

}  // namespace rarwriter::samples
