// CRC-32 and the RAR 2.0 file cipher, written for the archive writer: the
// writer computes header and file checks and enciphers packed data with them.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace rarwriter {

// Standard CRC-32 (reflected polynomial 0xEDB88320, start 0xFFFFFFFF,
// complemented result). `previous` continues an earlier result, so
// Crc32(b, Crc32(a)) == Crc32(a + b).
uint32_t Crc32(std::string_view bytes, uint32_t previous = 0);

// The low 16 bits of Crc32, as stored in block headers.
inline uint16_t HeaderCheck(std::string_view bytes) {
    return static_cast<uint16_t>(Crc32(bytes) & 0xFFFF);
}

// The 128-bit block cipher of RAR 2.0 archives. The key state advances with
// every block in either direction, so one object enciphers (or deciphers) one
// file's packed data as a single ordered stream of 16-byte blocks.
class Cipher20 {
public:
    explicit Cipher20(std::string_view password);

    void EncryptBlock(uint8_t block[16]);
    void DecryptBlock(uint8_t block[16]);

    // Enciphers `data` in place; its size must be a multiple of 16.
    void Encrypt(std::string &data);
    void Decrypt(std::string &data);

    const std::array<uint32_t, 4> &keys() const { return keys_; }
    const std::array<uint8_t, 256> &substitution() const { return subst_; }

private:
    uint32_t Substitute(uint32_t v) const;
    void Rounds(uint32_t u[4], bool reverse) const;
    void Mix(const uint8_t block[16]);

    std::array<uint32_t, 4> keys_;
    std::array<uint8_t, 256> subst_;
};

}  // namespace rarwriter
