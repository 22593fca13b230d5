#include "asset_fixtures.h"

#include <zip.h>

#include <cstring>
#include <new>

namespace assettest {

void ScratchDirTest::SetUp() {
    previous_ = std::filesystem::current_path();
    std::filesystem::current_path(dir_.path());
}

void ScratchDirTest::TearDown() { std::filesystem::current_path(previous_); }

void ScratchDirTest::WriteFile(const std::string &relativePath, const std::string &bytes) const {
    dir_.Write(relativePath, bytes);
}

void WriteZip(const std::filesystem::path &path, const std::vector<ZipMember> &members,
              ZipMethod method) {
    zipFile zip = zipOpen(path.c_str(), APPEND_STATUS_CREATE);
    ASSERT_NE(zip, nullptr) << "cannot create " << path;
    for (const ZipMember &member : members) {
        zip_fileinfo info{};
        const bool deflate = method == ZipMethod::Deflated;
        ASSERT_EQ(zipOpenNewFileInZip(zip, member.name.c_str(), &info, nullptr, 0, nullptr, 0, nullptr,
                                      deflate ? Z_DEFLATED : 0, deflate ? Z_BEST_COMPRESSION : 0),
                  ZIP_OK);
        if (!member.bytes.empty()) {
            ASSERT_EQ(zipWriteInFileInZip(zip, member.bytes.data(), static_cast<unsigned>(member.bytes.size())),
                      ZIP_OK);
        }
        ASSERT_EQ(zipCloseFileInZip(zip), ZIP_OK);
    }
    ASSERT_EQ(zipClose(zip, nullptr), ZIP_OK);
}

MemFile MemFileOf(const std::string &bytes) {
    MemFile file{};
    file.data = new unsigned char[bytes.size()];
    if (!bytes.empty()) std::memcpy(file.data, bytes.data(), bytes.size());
    file.size = static_cast<int32_t>(bytes.size());
    return file;
}

std::string Contents(const MemFile &file) {
    if (file.data == nullptr) return {};
    return std::string(reinterpret_cast<const char *>(file.data), static_cast<size_t>(file.size));
}

std::string TgaHeader(uint16_t width, uint16_t height, const TgaOptions &options) {
    std::string header(18, '\0');
    header[0] = static_cast<char>(options.idLength);
    header[1] = static_cast<char>(options.colourMapType);
    header[2] = static_cast<char>(options.imageType);
    header[8] = static_cast<char>(options.xOrigin & 0xff);
    header[9] = static_cast<char>(options.xOrigin >> 8);
    header[12] = static_cast<char>(width & 0xff);
    header[13] = static_cast<char>(width >> 8);
    header[14] = static_cast<char>(height & 0xff);
    header[15] = static_cast<char>(height >> 8);
    header[16] = static_cast<char>(options.depth);
    header[17] = static_cast<char>(options.descriptor);
    return header;
}

std::string MakeTga(uint16_t width, uint16_t height, const std::vector<Rgba> &pixels,
                    const TgaOptions &options) {
    std::string file = TgaHeader(width, height, options);
    for (const Rgba &p : pixels) {
        file.push_back(static_cast<char>(p.b));
        file.push_back(static_cast<char>(p.g));
        file.push_back(static_cast<char>(p.r));
        if (options.depth == 32) file.push_back(static_cast<char>(p.a));
    }
    file.resize(file.size() - static_cast<size_t>(options.truncatePixels));
    return file;
}

}  // namespace assettest
