// Helpers for the asset tests: a scratch working folder, ZIP packs written
// with minizip's zip interface, and TGA pictures built byte by byte.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "assets/pack_file.h"
#include "tests/support/temp_dir.h"

namespace assettest {

// A fresh temporary folder as the working directory for one test.
class ScratchDirTest : public ::testing::Test {
protected:
    void SetUp() override {
        previous_ = std::filesystem::current_path();
        std::filesystem::current_path(dir_.path());
    }
    void TearDown() override { std::filesystem::current_path(previous_); }

    testsupport::TempDir dir_;

private:
    std::filesystem::path previous_;
};

struct ZipMember {
    std::string name;
    std::string bytes;
};

// Writes a ZIP archive holding `members` in order; fails the test on an error.
void WriteZip(const std::filesystem::path &path, const std::vector<ZipMember> &members,
              bool deflate = true);

// A record owning a copy of `bytes` (released with FreeMem).
MemFile MemFileOf(const std::string &bytes);
std::string Contents(const MemFile &file);

struct Rgba {
    uint8_t r, g, b, a;
};

// The 18-byte header of an uncompressed true-colour picture.
std::string TgaHeader(uint16_t width, uint16_t height, uint8_t depth = 24, uint8_t descriptor = 0);

// The header, then `pixels` (file row order) stored blue, green, red (then
// alpha for 32 bits).
std::string MakeTga(uint16_t width, uint16_t height, const std::vector<Rgba> &pixels,
                    uint8_t depth = 24, uint8_t descriptor = 0);

}  // namespace assettest
