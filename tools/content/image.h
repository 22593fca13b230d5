// A picture in linear 0..1 floating-point colour, and its encoding as an
// uncompressed true-colour TGA file.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace content {

struct Color {
    double r = 0, g = 0, b = 0, a = 1;
};

Color operator+(const Color &x, const Color &y);
Color operator*(const Color &x, double k);
Color Lerp(const Color &x, const Color &y, double t);  // alpha included
// Puts `top` over `base` with coverage t (0..1); the result keeps base's alpha.
Color Over(const Color &base, const Color &top, double t);
Color Rgb(int r, int g, int b);  // from 0..255 components

// Pixels stored row by row, row 0 at the top of the picture as it appears
// on screen, pixel 0 of a row at the left.
class Image {
public:
    Image(int width, int height);
    int width() const { return width_; }
    int height() const { return height_; }
    Color &at(int x, int y) { return pixels_[static_cast<size_t>(y) * width_ + x]; }
    const Color &at(int x, int y) const { return pixels_[static_cast<size_t>(y) * width_ + x]; }

private:
    int width_, height_;
    std::vector<Color> pixels_;
};

// Fills every pixel with the average of samples x samples evaluations of
// `shade` at u, v in [0, 1) (u to the right, v down), for smooth edges.
using Shader = std::function<Color(double u, double v)>;
Image Render(int width, int height, int samples, const Shader &shade);

// Encodes as an uncompressed true-colour TGA (image type 2): 18-byte header
// with no image ID and no colour map, origin at the bottom left (rows stored
// bottom-up, which is how the demo shows them), pixels as blue, green, red
// (and alpha for 32 bits). Channels are clamped to 0..1 and rounded with a
// fixed ordered dither, so gradients do not band. Throws
// std::invalid_argument when bitsPerPixel is not 24 or 32 or a side is not
// in 1..65535.
std::string EncodeTga(const Image &image, int bitsPerPixel);

}  // namespace content
