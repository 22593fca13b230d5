// CRC-32 and the RAR 2.0 file cipher: a 128-bit block cipher of 32 rounds
// whose key state changes with every block, so that a file's packed data is
// one ordered stream of 16-byte blocks.
#include "cipher.h"

#include <string.h>

#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#endif

namespace quorbenhal {

const uint8_t initialSubstitution[256] = {
    0xD7, 0x13, 0x95, 0x23, 0x49, 0xC5, 0xC0, 0xCD, 0xF9, 0x1C, 0x10, 0x77, 0x30, 0xDD, 0x02, 0x2A,
    0xE8, 0x01, 0xB1, 0xE9, 0x0E, 0x58, 0xDB, 0x19, 0xDF, 0xC3, 0xF4, 0x5A, 0x57, 0xEF, 0x99, 0x89,
    0xFF, 0xC7, 0x93, 0x46, 0x5C, 0x42, 0xF6, 0x0D, 0xD8, 0x28, 0x3E, 0x1D, 0xD9, 0xE6, 0x56, 0x06,
    0x47, 0x18, 0xAB, 0xC4, 0x65, 0x71, 0xDA, 0x7B, 0x5D, 0x5B, 0xA3, 0xB2, 0xCA, 0x43, 0x2C, 0xEB,
    0x6B, 0xFA, 0x4B, 0xEA, 0x31, 0xA7, 0x7D, 0xD3, 0x53, 0x72, 0x9D, 0x90, 0x20, 0xC1, 0x8F, 0x24,
    0x9E, 0x7C, 0xF7, 0xBB, 0x59, 0xD6, 0x8D, 0x2F, 0x79, 0xE4, 0x3D, 0x82, 0xD5, 0xC2, 0xAE, 0xFB,
    0x61, 0x6E, 0x36, 0xE5, 0x73, 0x39, 0x98, 0x5E, 0x69, 0xF3, 0xD4, 0x37, 0xD1, 0xF5, 0x3F, 0x0B,
    0xA4, 0xC8, 0x1F, 0x9C, 0x51, 0xB0, 0xE3, 0x15, 0x4C, 0x63, 0x8B, 0xBC, 0x7F, 0x11, 0xF8, 0x33,
    0xCF, 0x78, 0xBD, 0xD2, 0x08, 0xE2, 0x29, 0x48, 0xB7, 0xCB, 0x87, 0xA5, 0xA6, 0x3C, 0x62, 0x07,
    0x7A, 0x26, 0x9B, 0xAA, 0x45, 0xAC, 0xFC, 0xEE, 0x27, 0x86, 0x3B, 0x80, 0xEC, 0x1B, 0xF0, 0x50,
    0x83, 0x03, 0x55, 0xCE, 0x91, 0x4F, 0x9A, 0x8E, 0x9F, 0xDC, 0xC9, 0x85, 0x4A, 0x40, 0x14, 0x81,
    0xE0, 0xB9, 0x8A, 0x67, 0xAD, 0xB6, 0x2B, 0x22, 0xFE, 0x52, 0xC6, 0x97, 0xE7, 0xB4, 0x3A, 0x0A,
    0x76, 0x1A, 0x66, 0x0C, 0x32, 0x84, 0x16, 0xBF, 0x88, 0x6F, 0xA2, 0xB3, 0x2D, 0x04, 0x94, 0x6C,
    0xA1, 0x38, 0x4E, 0x7E, 0xF2, 0xDE, 0x0F, 0xAF, 0x92, 0x17, 0x21, 0xF1, 0xB5, 0xBE, 0x4D, 0xE1,
    0x00, 0x2E, 0xA9, 0xBA, 0x44, 0x5F, 0xED, 0x41, 0x35, 0xD0, 0xFD, 0xA8, 0x09, 0x12, 0x64, 0x34,
    0x74, 0xB8, 0xA0, 0x60, 0x6D, 0x25, 0x1E, 0x6A, 0x8C, 0x68, 0x96, 0x05, 0xCC, 0x75, 0x70, 0x54,
};

namespace {

// Seven more tables let the CRC take eight bytes per step ("slicing by 8").
// slicedCrc[k][n] is the CRC of byte n followed by k zero bytes; the result is
// the same as the byte-at-a-time loop, several times faster on large outputs.
struct CrcTables {
    uint32_t sliced[8][256];
};

constexpr CrcTables MakeCrcTables() {
    CrcTables t{};
    for (uint32_t n = 0; n < 256; ++n) {
        uint32_t x = n;
        for (int k = 0; k < 8; ++k) x = (x & 1) ? (x >> 1) ^ 0xEDB88320u : x >> 1;
        t.sliced[0][n] = x;
    }
    for (uint32_t n = 0; n < 256; ++n) {
        uint32_t x = t.sliced[0][n];
        for (int k = 1; k < 8; ++k) {
            x = t.sliced[0][x & 0xFF] ^ (x >> 8);
            t.sliced[k][n] = x;
        }
    }
    return t;
}

constexpr CrcTables kCrc = MakeCrcTables();
constexpr const uint32_t (&slicedCrc)[8][256] = kCrc.sliced;

}  // namespace

const uint32_t (&crcTable)[256] = kCrc.sliced[0];

namespace {

uint32_t LoadLE32(const uint8_t *p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
           static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

void StoreLE32(uint8_t *p, uint32_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
    p[2] = static_cast<uint8_t>(v >> 16);
    p[3] = static_cast<uint8_t>(v >> 24);
}

uint32_t RotateLeft(uint32_t v, unsigned n) { return (v << n) | (v >> (32 - n)); }

uint32_t SubstituteWord(const uint8_t *substitutionTable, uint32_t v) {
    return static_cast<uint32_t>(substitutionTable[v & 0xFF]) |
           static_cast<uint32_t>(substitutionTable[(v >> 8) & 0xFF]) << 8 |
           static_cast<uint32_t>(substitutionTable[(v >> 16) & 0xFF]) << 16 |
           static_cast<uint32_t>(substitutionTable[v >> 24]) << 24;
}

// One round on (u0, u1, u2, u3) with key word k.
inline void Round(const uint8_t *table, uint32_t u[4], uint32_t k) {
    uint32_t newU2 = u[0] ^ SubstituteWord(table, (u[2] + RotateLeft(u[3], 11)) ^ k);
    uint32_t newU3 = u[1] ^ SubstituteWord(table, (u[3] ^ RotateLeft(u[2], 17)) + k);
    u[0] = u[2];
    u[1] = u[3];
    u[2] = newU2;
    u[3] = newU3;
}

// Whitening, the 32 rounds (backwards to decipher) and the final swap of
// the halves, which makes the rounds run backwards undo the rounds run forwards.
void CryptBlock(const CipherState &state, uint8_t block[16], bool encipher) {
    const uint32_t *keyWords = state.keyWords;
    const uint8_t *table = state.substitutionTable;
    uint32_t u[4];
    for (int i = 0; i < 4; ++i) u[i] = LoadLE32(block + 4 * i) ^ keyWords[i];
    if (encipher) {
        for (int r = 0; r < 32; ++r) Round(table, u, keyWords[r & 3]);
    } else {
        for (int r = 31; r >= 0; --r) Round(table, u, keyWords[r & 3]);
    }
    StoreLE32(block + 0, u[2] ^ keyWords[0]);
    StoreLE32(block + 4, u[3] ^ keyWords[1]);
    StoreLE32(block + 8, u[0] ^ keyWords[2]);
    StoreLE32(block + 12, u[1] ^ keyWords[3]);
}

}  // namespace

#if defined(__x86_64__) && defined(__GNUC__)
#define QUORBENHAL_CRC_CLMUL 1
// CRC-32 by carry-less multiplication: the data is folded 64 bytes at a time
// into four 128-bit remainders (multiplying by x^(512+-32) and x^(512+32)
// modulo the polynomial, the constants below), then into one, then reduced to
// 32 bits with a Barrett reduction. It gives what the table loop gives, an
// order of magnitude faster, on processors with PCLMULQDQ and SSE4.1 (tested
// for at run time). length: a multiple of 16, at least 64.
#define QUORBENHAL_CLMUL_TARGET __attribute__((target("pclmul,sse4.1")))
QUORBENHAL_CLMUL_TARGET inline __m128i Load128(const uint8_t *at) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i *>(at));
}
// x times the two halves of k (modulo the polynomial), added to next.
QUORBENHAL_CLMUL_TARGET inline __m128i Fold(__m128i x, __m128i k, __m128i next) {
    return _mm_xor_si128(_mm_xor_si128(_mm_clmulepi64_si128(x, k, 0x11), _mm_clmulepi64_si128(x, k, 0x00)), next);
}

QUORBENHAL_CLMUL_TARGET uint32_t Crc32Folded(uint32_t crc, const uint8_t *p, size_t length) {
    const __m128i foldBy4 = _mm_set_epi64x(0x01c6e41596, 0x0154442bd4);
    const __m128i foldBy1 = _mm_set_epi64x(0x00ccaa009e, 0x01751997d0);
    const __m128i fold64 = _mm_set_epi64x(0, 0x0163cd6124);
    const __m128i barrett = _mm_set_epi64x(0x01f7011641, 0x01db710641);
    const __m128i low32 = _mm_setr_epi32(~0, 0, ~0, 0);

    __m128i x1 = _mm_xor_si128(Load128(p), _mm_cvtsi32_si128(static_cast<int>(crc)));
    __m128i x2 = Load128(p + 16), x3 = Load128(p + 32), x4 = Load128(p + 48);
    p += 64;
    length -= 64;
    for (; length >= 64; p += 64, length -= 64) {
        x1 = Fold(x1, foldBy4, Load128(p));
        x2 = Fold(x2, foldBy4, Load128(p + 16));
        x3 = Fold(x3, foldBy4, Load128(p + 32));
        x4 = Fold(x4, foldBy4, Load128(p + 48));
    }
    x1 = Fold(x1, foldBy1, x2);
    x1 = Fold(x1, foldBy1, x3);
    x1 = Fold(x1, foldBy1, x4);
    for (; length >= 16; p += 16, length -= 16) x1 = Fold(x1, foldBy1, Load128(p));

    // 128 bits to 64, then the Barrett reduction to 32.
    __m128i x2b = _mm_clmulepi64_si128(x1, foldBy1, 0x10);
    x1 = _mm_xor_si128(_mm_srli_si128(x1, 8), x2b);
    x2b = _mm_srli_si128(x1, 4);
    x1 = _mm_xor_si128(_mm_clmulepi64_si128(_mm_and_si128(x1, low32), fold64, 0x00), x2b);
    __m128i t = _mm_clmulepi64_si128(_mm_and_si128(x1, low32), barrett, 0x10);
    t = _mm_clmulepi64_si128(_mm_and_si128(t, low32), barrett, 0x00);
    return static_cast<uint32_t>(_mm_extract_epi32(_mm_xor_si128(x1, t), 1));
}
#endif

uint32_t Crc32Update(uint32_t crc, const void *data, size_t length) {
    const uint8_t *p = static_cast<const uint8_t *>(data);
#ifdef QUORBENHAL_CRC_CLMUL
    if (length >= 64 && __builtin_cpu_supports("pclmul") && __builtin_cpu_supports("sse4.1")) {
        size_t whole = length & ~static_cast<size_t>(15);
        crc = Crc32Folded(crc, p, whole);
        p += whole;
        length -= whole;
    }
#endif
    while (length >= 8) {
        uint32_t lo = LoadLE32(p) ^ crc;
        uint32_t hi = LoadLE32(p + 4);
        crc = slicedCrc[7][lo & 0xFF] ^ slicedCrc[6][(lo >> 8) & 0xFF] ^
              slicedCrc[5][(lo >> 16) & 0xFF] ^ slicedCrc[4][lo >> 24] ^
              slicedCrc[3][hi & 0xFF] ^ slicedCrc[2][(hi >> 8) & 0xFF] ^
              slicedCrc[1][(hi >> 16) & 0xFF] ^ slicedCrc[0][hi >> 24];
        p += 8;
        length -= 8;
    }
    while (length-- > 0) crc = slicedCrc[0][(crc ^ *p++) & 0xFF] ^ (crc >> 8);
    return crc;
}

// Folds 16 bytes of ciphertext into the key words.
void MixKeyState(CipherState &state, const uint8_t block[16]) {
    uint32_t *keyWords = state.keyWords;
    for (int i = 0; i < 16; i += 4) {
        keyWords[0] ^= crcTable[block[i]];
        keyWords[1] ^= crcTable[block[i + 1]];
        keyWords[2] ^= crcTable[block[i + 2]];
        keyWords[3] ^= crcTable[block[i + 3]];
    }
}

void EncipherBlock(CipherState &state, uint8_t block[16]) {
    CryptBlock(state, block, true);
    MixKeyState(state, block);
}

void DecipherBlock(CipherState &state, uint8_t block[16]) {
    uint8_t ciphertext[16];
    memcpy(ciphertext, block, sizeof ciphertext);
    CryptBlock(state, block, false);
    MixKeyState(state, ciphertext);
}

void DeriveKeyState(CipherState &state, const char *password) {
    uint32_t *keyWords = state.keyWords;
    uint8_t *substitutionTable = state.substitutionTable;
    keyWords[0] = 0xD3A3B879u;
    keyWords[1] = 0x3F6D12F7u;
    keyWords[2] = 0x7515A235u;
    keyWords[3] = 0xA4E7F123u;

    // The password with its terminator and zero padding: an odd-length
    // password pairs its last byte with the zero, and the last block of the
    // key schedule is padded with zeros.
    uint8_t w[256];
    memset(w, 0, sizeof w);
    size_t length = password != nullptr ? strnlen(password, 255) : 0;
    memcpy(w, password, length);

    memcpy(substitutionTable, initialSubstitution, sizeof initialSubstitution);
    for (unsigned j = 0; j < 256; ++j) {
        for (size_t i = 0; i < length; i += 2) {
            unsigned m = crcTable[(w[i] - j) & 0xFF] & 0xFF;
            unsigned t = crcTable[(w[i + 1] + j) & 0xFF] & 0xFF;
            for (unsigned s = 1; m != t; ++s) {
                unsigned other = (m + i + s) & 0xFF;
                uint8_t swap = substitutionTable[m];
                substitutionTable[m] = substitutionTable[other];
                substitutionTable[other] = swap;
                m = (m + 1) & 0xFF;
            }
        }
    }
    for (size_t i = 0; i < length; i += 16) EncipherBlock(state, w + i);
}

}  // namespace quorbenhal
