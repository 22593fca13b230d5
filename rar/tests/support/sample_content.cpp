#include "sample_content.h"

#include <algorithm>
#include <cmath>
#include <random>

namespace rarwriter::samples {

std::string Text(size_t size, uint32_t seed) {
    static const char *const kWords[] = {"the", "archive", "of", "a", "window", "and", "block", "table", "to", "in",
                                         "is", "that", "match", "distance", "length", "for", "with", "symbol",
                                         "code", "byte", "stream", "header", "file", "reader", "channel", "delta",
                                         "weight", "every", "when", "not", "it", "on", "solid", "packed", "Huffman"};
    std::mt19937 rng(seed);
    std::string out;
    while (out.size() < size) {
        out += kWords[rng() % (sizeof kWords / sizeof *kWords)];
        const uint32_t r = rng() % 100;
        out += r < 8 ? ".\n" : r < 14 ? ", " : " ";
        if (r >= 14 && r < 16) out += std::to_string(rng() % 1000) + " ";
    }
    out.resize(size);
    return out;
}

std::string Records(size_t size, uint32_t seed) {
    std::mt19937 rng(seed);
    std::string out;
    for (uint32_t id = 1000; out.size() < size; ++id) {
        const uint32_t value = rng() % 8 == 0 ? rng() : id * 3;
        out += "REC:";
        for (int i = 0; i < 4; ++i) out += static_cast<char>(id >> (8 * i));
        out += static_cast<char>(rng() % 4);
        out += std::string(3, '\0');
        for (int i = 0; i < 4; ++i) out += static_cast<char>(value >> (8 * i));
        out += "padding!";
    }
    out.resize(size);
    return out;
}

std::string Random(size_t size, uint32_t seed) {
    std::mt19937 rng(seed);
    std::string out(size, '\0');
    for (char &c : out) c = static_cast<char>(rng());
    return out;
}

std::string Runs(size_t size, uint32_t seed) {
    std::mt19937 rng(seed);
    std::string out;
    while (out.size() < size) out.append(1 + rng() % 600, static_cast<char>(rng() % 4 == 0 ? 0 : rng()));
    out.resize(size);
    return out;
}

std::string FarRepeats(size_t size, uint32_t seed) {
    std::mt19937 rng(seed);
    std::string out;
    while (out.size() < size) {
        const size_t piece = 256 + rng() % 4096;
        if (out.size() < (256u << 10) || rng() % 4 == 0) {
            for (size_t i = 0; i < piece; ++i) out += static_cast<char>(rng() % 4 ? rng() % 64 : rng());
            continue;
        }
        const size_t back = std::min<size_t>(out.size(), (64u << 10) + rng() % (960u << 10));
        const size_t from = out.size() - back;
        for (size_t i = 0; i < piece && from + i < out.size(); ++i) {
            out += rng() % 200 == 0 ? static_cast<char>(rng()) : out[from + i];
        }
    }
    out.resize(size);
    return out;
}

std::string Pcm(size_t size, int channels, int bytesPerSample, uint32_t seed) {
    std::mt19937 rng(seed);
    std::normal_distribution<double> noise(0.0, 0.01);
    std::string out;
    for (size_t frame = 0; out.size() < size; ++frame) {
        const double t = static_cast<double>(frame) / 22050.0;
        for (int c = 0; c < channels; ++c) {
            const double f = 220.0 * (c + 1) + 3.0 * seed;
            const double v = std::clamp(0.45 * std::sin(2 * M_PI * f * t) + 0.2 * std::sin(2 * M_PI * f * 2.01 * t + c) +
                                            0.1 * std::sin(2 * M_PI * 3.3 * t) + noise(rng), -1.0, 1.0);
            const int s = bytesPerSample == 1 ? static_cast<int>(128 + v * 120) : static_cast<int>(v * 30000);
            out += static_cast<char>(s & 0xFF);
            if (bytesPerSample == 2) out += static_cast<char>((s >> 8) & 0xFF);
        }
    }
    out.resize(size);
    return out;
}

}  // namespace rarwriter::samples
