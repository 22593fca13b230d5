// Canonical Huffman tables, symbol decoding, and the block header with its code lengths.
#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "huffman.h"
#include "rar_test_util.h"

using namespace quorbenhal;

namespace {

DecodeTable table;
InputState input;
TableSet tables;

void Feed(const std::string &bytes) {
    memset(input.inBuffer, 0, sizeof input.inBuffer);
    memcpy(input.inBuffer, bytes.data(), bytes.size());
    input.inPos = input.inBit = 0;
    input.inEnd = int32_t(bytes.size());
    input.dataEnd = uint32_t(bytes.size());
}

void Build(const std::vector<uint8_t> &lengths) { BuildDecodeTable(lengths.data(), table, uint32_t(lengths.size())); }

rarwriter::BitWriter Header(int channels, bool keep, const std::vector<uint8_t> &lengths = {}) {
    rarwriter::BitWriter w;
    rartest::PutHeader(w, channels, keep, lengths);
    return w;
}
void ZerosToTheEnd(rarwriter::BitWriter &w, int count) {
    for (; count > 0; count -= 138) w.Write(18, 5), w.Write(std::min(count, 138) - 11, 7);
}
void Load(const rarwriter::BitWriter &w) {
    Feed(w.Bytes());
    LoadTables(input, tables);
}

}  // namespace

TEST(DecodeTable, CanonicalCodesOfAnyLengths) {
    const struct {
        std::vector<uint8_t> lengths;
        std::string bits;
        std::vector<uint32_t> symbols;
        uint32_t bitsUsed;
    } cases[] = {
        {{1, 1}, "\x40", {0, 1}, 2},
        {{2, 1, 2}, "\x5C", {1, 0, 2}, 5},        // symbol 1 is 0, symbol 0 is 10, symbol 2 is 11
        {{17, 1}, "\x40", {0, 1}, 2},             // lengths count modulo 16
        {{1, 1, 1, 2, 2}, "\x40", {0, 1}, 2},     // oversubscribed: still a table
        {{0, 1, 0, 0}, "\xFF\xFF", {1}, 15},      // past the last code: symbols[0] in 15 bits
    };
    for (const auto &c : cases) {
        Build(c.lengths);
        Feed(c.bits);
        for (uint32_t s : c.symbols) EXPECT_EQ(DecodeSymbol(input, table), s) << c.symbols.size();
        EXPECT_EQ(input.inPos * 8 + input.inBit, c.bitsUsed);
    }
}

TEST(DecodeTable, SlotsLeftUnfilledKeepTheirEarlierSymbols) {
    Build({1, 1});  // symbols {0, 1}
    Build({1, 0});  // fills symbols[0] only
    EXPECT_EQ(SymbolAt(table, 0x8000, CodeLength(table, 0x8000, 1)), 1u);
}

TEST(DecodeTable, ShortCodeLookupAgreesWithTheLimitSearchForEveryInput) {
    std::mt19937 rng(21);
    for (int round = 0; round < 60; ++round) {
        std::vector<uint8_t> lengths(std::vector<uint32_t>{19, 28, 48, 257, 298}[round % 5]);
        const unsigned maxLength = round % 3 == 0 ? 4 : 15;
        for (uint8_t &l : lengths) l = round % 4 == 3 || rng() % 3 == 0 ? 0 : uint8_t(1 + rng() % maxLength);
        Build(lengths);
        for (uint32_t v = 0; v < 0x10000; v += 2) {
            const uint32_t length = CodeLength(table, v, 1);
            Feed(std::string{char(v >> 8), char(v)});
            ASSERT_EQ(DecodeSymbol(input, table), SymbolAt(table, v, length)) << "round " << round << " v " << v;
            ASSERT_EQ(input.inPos * 8 + input.inBit, length) << "round " << round << " v " << v;
        }
    }
}

TEST(LoadTables, AbsoluteLengthsBuildTheLzTables) {
    tables = TableSet{};
    rarwriter::BitWriter w;
    rartest::PutLzTables(w);
    w.Write(0x1234, 16);
    Load(w);
    EXPECT_EQ(tables.audioMode, 0u);
    EXPECT_EQ(tables.prevCodeLengths[297], 9);
    EXPECT_EQ(tables.prevCodeLengths[298], 6);
    EXPECT_EQ(tables.prevCodeLengths[373], 5);
    EXPECT_EQ(Peek16(input), 0x1234u);  // the reader stands after the lengths
    EXPECT_EQ(DecodeSymbol(input, tables.mainTable), 0x1234u >> 7);
}

TEST(LoadTables, DeltaLengthsAddToThePreviousModuloSixteenOnlyWithTheKeepFlag) {
    for (bool keep : {true, false}) {
        tables = TableSet{};
        tables.prevCodeLengths[0] = 15;
        tables.prevCodeLengths[1] = 4;
        rarwriter::BitWriter w = Header(0, keep, {3, 0});
        ZerosToTheEnd(w, 372);  // zero runs are absolute
        Load(w);
        EXPECT_EQ(tables.prevCodeLengths[0], keep ? 2 : 3);  // 15 + 3 modulo 16
        EXPECT_EQ(tables.prevCodeLengths[1], keep ? 4 : 0);
        EXPECT_EQ(tables.prevCodeLengths[2], 0);
    }
}

TEST(LoadTables, ZeroRunStopsAtTheLastLength) {
    tables = TableSet{};
    rarwriter::BitWriter w = Header(4, false, std::vector<uint8_t>(1018, 9));
    w.Write(18, 5);
    w.Write(127, 7);  // 138 zeros, of which 10 fit
    w.Write(0xBEEF, 16);
    Load(w);
    EXPECT_EQ(tables.prevCodeLengths[1017], 9);
    for (int i = 1018; i < 1028; ++i) EXPECT_EQ(tables.prevCodeLengths[i], 0) << i;
    EXPECT_EQ(Peek16(input), 0xBEEFu);
}

TEST(LoadTables, RepeatAtTheFirstPositionRepeatsZero) {
    tables = TableSet{};
    tables.prevCodeLengths[0] = 7;
    rarwriter::BitWriter w = Header(0, true);
    w.Write(16, 5);
    w.Write(0, 2);  // 3 times
    w.Write(4, 5);
    w.Write(16, 5);
    w.Write(1, 2);  // 4 times the 4
    ZerosToTheEnd(w, 366);
    Load(w);
    const uint8_t expected[9] = {0, 0, 0, 4, 4, 4, 4, 4, 0};
    for (int i = 0; i < 9; ++i) EXPECT_EQ(tables.prevCodeLengths[i], expected[i]) << i;
}

TEST(LoadTables, MultimediaHeaderReadsLengthsForEachChannel) {
    // The channel of the next byte carries over unless the block has fewer channels.
    const struct {
        int channels;
        uint32_t before, after;
    } cases[] = {{3, 3, 0}, {2, 1, 1}, {4, 3, 3}, {1, 1, 0}};
    for (const auto &c : cases) {
        tables = TableSet{};
        tables.currentChannel = c.before;
        rarwriter::BitWriter w = Header(c.channels, false, std::vector<uint8_t>(c.channels * 257, 9));
        w.Write(0xA5A5, 16);
        Load(w);
        EXPECT_EQ(tables.audioMode, 1u);
        EXPECT_EQ(tables.channelCount, uint32_t(c.channels));
        EXPECT_EQ(tables.currentChannel, c.after) << c.channels << " channels";
        EXPECT_EQ(tables.prevCodeLengths[c.channels * 257 - 1], 9);
        EXPECT_EQ(tables.prevCodeLengths[c.channels * 257 % 1028], c.channels == 4 ? 9 : 0);
        EXPECT_EQ(Peek16(input), 0xA5A5u);
    }
}

TEST(LoadTables, LengthsBeyondTheBlocksCountAreZero) {
    // After a 4-channel block sets all 1028 lengths, an LZ block reads 374
    // and leaves the rest 0 for a later delta-coded block.
    tables = TableSet{};
    Load(Header(4, false, std::vector<uint8_t>(1028, 9)));
    Load(Header(0, true, std::vector<uint8_t>(374, 0)));
    EXPECT_EQ(tables.prevCodeLengths[373], 9);  // delta 0 on 9
    EXPECT_EQ(tables.prevCodeLengths[374], 0);
    EXPECT_EQ(tables.prevCodeLengths[1027], 0);
}
