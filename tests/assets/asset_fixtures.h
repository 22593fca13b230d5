// Helpers for the asset tests: ZIP packs written with minizip's zip
// interface, records holding given bytes, and TGA pictures built byte by byte.
#pragma once

#include <gtest/gtest.h>
#include <zip.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "assets/pack_file.h"
#include "support/temp_dir.h"

namespace assettest {

struct ZipMember {
    std::string name, bytes;
};
// Writes a ZIP archive of deflated `members` in order; fails the test on an error.
inline void WriteZip(const std::filesystem::path &path, const std::vector<ZipMember> &members) {
    zipFile zip = zipOpen(path.c_str(), APPEND_STATUS_CREATE);
    ASSERT_NE(zip, nullptr) << "cannot create " << path;
    for (const ZipMember &m : members) {
        zip_fileinfo info{};
        ASSERT_EQ(zipOpenNewFileInZip(zip, m.name.c_str(), &info, nullptr, 0, nullptr, 0, nullptr,
                                      Z_DEFLATED, Z_BEST_COMPRESSION),
                  ZIP_OK);
        ASSERT_EQ(zipWriteInFileInZip(zip, m.bytes.data(), unsigned(m.bytes.size())), ZIP_OK);
        ASSERT_EQ(zipCloseFileInZip(zip), ZIP_OK);
    }
    ASSERT_EQ(zipClose(zip, nullptr), ZIP_OK);
}

// A record owning a copy of `bytes` (released with FreeMem).
inline MemFile MemFileOf(const std::string &bytes) {
    MemFile file{"", new unsigned char[bytes.size()], int32_t(bytes.size()), 0};
    std::memcpy(file.data, bytes.data(), bytes.size());
    return file;
}

struct Rgba {
    uint8_t r, g, b, a;
};
// The 18-byte header of an uncompressed true-colour picture.
inline std::string TgaHeader(uint16_t width, uint16_t height, uint8_t depth = 24, uint8_t descriptor = 0) {
    return std::string("\0\0\2\0\0\0\0\0\0\0\0\0", 12) +
           std::string{char(width), char(width >> 8), char(height), char(height >> 8), char(depth),
                       char(descriptor)};
}
// The header, then `pixels` (file row order) stored blue, green, red (alpha).
inline std::string MakeTga(uint16_t width, uint16_t height, const std::vector<Rgba> &pixels,
                           uint8_t depth = 24, uint8_t descriptor = 0) {
    std::string file = TgaHeader(width, height, depth, descriptor);
    for (const Rgba &p : pixels) {
        file += {char(p.b), char(p.g), char(p.r)};
        if (depth == 32) file += char(p.a);
    }
    return file;
}

}  // namespace assettest
