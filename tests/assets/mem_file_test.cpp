// Reading MemFile records with ReadMem and ReadMemLine.
#include "tests/assets/asset_fixtures.h"

#include <cstring>

namespace {

using assettest::MemFileOf;

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
        EXPECT_EQ(count, static_cast<int32_t>(std::strlen(r.bytes)));
        EXPECT_EQ(file.pos, r.newPos);
    }
    FreeMem(&file);
    EXPECT_EQ(std::tie(file.data, file.size, file.pos), std::tuple(nullptr, 0, 0));
    char buffer[2];
    int32_t count = -1;
    ReadMem(&file, buffer, 2, &count);  // an empty record never touches its buffer
    EXPECT_EQ(count, 0);
}

TEST(ReadMemLine, ReadsCarriageReturnLineFeedLines) {
    MemFile file = MemFileOf("ab\r\ncd\r\nsecond line\r\n");
    char line[32];
    int32_t count = -1;
    ReadMemLine(&file, line, 6, &count);
    EXPECT_STREQ(line, "ab");
    EXPECT_EQ(std::tie(count, file.pos), std::tuple(3, 4));
    ReadMemLine(&file, line, 4, &count);
    EXPECT_STREQ(line, "cd");
    ReadMemLine(&file, line, sizeof line, &count);
    EXPECT_STREQ(line, "second line");
    EXPECT_EQ(file.pos, file.size);
    FreeMem(&file);
}

TEST(ReadMemLine, ALineFeedFirstGivesAnEmptyLineAndWritesNothingBeforeTheDestination) {
    MemFile file = MemFileOf("\nrest\r\n");
    char memory[10];
    std::memset(memory, '#', sizeof memory);
    int32_t count = -1;
    ReadMemLine(&file, memory + 1, 8, &count);
    EXPECT_EQ(memory[0], '#');
    EXPECT_STREQ(memory + 1, "");
    EXPECT_EQ(std::tie(count, file.pos), std::tuple(0, 1));
    FreeMem(&file);
}

TEST(ReadMemLine, WithoutALineFeedInTheBytesReadTheProcessEndsWithCode0) {
    testsupport::TempDir dir;
    const std::string out = (dir / "stdout.txt").string();
    const std::pair<const char *, int32_t> cases[] = {
        {"no line feed here", 64}, {"abcdef\r\n", 4}, {"", 8}};
    for (auto [text, len] : cases) {
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
