// Canonical Huffman tables, symbol decoding and the block header with its
// code lengths.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "huffman.h"
#include "library_state.h"
#include "rar_test_util.h"

using namespace quorbenhal;
using rartest::BitWriter;
using rartest::PackedData;

namespace {

DecodeTable table;
InputState input;
TableSet tables;

void Build(const std::vector<uint8_t> &lengths) {
    BuildDecodeTable(lengths.data(), table, static_cast<uint32_t>(lengths.size()));
}

// Loads bytes as packed input and positions the reader at their start.
void Feed() {
    RefillInput(input, true);
    input.inBit = 0;
}

// The limit search alone, without the short-code lookup: the smallest length
// with v below its limit, then the index from the first index of that length.
uint32_t SearchSymbol(const DecodeTable &t, uint32_t v, uint32_t *length) {
    *length = CodeLength(t, v, 1);
    return SymbolAt(t, v, *length);
}

std::vector<uint8_t> RandomLengths(std::mt19937 &rng, size_t count, unsigned maxLength, unsigned zeroOneIn) {
    std::vector<uint8_t> lengths(count);
    for (auto &l : lengths) l = rng() % zeroOneIn == 0 ? 0 : static_cast<uint8_t>(1 + rng() % maxLength);
    return lengths;
}

// Lengths of a complete code over count symbols with codes up to maxLength
// bits: start from a balanced code and split random leaves.
std::vector<uint8_t> RandomCompleteLengths(std::mt19937 &rng, size_t count, unsigned maxLength) {
    std::vector<uint8_t> lengths(1, 0);
    while (lengths.size() < count) {
        size_t leaf = rng() % lengths.size();
        if (lengths[leaf] >= maxLength) continue;
        ++lengths[leaf];
        lengths.push_back(lengths[leaf]);
    }
    std::shuffle(lengths.begin(), lengths.end(), rng);
    return lengths;
}

}  // namespace

TEST(DecodeTable, TwoOneBitCodes) {
    Build({1, 1});
    PackedData data(std::string("\x40", 1));  // 0, 1
    Feed();
    EXPECT_EQ(DecodeSymbol(input, table), 0u);
    EXPECT_EQ(DecodeSymbol(input, table), 1u);
    EXPECT_EQ(input.inBit, 2u);
}

TEST(DecodeTable, ShorterCodesComeFirstThenSymbolOrder) {
    // Symbol 1 gets 0, symbol 0 gets 10, symbol 2 gets 11.
    Build({2, 1, 2});
    PackedData data(std::string("\x5C", 1));  // 0 10 11 1..
    Feed();
    EXPECT_EQ(DecodeSymbol(input, table), 1u);
    EXPECT_EQ(DecodeSymbol(input, table), 0u);
    EXPECT_EQ(DecodeSymbol(input, table), 2u);
    EXPECT_EQ(input.inBit, 5u);
}

TEST(DecodeTable, CodesPastTheLastOneDecodeAsTheFirstSymbolInFifteenBits) {
    // One code of length 1 for symbol 1; the other half of the code space is
    // empty and lands on indexes past the alphabet, which decode as symbols[0].
    Build({0, 1, 0, 0});
    PackedData data(std::string("\xFF\xFF\xFF", 3));
    Feed();
    EXPECT_EQ(DecodeSymbol(input, table), 1u);
    EXPECT_EQ(input.inPos * 8 + input.inBit, 15u);
}

TEST(DecodeTable, SlotsLeftUnfilledKeepTheirEarlierSymbols) {
    Build({1, 1});  // symbols[] = {0, 1}
    Build({1, 0});  // fills symbols[0] only
    uint32_t length;
    EXPECT_EQ(SearchSymbol(table, 0x8000, &length), 1u);
    EXPECT_EQ(length, 15u);
}

TEST(DecodeTable, OversubscribedLengthsStillBuildATable) {
    Build({1, 1, 1, 2, 2});
    PackedData data(std::string("\x40", 1));
    Feed();
    EXPECT_EQ(DecodeSymbol(input, table), 0u);
    EXPECT_EQ(DecodeSymbol(input, table), 1u);
}

TEST(DecodeTable, LengthsAreTakenModuloSixteen) {
    Build({17, 1});  // 17 counts as 1
    PackedData data(std::string("\x40", 1));
    Feed();
    EXPECT_EQ(DecodeSymbol(input, table), 0u);
    EXPECT_EQ(DecodeSymbol(input, table), 1u);
}

TEST(DecodeTable, ShortCodeLookupAgreesWithTheLimitSearchForEveryInput) {
    // Whatever the lengths (complete, incomplete, oversubscribed, empty), the
    // lookup must give the symbol and length of the limit search.
    std::mt19937 rng(21);
    const uint32_t sizes[] = {19, 28, 48, 257, 298};
    for (int round = 0; round < 60; ++round) {
        uint32_t count = sizes[round % 5];
        std::vector<uint8_t> lengths;
        switch (round % 4) {
            case 0: lengths = RandomCompleteLengths(rng, count, 15); break;
            case 1: lengths = RandomLengths(rng, count, 15, 3); break;
            case 2: lengths = RandomLengths(rng, count, 4, 2); break;
            default: lengths = std::vector<uint8_t>(count, 0); break;
        }
        Build(lengths);
        for (uint32_t v = 0; v < 0x10000; v += 2) {
            uint32_t expectedLength;
            uint32_t expected = SearchSymbol(table, v, &expectedLength);
            std::string bytes;
            bytes += static_cast<char>(v >> 8);
            bytes += static_cast<char>(v & 0xFF);
            memcpy(input.inBuffer, bytes.data(), 2);
            input.inBuffer[2] = input.inBuffer[3] = 0;
            input.inPos = 0;
            input.inBit = 0;
            ASSERT_EQ(DecodeSymbol(input, table), expected) << "round " << round << " v " << v;
            ASSERT_EQ(input.inBit + 8 * input.inPos, expectedLength) << "round " << round << " v " << v;
        }
    }
}

TEST(DecodeTable, RandomCompleteCodesRoundTrip) {
    std::mt19937 rng(8);
    for (int round = 0; round < 30; ++round) {
        std::vector<uint8_t> lengths = RandomCompleteLengths(rng, 298, 15);
        Build(lengths);
        rartest::CanonicalCode code = rartest::MakeCanonicalCode(lengths);
        std::vector<uint32_t> sent;
        BitWriter w;
        for (int i = 0; i < 2000; ++i) {
            uint32_t s = rng() % 298;
            sent.push_back(s);
            code.Put(w, s);
        }
        PackedData data(w.Bytes());
        Feed();
        for (size_t i = 0; i < sent.size(); ++i) {
            if (input.inPos > 8162) RefillInput(input, false);
            ASSERT_EQ(DecodeSymbol(input, table), sent[i]) << "round " << round << " symbol " << i;
        }
    }
}

namespace {

// A block header with all 19 code-length codes 5 bits long: length symbol k
// is k in 5 bits.
void PutHeader(BitWriter &w, bool audio, bool keep, unsigned channels = 1) {
    w.Put(audio, 1);
    w.Put(keep, 1);
    if (audio) w.Put(channels - 1, 2);
    for (int i = 0; i < 19; ++i) w.Put(5, 4);
}

void Load(const BitWriter &w) {
    PackedData data(w.Bytes());
    Feed();
    LoadTables(input, tables);
}

}  // namespace

TEST(LoadTables, AbsoluteLengthsBuildTheLzTables) {
    tables = TableSet{};
    BitWriter w;
    PutHeader(w, false, false);
    for (int i = 0; i < 374; ++i) w.Put(i < 298 ? 9 : (i < 346 ? 6 : 5), 5);
    w.Put(0x1234, 16);
    Load(w);
    EXPECT_EQ(tables.audioMode, 0u);
    EXPECT_EQ(tables.prevCodeLengths[0], 9);
    EXPECT_EQ(tables.prevCodeLengths[300], 6);
    EXPECT_EQ(tables.prevCodeLengths[373], 5);
    // The main table decodes 9-bit codes; the reader stands after the lengths.
    EXPECT_EQ(Peek16(input), 0x1234u);
    EXPECT_EQ(DecodeSymbol(input, tables.mainTable), 0x1234u >> 7);
}

TEST(LoadTables, DeltaLengthsAddToThePreviousBlockModuloSixteen) {
    tables = TableSet{};
    tables.prevCodeLengths[0] = 15;
    tables.prevCodeLengths[1] = 4;
    BitWriter w;
    PutHeader(w, false, true);
    w.Put(3, 5);   // 15 + 3 = 18, modulo 16 = 2
    w.Put(0, 5);   // 4 + 0 = 4
    w.Put(18, 5);  // the rest zero (zero runs are absolute)
    w.Put(127, 7);
    w.Put(18, 5);
    w.Put(127, 7);
    w.Put(18, 5);
    w.Put(96, 7);
    Load(w);
    EXPECT_EQ(tables.prevCodeLengths[0], 2);
    EXPECT_EQ(tables.prevCodeLengths[1], 4);
    EXPECT_EQ(tables.prevCodeLengths[2], 0);
}

TEST(LoadTables, WithoutTheKeepFlagPreviousLengthsAreForgotten) {
    tables = TableSet{};
    tables.prevCodeLengths[0] = 15;
    BitWriter w;
    PutHeader(w, false, false);
    w.Put(3, 5);
    w.Put(18, 5);
    w.Put(127, 7);
    w.Put(18, 5);
    w.Put(127, 7);
    w.Put(18, 5);
    w.Put(96, 7);
    Load(w);
    EXPECT_EQ(tables.prevCodeLengths[0], 3);
}

TEST(LoadTables, ZeroRunStopsAtTheLastLength) {
    // 364 lengths, then a run of 138 zeros of which only 10 fit; the next
    // bits belong to the block's data.
    tables = TableSet{};
    BitWriter w;
    PutHeader(w, false, false);
    for (int i = 0; i < 364; ++i) w.Put(9, 5);
    w.Put(18, 5);
    w.Put(127, 7);
    w.Put(0xBEEF, 16);
    Load(w);
    EXPECT_EQ(tables.prevCodeLengths[363], 9);
    for (int i = 364; i < 374; ++i) EXPECT_EQ(tables.prevCodeLengths[i], 0) << i;
    EXPECT_EQ(Peek16(input), 0xBEEFu);
}

TEST(LoadTables, RepeatAtTheFirstPositionRepeatsZero) {
    tables = TableSet{};
    tables.prevCodeLengths[0] = 7;
    BitWriter w;
    PutHeader(w, false, true);
    w.Put(16, 5);
    w.Put(0, 2);  // 3 times
    w.Put(4, 5);
    w.Put(16, 5);
    w.Put(1, 2);  // 4 times the 4
    for (int i = 0; i < 3; ++i) {
        w.Put(18, 5);
        w.Put(127, 7);
    }
    Load(w);
    EXPECT_EQ(tables.prevCodeLengths[0], 0);
    EXPECT_EQ(tables.prevCodeLengths[2], 0);
    EXPECT_EQ(tables.prevCodeLengths[3], 4);
    EXPECT_EQ(tables.prevCodeLengths[7], 4);
    EXPECT_EQ(tables.prevCodeLengths[8], 0);
}

TEST(LoadTables, MultimediaHeaderReadsLengthsForEachChannel) {
    tables = TableSet{};
    tables.currentChannel = 3;
    BitWriter w;
    PutHeader(w, true, false, 3);
    for (int i = 0; i < 3 * 257; ++i) w.Put(9, 5);
    w.Put(0xA5A5, 16);
    Load(w);
    EXPECT_EQ(tables.audioMode, 1u);
    EXPECT_EQ(tables.channelCount, 3u);
    EXPECT_EQ(tables.currentChannel, 0u);  // 3 is not a channel of this block
    EXPECT_EQ(tables.prevCodeLengths[3 * 257 - 1], 9);
    EXPECT_EQ(tables.prevCodeLengths[3 * 257], 0);
    EXPECT_EQ(Peek16(input), 0xA5A5u);
}

TEST(LoadTables, CurrentChannelBelowTheNewCountIsKept) {
    tables = TableSet{};
    tables.currentChannel = 1;
    BitWriter w;
    PutHeader(w, true, false, 2);
    for (int i = 0; i < 2 * 257; ++i) w.Put(9, 5);
    Load(w);
    EXPECT_EQ(tables.currentChannel, 1u);
}

TEST(LoadTables, LengthsBeyondTheBlocksCountAreZero) {
    // A 4-channel block sets all 1028 lengths; a following LZ block reads
    // 374 and leaves the rest 0 for a later delta-coded block.
    tables = TableSet{};
    BitWriter w;
    PutHeader(w, true, false, 4);
    for (int i = 0; i < 1028; ++i) w.Put(9, 5);
    PutHeader(w, false, true);
    for (int i = 0; i < 374; ++i) w.Put(0, 5);
    PackedData data(w.Bytes());
    Feed();
    LoadTables(input, tables);
    EXPECT_EQ(tables.prevCodeLengths[1027], 9);
    LoadTables(input, tables);
    EXPECT_EQ(tables.prevCodeLengths[373], 9);  // delta 0 on 9
    EXPECT_EQ(tables.prevCodeLengths[374], 0);
    EXPECT_EQ(tables.prevCodeLengths[1027], 0);
}
