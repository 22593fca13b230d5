#include "image.h"

#include <stdexcept>

#include "det_math.h"

namespace content {

using detmath::Clamp;

Color operator+(const Color &x, const Color &y) { return {x.r + y.r, x.g + y.g, x.b + y.b, x.a + y.a}; }
Color operator*(const Color &x, double k) { return {x.r * k, x.g * k, x.b * k, x.a * k}; }
Color Lerp(const Color &x, const Color &y, double t) {
    return {x.r + (y.r - x.r) * t, x.g + (y.g - x.g) * t, x.b + (y.b - x.b) * t, x.a + (y.a - x.a) * t};
}
Color Over(const Color &base, const Color &top, double t) {
    Color c = Lerp(base, top, t);
    c.a = base.a;
    return c;
}
Color Rgb(int r, int g, int b) { return {r / 255.0, g / 255.0, b / 255.0, 1.0}; }

Image::Image(int width, int height) : width_(width), height_(height) {
    if (width <= 0 || height <= 0) throw std::invalid_argument("image sides must be positive");
    pixels_.resize(static_cast<size_t>(width) * static_cast<size_t>(height));
}

Image Render(int width, int height, int samples, const Shader &shade) {
    if (samples < 1) throw std::invalid_argument("at least one sample per pixel");
    Image image(width, height);
    const double weight = 1.0 / (samples * samples);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            Color sum{0, 0, 0, 0};
            for (int sy = 0; sy < samples; ++sy) {
                for (int sx = 0; sx < samples; ++sx) {
                    double u = (x + (sx + 0.5) / samples) / width;
                    double v = (y + (sy + 0.5) / samples) / height;
                    sum = sum + shade(u, v);
                }
            }
            image.at(x, y) = sum * weight;
        }
    }
    return image;
}

namespace {

// 4x4 Bayer matrix, thresholds in (0, 1).
constexpr int kBayer[4][4] = {{0, 8, 2, 10}, {12, 4, 14, 6}, {3, 11, 1, 9}, {15, 7, 13, 5}};

uint8_t Quantise(double value, int x, int y) {
    double threshold = (kBayer[y & 3][x & 3] + 0.5) / 16.0;
    double scaled = Clamp(value, 0.0, 1.0) * 255.0;
    double whole = static_cast<double>(static_cast<int>(scaled));
    int q = static_cast<int>(whole) + ((scaled - whole) > threshold ? 1 : 0);
    return static_cast<uint8_t>(q > 255 ? 255 : q);
}

}  // namespace

std::string EncodeTga(const Image &image, int bitsPerPixel) {
    if (bitsPerPixel != 24 && bitsPerPixel != 32)
        throw std::invalid_argument("TGA pictures are written with 24 or 32 bits per pixel");
    const int w = image.width(), h = image.height();
    if (w > 65535 || h > 65535) throw std::invalid_argument("TGA sides are at most 65535 pixels");
    const int bytesPerPixel = bitsPerPixel / 8;

    std::string out;
    out.reserve(18 + static_cast<size_t>(w) * h * bytesPerPixel);
    // No image ID, no colour map, type 2 (uncompressed true colour),
    // zeroed colour-map fields, origin (0, 0).
    const char fixed[12] = {0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    out.append(fixed, sizeof fixed);
    out.push_back(static_cast<char>(w & 0xFF));
    out.push_back(static_cast<char>(w >> 8));
    out.push_back(static_cast<char>(h & 0xFF));
    out.push_back(static_cast<char>(h >> 8));
    out.push_back(static_cast<char>(bitsPerPixel));
    // Descriptor: number of alpha bits; bit 5 clear = bottom-left origin.
    out.push_back(static_cast<char>(bitsPerPixel == 32 ? 8 : 0));

    for (int row = h - 1; row >= 0; --row) {
        for (int x = 0; x < w; ++x) {
            const Color &c = image.at(x, row);
            out.push_back(static_cast<char>(Quantise(c.b, x, row)));
            out.push_back(static_cast<char>(Quantise(c.g, x, row)));
            out.push_back(static_cast<char>(Quantise(c.r, x, row)));
            if (bytesPerPixel == 4) out.push_back(static_cast<char>(Quantise(c.a, x, row)));
        }
    }
    return out;
}

}  // namespace content
