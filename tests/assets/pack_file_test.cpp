// Where PackFile::Load finds a file (disk, "data/" + path, the pack), what
// it returns when it finds nothing, and the pack's life across start-ups.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "asset_fixtures.h"
#include "assets/pack_file.h"

namespace {

using assettest::Contents;
using assettest::WriteZip;
using assettest::ZipMember;
using assettest::ZipMethod;
using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStdout;

class PackFileTest : public assettest::ScratchDirTest {
protected:
    // Loads `path`, capturing what Load writes to standard output.
    MemFile LoadCapturing(const char *path, std::string *out) {
        CaptureStdout();
        MemFile file = pack_.Load(path);
        *out = GetCapturedStdout();
        return file;
    }

    void TearDown() override {
        pack_.Close();
        ScratchDirTest::TearDown();
    }

    PackFile pack_;
};

size_t OpenDescriptorCount() {
    size_t count = 0;
    for (const auto &entry : std::filesystem::directory_iterator("/proc/self/fd")) {
        (void)entry;
        ++count;
    }
    return count;
}

// ---- lookup order -------------------------------------------------------

TEST_F(PackFileTest, LooseFileUnderItsOwnPathWinsOverDataFolderAndPack) {
    WriteZip("data.dat", {{"data/I4.tga", "from pack"}});
    WriteFile("data/I4.tga", "own path");
    WriteFile("data/data/I4.tga", "data prefix");
    ASSERT_EQ(pack_.Open("data.dat"), 1);

    MemFile file = pack_.Load("data/I4.tga");
    EXPECT_EQ(Contents(file), "own path");
    EXPECT_STREQ(file.name, "data/I4.tga");
    EXPECT_EQ(file.size, 8);
    EXPECT_EQ(file.pos, 0);
    FreeMem(&file);
}

TEST_F(PackFileTest, DataFolderIsSecondChoice) {
    WriteZip("data.dat", {{"data/I4.tga", "from pack"}});
    WriteFile("data/data/I4.tga", "data prefix");
    ASSERT_EQ(pack_.Open("data.dat"), 1);

    MemFile file = pack_.Load("data/I4.tga");
    EXPECT_EQ(Contents(file), "data prefix");
    FreeMem(&file);
}

TEST_F(PackFileTest, PackMemberIsLastChoice) {
    WriteZip("data.dat", {{"data/I3.tga", "three"}, {"data/I4.tga", "from pack"}});
    ASSERT_EQ(pack_.Open("data.dat"), 1);

    std::string out;
    MemFile file = LoadCapturing("data/I4.tga", &out);
    EXPECT_EQ(Contents(file), "from pack");
    EXPECT_EQ(file.size, 9);
    EXPECT_EQ(file.pos, 0);
    EXPECT_EQ(out, "");
    FreeMem(&file);
}

TEST_F(PackFileTest, StoredAndDeflatedMembersReadTheSame) {
    std::string big;
    for (int i = 0; i < 5000; ++i) big += static_cast<char>(i * 7 % 251);
    for (ZipMethod method : {ZipMethod::Stored, ZipMethod::Deflated}) {
        WriteZip("data.dat", {{"a.bin", "x"}, {"big.bin", big}}, method);
        ASSERT_EQ(pack_.Open("data.dat"), 1);
        MemFile file = pack_.Load("big.bin");
        EXPECT_EQ(Contents(file), big);
        FreeMem(&file);
    }
}

TEST_F(PackFileTest, MemberNamesCompareWithoutLetterCase) {
    WriteZip("data.dat", {{"Data/Start1.TGA", "mixed case"}});
    ASSERT_EQ(pack_.Open("data.dat"), 1);

    MemFile file = pack_.Load("data/start1.tga");
    EXPECT_EQ(Contents(file), "mixed case");
    EXPECT_STREQ(file.name, "data/start1.tga");
    FreeMem(&file);
}

TEST_F(PackFileTest, SlashAndBackslashAreDifferentInMemberNames) {
    WriteZip("data.dat", {{"data/I1.tga", "one"}});
    ASSERT_EQ(pack_.Open("data.dat"), 1);

    std::string out;
    MemFile file = LoadCapturing("data\\I1.tga", &out);
    EXPECT_EQ(file.data, nullptr);
    EXPECT_EQ(out, "\nFile data\\I1.tga not found!\n");
}

// ---- zero-length files --------------------------------------------------

TEST_F(PackFileTest, ZeroLengthDiskFileGivesAnEmptyBufferThatWasFound) {
    WriteFile("empty.tga", "");
    MemFile file = pack_.Load("empty.tga");
    EXPECT_EQ(file.size, 0);
    EXPECT_EQ(file.pos, 0);
    EXPECT_NE(file.data, nullptr);  // found, unlike a missing file
    FreeMem(&file);
}

TEST_F(PackFileTest, ZeroLengthPackMemberGivesAnEmptyBufferThatWasFound) {
    WriteZip("data.dat", {{"empty.tga", ""}});
    ASSERT_EQ(pack_.Open("data.dat"), 1);
    std::string out;
    MemFile file = LoadCapturing("empty.tga", &out);
    EXPECT_EQ(file.size, 0);
    EXPECT_NE(file.data, nullptr);
    EXPECT_EQ(out, "");
    FreeMem(&file);
}

// ---- nothing found ------------------------------------------------------

TEST_F(PackFileTest, MissingPackMeansDiskOnlyAndNoMessages) {
    EXPECT_EQ(pack_.Open("data.dat"), 0);
    EXPECT_EQ(pack_.opened, 0);
    EXPECT_EQ(pack_.handle, nullptr);
    WriteFile("data/I7.tga", "loose");

    std::string out;
    MemFile missing = LoadCapturing("data/I2.tga", &out);
    EXPECT_EQ(missing.data, nullptr);
    EXPECT_EQ(missing.size, 0);
    EXPECT_EQ(missing.pos, 0);
    EXPECT_STREQ(missing.name, "data/I2.tga");
    EXPECT_EQ(out, "");

    MemFile loose = pack_.Load("data/I7.tga");
    EXPECT_EQ(Contents(loose), "loose");
    FreeMem(&loose);
}

TEST_F(PackFileTest, FileThatIsNotAZipIsNoPack) {
    WriteFile("data.dat", "this is not a zip archive at all");
    EXPECT_EQ(pack_.Open("data.dat"), 0);
    EXPECT_EQ(pack_.opened, 0);
    EXPECT_EQ(pack_.handle, nullptr);
}

TEST_F(PackFileTest, FileNeitherOnDiskNorInPackIsReportedOnStandardOutput) {
    WriteZip("data.dat", {{"data/I1.tga", "one"}});
    ASSERT_EQ(pack_.Open("data.dat"), 1);

    std::string out;
    MemFile file = LoadCapturing("data/I9.tga", &out);
    EXPECT_EQ(out, "\nFile data/I9.tga not found!\n");
    EXPECT_EQ(file.data, nullptr);
    EXPECT_EQ(file.size, 0);
    EXPECT_EQ(file.pos, 0);
    EXPECT_STREQ(file.name, "data/I9.tga");

    // The failed search leaves the pack usable.
    MemFile found = pack_.Load("data/I1.tga");
    EXPECT_EQ(Contents(found), "one");
    FreeMem(&found);
}

TEST_F(PackFileTest, PackThatDisappearsBeforeARepeatedStartUp) {
    WriteZip("data.dat", {{"data/I1.tga", "one"}, {"data/I2.tga", "two"}});
    ASSERT_EQ(pack_.Open("data.dat"), 1);
    std::filesystem::remove("data.dat");
    WriteFile("data/I2.tga", "loose two");

    EXPECT_EQ(pack_.Open("data.dat"), 0);
    EXPECT_EQ(pack_.opened, 1);
    EXPECT_EQ(pack_.handle, nullptr);

    std::string out;
    MemFile gone = LoadCapturing("data/I1.tga", &out);
    EXPECT_EQ(gone.data, nullptr);
    EXPECT_EQ(gone.size, 0);
    EXPECT_EQ(out, "\nFile data/I1.tga not found!\n");

    MemFile loose = LoadCapturing("data/I2.tga", &out);
    EXPECT_EQ(Contents(loose), "loose two");
    EXPECT_EQ(out, "");
    FreeMem(&loose);

    EXPECT_EQ(pack_.FileSize("data/I1.tga"), 0);
    EXPECT_EQ(pack_.CurrentFileInfo().uncompressed_size, 0u);
}

TEST_F(PackFileTest, RepeatedOpenClosesThePreviousPack) {
    WriteZip("data.dat", {{"a", "first"}});
    ASSERT_EQ(pack_.Open("data.dat"), 1);
    const size_t descriptors = OpenDescriptorCount();
    for (int i = 0; i < 8; ++i) ASSERT_EQ(pack_.Open("data.dat"), 1);
    EXPECT_EQ(OpenDescriptorCount(), descriptors);

    // The newest pack is the one read: replace the file and open again.
    WriteZip("data.dat", {{"a", "second"}});
    ASSERT_EQ(pack_.Open("data.dat"), 1);
    MemFile file = pack_.Load("a");
    EXPECT_EQ(Contents(file), "second");
    FreeMem(&file);
}

TEST_F(PackFileTest, DestroyingAnOpenPackClosesIt) {
    WriteZip("data.dat", {{"a", "first"}});
    const size_t descriptors = OpenDescriptorCount();
    {
        PackFile local;
        ASSERT_EQ(local.Open("data.dat"), 1);
        EXPECT_EQ(OpenDescriptorCount(), descriptors + 1);
    }
    EXPECT_EQ(OpenDescriptorCount(), descriptors);
}

TEST_F(PackFileTest, CloseForgetsTheHandleSoLaterCallsAreHarmless) {
    WriteZip("data.dat", {{"data/I1.tga", "one"}});
    ASSERT_EQ(pack_.Open("data.dat"), 1);
    EXPECT_EQ(pack_.Close(), 1);
    EXPECT_EQ(pack_.opened, 0);
    EXPECT_EQ(pack_.handle, nullptr);

    std::string out;
    MemFile file = LoadCapturing("data/I1.tga", &out);
    EXPECT_EQ(file.data, nullptr);
    EXPECT_EQ(out, "");  // a closed pack is not searched
    EXPECT_EQ(pack_.CurrentFileInfo().uncompressed_size, 0u);
    EXPECT_EQ(pack_.Close(), 1);  // closing twice is harmless
}

TEST_F(PackFileTest, DamagedMemberIsReturnedAsRead) {
    const std::string content = "0123456789abcdefghij";
    WriteZip("data.dat", {{"pic.tga", content}}, ZipMethod::Stored);
    std::string archive = testsupport::ReadFile(dir_ / "data.dat");
    const size_t at = archive.find(content);
    ASSERT_NE(at, std::string::npos);
    archive[at + 3] = 'X';  // the CRC no longer matches
    WriteFile("data.dat", archive);
    ASSERT_EQ(pack_.Open("data.dat"), 1);

    MemFile file = pack_.Load("pic.tga");
    EXPECT_EQ(Contents(file), "012X456789abcdefghij");
    FreeMem(&file);
}

// ---- names --------------------------------------------------------------

TEST_F(PackFileTest, ThirtyOneCharacterPathsFitAndLongerOnesAreRefused) {
    const std::string fits = "data/abcdefghijklmnopqrstuv.tga";  // 31 characters
    const std::string tooLong = "data/abcdefghijklmnopqrstuvw.tga";  // 32
    ASSERT_EQ(fits.size(), 31u);
    WriteFile(fits, "fits");
    WriteFile(tooLong, "too long");
    WriteZip("data.dat", {{tooLong, "member"}});
    ASSERT_EQ(pack_.Open("data.dat"), 1);

    MemFile ok = pack_.Load(fits.c_str());
    EXPECT_EQ(Contents(ok), "fits");
    EXPECT_EQ(std::string(ok.name), fits);
    FreeMem(&ok);

    std::string out;
    MemFile refused = LoadCapturing(tooLong.c_str(), &out);
    EXPECT_EQ(refused.data, nullptr);
    EXPECT_EQ(refused.size, 0);
    EXPECT_STREQ(refused.name, "");
    EXPECT_EQ(out, "");

    const std::string huge(4000, 'a');
    MemFile hugeRecord = pack_.Load(huge.c_str());
    EXPECT_EQ(hugeRecord.data, nullptr);
    EXPECT_STREQ(hugeRecord.name, "");
}

// ---- modes --------------------------------------------------------------

TEST_F(PackFileTest, DiskOnlyModeNeverSearchesThePack) {
    WriteZip("data.dat", {{"data/I1.tga", "packed"}, {"data/I2.tga", "packed two"}});
    WriteFile("data/data/I2.tga", "loose two");
    ASSERT_EQ(pack_.Open("data.dat"), 1);
    pack_.mode = 2;

    std::string out;
    MemFile packed = LoadCapturing("data/I1.tga", &out);
    EXPECT_EQ(packed.data, nullptr);
    EXPECT_EQ(out, "");
    MemFile loose = pack_.Load("data/I2.tga");
    EXPECT_EQ(Contents(loose), "loose two");
    FreeMem(&loose);
}

TEST_F(PackFileTest, PackOnlyModeIgnoresLooseFiles) {
    WriteZip("data.dat", {{"data/I1.tga", "packed"}});
    WriteFile("data/I1.tga", "loose");
    WriteFile("data/I3.tga", "loose three");
    ASSERT_EQ(pack_.Open("data.dat"), 1);
    pack_.mode = 1;

    MemFile packed = pack_.Load("data/I1.tga");
    EXPECT_EQ(Contents(packed), "packed");
    FreeMem(&packed);

    std::string out;
    MemFile loose = LoadCapturing("data/I3.tga", &out);
    EXPECT_EQ(loose.data, nullptr);
    EXPECT_EQ(out, "\nFile data/I3.tga not found!\n");
}

TEST_F(PackFileTest, PackOnlyModeWithoutAPackFindsNothing) {
    WriteFile("a.tga", "loose");
    pack_.mode = 1;
    std::string out;
    MemFile file = LoadCapturing("a.tga", &out);
    EXPECT_EQ(file.data, nullptr);
    EXPECT_EQ(out, "");
}

TEST_F(PackFileTest, FileSizeFollowsTheMode) {
    WriteZip("data.dat", {{"a.bin", std::string(300, 'p')}, {"b.bin", std::string(77, 'q')}});
    WriteFile("a.bin", std::string(12, 'd'));
    WriteFile("data/c.bin", std::string(5, 'd'));
    ASSERT_EQ(pack_.Open("data.dat"), 1);
    ASSERT_EQ(unzLocateFile(pack_.handle, "b.bin", 2), UNZ_OK);

    // Disk allowed: the file at exactly that path, else the pack's current
    // member (no "data/" retry).
    EXPECT_EQ(pack_.FileSize("a.bin"), 12);
    EXPECT_EQ(pack_.FileSize("c.bin"), 77);

    pack_.mode = 2;
    EXPECT_EQ(pack_.FileSize("a.bin"), 12);
    EXPECT_EQ(pack_.FileSize("c.bin"), 0);

    pack_.mode = 1;
    EXPECT_EQ(pack_.FileSize("a.bin"), 77);
    ASSERT_EQ(unzLocateFile(pack_.handle, "A.BIN", 2), UNZ_OK);
    EXPECT_EQ(pack_.FileSize("anything"), 300);
    EXPECT_EQ(pack_.CurrentFileInfo().uncompressed_size, 300u);
}

}  // namespace
