// Where PackFile::Load finds a file (disk, "data/" + path, the pack), what it
// returns when it finds nothing, the pack across start-ups, and reading records.
// (Leaks of packs and buffers are the sanitizer build's to find.)
#include "asset_fixtures.h"

#include <cstring>

namespace {

using assettest::MemFileOf;
using assettest::WriteZip;

class PackFileTest : public ::testing::Test {
protected:
    void SetUp() override { std::filesystem::current_path(dir_.path()); }
    void TearDown() override {
        pack_.Close();
        std::filesystem::current_path(previous_);
    }
    // The contents Load returns ("<none>" for a record without a buffer), with
    // the record's other fields checked; what Load printed goes to out_.
    std::string Loaded(const std::string &path) {
        testing::internal::CaptureStdout();
        MemFile file = pack_.Load(path.c_str());
        out_ = testing::internal::GetCapturedStdout();
        EXPECT_EQ(std::string(file.name), path.size() < 32 ? path : "");
        EXPECT_EQ(file.pos, 0);
        const std::string contents =
            file.data == nullptr ? "<none>" : std::string((const char *)file.data, file.size);
        EXPECT_EQ(file.size, file.data == nullptr ? 0 : int32_t(contents.size()));
        FreeMem(&file);
        return contents;
    }

    std::filesystem::path previous_ = std::filesystem::current_path();
    testsupport::TempDir dir_;
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

TEST_F(PackFileTest, AMissingOrVanishedPackLeavesOnlyLooseFiles) {
    EXPECT_EQ(pack_.Open("data.dat"), 0);
    dir_.Write("data.dat", "this is not a zip archive at all");
    EXPECT_EQ(pack_.Open("data.dat"), 0);
    EXPECT_EQ(std::tie(pack_.opened, pack_.handle), std::tuple(0, nullptr));
    dir_.Write("data/I2.tga", "loose two");
    EXPECT_EQ(Loaded("data/I2.tga"), "loose two");
    EXPECT_EQ(Loaded("data/I3.tga"), "<none>");
    EXPECT_EQ(out_, "") << "nothing is said without a pack";
    // A pack that disappears before a repeated start-up.
    WriteZip("data.dat", {{"data/I1.tga", "one"}});
    ASSERT_EQ(pack_.Open("data.dat"), 1);
    std::filesystem::remove("data.dat");
    EXPECT_EQ(pack_.Open("data.dat"), 0);
    EXPECT_EQ(std::tie(pack_.opened, pack_.handle), std::tuple(1, nullptr));
    EXPECT_EQ(Loaded("data/I1.tga"), "<none>");
    EXPECT_EQ(out_, "\nFile data/I1.tga not found!\n");
    EXPECT_EQ(Loaded("data/I2.tga"), "loose two");
}

// A member whose header claims far more than it holds costs what it holds.
TEST_F(PackFileTest, AMemberGivesWhatInflatesNotWhatItsHeaderClaims) {
    WriteZip("data.dat", {{"data/I1.tga", std::string(100000, 'x')}});
    std::string pack = testsupport::ReadFile("data.dat");
    // The uncompressed size in the local and the central record: 96 MiB.
    for (auto [signature, at] : {std::pair{"PK\3\4", 22}, {"PK\1\2", 24}})
        pack.replace(pack.find(signature) + at, 4, std::string("\0\0\0\6", 4));
    dir_.Write("data.dat", pack);
    ASSERT_EQ(pack_.Open("data.dat"), 1);
    EXPECT_EQ(Loaded("data/I1.tga"), std::string(100000, 'x'));
}

TEST_F(PackFileTest, PathsOfMoreThan31CharactersAreRefused) {
    const std::string fits = "data/abcdefghijklmnopqrstuv.tga", tooLong = "data/abcdefghijklmnopqrstuvw.tga";
    dir_.Write(fits, "fits");
    dir_.Write(tooLong, "too long");
    WriteZip("data.dat", {{tooLong, "member"}});
    ASSERT_EQ(pack_.Open("data.dat"), 1);
    EXPECT_EQ(Loaded(fits), "fits");
    EXPECT_EQ(Loaded(tooLong), "<none>");
    EXPECT_EQ(Loaded(std::string(4000, 'a')), "<none>");
    EXPECT_EQ(out_, "");
}

TEST(ReadMem, CopiesUpToWhatIsLeftAndNothingAtOrPastTheEnd) {
    const struct {
        int32_t pos, len;
        const char *bytes;
        int32_t newPos;
    } reads[] = {{0, 3, "abc", 3}, {3, 5, "defgh", 8}, {5, 10, "fgh", 8}, {8, 4, "", 8},
                 {11, 4, "", 11},  {0, -5, "", 0},     {0, 0, "", 0}};
    MemFile file = MemFileOf("abcdefgh");
    for (const auto &r : reads) {
        char buffer[16];
        std::memset(buffer, '.', sizeof buffer);
        int32_t count = -1;
        file.pos = r.pos;
        ReadMem(&file, buffer, r.len, &count);
        EXPECT_EQ(std::string(buffer, std::strlen(r.bytes) + 1), std::string(r.bytes) + ".")
            << r.pos << "+" << r.len;
        EXPECT_EQ(std::tie(count, file.pos), std::tuple(int32_t(std::strlen(r.bytes)), r.newPos));
    }
    FreeMem(&file);
    EXPECT_EQ(std::tie(file.data, file.size, file.pos), std::tuple(nullptr, 0, 0));
    int32_t count = -1;
    ReadMem(&file, nullptr, 2, &count);  // an empty record never touches its buffer
    EXPECT_EQ(count, 0);
}

TEST(ReadMemLine, ReadsCarriageReturnLineFeedLinesAndALineFeedFirstAsAnEmptyLine) {
    MemFile file = MemFileOf("ab\r\ncd\r\n\nsecond line\r\n");
    char line[34];
    std::memset(line, '#', sizeof line);
    int32_t count = -1;
    ReadMemLine(&file, line + 1, 6, &count);
    EXPECT_STREQ(line + 1, "ab");
    EXPECT_EQ(std::tie(count, file.pos), std::tuple(3, 4));
    ReadMemLine(&file, line + 1, 4, &count);
    EXPECT_STREQ(line + 1, "cd");
    ReadMemLine(&file, line + 1, 8, &count);
    EXPECT_EQ(line[0], '#') << "nothing is written before the destination";
    EXPECT_STREQ(line + 1, "");
    EXPECT_EQ(std::tie(count, file.pos), std::tuple(0, 9));
    ReadMemLine(&file, line + 1, 32, &count);
    EXPECT_STREQ(line + 1, "second line");
    EXPECT_EQ(file.pos, file.size);
    FreeMem(&file);
}

TEST(ReadMemLine, WithoutALineFeedInTheBytesReadTheProcessEndsWithCode0) {
    testsupport::TempDir dir;
    const std::string out = (dir / "stdout.txt").string();
    for (auto [text, len] : {std::pair{"no line feed here", 64}, {"abcdef\r\n", 4}, {"", 8}}) {
        EXPECT_EXIT(
            {
                if (std::freopen(out.c_str(), "w", stdout) == nullptr) std::_Exit(3);
                MemFile file = MemFileOf(text);
                char line[64];
                int32_t count = 0;
                ReadMemLine(&file, line, len, &count);
                std::_Exit(2);
            },
            testing::ExitedWithCode(0), "");
        EXPECT_EQ(testsupport::ReadFile(out), "ReadMemLine error!\n") << text;
    }
}

}  // namespace
