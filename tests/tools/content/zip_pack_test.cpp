// The pack writer produces ZIP archives that the demo's reader (minizip's
// unzip interface) opens, with the same bytes on every run.
#include "tools/content/zip_pack.h"

#include <gtest/gtest.h>
#include <unzip.h>

#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

#include "tests/support/temp_dir.h"

using content::PackMember;
using content::WriteZipPack;

namespace {

struct Entry {
    std::string name;
    std::string bytes;
    int method;
    unz_file_info info;
};

std::vector<Entry> ReadAll(const std::string &path) {
    std::vector<Entry> entries;
    unzFile zip = unzOpen(path.c_str());
    if (!zip) return entries;
    for (int r = unzGoToFirstFile(zip); r == UNZ_OK; r = unzGoToNextFile(zip)) {
        Entry e;
        char name[256];
        if (unzGetCurrentFileInfo(zip, &e.info, name, sizeof name, nullptr, 0, nullptr, 0) != UNZ_OK) break;
        e.name = name;
        e.method = static_cast<int>(e.info.compression_method);
        if (unzOpenCurrentFile(zip) != UNZ_OK) break;
        e.bytes.resize(e.info.uncompressed_size);
        int got = e.bytes.empty() ? 0 : unzReadCurrentFile(zip, e.bytes.data(), static_cast<unsigned>(e.bytes.size()));
        // Closing checks the CRC once the whole member has been read.
        int crc = unzCloseCurrentFile(zip);
        if (got != static_cast<int>(e.bytes.size()) || crc != UNZ_OK) e.name = "<corrupt>";
        entries.push_back(std::move(e));
    }
    unzClose(zip);
    return entries;
}

std::vector<PackMember> SampleMembers() {
    std::string big(2'500'000, '\0');  // more than one write chunk
    for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>((i * 7919) >> 5);
    return {{"data/start.tga", "title picture"}, {"data/I4.tga", big}, {"data/empty.tga", ""}};
}

TEST(ZipPack, MembersComeBackInOrderDeflatedAndIntact) {
    testsupport::TempDir dir;
    const std::string path = (dir / "pack.zip").string();
    const auto members = SampleMembers();
    WriteZipPack(path, members);
    auto entries = ReadAll(path);
    ASSERT_EQ(entries.size(), members.size());
    for (size_t i = 0; i < members.size(); ++i) {
        EXPECT_EQ(entries[i].name, members[i].name);
        EXPECT_EQ(entries[i].bytes, members[i].bytes) << members[i].name;
        EXPECT_EQ(entries[i].method, Z_DEFLATED) << members[i].name;
    }
    // The large member really is compressed.
    EXPECT_LT(entries[1].info.compressed_size, entries[1].info.uncompressed_size / 2);
}

TEST(ZipPack, DemoLookupFindsMembersWithoutRegardToCase) {
    testsupport::TempDir dir;
    const std::string path = (dir / "pack.zip").string();
    WriteZipPack(path, SampleMembers());
    unzFile zip = unzOpen(path.c_str());
    ASSERT_NE(zip, nullptr);
    EXPECT_EQ(unzLocateFile(zip, "DATA/i4.TGA", 2), UNZ_OK);
    EXPECT_NE(unzLocateFile(zip, "data/I5.tga", 2), UNZ_OK);
    unzClose(zip);
}

TEST(ZipPack, EveryMemberCarriesTheSameFixedDate) {
    testsupport::TempDir dir;
    const std::string path = (dir / "pack.zip").string();
    WriteZipPack(path, SampleMembers());
    for (const Entry &e : ReadAll(path)) {
        EXPECT_EQ(e.info.tmu_date.tm_year, 2026u) << e.name;
        EXPECT_EQ(e.info.tmu_date.tm_mon, 0u) << e.name;
        EXPECT_EQ(e.info.tmu_date.tm_mday, 1u) << e.name;
        EXPECT_EQ(e.info.tmu_date.tm_hour, 0u) << e.name;
        EXPECT_EQ(e.info.tmu_date.tm_min, 0u) << e.name;
        EXPECT_EQ(e.info.tmu_date.tm_sec, 0u) << e.name;
    }
}

TEST(ZipPack, SameMembersGiveTheSameBytes) {
    testsupport::TempDir dir;
    WriteZipPack((dir / "a.zip").string(), SampleMembers());
    WriteZipPack((dir / "b.zip").string(), SampleMembers());
    std::string a = testsupport::ReadFile(dir / "a.zip"), b = testsupport::ReadFile(dir / "b.zip");
    ASSERT_FALSE(a.empty());
    EXPECT_EQ(a, b);
    // Writing over an existing archive replaces it rather than appending.
    WriteZipPack((dir / "a.zip").string(), SampleMembers());
    EXPECT_EQ(testsupport::ReadFile(dir / "a.zip"), b);
}

TEST(ZipPack, RefusesToWriteAPackWithNoMembers) {
    // The demo's reader cannot open an archive without entries, so the
    // writer does not make one.
    testsupport::TempDir dir;
    const auto path = dir / "empty.zip";
    EXPECT_THROW(WriteZipPack(path.string(), {}), std::invalid_argument);
    EXPECT_FALSE(std::filesystem::exists(path));
}

TEST(ZipPack, UnwritablePathIsReportedAndLeavesNothing) {
    testsupport::TempDir dir;
    const auto path = dir / "missing" / "pack.zip";
    EXPECT_THROW(WriteZipPack(path.string(), SampleMembers()), std::runtime_error);
    EXPECT_FALSE(std::filesystem::exists(path));
}

}  // namespace
