#include "capture_fixture.h"

#include <gtest/gtest.h>
#include <png.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <numbers>

namespace capturetest {

const std::string kCaptureProgram = VANDREL_CAPTURE_PROGRAM;
const std::string kGeneratedContent = VANDREL_CONTENT_DIR;

Rgb Picture::at(int x, int y) const {
    const size_t i = (static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x)) * 3;
    return {rgb[i], rgb[i + 1], rgb[i + 2]};
}

Picture ReadPng(const std::filesystem::path &path) {
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    Picture picture;
    if (!png_image_begin_read_from_file(&image, path.c_str())) {
        ADD_FAILURE() << "cannot read " << path << ": " << image.message;
        return picture;
    }
    image.format = PNG_FORMAT_RGB;
    std::vector<uint8_t> pixels(PNG_IMAGE_SIZE(image));
    if (!png_image_finish_read(&image, nullptr, pixels.data(), 0, nullptr)) {
        ADD_FAILURE() << "cannot decode " << path << ": " << image.message;
        png_image_free(&image);
        return picture;
    }
    picture.width = static_cast<int>(image.width);
    picture.height = static_cast<int>(image.height);
    picture.rgb = std::move(pixels);
    return picture;
}

bool Near(const Rgb &a, const Rgb &b, int tolerance) {
    return std::abs(a.r - b.r) <= tolerance && std::abs(a.g - b.g) <= tolerance && std::abs(a.b - b.b) <= tolerance;
}

std::string ToString(const Rgb &c) {
    char text[48];
    std::snprintf(text, sizeof text, "(%d, %d, %d)", c.r, c.g, c.b);
    return text;
}

std::string TwoToneTga(const Rgb &top, const Rgb &bottom) {
    constexpr int kSide = 4;
    std::string tga = {0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, kSide, 0, kSide, 0, 24, 0};
    // Rows are stored bottom row first (origin at the bottom left).
    for (int row = 0; row < kSide; ++row) {
        const Rgb &c = row < kSide / 2 ? bottom : top;
        for (int x = 0; x < kSide; ++x) {
            tga += static_cast<char>(c.b);
            tga += static_cast<char>(c.g);
            tga += static_cast<char>(c.r);
        }
    }
    return tga;
}

testsupport::ProcessResult RunCapture(const std::vector<std::string> &args, const std::filesystem::path &workingDir,
                                      const std::map<std::string, std::string> &env) {
    std::vector<std::string> argv = {kCaptureProgram};
    argv.insert(argv.end(), args.begin(), args.end());
    testsupport::ProcessOptions options;
    options.workingDir = workingDir.string();
    options.env = env;
    options.timeout = std::chrono::minutes(3);
    return testsupport::RunProcess(argv, options);
}

TexCoord QuadCoordinate(int x, int y, int width, int height) {
    // Normalised device coordinates of the pixel centre, y upwards.
    const double ndcX = (x + 0.5) / width * 2.0 - 1.0;
    const double ndcY = 1.0 - (y + 0.5) / height * 2.0;
    // At distance 1 the view reaches tan(22.5 deg) up and 4/3 of that across.
    const double halfHeight = std::tan(std::numbers::pi / 8.0);
    const double halfWidth = halfHeight * 4.0 / 3.0;
    return {ndcX * halfWidth + 0.5, ndcY * halfHeight + 0.5};
}

std::vector<std::string> FileNames(const std::filesystem::path &dir) {
    std::vector<std::string> names;
    std::error_code ec;
    for (const auto &entry : std::filesystem::directory_iterator(dir, ec)) names.push_back(entry.path().filename());
    std::sort(names.begin(), names.end());
    return names;
}

}  // namespace capturetest
