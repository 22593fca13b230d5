#include "pictures.h"

#include <cmath>
#include <stdexcept>
#include <string>

#include "det_math.h"
#include "procedural.h"
#include "stroke_font.h"

namespace content {
namespace {

using namespace detmath;

// Centred coordinates: x to the right, y up, both -1..1 across the picture.
struct Vec {
    double x, y;
};
Vec Centred(double u, double v) { return {(u - 0.5) * 2.0, (0.5 - v) * 2.0}; }
double Length(double x, double y) { return std::sqrt(x * x + y * y); }
double Fract(double x) { return x - std::floor(x); }

// Colour helpers that leave alpha alone.
Color Scaled(const Color &c, double k) { return {c.r * k, c.g * k, c.b * k, c.a}; }
Color Plus(const Color &c, const Color &light, double k) {
    return {c.r + light.r * k, c.g + light.g * k, c.b + light.b * k, c.a};
}
Color WithAlpha(Color c, double a) {
    c.a = a;
    return c;
}

// Small bright dots on a grid of `cells` x `cells`, about `density` of the
// cells holding one: a field of stars. Returns brightness 0..1.
double Stars(double u, double v, int cells, double density, uint32_t seed) {
    double gx = u * cells, gy = v * cells;
    double cx = std::floor(gx), cy = std::floor(gy);
    uint32_t ix = static_cast<uint32_t>(cx), iy = static_cast<uint32_t>(cy);
    if (Hash01(ix, iy, seed) >= density) return 0.0;
    double sx = 0.2 + 0.6 * Hash01(ix, iy, seed + 1), sy = 0.2 + 0.6 * Hash01(ix, iy, seed + 2);
    double size = 0.06 + 0.10 * Hash01(ix, iy, seed + 3) * Hash01(ix, iy, seed + 4);
    double d = Length(gx - cx - sx, gy - cy - sy);
    double brightness = 0.35 + 0.65 * Hash01(ix, iy, seed + 5);
    return brightness * Exp(-(d * d) / (size * size));
}

// ---------------------------------------------------------------- title

const TextShape &Title() {
    static const TextShape shape("Vandrel", 0.5, 0.43, 0.17);
    return shape;
}
constexpr double kStrokeHalf = 0.0145;  // half the letter stroke, picture units
constexpr double kGlowReach = 0.12;     // the glow ends this far from the strokes

// Glow of the letters: exponential fall-off that reaches exactly 0 at
// kGlowReach, so the distance search may stop there without a visible seam.
double TitleGlow(double d, double falloff) {
    double x = std::max(d - kStrokeHalf, 0.0);
    return std::max(0.0, Exp(-x / falloff) - Exp(-(kGlowReach - kStrokeHalf) / falloff));
}

// The two ridges of hills along the bottom of both title pictures.
double FarRidge(double u) { return 0.75 - 0.07 * Fbm(u * 3.0, 1.3, 4, 11); }
double NearRidge(double u) { return 0.84 - 0.08 * Fbm(u * 2.2 + 4.0, 7.7, 4, 12); }

Color TitleNight(double u, double v) {
    static const Color sky[] = {Rgb(3, 5, 18), Rgb(10, 18, 48), Rgb(26, 38, 84), Rgb(40, 52, 100)};
    Color c = Gradient(sky, 4, v / 0.85);
    c = Plus(c, Rgb(220, 225, 255), Stars(u, v, 40, 0.4, 7));
    // Moon with a soft halo, upper right.
    double dm = Length(u - 0.80, v - 0.15);
    if (dm < 0.05) {
        double craters = 0.85 + 0.15 * Fbm(u * 40, v * 40, 3, 8);
        c = Over(c, Scaled(Rgb(235, 238, 250), craters), SmoothStep(0.05, 0.047, dm));
    } else {
        c = Plus(c, Rgb(120, 140, 200), 0.35 * Exp(-(dm - 0.05) / 0.05));
    }
    if (v > NearRidge(u)) return Rgb(4, 6, 14);
    if (v > FarRidge(u)) return Rgb(12, 16, 36);

    const TextShape &t = Title();
    double d = t.Distance(u, v, kGlowReach);
    c = Plus(c, Rgb(70, 100, 180), 0.45 * TitleGlow(d, 0.02));
    if (d < kStrokeHalf) {
        double k = (v - t.top()) / (t.bottom() - t.top());
        Color steel = Lerp(Rgb(175, 190, 225), Rgb(70, 84, 130), Clamp(k, 0.0, 1.0));
        return Plus(steel, Rgb(255, 255, 255), 0.25 * (1.0 - d / kStrokeHalf));
    }
    if (d < kStrokeHalf + 0.005) return Rgb(3, 4, 12);
    return c;
}

Color TitleDawn(double u, double v) {
    static const Color sky[] = {Rgb(36, 18, 64), Rgb(120, 50, 110), Rgb(235, 110, 80), Rgb(255, 190, 110),
                                Rgb(255, 225, 160)};
    Color c = Gradient(sky, 5, v / 0.80);
    c = Plus(c, Rgb(255, 240, 230), Stars(u, v, 40, 0.4, 7) * Clamp(1.0 - v / 0.3, 0.0, 1.0) * 0.5);
    // The moon is still faintly there.
    double dm = Length(u - 0.80, v - 0.15);
    c = Over(c, Rgb(250, 220, 230), 0.35 * SmoothStep(0.05, 0.047, dm));
    // Sun rising behind the hills, straight below the title.
    double ds = Length(u - 0.5, v - 0.76);
    c = Plus(c, Rgb(255, 170, 80), 0.7 * Exp(-ds / 0.12));
    if (ds < 0.09) c = Over(c, Rgb(255, 245, 205), SmoothStep(0.09, 0.086, ds));
    if (v > NearRidge(u)) return Rgb(48, 18, 46);
    if (v > FarRidge(u)) return Lerp(Rgb(150, 70, 100), Rgb(110, 50, 90), (v - FarRidge(u)) / 0.1);

    const TextShape &t = Title();
    double d = t.Distance(u, v, kGlowReach);
    c = Plus(c, Rgb(255, 190, 90), 0.6 * TitleGlow(d, 0.025));
    if (d < kStrokeHalf) {
        double k = (v - t.top()) / (t.bottom() - t.top());
        Color gold = Lerp(Rgb(255, 246, 190), Rgb(235, 140, 30), Clamp(k, 0.0, 1.0));
        return Plus(gold, Rgb(255, 255, 255), 0.35 * Pow(1.0 - d / kStrokeHalf, 2.0));
    }
    if (d < kStrokeHalf + 0.005) return Rgb(70, 25, 10);
    return c;
}

// ---------------------------------------------------------------- I pictures

// A tunnel of chequered panels with glowing seams, receding to a light at
// the centre: magnifying the centre reads as flying into it.
Color Tunnel(double u, double v) {
    Vec p = Centred(u, v);
    double r = Length(p.x, p.y);
    Color light = Rgb(215, 245, 255);
    if (r < 1e-4) return light;
    double depth = 0.35 / r;
    double angle = Atan2(p.y, p.x);
    double tu = angle / kTwoPi * 12.0 + depth * 0.35;
    double tv = depth * 2.0;
    bool checker = (static_cast<long long>(std::floor(tu)) + static_cast<long long>(std::floor(tv))) & 1;
    Color wall = checker ? Rgb(22, 118, 140) : Rgb(12, 40, 86);
    double fu = Fract(tu), fv = Fract(tv);
    double seam = std::min(std::min(fu, 1.0 - fu), std::min(fv, 1.0 - fv));
    wall = Over(wall, Rgb(255, 90, 210), SmoothStep(0.08, 0.02, seam));
    double fog = Exp(-(depth - 0.35) * 0.3);
    Color c = Lerp(light, wall, fog);
    return Scaled(c, 1.0 - 0.35 * SmoothStep(0.9, 1.4, r));
}

Color Plasma(double u, double v) {
    double x = u * 10.0, y = v * 10.0;
    double a = Sin(x * 0.9 + 0.5);
    double b = Sin(0.8 * (x * Sin(0.7) + y * Cos(0.7)) + 1.0);
    double cx = u - 0.5 + 0.35 * Sin(1.3), cy = v - 0.5 + 0.35 * Cos(2.1);
    double c = Sin(std::sqrt(160.0 * (cx * cx + cy * cy) + 1.0) + 0.4);
    double dx = u - 0.2, dy = v - 0.8;
    double d = Sin(std::sqrt(90.0 * (dx * dx + dy * dy) + 1.0) * 1.4);
    double t = (a + b + c + d) / 4.0 * 0.5 + 0.5;
    CosinePalette palette{0.5, 0.5, 0.5, 0.5, 0.5, 0.5, 1.0, 1.0, 1.0, 0.0, 0.33, 0.67};
    return WithAlpha(palette(t * 1.4 + 0.1), 1.0);
}

// Escape-time colouring shared by the two fractals: a smooth iteration
// count mapped through a cyclic palette.
Color FractalPalette(double smoothCount, const Color *stops, int count) {
    double t = Fract(smoothCount);
    double x = t * count;
    int i = static_cast<int>(x) % count;
    return Lerp(stops[i], stops[(i + 1) % count], x - std::floor(x));
}

double SmoothEscape(int iteration, double zx, double zy) {
    double logZ = Log(zx * zx + zy * zy) / 2.0;
    return iteration + 1.0 - Log(logZ / Log(2.0)) / Log(2.0);
}

// Iterates z -> z^2 + c from z until |z| passes 16: the smooth escape count,
// or -1 when z stays bounded for `limit` steps.
double EscapeCount(double zx, double zy, double cx, double cy, int limit) {
    for (int i = 0; i < limit; ++i) {
        double x2 = zx * zx, y2 = zy * zy;
        if (x2 + y2 > 256.0) return SmoothEscape(i, zx, zy);
        zy = 2.0 * zx * zy + cy;
        zx = x2 - y2 + cx;
    }
    return -1.0;
}

Color Mandelbrot(double u, double v) {
    static const Color stops[] = {Rgb(0, 7, 100), Rgb(32, 107, 203), Rgb(237, 255, 255), Rgb(255, 170, 0),
                                  Rgb(100, 20, 0)};
    const double centreX = -0.7453, centreY = 0.1127, width = 0.011;
    double cx = centreX + (u - 0.5) * width, cy = centreY - (v - 0.5) * width;
    double n = EscapeCount(0, 0, cx, cy, 600);
    return n < 0 ? Rgb(0, 0, 0) : FractalPalette(n / 24.0, stops, 5);
}

// A rosette of petals with spiral bands, which makes its turning visible.
Color Rosette(double u, double v) {
    Vec p = Centred(u, v);
    double r = Length(p.x, p.y), a = Atan2(p.y, p.x);
    Color bg = Lerp(Rgb(40, 16, 60), Rgb(6, 4, 16), Clamp(r / 1.3, 0.0, 1.0));
    bg = Plus(bg, Rgb(120, 60, 160), 0.12 * Pow(std::max(Cos(16 * a), 0.0), 6.0) * Clamp(1.2 - r, 0.0, 1.0));
    double outer = 0.80 + 0.10 * Cos(8 * a);
    if (r > outer + 0.02) return bg;
    if (r > outer) return Rgb(255, 220, 140);
    double spiral = Sin(5 * a + 14 * Log(r + 0.02));
    double inner = 0.46 + 0.10 * Cos(8 * a + kPi);
    CosinePalette palette{0.55, 0.40, 0.45, 0.45, 0.40, 0.40, 1.0, 1.0, 1.0, 0.00, 0.15, 0.30};
    Color c = palette(r * 0.9 + 0.12 * spiral);
    if (r < inner) c = palette(0.55 + r * 0.8 + 0.15 * spiral);
    if (std::fabs(r - inner) < 0.012) c = Rgb(255, 235, 170);
    if (r < 0.13) c = Lerp(Rgb(255, 250, 210), Rgb(230, 150, 40), r / 0.13);
    return Scaled(c, 0.75 + 0.25 * (0.5 + 0.5 * spiral));
}

// Soft overlapping discs of light over a diagonal gradient.
Color Bokeh(double u, double v) {
    static const Color stops[] = {Rgb(10, 60, 90), Rgb(80, 40, 130), Rgb(220, 100, 90), Rgb(255, 200, 120)};
    struct Disc {
        double x, y, radius, alpha;
        Color tint;
    };
    static const std::vector<Disc> discs = [] {
        std::vector<Disc> list;
        Random rng(5);
        for (int i = 0; i < 36; ++i) {
            Disc d;
            d.x = rng.Uniform(-0.05, 1.05), d.y = rng.Uniform(-0.05, 1.05);
            d.radius = rng.Uniform(0.03, 0.12), d.alpha = rng.Uniform(0.10, 0.28);
            d.tint = Lerp(Gradient(stops, 4, (d.x * 0.6 + d.y * 0.9) / 1.5), Rgb(255, 255, 255), 0.55);
            list.push_back(d);
        }
        return list;
    }();
    Color c = Gradient(stops, 4, (u * 0.6 + v * 0.9) / 1.5);
    for (const Disc &disc : discs) {
        double d = Length(u - disc.x, v - disc.y);
        if (d > disc.radius + 0.02) continue;
        c = Over(c, disc.tint, disc.alpha * SmoothStep(disc.radius, disc.radius - 0.006, d));
        double rim = (disc.radius - d) / 0.006;
        c = Plus(c, disc.tint, 0.5 * disc.alpha * Exp(-rim * rim));
    }
    return c;
}

// A chequered tile with a bevelled frame and a diamond in the middle, so
// that a grid of them reads as separate tiles.
Color CheckerTile(double u, double v) {
    bool dark = (static_cast<int>(u * 4) + static_cast<int>(v * 4)) & 1;
    Color c = dark ? Rgb(30, 60, 140) : Rgb(235, 225, 200);
    double d = std::fabs(u - 0.5) + std::fabs(v - 0.5);
    if (d < 0.13) c = Lerp(Rgb(255, 215, 90), Rgb(190, 120, 20), d / 0.13);
    else if (d < 0.145) c = Rgb(60, 30, 10);
    double edge = std::min(std::min(u, v), std::min(1.0 - u, 1.0 - v));
    if (edge < 0.012) return Rgb(10, 10, 20);
    if (edge < 0.05) {
        bool lit = std::min(u, v) == edge;  // left and top edges face the light
        return Scaled(c, lit ? 1.35 : 0.55);
    }
    return c;
}

// A ringed planet against the stars; alpha covers planet and rings.
Color Planet(double u, double v) {
    Vec p = Centred(u, v);
    const double tilt = -0.35, R = 0.5;
    double xr = p.x * Cos(tilt) - p.y * Sin(tilt), yr = p.x * Sin(tilt) + p.y * Cos(tilt);
    Color c = Plus(Rgb(3, 4, 14), Rgb(230, 230, 255), Stars(u, v, 32, 0.35, 17));
    c.a = 0.0;
    double ringR = Length(xr, yr / 0.26);
    double ring = 0.0;
    if (ringR > 0.64 && ringR < 0.97) {
        ring = 0.55 + 0.3 * Sin(ringR * 90.0) * Sin(ringR * 23.0);
        if (ringR > 0.82 && ringR < 0.845) ring = 0.05;  // the gap
        ring *= SmoothStep(0.64, 0.67, ringR) * SmoothStep(0.97, 0.94, ringR);
    }
    Color ringColour = WithAlpha(Rgb(215, 195, 160), 1.0);
    if (ring > 0 && yr > 0) c = Lerp(c, ringColour, ring);  // far half, behind the planet
    double d = Length(p.x, p.y);
    if (d < R) {
        double nx = p.x / R, ny = p.y / R, nz = std::sqrt(std::max(0.0, 1.0 - nx * nx - ny * ny));
        double lambert = std::max(0.0, (-0.5 * nx + 0.55 * ny + 0.67 * nz) / 1.0);
        double lat = yr / R;
        double turbulence = Fbm(xr * 3.0, yr * 14.0, 4, 21) - 0.5;
        double band = Sin(lat * 14.0 + turbulence * 3.0);
        Color surface = Lerp(Rgb(225, 195, 150), Rgb(165, 105, 65), band * 0.5 + 0.5);
        double spot = Length((xr - 0.16) / 0.11, (yr + 0.14) / 0.055);
        surface = Over(surface, Rgb(200, 80, 50), SmoothStep(1.0, 0.7, spot));
        Color lit = Scaled(surface, 0.06 + 0.98 * lambert);
        lit = Plus(lit, Rgb(255, 220, 170), 0.35 * Pow(1.0 - nz, 3.0) * Clamp(lambert * 2.0, 0.0, 1.0));
        c = Over(c, WithAlpha(lit, 1.0), SmoothStep(R, R - 0.006, d));
        c.a = std::max(c.a, SmoothStep(R, R - 0.006, d));
    }
    if (ring > 0 && yr <= 0) c = Lerp(c, ringColour, ring);  // near half, in front
    return c;
}

// Two point sources whose circular waves cross: rings around each and
// moire bands where they meet.
Color Interference(double u, double v) {
    static const Color stops[] = {Rgb(4, 8, 36), Rgb(20, 70, 150), Rgb(110, 210, 250), Rgb(255, 255, 255)};
    const double k = kTwoPi / 0.06;
    double s = Cos(k * Length(u - 0.32, v - 0.38)) + Cos(k * Length(u - 0.70, v - 0.62));
    return Gradient(stops, 4, Pow(0.25 * s + 0.5, 1.6));
}

// Stained glass: Voronoi cells of a jittered grid, leaded at the borders.
Color StainedGlass(double u, double v) {
    static const Color glass[] = {Rgb(180, 20, 40), Rgb(30, 70, 190),  Rgb(20, 150, 80),
                                  Rgb(235, 160, 20), Rgb(120, 40, 160), Rgb(20, 150, 160)};
    constexpr int kCells = 7;
    static const std::vector<Vec> seeds = [] {
        std::vector<Vec> list;
        for (int j = 0; j < kCells; ++j)
            for (int i = 0; i < kCells; ++i)
                list.push_back({(i + 0.15 + 0.7 * Hash01(i, j, 91)) / kCells,
                                (j + 0.15 + 0.7 * Hash01(i, j, 92)) / kCells});
        return list;
    }();
    double f1 = 1e9, f2 = 1e9;
    int best = 0;
    for (int n = 0; n < kCells * kCells; ++n) {
        double d = Length(u - seeds[n].x, v - seeds[n].y);
        if (d < f1) {
            f2 = f1;
            f1 = d;
            best = n;
        } else if (d < f2) {
            f2 = d;
        }
    }
    if (f2 - f1 < 0.011) return Lerp(Rgb(20, 20, 24), Rgb(70, 70, 80), (f2 - f1) / 0.011);
    Color c = glass[Hash(static_cast<uint32_t>(best), 0, 93) % 6];
    double glow = Clamp(1.25 - f1 * 5.0, 0.55, 1.25);
    double texture = 0.85 + 0.3 * Fbm(u * 24.0, v * 24.0, 3, 94);
    c = Scaled(c, glow * texture * (1.1 - 0.35 * v));
    return WithAlpha(c, 0.9);
}

Color Julia(double u, double v) {
    static const Color stops[] = {Rgb(20, 0, 40), Rgb(120, 30, 150), Rgb(255, 120, 60), Rgb(255, 230, 140),
                                  Rgb(60, 10, 90)};
    Vec p = Centred(u, v);
    double n = EscapeCount(p.x * 1.12, p.y * 1.12, -0.7269, 0.1889, 400);
    return n < 0 ? Rgb(10, 0, 20) : FractalPalette(n / 18.0, stops, 5);
}

// Glossy blobs that merge where their fields overlap.
Color Metaballs(double u, double v) {
    struct Ball {
        double x, y, r;
    };
    static const Ball balls[] = {{0.50, 0.50, 0.13}, {0.30, 0.35, 0.10}, {0.70, 0.32, 0.11}, {0.74, 0.68, 0.12},
                                 {0.28, 0.70, 0.09}, {0.50, 0.20, 0.07}, {0.52, 0.82, 0.08}};
    double f = 0, gx = 0, gy = 0;
    for (const Ball &b : balls) {
        double dx = u - b.x, dy = v - b.y;
        double d2 = dx * dx + dy * dy + 1e-6;
        double term = b.r * b.r / d2;
        f += term;
        gx += -2.0 * term * dx / d2;
        gy += -2.0 * term * dy / d2;
    }
    Color bg = Lerp(Rgb(6, 14, 26), Rgb(2, 4, 10), Length(u - 0.5, v - 0.5));
    if (f < 1.0) return WithAlpha(Plus(bg, Rgb(30, 140, 160), 0.6 * f * f), 0.0 + 0.5 * f);
    // Height h = 1 - 1/f is 0 on the surface and rises towards 1 at the
    // centres; its gradient, grad f / f^2, gives a rounded normal (v grows
    // downwards, so y flips).
    double nx = -gx / (f * f), ny = gy / (f * f), nz = 7.0;
    double len = std::sqrt(nx * nx + ny * ny + nz * nz);
    nx /= len, ny /= len, nz /= len;
    double lx = -0.45, ly = 0.55, lz = 0.70;
    double lambert = std::max(0.0, nx * lx + ny * ly + nz * lz);
    double hz = lz + 1.0, hlen = std::sqrt(lx * lx + ly * ly + hz * hz);
    double specular = Pow(std::max(0.0, (nx * lx + ny * ly + nz * hz) / hlen), 40.0);
    Color base = Lerp(Rgb(20, 160, 120), Rgb(60, 200, 230), Clamp((f - 1.0) / 3.0, 0.0, 1.0));
    Color c = Plus(Scaled(base, 0.15 + 0.9 * lambert), Rgb(255, 255, 255), 0.8 * specular);
    return WithAlpha(c, 1.0);
}

// Truchet tiles of quarter circles drawn as copper tubes.
Color Truchet(double u, double v) {
    constexpr int kCells = 8;
    double gx = u * kCells, gy = v * kCells;
    int i = static_cast<int>(gx), j = static_cast<int>(gy);
    double s = gx - i, t = gy - j;
    if (Hash(static_cast<uint32_t>(i), static_cast<uint32_t>(j), 12) & 1) s = 1.0 - s;
    double d = std::min(std::fabs(Length(s, t) - 0.5), std::fabs(Length(1.0 - s, 1.0 - t) - 0.5));
    const double w = 0.15;
    Color bg = Lerp(Rgb(40, 24, 48), Rgb(22, 12, 28), Fbm(u * 6, v * 6, 3, 13));
    if (d >= w) return Scaled(bg, Clamp((d - w) / 0.06, 0.45, 1.0));
    double h = std::sqrt(1.0 - (d / w) * (d / w));
    Color c = Scaled(Rgb(205, 120, 60), 0.3 + 0.7 * h);
    return Plus(c, Rgb(255, 235, 200), 0.6 * Pow(h, 12.0));
}

// Spirograph curves traced by light, accumulated like a long exposure.
Image LightTrace(int size) {
    std::vector<double> acc(static_cast<size_t>(size) * size * 3, 0.0);
    CosinePalette hue{0.5, 0.5, 0.5, 0.5, 0.5, 0.5, 1.0, 1.0, 1.0, 0.0, 0.33, 0.67};
    struct Curve {
        double R, r, d;  // hypotrochoid: rolling circle r inside R, pen at d
        int turns;       // turns of t until the curve closes
        double radius;   // largest extent as a fraction of the picture
        double brightness, hueOffset;
    };
    static const Curve curves[] = {{11.0, 7.0, 6.0, 7, 0.45, 1.0, 0.0},
                                   {5.0, 3.0, 4.2, 3, 0.30, 0.8, 0.4},
                                   {8.0, 5.0, 1.5, 5, 0.15, 0.9, 0.7}};
    const double sigma = 0.8;
    for (const Curve &cv : curves) {
        const int steps = 12000 * cv.turns;
        const double scale = cv.radius * size / (cv.R - cv.r + cv.d);
        double prevX = 0, prevY = 0;
        for (int k = 0; k <= steps; ++k) {
            double t = kTwoPi * cv.turns * k / steps;
            double x = (cv.R - cv.r) * Cos(t) + cv.d * Cos((cv.R - cv.r) / cv.r * t);
            double y = (cv.R - cv.r) * Sin(t) - cv.d * Sin((cv.R - cv.r) / cv.r * t);
            double px = size / 2.0 + x * scale, py = size / 2.0 - y * scale;
            // Weight by the distance travelled, so slow and fast parts of the
            // curve are equally bright.
            double w = k == 0 ? 0.0 : cv.brightness * Length(px - prevX, py - prevY);
            prevX = px, prevY = py;
            Color c = hue(static_cast<double>(k) / steps * 2.0 + cv.hueOffset);
            int x0 = static_cast<int>(std::floor(px)), y0 = static_cast<int>(std::floor(py));
            for (int yy = y0 - 2; yy <= y0 + 3; ++yy) {
                for (int xx = x0 - 2; xx <= x0 + 3; ++xx) {
                    if (xx < 0 || yy < 0 || xx >= size || yy >= size) continue;
                    double dx = xx + 0.5 - px, dy = yy + 0.5 - py;
                    double g = w * Exp(-(dx * dx + dy * dy) / (2 * sigma * sigma));
                    size_t o = (static_cast<size_t>(yy) * size + xx) * 3;
                    acc[o] += c.r * g, acc[o + 1] += c.g * g, acc[o + 2] += c.b * g;
                }
            }
        }
    }
    Image image(size, size);
    for (int y = 0; y < size; ++y) {
        for (int x = 0; x < size; ++x) {
            size_t o = (static_cast<size_t>(y) * size + x) * 3;
            double bg = 0.03 * (1.0 - Length(x / double(size) - 0.5, y / double(size) - 0.5));
            Color c{bg * 0.4 + 1.0 - Exp(-acc[o] * 0.9), bg * 0.4 + 1.0 - Exp(-acc[o + 1] * 0.9),
                    bg + 1.0 - Exp(-acc[o + 2] * 0.9), 1.0};
            c.a = Clamp((c.r + c.g + c.b) * 0.8, 0.0, 1.0);
            image.at(x, y) = c;
        }
    }
    return image;
}

// Flames rising from the bottom edge: heat falls off with height and is
// torn into tongues by turbulence that stretches upwards.
Color Fire(double u, double v) {
    static const Color stops[] = {Rgb(0, 0, 0), Rgb(110, 0, 0), Rgb(220, 50, 0), Rgb(255, 150, 10),
                                  Rgb(255, 230, 120), Rgb(255, 255, 230)};
    double y = 1.0 - v;  // height above the bottom edge
    double warp = Fbm(u * 3.0, y * 2.0, 4, 101) - 0.5;
    double turbulence = Fbm(u * 6.0 + warp * 1.5, y * 3.0 - warp, 5, 102) - 0.5;
    double heat = 1.05 - y * 1.45 + turbulence * (1.0 + y * 1.5);
    heat = Clamp(heat, 0.0, 1.0);
    Color c = Gradient(stops, 6, heat);
    double sparks = Stars(u, v, 40, 0.25, 103) * SmoothStep(0.9, 0.35, v) * SmoothStep(0.05, 0.3, v);
    return Plus(c, Rgb(255, 190, 90), sparks);
}

Color Marble(double u, double v) {
    double t = u * 5.0 + v * 3.0 + 5.0 * Fbm(u * 3.5, v * 3.5, 6, 15);
    double vein = Pow(1.0 - std::fabs(Sin(t * kPi)), 8.0);
    double fine = Pow(1.0 - std::fabs(Sin((t * 3.1 + 2.0 * Fbm(u * 9, v * 9, 4, 16)) * kPi)), 20.0);
    Color c = Lerp(Rgb(238, 236, 228), Rgb(55, 95, 85), vein * 0.9);
    c = Lerp(c, Rgb(120, 130, 125), fine * 0.5);
    return WithAlpha(c, 1.0);
}

// Ridges of mountains in evening haze, the sun going down behind them.
Color Sunset(double u, double v) {
    static const Color sky[] = {Rgb(18, 26, 74), Rgb(90, 60, 140), Rgb(225, 100, 110), Rgb(255, 165, 90),
                                Rgb(255, 220, 150)};
    Color c = Gradient(sky, 5, v / 0.66);
    double ds = Length(u - 0.62, v - 0.55);
    c = Plus(c, Rgb(255, 190, 110), 0.6 * Exp(-ds / 0.1));
    if (ds < 0.065) c = Over(c, Rgb(255, 245, 215), SmoothStep(0.065, 0.061, ds));
    double cloud = Fbm(u * 3.0, v * 22.0, 5, 31);
    c = Over(c, Lerp(Rgb(255, 150, 150), Rgb(120, 70, 130), v / 0.6), 0.8 * SmoothStep(0.55, 0.72, cloud) *
                                                                    SmoothStep(0.05, 0.2, v) *
                                                                    SmoothStep(0.6, 0.45, v));
    for (int k = 0; k < 4; ++k) {
        double ridge = 0.50 + k * 0.1 - (0.10 + 0.02 * k) * Fbm(u * (2.0 + k), k * 7.1, 5, 40 + k);
        if (v > ridge) {
            double nearness = (k + 1) / 4.0;
            c = Lerp(Rgb(205, 120, 140), Rgb(18, 10, 30), nearness);
            c = Scaled(c, 1.0 - 0.25 * Clamp((v - ridge) / 0.2, 0.0, 1.0));
        }
    }
    return c;
}

// A barred spiral galaxy seen at a slant.
Color Galaxy(double u, double v) {
    Vec p = Centred(u, v);
    const double turn = 0.5;
    double x = p.x * Cos(turn) - p.y * Sin(turn), y = (p.x * Sin(turn) + p.y * Cos(turn)) / 0.6;
    double r = Length(x, y), a = Atan2(y, x);
    double phase = 2.0 * (a - 2.6 * Log(r + 0.05));
    double arm = Pow(0.5 + 0.5 * Cos(phase), 3.0);
    double dust = Fbm(x * 5.0 + 3.0, y * 5.0, 5, 51);
    double brightness = Exp(-r * 2.4) * (0.25 + 1.6 * arm * (0.5 + dust));
    double core = Exp(-(r / 0.09) * (r / 0.09));
    Color c = Lerp(Rgb(255, 225, 170), Rgb(140, 170, 255), Clamp(r * 1.8, 0.0, 1.0));
    c = Scaled(c, brightness * 1.2);
    c = Plus(c, Rgb(255, 245, 220), core * 1.2);
    double knots = Stars(u * 1.0, v * 1.0, 48, 0.5, 52) * arm * Clamp(1.2 - r, 0.0, 1.0);
    c = Plus(c, Rgb(255, 120, 170), knots * 0.9);
    c = Plus(c, Rgb(255, 255, 255), Stars(u, v, 36, 0.3, 53));
    return Plus(c, Rgb(2, 2, 10), 1.0);
}

Color Clouds(double u, double v) {
    Color sky = Lerp(Rgb(40, 90, 190), Rgb(150, 200, 240), v);
    double n = Fbm(u * 3.0, v * 5.0, 6, 60);
    double cover = SmoothStep(0.42, 0.68, n);
    double shade = 0.75 + 0.25 * SmoothStep(0.4, 0.8, Fbm(u * 3.0, v * 5.0 - 0.08, 6, 60));
    return WithAlpha(Over(sky, Scaled(Rgb(255, 255, 255), shade), cover), 1.0);
}

Color Wood(double u, double v) {
    double dx = u - 0.3, dy = (v - 1.3) * 0.35;
    double r = Length(dx, dy) * 24.0 + 1.2 * Fbm(u * 2.0, v * 12.0, 4, 70);
    double ring = Fract(r);
    Color c = Lerp(Rgb(196, 140, 84), Rgb(120, 70, 34), Pow(ring, 3.0));
    double grain = Fbm(u * 90.0, v * 6.0, 3, 71);
    return Scaled(c, 0.88 + 0.22 * grain);
}

// A honeycomb of bevelled hexagons.
Color Hexagons(double u, double v) {
    const double s = 10.0, root3 = 1.7320508075688772;
    double px = u * s, py = v * s;
    // Two offset rectangular lattices; the nearer centre is the hexagon's.
    double ax = px - std::floor(px) - 0.5;
    double ay = py / root3 - std::floor(py / root3);
    ay = (ay - 0.5) * root3;
    double bx = (px - 0.5) - std::floor(px - 0.5) - 0.5;
    double by = (py - root3 / 2) / root3 - std::floor((py - root3 / 2) / root3);
    by = (by - 0.5) * root3;
    bool first = ax * ax + ay * ay < bx * bx + by * by;
    double lx = first ? ax : bx, ly = first ? ay : by;
    double cx = px - lx, cy = py - ly;
    double edge = std::max(std::fabs(lx) * 0.5 + std::fabs(ly) * root3 / 2.0, std::fabs(lx));
    // Centres sit on multiples of 1/2 across and root3/2 down: round to name them.
    uint32_t id = Hash(static_cast<uint32_t>(static_cast<int>(std::floor(cx * 2.0 + 0.5))),
                       static_cast<uint32_t>(static_cast<int>(std::floor(cy / (root3 / 2.0) + 0.5))), 80);
    static const Color tones[] = {Rgb(20, 130, 140), Rgb(30, 90, 120), Rgb(240, 150, 50), Rgb(20, 110, 110),
                                  Rgb(200, 90, 40)};
    Color c = tones[id % 5];
    if (edge > 0.47) return WithAlpha(Rgb(12, 16, 20), 1.0);
    if (edge > 0.40) c = Scaled(c, ly < 0 ? 1.35 : 0.6);
    return WithAlpha(Scaled(c, 0.9 + 0.2 * (1.0 - edge)), 0.85 + 0.15 * (0.5 - edge));
}

using ShaderFunction = Color (*)(double, double);
using ImageFunction = Image (*)(int);

struct Entry {
    const char *stem;
    int bitsPerPixel;
    const char *description;
    ShaderFunction shader;  // either a shader with its sample count ...
    int samples;
    ImageFunction direct;   // ... or a function that draws the whole image
};

const Entry kEntries[] = {
    {"start", 32,
     "the title \"Vandrel\" in steel letters under a night sky with stars, moon and hills",
     TitleNight, 3, nullptr},
    {"start1", 24,
     "the same title and hills at sunrise: golden glowing letters, warm sky, sun behind the hills",
     TitleDawn, 3, nullptr},
    {"I1", 24, "a chequered tunnel with glowing seams receding to a bright light at the centre", Tunnel, 4, nullptr},
    {"I2", 32, "a rainbow plasma of overlapping sine waves", Plasma, 2, nullptr},
    {"I3", 24, "the Mandelbrot set's seahorse valley in blue, white and orange", Mandelbrot, 2, nullptr},
    {"I4", 32, "a rosette of eight petals with spiral bands on a dark violet ground", Rosette, 3, nullptr},
    {"I5", 24, "soft discs of light over a teal-violet-orange gradient", Bokeh, 3, nullptr},
    {"I6", 32, "a blue and cream 4x4 chequer tile with a bevelled frame and a gold diamond", CheckerTile, 3, nullptr},
    {"I7", 32,
     "a ringed planet with cloud bands and a storm, against the stars (alpha covers planet and rings)",
     Planet, 3, nullptr},
    {"I8", 24, "interference rings of two wave sources in blue and white", Interference, 3, nullptr},
    {"I9", 32, "stained glass: coloured Voronoi cells with lead lines", StainedGlass, 3, nullptr},
    {"I10", 24, "a Julia set spiral in purple, orange and gold", Julia, 2, nullptr},
    {"I11", 32, "glossy green-blue metaballs on a dark ground", Metaballs, 3, nullptr},
    {"I12", 24, "Truchet tiles drawn as copper tubes", Truchet, 3, nullptr},
    {"I13", 32, "three rainbow spirograph curves traced in light", nullptr, 1, LightTrace},
    {"I14", 24, "flames rising from the bottom, with sparks", Fire, 3, nullptr},
    {"I15", 32, "green-veined white marble", Marble, 2, nullptr},
    {"I16", 24, "mountain ridges in evening haze with the setting sun", Sunset, 2, nullptr},
    {"sta", 32, "white clouds in a blue sky", Clouds, 2, nullptr},
    {"stab", 24, "wood grain with growth rings", Wood, 2, nullptr},
    {"stag", 32, "a honeycomb of bevelled teal and orange hexagons", Hexagons, 3, nullptr},
    {"I17", 24, "a spiral galaxy seen at a slant, with pink star-forming knots", Galaxy, 2, nullptr},
};

}  // namespace

const std::vector<PictureInfo> &PictureList() {
    static const std::vector<PictureInfo> list = [] {
        std::vector<PictureInfo> l;
        for (const Entry &e : kEntries) l.push_back({e.stem, e.bitsPerPixel, e.description});
        return l;
    }();
    return list;
}

Image MakePicture(std::string_view stem, int size) {
    if (size < 16) throw std::invalid_argument("pictures are at least 16 pixels wide");
    for (const Entry &e : kEntries) {
        if (stem != e.stem) continue;
        if (e.direct) return e.direct(size);
        return Render(size, size, e.samples, e.shader);
    }
    throw std::invalid_argument("no picture is called \"" + std::string(stem) + "\"");
}

}  // namespace content
