// Reading MemFile records: ReadMem, ReadMemLine and buffer ownership.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "asset_fixtures.h"
#include "assets/pack_file.h"

namespace {

using assettest::MemFileOf;

// ---- ReadMem ------------------------------------------------------------

TEST(ReadMem, ReadsInPiecesAndStopsAtTheEnd) {
    MemFile file = MemFileOf("abcdefgh");
    char buffer[16] = {};
    int32_t count = -1;

    ReadMem(&file, buffer, 3, &count);
    EXPECT_EQ(count, 3);
    EXPECT_EQ(std::string(buffer, 3), "abc");
    EXPECT_EQ(file.pos, 3);

    // Asking for more than is left copies what is left.
    std::memset(buffer, '.', sizeof buffer);
    ReadMem(&file, buffer, 10, &count);
    EXPECT_EQ(count, 5);
    EXPECT_EQ(std::string(buffer, 6), "defgh.");
    EXPECT_EQ(file.pos, 8);

    FreeMem(&file);
}

TEST(ReadMem, ExactlyTheRemainingBytesThenNothing) {
    MemFile file = MemFileOf("xyz");
    file.pos = 1;
    char buffer[4] = {'.', '.', '.', '.'};
    int32_t count = -1;

    ReadMem(&file, buffer, 2, &count);
    EXPECT_EQ(count, 2);
    EXPECT_EQ(std::string(buffer, 3), "yz.");
    EXPECT_EQ(file.pos, 3);

    std::memset(buffer, '.', sizeof buffer);
    ReadMem(&file, buffer, 2, &count);
    EXPECT_EQ(count, 0);
    EXPECT_EQ(file.pos, 3);
    EXPECT_EQ(std::string(buffer, 4), "....");
    FreeMem(&file);
}

TEST(ReadMem, PastTheEndCopiesNothingAndKeepsThePosition) {
    MemFile file = MemFileOf("xyz");
    file.pos = 7;
    char buffer[4] = {'.', '.', '.', '.'};
    int32_t count = -1;
    ReadMem(&file, buffer, 4, &count);
    EXPECT_EQ(count, 0);
    EXPECT_EQ(file.pos, 7);
    EXPECT_EQ(std::string(buffer, 4), "....");
    FreeMem(&file);
}

TEST(ReadMem, EmptyRecordNeverTouchesItsBuffer) {
    MemFile missing{};  // as Load returns for a missing file: data null
    char buffer[2] = {'.', '.'};
    int32_t count = -1;
    ReadMem(&missing, buffer, 2, &count);
    EXPECT_EQ(count, 0);
    EXPECT_EQ(missing.pos, 0);
    EXPECT_EQ(buffer[0], '.');
}

TEST(ReadMem, NegativeOrZeroLengthCopiesNothing) {
    MemFile file = MemFileOf("abc");
    char buffer[4] = {'.', '.', '.', '.'};
    int32_t count = -1;
    ReadMem(&file, buffer, -5, &count);
    EXPECT_EQ(count, 0);
    EXPECT_EQ(file.pos, 0);
    ReadMem(&file, buffer, 0, &count);
    EXPECT_EQ(count, 0);
    EXPECT_EQ(file.pos, 0);
    EXPECT_EQ(buffer[0], '.');
    FreeMem(&file);
}

TEST(ReadMem, CopiesShareTheBufferButNotThePosition) {
    MemFile original = MemFileOf("shared");
    MemFile copy = original;
    char buffer[8] = {};
    int32_t count = 0;
    ReadMem(&copy, buffer, 4, &count);
    EXPECT_EQ(copy.pos, 4);
    EXPECT_EQ(original.pos, 0);
    EXPECT_EQ(copy.data, original.data);

    FreeMem(&original);  // the owner releases it once
    EXPECT_EQ(original.data, nullptr);
    EXPECT_EQ(original.size, 0);
    EXPECT_EQ(original.pos, 0);
}

// ---- ReadMemLine --------------------------------------------------------

TEST(ReadMemLine, TwoLettersCarriageReturnLineFeedWithLengthSix) {
    MemFile file = MemFileOf("ab\r\ncd");
    char line[8];
    std::memset(line, '.', sizeof line);
    int32_t count = -1;
    ReadMemLine(&file, line, 6, &count);
    EXPECT_STREQ(line, "ab");
    EXPECT_EQ(count, 3);
    EXPECT_EQ(file.pos, 4);
    FreeMem(&file);
}

TEST(ReadMemLine, ReadsConsecutiveLines) {
    MemFile file = MemFileOf("first\r\nsecond line\r\nx\r\n");
    char line[32];
    int32_t count = 0;
    ReadMemLine(&file, line, sizeof line, &count);
    EXPECT_STREQ(line, "first");
    EXPECT_EQ(count, 6);
    ReadMemLine(&file, line, sizeof line, &count);
    EXPECT_STREQ(line, "second line");
    EXPECT_EQ(count, 12);
    ReadMemLine(&file, line, sizeof line, &count);
    EXPECT_STREQ(line, "x");
    EXPECT_EQ(file.pos, file.size);
    FreeMem(&file);
}

TEST(ReadMemLine, LineFeedFirstGivesAnEmptyLineAndWritesNothingBeforeTheDestination) {
    MemFile file = MemFileOf("\nrest\r\n");
    // The guard byte sits right before the destination.
    char memory[10];
    std::memset(memory, '#', sizeof memory);
    char *line = memory + 1;
    int32_t count = -1;
    ReadMemLine(&file, line, 8, &count);
    EXPECT_EQ(memory[0], '#');
    EXPECT_STREQ(line, "");
    EXPECT_EQ(count, 0);
    EXPECT_EQ(file.pos, 1);

    ReadMemLine(&file, line, 8, &count);
    EXPECT_STREQ(line, "rest");
    FreeMem(&file);
}

class ReadMemLineExit : public assettest::ScratchDirTest {
protected:
    // Runs ReadMemLine in a child process with standard output sent to a
    // file, and returns what the child wrote there.
    std::string RunExpectingExit(const std::string &bytes, int32_t len) {
        const std::string outPath = (dir_ / "stdout.txt").string();
        EXPECT_EXIT(
            {
                if (std::freopen(outPath.c_str(), "w", stdout) == nullptr) std::_Exit(3);
                MemFile file = MemFileOf(bytes);
                char line[64];
                int32_t count = 0;
                ReadMemLine(&file, line, len, &count);
                std::_Exit(2);  // not reached when ReadMemLine ends the process
            },
            testing::ExitedWithCode(0), "");
        return testsupport::ReadFile(outPath);
    }
};

TEST_F(ReadMemLineExit, NoLineFeedInTheBytesReadEndsTheProcessWithCodeZero) {
    EXPECT_EQ(RunExpectingExit("no line feed here", 64), "ReadMemLine error!\n");
}

TEST_F(ReadMemLineExit, LineLongerThanTheRequestedLengthEndsTheProcess) {
    EXPECT_EQ(RunExpectingExit("abcdef\r\n", 4), "ReadMemLine error!\n");
}

TEST_F(ReadMemLineExit, ReadingAtTheEndEndsTheProcess) {
    EXPECT_EQ(RunExpectingExit("", 8), "ReadMemLine error!\n");
}

}  // namespace
