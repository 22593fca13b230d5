// Screenshots of the X server a test runs on, and the few measures the
// tests compare pictures by.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace screentest {

struct Image {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> rgb;  // rows top to bottom, 3 bytes per pixel

    bool empty() const { return rgb.empty(); }
};

// The whole screen of $DISPLAY (xwd and ImageMagick's convert), or nothing.
std::optional<Image> Screenshot(std::string *why = nullptr);

// Reads a binary PPM (P6, 8 bits per channel).
std::optional<Image> ParsePpm(const std::string &bytes);

// Mean absolute difference of all channels of two pictures of the same size,
// on a 0..255 scale; 255 when their sizes differ.
double MeanDifference(const Image &a, const Image &b);

// The standard deviation of the pixels' brightness: 0 for a flat picture.
double Contrast(const Image &image);

// Mean brightness (0..255).
double Brightness(const Image &image);

}  // namespace screentest
