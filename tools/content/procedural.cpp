#include "procedural.h"

#include <cmath>

#include "det_math.h"

namespace content {

uint32_t Hash(uint32_t x, uint32_t y, uint32_t seed) {
    uint32_t h = seed * 0x9E3779B9u + 0x7F4A7C15u;
    h ^= x * 0x85EBCA6Bu;
    h = (h << 13) | (h >> 19);
    h = h * 5u + 0xE6546B64u;
    h ^= y * 0xC2B2AE35u;
    h = (h << 17) | (h >> 15);
    h = h * 0x1B873593u;
    // Final avalanche.
    h ^= h >> 16;
    h *= 0x85EBCA6Bu;
    h ^= h >> 13;
    h *= 0xC2B2AE35u;
    h ^= h >> 16;
    return h;
}

double Hash01(uint32_t x, uint32_t y, uint32_t seed) { return Hash(x, y, seed) / 4294967296.0; }

uint64_t Random::Next() {
    uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

double Random::Uniform() { return static_cast<double>(Next() >> 11) / 9007199254740992.0; }
double Random::Uniform(double lo, double hi) { return lo + (hi - lo) * Uniform(); }

double ValueNoise(double x, double y, uint32_t seed) {
    double fx = std::floor(x), fy = std::floor(y);
    // Lattice coordinates wrap modulo 2^32, which is fine for a hash.
    uint32_t ix = static_cast<uint32_t>(static_cast<int64_t>(fx));
    uint32_t iy = static_cast<uint32_t>(static_cast<int64_t>(fy));
    double tx = x - fx, ty = y - fy;
    // Quintic fade: continuous first and second derivatives, no grid creases.
    double sx = tx * tx * tx * (tx * (tx * 6 - 15) + 10);
    double sy = ty * ty * ty * (ty * (ty * 6 - 15) + 10);
    double a = Hash01(ix, iy, seed), b = Hash01(ix + 1, iy, seed);
    double c = Hash01(ix, iy + 1, seed), d = Hash01(ix + 1, iy + 1, seed);
    return detmath::Mix(detmath::Mix(a, b, sx), detmath::Mix(c, d, sx), sy);
}

double Fbm(double x, double y, int octaves, uint32_t seed) {
    double sum = 0, weight = 0.5, total = 0;
    for (int i = 0; i < octaves; ++i) {
        sum += weight * ValueNoise(x, y, seed + static_cast<uint32_t>(i) * 101u);
        total += weight;
        // Rotate a little between octaves so lattice axes do not line up.
        double nx = 1.6 * x + 1.2 * y + 17.3, ny = -1.2 * x + 1.6 * y + 5.1;
        x = nx;
        y = ny;
        weight *= 0.5;
    }
    return sum / total;
}

Color CosinePalette::operator()(double t) const {
    using detmath::Cos;
    using detmath::kTwoPi;
    return {ar + br * Cos(kTwoPi * (cr * t + dr)), ag + bg * Cos(kTwoPi * (cg * t + dg)),
            ab + bb * Cos(kTwoPi * (cb * t + db)), 1.0};
}

Color Gradient(const Color *stops, int count, double t) {
    if (count == 1) return stops[0];
    double x = detmath::Clamp(t, 0.0, 1.0) * (count - 1);
    int i = static_cast<int>(x);
    if (i >= count - 1) return stops[count - 1];
    return Lerp(stops[i], stops[i + 1], x - i);
}

}  // namespace content
