#include "png_output.h"

#include <png.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace capture {

std::string FrameFileName(int64_t index) {
    char name[40];
    std::snprintf(name, sizeof name, "frame-%06lld.png", static_cast<long long>(index));
    return name;
}

bool WritePng(const std::filesystem::path &path, int width, int height, const uint8_t *bgra, std::string *error) {
    const size_t columns = static_cast<size_t>(width), rows = static_cast<size_t>(height);
    std::vector<uint8_t> rgb(columns * rows * 3);
    for (size_t y = 0; y < rows; ++y) {
        const uint8_t *from = bgra + (rows - 1 - y) * columns * 4;
        uint8_t *to = &rgb[y * columns * 3];
        for (size_t x = 0; x < columns; ++x, from += 4, to += 3) {
            to[0] = from[2];
            to[1] = from[1];
            to[2] = from[0];
        }
    }

    std::filesystem::path partial = path;
    partial += ".partial";

    // libpng's simplified interface keeps its error handling to itself: a
    // failure comes back as 0 with the reason in image.message.
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    image.width = static_cast<png_uint_32>(width);
    image.height = static_cast<png_uint_32>(height);
    image.format = PNG_FORMAT_RGB;
    std::FILE *file = std::fopen(partial.c_str(), "wb");
    if (file == nullptr) {
        *error = "cannot write " + path.string() + ": " + std::strerror(errno);
        return false;
    }
    const int written = png_image_write_to_stdio(&image, file, 0, rgb.data(), width * 3, nullptr);
    const bool closed = std::fclose(file) == 0;
    std::error_code ec;
    if (!written || !closed) {
        *error = "cannot write " + path.string() + ": " +
                 (!written ? std::string(image.message) : std::string(std::strerror(errno)));
        png_image_free(&image);
        std::filesystem::remove(partial, ec);
        return false;
    }
    std::filesystem::rename(partial, path, ec);
    if (ec) {
        *error = "cannot write " + path.string() + ": " + ec.message();
        std::filesystem::remove(partial, ec);
        return false;
    }
    return true;
}

}  // namespace capture
