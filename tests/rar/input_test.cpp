// Packed input: ReadPacked, the input buffer and the bit reader.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <random>
#include <string>

#include "cipher.h"
#include "library_state.h"
#include "packed_input.h"
#include "rar_test_util.h"

using namespace quorbenhal;

namespace {

using rartest::PackedData;

std::string RandomBytes(size_t n, unsigned seed) {
    std::mt19937 rng(seed);
    std::string s(n, '\0');
    for (auto &c : s) c = static_cast<char>(rng());
    return s;
}

// Bit i of a byte string, most significant bit first.
uint32_t BitAt(const std::string &s, size_t i) {
    if (i / 8 >= s.size()) return 0;
    return (static_cast<uint8_t>(s[i / 8]) >> (7 - i % 8)) & 1;
}

uint32_t BitsAt(const std::string &s, size_t first, unsigned n) {
    uint32_t v = 0;
    for (unsigned k = 0; k < n; ++k) v = v << 1 | BitAt(s, first + k);
    return v;
}

InputState input;

}  // namespace

TEST(ReadPacked, NeverReadsBeyondTheEntrysPackedSize) {
    PackedData data(std::string(100, 'a') + std::string(50, 'b'));
    remainingPacked = 100;
    uint8_t buffer[200];
    EXPECT_EQ(ReadPacked(buffer, 60), 60);
    EXPECT_EQ(remainingPacked, 40u);
    EXPECT_EQ(ReadPacked(buffer, 200), 40);
    EXPECT_EQ(remainingPacked, 0u);
    EXPECT_EQ(ReadPacked(buffer, 200), 0);
}

TEST(ReadPacked, WithNoArchiveOpenReadsNothing) {
    archiveFile = nullptr;
    remainingPacked = 10;
    cryptVersion = 0;
    uint8_t buffer[16];
    EXPECT_EQ(ReadPacked(buffer, 10), 0);
}

TEST(ReadPacked, OldCipherVersionsAreLoggedAndLeftAsRead) {
    rartest::PrivateLog log;
    PackedData data("0123456789abcdef");
    cryptVersion = 15;
    uint8_t buffer[16];
    EXPECT_EQ(ReadPacked(buffer, 16), 16);
    EXPECT_EQ(0, memcmp(buffer, "0123456789abcdef", 16));
    // With nothing left to read it still logs.
    EXPECT_EQ(ReadPacked(buffer, 16), 0);
    cryptVersion = 0;
    EXPECT_EQ(log.Messages(),
              (std::vector<std::string>{"Old Crypt() not supported!", "Old Crypt() not supported!"}));
}

TEST(ReadPacked, TwoReadsDecipherLikeOneBecauseTheKeyStateCarriesOver) {
    std::string plain = RandomBytes(32, 1);
    std::string cipher = rartest::Encipher(plain, "pass");
    uint8_t one[32], two[32];
    {
        PackedData data(cipher);
        DeriveKeyState("pass");
        cryptVersion = 20;
        ASSERT_EQ(ReadPacked(one, 32), 32);
    }
    {
        PackedData data(cipher);
        DeriveKeyState("pass");
        cryptVersion = 20;
        ASSERT_EQ(ReadPacked(two, 16), 16);
        ASSERT_EQ(ReadPacked(two + 16, 16), 16);
    }
    cryptVersion = 0;
    EXPECT_EQ(0, memcmp(one, plain.data(), 32));
    EXPECT_EQ(0, memcmp(two, plain.data(), 32));
}

TEST(InputBuffer, FirstFillOfASmallEntry) {
    PackedData data(RandomBytes(1000, 2));
    input.inPos = 77;
    input.inBit = 5;
    RefillInput(input, true);
    input.inBit = 0;
    EXPECT_EQ(input.inEnd, 1000);
    EXPECT_EQ(input.inPos, 0u);
    EXPECT_EQ(input.dataEnd, 1000u);
}

TEST(InputBuffer, BytesPastTheDataReadAsZeros) {
    {
        PackedData data(std::string(kInBufferSize, '\xff'));
        RefillInput(input, true);
    }
    PackedData data("\xAB");
    RefillInput(input, true);
    input.inBit = 0;
    EXPECT_EQ(Peek16(input), 0xAB00u);
    input.inPos = 1;
    EXPECT_EQ(Peek16(input), 0u);
}

TEST(BitReader, FieldAcrossAByteBoundary) {
    PackedData data(std::string("\x03\x80", 2));  // 00000011 10000000
    RefillInput(input, true);
    input.inBit = 6;
    EXPECT_EQ(ReadBits(input, 3), 7u);  // the last two bits of one byte and the first of the next
    EXPECT_EQ(input.inPos, 1u);
    EXPECT_EQ(input.inBit, 1u);
}

TEST(BitReader, PeekTakesSixteenBitsFromEveryBitOffset) {
    std::string bytes = RandomBytes(64, 3);
    PackedData data(bytes);
    RefillInput(input, true);
    for (size_t bit = 0; bit < 8 * 60; ++bit) {
        input.inPos = static_cast<uint32_t>(bit / 8);
        input.inBit = static_cast<uint32_t>(bit % 8);
        ASSERT_EQ(Peek16(input), BitsAt(bytes, bit, 16)) << "bit " << bit;
    }
}

TEST(BitReader, ReadsAStreamLongerThanTheBufferAcrossRefills) {
    // The unpacker refills once the reader passes 8162; the slide keeps the
    // bits not yet read, so the fields read are those of the stream.
    std::string bytes = RandomBytes(3 * kInBufferSize + 123, 4);
    PackedData data(bytes);
    RefillInput(input, true);
    input.inBit = 0;
    size_t bit = 0;
    unsigned widths[] = {1, 16, 7, 13, 3, 9, 15, 2};
    for (size_t k = 0; bit + 16 <= 8 * bytes.size(); ++k) {
        if (input.inPos > 8162) RefillInput(input, false);
        unsigned n = widths[k % 8];
        ASSERT_EQ(ReadBits(input, n), BitsAt(bytes, bit, n)) << "at bit " << bit;
        bit += n;
    }
    EXPECT_EQ(input.dataEnd, static_cast<uint32_t>(bytes.size() - 3 * (kInBufferSize - 32)));
}

TEST(BitReader, RefillWithNothingLeftMovesTheEndToTheReader) {
    PackedData data(RandomBytes(kInBufferSize, 5));
    RefillInput(input, true);
    input.inPos = 8170;
    input.inBit = 0;
    RefillInput(input, false);
    EXPECT_EQ(input.inPos, 10u);
    EXPECT_EQ(input.inEnd, 10);        // as the trailing-table check sees it
    EXPECT_EQ(input.dataEnd, 32u);     // the 32 kept bytes are still data
}
