// Where PackFile::Load finds a file (disk, "data/" + path, the pack), what it
// returns when it finds nothing, and the pack's life across start-ups.
#include "tests/assets/asset_fixtures.h"

#include <filesystem>

namespace {

using assettest::WriteZip;

class PackFileTest : public assettest::ScratchDirTest {
protected:
    void TearDown() override {
        pack_.Close();
        ScratchDirTest::TearDown();
    }
    // The contents Load returns for `path` ("<none>" for a record without a
    // buffer), with the record's other fields checked; what Load wrote to
    // standard output goes to out_.
    std::string Loaded(const std::string &path) {
        testing::internal::CaptureStdout();
        MemFile file = pack_.Load(path.c_str());
        out_ = testing::internal::GetCapturedStdout();
        EXPECT_EQ(std::string(file.name), path.size() < 32 ? path : "");
        EXPECT_EQ(file.size, static_cast<int32_t>(assettest::Contents(file).size()));
        EXPECT_EQ(file.pos, 0);
        const std::string contents = file.data == nullptr ? "<none>" : assettest::Contents(file);
        FreeMem(&file);
        return contents;
    }
    static size_t OpenDescriptors() {
        const std::filesystem::directory_iterator fds("/proc/self/fd");
        return static_cast<size_t>(std::distance(begin(fds), end(fds)));
    }

    PackFile pack_;
    std::string out_;
};

TEST_F(PackFileTest, LooksOnDiskUnderThePathThenUnderDataThenInThePack) {
    std::string big;
    for (int i = 0; i < 5000; ++i) big += static_cast<char>(i * 7 % 251);
    WriteZip("data.dat", {{"data/I4.tga", big}, {"Data/Start1.TGA", "mixed case"}, {"empty", ""}});
    ASSERT_EQ(pack_.Open("data.dat"), 1);
    EXPECT_EQ(Loaded("data/I4.tga"), big);
    EXPECT_EQ(Loaded("data/start1.tga"), "mixed case");
    EXPECT_EQ(Loaded("empty"), "");
    EXPECT_EQ(out_, "");
    dir_.Write("data/data/I4.tga", "data prefix");
    EXPECT_EQ(Loaded("data/I4.tga"), "data prefix");
    dir_.Write("data/I4.tga", "own path");
    EXPECT_EQ(Loaded("data/I4.tga"), "own path");
    dir_.Write("empty.tga", "");
    EXPECT_EQ(Loaded("empty.tga"), "") << "found, unlike a missing file";

    EXPECT_EQ(Loaded("data/I9.tga"), "<none>");
    EXPECT_EQ(out_, "\nFile data/I9.tga not found!\n");
    EXPECT_EQ(Loaded("data\\I4.tga"), "<none>") << "no translation of separators";
}

TEST_F(PackFileTest, WithoutAPackOnlyLooseFilesAreFoundAndNothingIsWritten) {
    EXPECT_EQ(pack_.Open("data.dat"), 0);
    dir_.Write("data.dat", "this is not a zip archive at all");
    EXPECT_EQ(pack_.Open("data.dat"), 0);
    EXPECT_EQ(std::tie(pack_.opened, pack_.handle), std::tuple(0, nullptr));
    dir_.Write("data/I7.tga", "loose");
    EXPECT_EQ(Loaded("data/I7.tga"), "loose");
    EXPECT_EQ(Loaded("data/I2.tga"), "<none>");
    EXPECT_EQ(out_, "");
}

TEST_F(PackFileTest, APackThatDisappearsBeforeARepeatedStartUpFindsNothing) {
    WriteZip("data.dat", {{"data/I1.tga", "one"}, {"data/I2.tga", "two"}});
    ASSERT_EQ(pack_.Open("data.dat"), 1);
    std::filesystem::remove("data.dat");
    dir_.Write("data/I2.tga", "loose two");
    EXPECT_EQ(pack_.Open("data.dat"), 0);
    EXPECT_EQ(std::tie(pack_.opened, pack_.handle), std::tuple(1, nullptr));
    EXPECT_EQ(Loaded("data/I1.tga"), "<none>");
    EXPECT_EQ(out_, "\nFile data/I1.tga not found!\n");
    EXPECT_EQ(Loaded("data/I2.tga"), "loose two");
}

TEST_F(PackFileTest, ARepeatedOpenClosesThePreviousPack) {
    WriteZip("data.dat", {{"a", "first"}});
    ASSERT_EQ(pack_.Open("data.dat"), 1);
    const size_t descriptors = OpenDescriptors();
    for (int i = 0; i < 8; ++i) ASSERT_EQ(pack_.Open("data.dat"), 1);
    EXPECT_EQ(OpenDescriptors(), descriptors);
    WriteZip("data.dat", {{"a", "second"}});
    ASSERT_EQ(pack_.Open("data.dat"), 1);
    EXPECT_EQ(Loaded("a"), "second");
}

TEST_F(PackFileTest, PathsOfMoreThan31CharactersAreRefused) {
    const std::string fits = "data/abcdefghijklmnopqrstuv.tga",
                      tooLong = "data/abcdefghijklmnopqrstuvw.tga";
    ASSERT_EQ(fits.size(), 31u);
    dir_.Write(fits, "fits");
    dir_.Write(tooLong, "too long");
    WriteZip("data.dat", {{tooLong, "member"}});
    ASSERT_EQ(pack_.Open("data.dat"), 1);
    EXPECT_EQ(Loaded(fits), "fits");
    EXPECT_EQ(Loaded(tooLong), "<none>");
    EXPECT_EQ(Loaded(std::string(4000, 'a')), "<none>");
    EXPECT_EQ(out_, "");
}

}  // namespace
