// Helpers for the asset tests: a scratch working folder, ZIP packs written
// with minizip's zip interface, and TGA pictures built byte by byte.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "assets/pack_file.h"
#include "tests/support/temp_dir.h"

namespace assettest {

// Makes a fresh temporary folder the working directory for one test and
// returns to the previous one afterwards.
class ScratchDirTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Writes a file relative to the scratch folder (parent folders created).
    void WriteFile(const std::string &relativePath, const std::string &bytes) const;

    testsupport::TempDir dir_;

private:
    std::filesystem::path previous_;
};

struct ZipMember {
    std::string name;
    std::string bytes;
};

enum class ZipMethod { Stored, Deflated };

// Writes a ZIP archive at `path` holding `members` in order. Fails the
// current test when minizip reports an error.
void WriteZip(const std::filesystem::path &path, const std::vector<ZipMember> &members,
              ZipMethod method = ZipMethod::Deflated);

// A record that owns a copy of `bytes` (released by the test with FreeMem).
MemFile MemFileOf(const std::string &bytes);

// Contents of a record as a string (empty for a null buffer).
std::string Contents(const MemFile &file);

// One pixel as the picture means it: red, green, blue, alpha.
struct Rgba {
    uint8_t r, g, b, a;
};

struct TgaOptions {
    uint8_t imageType = 2;
    uint8_t depth = 24;
    uint8_t descriptor = 0;
    uint8_t idLength = 0;
    uint8_t colourMapType = 0;
    uint16_t xOrigin = 0;
    int truncatePixels = 0;  // bytes cut off the end of the pixel section
};

// An uncompressed TGA file of `width` x `height` pixels, given in file row
// order, stored blue, green, red (then alpha for 32 bits).
std::string MakeTga(uint16_t width, uint16_t height, const std::vector<Rgba> &pixels,
                    const TgaOptions &options = {});

// Just the 18-byte header with the given fields.
std::string TgaHeader(uint16_t width, uint16_t height, const TgaOptions &options = {});

}  // namespace assettest
