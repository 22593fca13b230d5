// Helpers for the asset tests: ZIP packs written with minizip's zip
// interface, records holding given bytes, and TGA pictures built byte by byte.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "assets/pack_file.h"
#include "tests/support/temp_dir.h"

namespace assettest {

struct ZipMember {
    std::string name, bytes;
};
// Writes a ZIP archive of deflated `members` in order; fails the test on an error.
void WriteZip(const std::filesystem::path &path, const std::vector<ZipMember> &members);

// A record owning a copy of `bytes` (released with FreeMem).
MemFile MemFileOf(const std::string &bytes);

struct Rgba {
    uint8_t r, g, b, a;
};
// The 18-byte header of an uncompressed true-colour picture.
std::string TgaHeader(uint16_t width, uint16_t height, uint8_t depth = 24, uint8_t descriptor = 0);
// The header, then `pixels` (file row order) stored blue, green, red (alpha).
std::string MakeTga(uint16_t width, uint16_t height, const std::vector<Rgba> &pixels,
                    uint8_t depth = 24, uint8_t descriptor = 0);

}  // namespace assettest
