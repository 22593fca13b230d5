// Deterministic sample contents for archives built in tests and benchmarks.
#pragma once

#include <cstdint>
#include <string>

namespace rarwriter::samples {

// Words, punctuation and line breaks: matches of every length.
std::string Text(size_t size, uint32_t seed);
// Fixed-size records with counters and a few random fields: matches at repeating distances.
std::string Records(size_t size, uint32_t seed);
// Uniformly random bytes: literals only.
std::string Random(size_t size, uint32_t seed);
// Runs of one byte value, up to a few hundred bytes long.
std::string Runs(size_t size, uint32_t seed);
// Interleaved PCM: tones and a little noise, unsigned 8-bit or signed 16-bit little-endian samples.
std::string Pcm(size_t size, int channels, int bytesPerSample, uint32_t seed);

}  // namespace rarwriter::samples
