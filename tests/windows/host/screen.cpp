#include "tests/windows/host/screen.h"

#include "tests/support/subprocess.h"

#include <cmath>
#include <cstdlib>
#include <sstream>

namespace screentest {

std::optional<Image> Screenshot(std::string *why) {
    const auto shot =
        testsupport::RunProcess({"sh", "-c", "xwd -root -silent | convert xwd:- ppm:-"});
    if (shot.exitCode != 0) {
        if (why != nullptr) *why = "screenshot failed: " + shot.err;
        return std::nullopt;
    }
    auto image = ParsePpm(shot.out);
    if (!image && why != nullptr) *why = "the screenshot is not a PPM picture";
    return image;
}

std::optional<Image> ParsePpm(const std::string &bytes) {
    std::istringstream in(bytes);
    // The header's fields, past white space and "#" comment lines.
    const auto field = [&in](auto &value) {
        for (;;) {
            in >> std::ws;
            if (in.peek() != '#') break;
            std::string comment;
            std::getline(in, comment);
        }
        in >> value;
    };
    std::string magic;
    int width = 0, height = 0, maxValue = 0;
    field(magic);
    field(width);
    field(height);
    field(maxValue);
    if (!in || magic != "P6" || width <= 0 || height <= 0 || maxValue != 255) return std::nullopt;
    in.get();  // the one white-space byte before the pixels
    const size_t size = static_cast<size_t>(width) * static_cast<size_t>(height) * 3;
    const auto start = static_cast<size_t>(in.tellg());
    if (bytes.size() < start + size) return std::nullopt;
    Image image;
    image.width = width;
    image.height = height;
    image.rgb.assign(bytes.begin() + static_cast<long>(start),
                     bytes.begin() + static_cast<long>(start + size));
    return image;
}

double MeanDifference(const Image &a, const Image &b) {
    if (a.width != b.width || a.height != b.height || a.rgb.size() != b.rgb.size() || a.empty())
        return 255.0;
    double sum = 0;
    for (size_t i = 0; i < a.rgb.size(); ++i) sum += std::abs(int(a.rgb[i]) - int(b.rgb[i]));
    return sum / static_cast<double>(a.rgb.size());
}

namespace {
double Luma(const Image &image, size_t pixel) {
    const uint8_t *p = &image.rgb[pixel * 3];
    return 0.299 * p[0] + 0.587 * p[1] + 0.114 * p[2];
}
}  // namespace

double Brightness(const Image &image) {
    const size_t pixels = image.rgb.size() / 3;
    if (pixels == 0) return 0.0;
    double sum = 0;
    for (size_t i = 0; i < pixels; ++i) sum += Luma(image, i);
    return sum / static_cast<double>(pixels);
}

double Contrast(const Image &image) {
    const size_t pixels = image.rgb.size() / 3;
    if (pixels == 0) return 0.0;
    const double mean = Brightness(image);
    double sum = 0;
    for (size_t i = 0; i < pixels; ++i) {
        const double d = Luma(image, i) - mean;
        sum += d * d;
    }
    return std::sqrt(sum / static_cast<double>(pixels));
}

}  // namespace screentest
