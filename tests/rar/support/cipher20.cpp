#include "cipher20.h"

#include <cstring>
#include <stdexcept>

namespace rarwriter {
namespace {

struct CrcTable {
    uint32_t entry[256];
    CrcTable() {
        for (uint32_t n = 0; n < 256; ++n) {
            uint32_t x = n;
            for (int k = 0; k < 8; ++k) x = (x & 1) ? (x >> 1) ^ 0xEDB88320u : x >> 1;
            entry[n] = x;
        }
    }
};

const CrcTable &Table() {
    static const CrcTable table;
    return table;
}

// The permutation every password's substitution table starts from.
constexpr uint8_t kInitialSubstitution[256] = {
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

constexpr uint32_t kStartKeys[4] = {0xD3A3B879u, 0x3F6D12F7u, 0x7515A235u, 0xA4E7F123u};

uint32_t Rotl(uint32_t v, int n) { return (v << n) | (v >> (32 - n)); }

uint32_t LoadLe(const uint8_t *p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

void StoreLe(uint8_t *p, uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

}  // namespace

uint32_t Crc32(std::string_view bytes, uint32_t previous) {
    const CrcTable &t = Table();
    uint32_t crc = ~previous;
    for (unsigned char b : bytes) crc = t.entry[(crc ^ b) & 0xFF] ^ (crc >> 8);
    return ~crc;
}

Cipher20::Cipher20(std::string_view password) {
    const CrcTable &t = Table();
    for (int i = 0; i < 4; ++i) keys_[i] = kStartKeys[i];
    std::memcpy(subst_.data(), kInitialSubstitution, 256);
    if (password.size() > 255) throw std::invalid_argument("password longer than 255 bytes");

    // The password plus its terminating zero and zero padding: odd lengths
    // pair their last byte with the terminator, and enciphering takes whole
    // 16-byte blocks.
    uint8_t work[256 + 16] = {};
    std::memcpy(work, password.data(), password.size());
    const size_t length = password.size();

    for (unsigned j = 0; j < 256; ++j) {
        for (size_t i = 0; i < length; i += 2) {
            unsigned m = t.entry[(work[i] - j) & 0xFF] & 0xFF;
            const unsigned target = t.entry[(work[i + 1] + j) & 0xFF] & 0xFF;
            for (unsigned s = 1; m != target; ++s) {
                std::swap(subst_[m], subst_[(m + i + s) & 0xFF]);
                m = (m + 1) & 0xFF;
            }
        }
    }
    // Only the key state these blocks leave behind matters.
    for (size_t i = 0; i < length; i += 16) EncryptBlock(work + i);
}

uint32_t Cipher20::Substitute(uint32_t v) const {
    return uint32_t(subst_[v & 0xFF]) | uint32_t(subst_[(v >> 8) & 0xFF]) << 8 |
           uint32_t(subst_[(v >> 16) & 0xFF]) << 16 | uint32_t(subst_[v >> 24]) << 24;
}

void Cipher20::Rounds(uint32_t u[4], bool reverse) const {
    for (int n = 0; n < 32; ++n) {
        const int r = reverse ? 31 - n : n;
        const uint32_t k = keys_[r & 3];
        const uint32_t newU2 = u[0] ^ Substitute((u[2] + Rotl(u[3], 11)) ^ k);
        const uint32_t newU3 = u[1] ^ Substitute((u[3] ^ Rotl(u[2], 17)) + k);
        u[0] = u[2];
        u[1] = u[3];
        u[2] = newU2;
        u[3] = newU3;
    }
}

void Cipher20::Mix(const uint8_t block[16]) {
    const CrcTable &t = Table();
    for (int i = 0; i < 16; i += 4)
        for (int w = 0; w < 4; ++w) keys_[w] ^= t.entry[block[i + w]];
}

void Cipher20::EncryptBlock(uint8_t block[16]) {
    uint32_t u[4];
    for (int i = 0; i < 4; ++i) u[i] = LoadLe(block + 4 * i) ^ keys_[i];
    Rounds(u, false);
    StoreLe(block + 0, u[2] ^ keys_[0]);
    StoreLe(block + 4, u[3] ^ keys_[1]);
    StoreLe(block + 8, u[0] ^ keys_[2]);
    StoreLe(block + 12, u[1] ^ keys_[3]);
    Mix(block);
}

void Cipher20::DecryptBlock(uint8_t block[16]) {
    uint8_t cipherText[16];
    std::memcpy(cipherText, block, 16);
    uint32_t u[4];
    for (int i = 0; i < 4; ++i) u[i] = LoadLe(block + 4 * i) ^ keys_[i];
    Rounds(u, true);
    StoreLe(block + 0, u[2] ^ keys_[0]);
    StoreLe(block + 4, u[3] ^ keys_[1]);
    StoreLe(block + 8, u[0] ^ keys_[2]);
    StoreLe(block + 12, u[1] ^ keys_[3]);
    Mix(cipherText);
}

void Cipher20::Encrypt(std::string &data) {
    if (data.size() % 16 != 0) throw std::invalid_argument("cipher input not a multiple of 16 bytes");
    for (size_t i = 0; i < data.size(); i += 16) EncryptBlock(reinterpret_cast<uint8_t *>(data.data() + i));
}

void Cipher20::Decrypt(std::string &data) {
    if (data.size() % 16 != 0) throw std::invalid_argument("cipher input not a multiple of 16 bytes");
    for (size_t i = 0; i < data.size(); i += 16) DecryptBlock(reinterpret_cast<uint8_t *>(data.data() + i));
}

}  // namespace rarwriter
