// CRC-32 and the file cipher.
#include <gtest/gtest.h>
#include <zlib.h>

#include <cstring>
#include <random>
#include <string>

#include "cipher.h"
#include "rar_test_util.h"

using namespace quorbenhal;

namespace {

const uint32_t kStartWords[4] = {0xD3A3B879u, 0x3F6D12F7u, 0x7515A235u, 0xA4E7F123u};

std::string RandomBytes(std::mt19937 &rng, size_t n) {
    std::string s(n, '\0');
    for (auto &c : s) c = static_cast<char>(rng());
    return s;
}

}  // namespace

TEST(Crc32, StandardCheckValueOverTheNineDigits) {
    BuildCrcTable();
    EXPECT_EQ(~Crc32Update(0xFFFFFFFFu, "123456789", 9), 0xCBF43926u);
}

TEST(Crc32, ZeroBytesReturnTheStartingValue) {
    BuildCrcTable();
    EXPECT_EQ(Crc32Update(0x12345678u, "", 0), 0x12345678u);
}

TEST(Crc32, TableIsTheReflectedIeeePolynomialTable) {
    BuildCrcTable();
    const z_crc_t *reference = get_crc_table();
    for (int n = 0; n < 256; ++n) ASSERT_EQ(crcTable[n], reference[n]) << "entry " << n;
}

TEST(Crc32, AgreesWithZlibAtEveryLengthAndAlignment) {
    // The eight-bytes-at-a-time path and the byte tail must give the same
    // CRC as a plain byte loop for every length and starting offset.
    BuildCrcTable();
    std::mt19937 rng(7);
    std::string data = RandomBytes(rng, 300);
    for (size_t offset = 0; offset < 8; ++offset) {
        for (size_t length = 0; length + offset <= data.size(); length += 1 + length / 7) {
            std::string piece = data.substr(offset, length);
            ASSERT_EQ(~Crc32Update(0xFFFFFFFFu, data.data() + offset, length), rartest::ZlibCrc(piece))
                << "offset " << offset << " length " << length;
        }
    }
}

TEST(Cipher, EmptyPasswordLeavesTheStartingState) {
    BuildCrcTable();
    DeriveKeyState("");
    EXPECT_EQ(0, memcmp(substitutionTable, initialSubstitution, 256));
    for (int i = 0; i < 4; ++i) EXPECT_EQ(keyWords[i], kStartWords[i]);
}

TEST(Cipher, DerivedSubstitutionStaysAPermutation) {
    BuildCrcTable();
    DeriveKeyState("a rather long password with 45 characters ..");
    bool seen[256] = {};
    for (int i = 0; i < 256; ++i) {
        EXPECT_FALSE(seen[substitutionTable[i]]);
        seen[substitutionTable[i]] = true;
    }
    EXPECT_NE(0, memcmp(substitutionTable, initialSubstitution, 256));
}

// The key schedule ends by enciphering the zero-padded password block by
// block from the starting words; the key state left is what counts. Replaying
// those blocks by hand with the derived table must land on the same state.
void ExpectKeyScheduleEnciphers(const std::string &password, size_t blocks) {
    BuildCrcTable();
    DeriveKeyState(password.c_str());
    uint32_t derived[4];
    memcpy(derived, keyWords, sizeof derived);

    memcpy(keyWords, kStartWords, sizeof keyWords);
    std::string padded = password;
    padded.resize(blocks * 16, '\0');
    for (size_t b = 0; b < blocks; ++b) EncipherBlock(reinterpret_cast<uint8_t *>(&padded[16 * b]));
    for (int i = 0; i < 4; ++i) EXPECT_EQ(keyWords[i], derived[i]) << "password of " << password.size();
}

TEST(Cipher, OneBytePasswordEnciphersOneZeroPaddedBlock) { ExpectKeyScheduleEnciphers("x", 1); }
TEST(Cipher, SixteenBytePasswordEnciphersOneBlock) { ExpectKeyScheduleEnciphers("0123456789abcdef", 1); }
TEST(Cipher, SeventeenBytePasswordEnciphersTwoBlocks) { ExpectKeyScheduleEnciphers("0123456789abcdefg", 2); }
TEST(Cipher, LongestPasswordEnciphersSixteenBlocks) { ExpectKeyScheduleEnciphers(std::string(255, 'p'), 16); }

TEST(Cipher, DecipherUndoesEncipherAndLeavesTheSameKeyState) {
    BuildCrcTable();
    std::mt19937 rng(3);
    for (int round = 0; round < 20; ++round) {
        DeriveKeyState(("pw" + std::to_string(round)).c_str());
        uint32_t start[4];
        memcpy(start, keyWords, sizeof start);
        std::string plain = RandomBytes(rng, 16);
        std::string block = plain;
        EncipherBlock(reinterpret_cast<uint8_t *>(&block[0]));
        ASSERT_NE(block, plain);
        uint32_t afterEncipher[4];
        memcpy(afterEncipher, keyWords, sizeof afterEncipher);

        memcpy(keyWords, start, sizeof keyWords);
        DecipherBlock(reinterpret_cast<uint8_t *>(&block[0]));
        EXPECT_EQ(block, plain);
        EXPECT_EQ(0, memcmp(keyWords, afterEncipher, sizeof afterEncipher));
    }
}

TEST(Cipher, StreamOfBlocksRoundTripsOnlyInOrder) {
    // Each block changes the key state, so a stream deciphers correctly only
    // block after block from the same derived state.
    BuildCrcTable();
    std::mt19937 rng(5);
    std::string plain = RandomBytes(rng, 64);
    std::string cipher = rartest::Encipher(plain, "secret");
    DeriveKeyState("secret");
    std::string out = cipher;
    for (size_t i = 0; i < out.size(); i += 16) DecipherBlock(reinterpret_cast<uint8_t *>(&out[i]));
    EXPECT_EQ(out, plain);

    DeriveKeyState("secret");
    std::string skipped = cipher.substr(16, 16);
    DecipherBlock(reinterpret_cast<uint8_t *>(&skipped[0]));
    EXPECT_NE(skipped, plain.substr(16, 16));
}

TEST(Cipher, KeyMixingFoldsCrcTableEntriesOfTheCiphertext) {
    BuildCrcTable();
    const z_crc_t *t = get_crc_table();
    DeriveKeyState("mix");
    uint32_t before[4];
    memcpy(before, keyWords, sizeof before);
    uint8_t block[16];
    for (int i = 0; i < 16; ++i) block[i] = static_cast<uint8_t>(17 * i + 3);
    uint8_t ciphertext[16];
    memcpy(ciphertext, block, 16);
    DecipherBlock(block);
    for (int k = 0; k < 4; ++k) {
        uint32_t expected = before[k] ^ t[ciphertext[k]] ^ t[ciphertext[4 + k]] ^ t[ciphertext[8 + k]] ^
                            t[ciphertext[12 + k]];
        EXPECT_EQ(keyWords[k], expected) << "K" << k;
    }
}
