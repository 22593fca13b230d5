// Building blocks of the procedural pictures: integer hashing, a seeded
// random sequence, smooth value noise and colour palettes. All integer
// based or built on det_math, so every machine computes the same values.
#pragma once

#include <cstdint>

#include "image.h"

namespace content {

// Mixes the inputs into 32 well-distributed bits.
uint32_t Hash(uint32_t x, uint32_t y = 0, uint32_t seed = 0);
// Hash mapped to [0, 1).
double Hash01(uint32_t x, uint32_t y = 0, uint32_t seed = 0);

// A reproducible random sequence (splitmix64).
class Random {
public:
    explicit Random(uint64_t seed) : state_(seed) {}
    uint64_t Next();
    double Uniform();                      // [0, 1)
    double Uniform(double lo, double hi);  // [lo, hi)

private:
    uint64_t state_;
};

// Smooth noise in [0, 1] over the plane, one lattice cell per unit.
double ValueNoise(double x, double y, uint32_t seed);
// Sum of `octaves` noise layers, each twice the frequency and half the
// weight of the previous one; normalised to [0, 1].
double Fbm(double x, double y, int octaves, uint32_t seed);

// Palette of the form a + b * cos(2 pi (c t + d)) per channel.
struct CosinePalette {
    double ar, ag, ab, br, bg, bb, cr, cg, cb, dr, dg, db;
    Color operator()(double t) const;
};

// Piecewise-linear palette through evenly spaced stops (t in [0, 1]).
Color Gradient(const Color *stops, int count, double t);

}  // namespace content
