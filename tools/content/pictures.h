// The demo's 22 pictures, made procedurally. Each picture is known by the
// stem of its file name (start, start1, I1 to I17, sta, stab, stag), is
// square, and is written with a fixed depth of 24 or 32 bits.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "image.h"

namespace content {

inline constexpr int kPictureSize = 256;

struct PictureInfo {
    std::string stem;
    int bitsPerPixel;         // 24 or 32
    std::string description;  // what the picture shows
};

// All pictures in the order the demo loads them.
const std::vector<PictureInfo> &PictureList();

// Draws the picture with this stem at size x size pixels.
// Throws std::invalid_argument for an unknown stem or a size below 16.
Image MakePicture(std::string_view stem, int size = kPictureSize);

}  // namespace content
