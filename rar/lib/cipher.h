// CRC-32 and the RAR 2.0 file cipher: the two table-driven primitives of the
// library. The CRC table is also an ingredient of the cipher's key schedule.
#pragma once

#include <stddef.h>
#include <stdint.h>

namespace quorbenhal {

// CRC-32 remainders of the bytes 0-255 (reflected polynomial 0xEDB88320),
// computed at compile time: no state to build or share between threads.
extern const uint32_t (&crcTable)[256];

// The cipher's initial byte permutation, before the password changes it.
extern const uint8_t initialSubstitution[256];

// The key state K0-K3 and the password-derived byte permutation. Each
// encrypted entry starts from the state its password derives; the state then
// changes with every block.
struct CipherState {
    uint32_t keyWords[4];
    uint8_t substitutionTable[256];
};

// Runs the CRC over length bytes, starting from crc. No inversion is applied:
// callers start from 0xFFFFFFFF and complement the result.
uint32_t Crc32Update(uint32_t crc, const void *data, size_t length);

// Sets the key state from a zero-terminated password of at most 255 bytes.
void DeriveKeyState(CipherState &state, const char *password);

// Deciphers / enciphers 16 bytes in place; both advance the key state by
// folding in the ciphertext, so one stream of blocks must go through in order.
void DecipherBlock(CipherState &state, uint8_t block[16]);
void EncipherBlock(CipherState &state, uint8_t block[16]);

}  // namespace quorbenhal
