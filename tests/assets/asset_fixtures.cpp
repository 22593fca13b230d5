#include "tests/assets/asset_fixtures.h"

#include <zip.h>

#include <cstring>

namespace assettest {

void WriteZip(const std::filesystem::path &path, const std::vector<ZipMember> &members) {
    zipFile zip = zipOpen(path.c_str(), APPEND_STATUS_CREATE);
    ASSERT_NE(zip, nullptr) << "cannot create " << path;
    for (const ZipMember &member : members) {
        zip_fileinfo info{};
        ASSERT_EQ(zipOpenNewFileInZip(zip, member.name.c_str(), &info, nullptr, 0, nullptr, 0,
                                      nullptr, Z_DEFLATED, Z_BEST_COMPRESSION),
                  ZIP_OK);
        ASSERT_EQ(zipWriteInFileInZip(zip, member.bytes.data(), unsigned(member.bytes.size())), ZIP_OK);
        ASSERT_EQ(zipCloseFileInZip(zip), ZIP_OK);
    }
    ASSERT_EQ(zipClose(zip, nullptr), ZIP_OK);
}

MemFile MemFileOf(const std::string &bytes) {
    MemFile file{};
    file.data = new unsigned char[bytes.size()];
    std::memcpy(file.data, bytes.data(), bytes.size());
    file.size = static_cast<int32_t>(bytes.size());
    return file;
}

std::string TgaHeader(uint16_t width, uint16_t height, uint8_t depth, uint8_t descriptor) {
    return std::string("\0\0\2\0\0\0\0\0\0\0\0\0", 12) +
           std::string{char(width), char(width >> 8), char(height), char(height >> 8), char(depth),
                       char(descriptor)};
}

std::string MakeTga(uint16_t width, uint16_t height, const std::vector<Rgba> &pixels, uint8_t depth,
                    uint8_t descriptor) {
    std::string file = TgaHeader(width, height, depth, descriptor);
    for (const Rgba &p : pixels) {
        file += {char(p.b), char(p.g), char(p.r)};
        if (depth == 32) file += char(p.a);
    }
    return file;
}

}  // namespace assettest
