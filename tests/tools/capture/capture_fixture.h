// Helpers for running vandrel-capture and looking at what it wrote: PNG
// pictures read back, flat-coloured test pictures in a content folder, and
// where a frame pixel lands on the demo's picture quad.
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "tests/support/subprocess.h"
#include "tests/support/temp_dir.h"

namespace capturetest {

// The program under test and the content the build generated.
extern const std::string kCaptureProgram;
extern const std::string kGeneratedContent;

struct Rgb {
    int r = 0, g = 0, b = 0;
};

// A picture read back from a PNG file as 8-bit RGB, top row first.
struct Picture {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> rgb;
    Rgb at(int x, int y) const;
};

// Reads a PNG file; fails the current test (and returns an empty picture)
// when it cannot.
Picture ReadPng(const std::filesystem::path &path);

// Whether every channel of `a` is within `tolerance` of `b`.
bool Near(const Rgb &a, const Rgb &b, int tolerance);
std::string ToString(const Rgb &c);

// A 24-bit TGA picture of 4 x 4 pixels whose upper half (as the demo shows
// it) is `top` and lower half `bottom`.
std::string TwoToneTga(const Rgb &top, const Rgb &bottom);

// Runs vandrel-capture with these arguments from `workingDir`, with the
// extra environment given.
testsupport::ProcessResult RunCapture(const std::vector<std::string> &args, const std::filesystem::path &workingDir,
                                      const std::map<std::string, std::string> &env = {});

// Where the centre of frame pixel (x, y) (top row 0) of a 4:3 frame of this
// size falls on the demo's picture quad, in texture coordinates: s to the
// right, t upwards, both 0..1 across the quad. The quad is 1 unit wide at
// distance 1 under the demo's 45-degree projection.
struct TexCoord {
    double s = 0, t = 0;
};
TexCoord QuadCoordinate(int x, int y, int width, int height);

// The names of the files in a folder, sorted.
std::vector<std::string> FileNames(const std::filesystem::path &dir);

}  // namespace capturetest
