// Deterministic sample contents for archives built in tests and benchmarks.
#pragma once

#include <cstdint>
#include <string>

namespace rarwriter::samples {

std::string Text(size_t size, uint32_t seed);     // words and line breaks: matches of every length
std::string Records(size_t size, uint32_t seed);  // fixed-size records: matches at repeating distances
std::string Random(size_t size, uint32_t seed);   // literals only
std::string Runs(size_t size, uint32_t seed);     // runs of one byte, up to a few hundred long
// Binary pieces repeated (slightly changed) from 64 KiB to nearly 1 MiB back:
// long matches at long distances, as in executables and disk images.
std::string FarRepeats(size_t size, uint32_t seed);
// Interleaved PCM (tones and a little noise), unsigned 8-bit or signed 16-bit little-endian samples.
std::string Pcm(size_t size, int channels, int bytesPerSample, uint32_t seed);

}  // namespace rarwriter::samples
