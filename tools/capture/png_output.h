// Frames as PNG files, through libpng.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace capture {

// Writes `bgra` (width x height pixels, bottom row first, 4 bytes each, as
// OpenGL reads them back) as an upright 8-bit RGB PNG; the alpha channel of the frame carries nothing worth
// keeping. The file is written beside its final name first and renamed when
// complete, so `path` either holds a whole picture or is left as it was. On
// failure returns false and says why.
bool WritePng(const std::filesystem::path &path, int width, int height, const uint8_t *bgra, std::string *error);

// The name of frame `index` in a folder of frames: "frame-000480.png".
std::string FrameFileName(int64_t index);

}  // namespace capture
