// Known answers from the format's definition, not from the library: CRC-32
// against its bit-by-bit definition, the cipher against the writer's own
// implementation (its permutation typed in separately), small decode tables,
// and the first steps of the multimedia predictor.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>

#include "audio.h"
#include "cipher.h"
#include "huffman.h"
#include "rar_writer.h"

using namespace quorbenhal;

namespace {

// CRC-32 of the reflected polynomial, one bit at a time, no table.
uint32_t BitwiseCrc(uint32_t crc, const uint8_t *p, size_t n) {
    while (n--) {
        crc ^= *p++;
        for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1)));
    }
    return crc;
}

}  // namespace

TEST(KnownAnswer, Crc32) {
    EXPECT_EQ(~Crc32Update(0xFFFFFFFFu, "123456789", 9), 0xCBF43926u);
    EXPECT_EQ(Crc32Update(0x12345678u, "", 0), 0x12345678u);
    // Every length up to 300 at every alignment, and a long run: the table
    // loop, the 8-byte steps and the folding path with their tails.
    std::mt19937 rng(5);
    std::string data(300000, '\0');
    for (char &c : data) c = char(rng());
    const auto *p = reinterpret_cast<const uint8_t *>(data.data());
    for (size_t offset = 0; offset < 16; ++offset) {
        for (size_t n = 0; n <= 300; ++n) {
            ASSERT_EQ(Crc32Update(~uint32_t(n), p + offset, n), BitwiseCrc(~uint32_t(n), p + offset, n)) << offset << " " << n;
        }
    }
    EXPECT_EQ(Crc32Update(1, p + 3, data.size() - 3), BitwiseCrc(1, p + 3, data.size() - 3));
}

// The writer enciphers with its own code; the library must decipher it, and
// encipher the same bytes, from the key its password derives.
TEST(KnownAnswer, CipherAgainstAnIndependentImplementation) {
    for (const std::string &password : {std::string(), std::string("p"), std::string("seventeen bytes!!"), std::string(255, 'z')}) {
        SCOPED_TRACE(password.size());
        std::string plain(96, '\0');
        for (size_t i = 0; i < plain.size(); ++i) plain[i] = char(i * 37 + password.size());
        std::string cipher = plain;
        rarwriter::Encipher(cipher, password);
        CipherState decipher, encipher;
        DeriveKeyState(decipher, password.c_str());
        encipher = decipher;
        for (size_t at = 0; at < plain.size(); at += 16) {
            uint8_t block[16], mine[16];
            memcpy(block, cipher.data() + at, 16);
            memcpy(mine, plain.data() + at, 16);
            DecipherBlock(decipher, block);
            EncipherBlock(encipher, mine);
            EXPECT_EQ(std::string(reinterpret_cast<char *>(block), 16), plain.substr(at, 16));
            EXPECT_EQ(std::string(reinterpret_cast<char *>(mine), 16), cipher.substr(at, 16));
        }
    }
}

TEST(KnownAnswer, SmallDecodeTables) {
    struct Case {
        std::vector<uint8_t> lengths;
        std::vector<std::pair<std::string, uint32_t>> codes;  // bits, symbol
    };
    std::vector<Case> cases = {
        {{1, 1}, {{"0", 0}, {"1", 1}}},
        {{2, 1, 2}, {{"0", 1}, {"10", 0}, {"11", 2}}},
        {{0, 3, 3, 0, 2, 2, 3}, {{"00", 4}, {"01", 5}, {"100", 1}, {"101", 2}, {"110", 6}}},
    };
    // Lengths 1, 2, ..., 14, 15, 15: codes 0, 10, 110, ... past the one-step lookup.
    Case deep;
    for (uint8_t l = 1; l <= 15; ++l) deep.lengths.push_back(l);
    deep.lengths.push_back(15);
    for (uint32_t s = 0; s < 16; ++s) deep.codes.push_back({std::string(s < 15 ? s : 14, '1') + (s < 15 ? "0" : "1"), s});
    deep.codes.back().first = std::string(15, '1');
    cases.push_back(deep);
    for (const Case &c : cases) {
        DecodeTable table{};
        BuildDecodeTable(c.lengths.data(), table, uint32_t(c.lengths.size()));
        for (const auto &[bits, symbol] : c.codes) {
            InputState in{};
            for (size_t i = 0; i < bits.size(); ++i) in.inBuffer[i / 8] |= uint8_t((bits[i] - '0') << (7 - i % 8));
            EXPECT_EQ(DecodeSymbol(in, table), symbol) << bits;
            EXPECT_EQ(in.inPos * 8 + in.inBit, bits.size()) << bits;
        }
    }
}

// The error sums by eight and by sixteen samples per instruction equal the
// sums one sample at a time, for records at the extremes (terms up to 1279,
// sums above 32,767 that need all 16 bits) and random ones.
TEST(KnownAnswer, ErrorSumsInEveryFormAgree) {
    std::mt19937 rng(11);
    for (int round = 0; round < 200; ++round) {
        AudioChannelState ch{};
        for (uint32_t i = 0; i < kAdaptPeriod + 3; ++i) {
            const int32_t delta = round == 0 ? (i % 2 ? 127 : -128) : round == 1 ? -128 : int32_t(rng() % 256) - 128;
            ch.delta[i] = int16_t(delta);
            if (i < kAdaptPeriod) {
                ch.error[i] = int16_t(round < 2 ? -1024 : int8_t(rng()) * 8);
                ch.cross[i] = int16_t(round < 2 ? 127 : int32_t(rng() % 256) - 128);
            }
        }
        uint32_t plain[11], used[11];
        ErrorSumsPlain(ch, plain);
        ErrorSums(ch, used);
        EXPECT_EQ(std::vector<uint32_t>(used, used + 11), std::vector<uint32_t>(plain, plain + 11)) << round;
#if defined(__SSE2__)
        uint32_t narrow[11];
        ErrorSumsNarrow(ch, narrow);
        EXPECT_EQ(std::vector<uint32_t>(narrow, narrow + 11), std::vector<uint32_t>(plain, plain + 11)) << round;
#endif
    }
}

// From a fresh record: a symbol s gives (0 - s) & 0xFF, and with all weights
// 0 the next byte is predicted as the byte before it.
TEST(KnownAnswer, PredictorSteps) {
    AudioChannelState ch{};
    int32_t cross = 0;
    EXPECT_EQ(DecodeAudioByte(ch, cross, 0), 0);
    EXPECT_EQ(DecodeAudioByte(ch, cross, 1), 255);
    EXPECT_EQ(cross, -1);
    EXPECT_EQ(DecodeAudioByte(ch, cross, 5), 250);
    EXPECT_EQ(cross, -5);
    // 32 symbols 1 (e = 8): bytes 255, 254, ..., 224, deltas -1. The error
    // sums come out as |e| 256; t1 287 / 225; t2 257 / 255; t3 and t4 257 /
    // 255; cross delta 287 / 225. Sums 2 and 10 tie at 225: the lower index
    // wins, and w1 goes up by one. The 33rd byte: (8 x 224 + 1 x -1) >> 3 =
    // 223, minus the symbol 1.
    AudioChannelState fresh{};
    cross = 0;
    for (int i = 0; i < 32; ++i) ASSERT_EQ(DecodeAudioByte(fresh, cross, 1), 255 - i);
    EXPECT_EQ(std::vector<int32_t>(fresh.weights, fresh.weights + 5), (std::vector<int32_t>{1, 0, 0, 0, 0}));
    EXPECT_EQ(DecodeAudioByte(fresh, cross, 1), 222);
}
