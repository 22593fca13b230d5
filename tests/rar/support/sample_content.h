// Deterministic sample contents for archives built in tests and benchmarks:
// each kind exercises a different part of the packed format.
#pragma once

#include <cstdint>
#include <string>

namespace rarwriter::samples {

// English-like words, punctuation and line breaks: many matches of all lengths.
std::string Text(size_t size, uint32_t seed);
// Fixed-size records with counters, flags and a few random fields: matches
// at a repeating distance (history and repeat symbols).
std::string Records(size_t size, uint32_t seed);
// Uniformly random bytes: literals only, nothing to find.
std::string Random(size_t size, uint32_t seed);
// Runs of one byte value, of random lengths up to a few hundred bytes.
std::string Runs(size_t size, uint32_t seed);
// Interleaved PCM audio: a mix of tones and a little noise. `bytesPerSample`
// 1 gives unsigned 8-bit samples, 2 signed 16-bit little-endian ones.
std::string Pcm(size_t size, int channels, int bytesPerSample, uint32_t seed);
// A block of random bytes followed by copies of it, each copy with a few
// bytes changed, so matches reach back `distance` bytes.
std::string FarRepeats(size_t size, size_t distance, uint32_t seed);

}  // namespace rarwriter::samples
