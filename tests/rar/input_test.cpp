// Packed input: ReadPacked, the input buffer and both bit readers.
#include <gtest/gtest.h>

#include "cipher.h"
#include "library_state.h"
#include "packed_input.h"
#include "rar_test_util.h"
#include "sample_content.h"

using namespace quorbenhal;

namespace {

// n bits of s from bit `first` on, most significant first; zeros past the end.
uint32_t BitsAt(const std::string &s, size_t first, unsigned n) {
    uint32_t v = 0;
    for (size_t i = first; i < first + n; ++i) v = v << 1 | (i / 8 < s.size() ? (uint8_t(s[i / 8]) >> (7 - i % 8)) & 1 : 0);
    return v;
}

// Puts bytes behind archiveFile as the current entry's packed data.
struct PackedData {
    explicit PackedData(const std::string &bytes, int32_t crypt = 0) {
        archiveFile = tmpfile();
        fwrite(bytes.data(), 1, bytes.size(), archiveFile);
        rewind(archiveFile);
        remainingPacked = uint32_t(bytes.size());
        cryptVersion = crypt;
    }
    ~PackedData() { fclose(archiveFile), archiveFile = nullptr, cryptVersion = 0; }
};

InputState input;

}  // namespace

TEST(ReadPacked, StopsAtTheEntrysPackedSize) {
    PackedData data(std::string(150, 'a'));
    remainingPacked = 100;
    uint8_t buffer[200];
    EXPECT_EQ(ReadPacked(buffer, 60), 60);
    EXPECT_EQ(ReadPacked(buffer, 200), 40);
    EXPECT_EQ(ReadPacked(buffer, 200), 0);
}

TEST(ReadPacked, DeciphersAcrossReadsAndLogsOldCipherVersions) {
    const std::string plain = rarwriter::samples::Random(32, 1);
    std::string cipher = plain, out(32, '\0');
    rarwriter::Encipher(cipher, "pass");
    BuildCrcTable();
    DeriveKeyState("pass");
    {
        PackedData data(cipher, 20);
        ASSERT_EQ(ReadPacked(reinterpret_cast<uint8_t *>(&out[0]), 16), 16);
        ASSERT_EQ(ReadPacked(reinterpret_cast<uint8_t *>(&out[16]), 16), 16);  // the key state carries over
        EXPECT_EQ(out, plain);
    }
    rartest::PrivateLog log;
    PackedData data(cipher, 15);
    EXPECT_EQ(ReadPacked(reinterpret_cast<uint8_t *>(&out[0]), 32), 32);
    EXPECT_EQ(out, cipher);  // left as read
    EXPECT_EQ(log.Messages(), std::vector<std::string>{"Old Crypt() not supported!"});
}

TEST(InputBuffer, BytesPastTheDataReadAsZerosWhateverWasThere) {
    {
        PackedData data(std::string(kInBufferSize, '\xff'));
        RefillInput(input, true);
    }
    PackedData data("\xAB");
    RefillInput(input, true);
    EXPECT_EQ(input.dataEnd, 1u);
    input.inBit = 0;
    EXPECT_EQ(Peek16(input), 0xAB00u);
    input.inPos = 1;
    EXPECT_EQ(Peek16(input), 0u);
}

TEST(BitReader, BothReadersPeekSixteenBitsAtEveryOffset) {
    const std::string bytes = rarwriter::samples::Random(64, 3);
    PackedData data(bytes);
    RefillInput(input, true);
    for (uint32_t bit = 0; bit < 8 * 60; ++bit) {
        input.inPos = bit / 8;
        input.inBit = bit % 8;
        BitBuffer buffer;
        buffer.Start(input.inBuffer, input.inPos, input.inBit);
        ASSERT_EQ(Peek16(input), BitsAt(bytes, bit, 16)) << "bit " << bit;
        ASSERT_EQ(Peek16(buffer), BitsAt(bytes, bit, 16)) << "bit " << bit;
        ConsumeBits(buffer, 13);
        ASSERT_EQ(Peek16(buffer), BitsAt(bytes, bit + 13, 16)) << "bit " << bit;
        ASSERT_EQ(buffer.BitPosition(), bit + 13);
    }
}

TEST(BitReader, ReadsAStreamLongerThanTheBufferAcrossRefills) {
    // The slide keeps the 32 bytes the reader has not finished.
    const std::string bytes = rarwriter::samples::Random(3 * kInBufferSize + 123, 4);
    PackedData data(bytes);
    RefillInput(input, true);
    input.inBit = 0;
    const unsigned widths[] = {1, 16, 7, 13, 3, 9, 15, 2};
    size_t bit = 0;
    for (size_t k = 0; bit + 16 <= 8 * bytes.size(); bit += widths[k++ % 8]) {
        if (input.inPos > 8162) RefillInput(input, false);
        ASSERT_EQ(ReadBits(input, widths[k % 8]), BitsAt(bytes, bit, widths[k % 8])) << "at bit " << bit;
    }
}

TEST(BitReader, RefillWithNothingLeftKeepsTheLastBytesAsData) {
    PackedData data(rarwriter::samples::Random(kInBufferSize, 5));
    RefillInput(input, true);
    input.inPos = 8170;
    RefillInput(input, false);
    EXPECT_EQ(input.inPos, 10u);
    EXPECT_EQ(input.inEnd, 10);     // as the trailing-table check sees it
    EXPECT_EQ(input.dataEnd, 32u);  // the 32 kept bytes
}
