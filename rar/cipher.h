// CRC-32 and the RAR 2.0 file cipher: the two table-driven primitives of the
// library. The CRC table is also an ingredient of the cipher's key schedule.
#pragma once

#include <stddef.h>
#include <stdint.h>

namespace quorbenhal {

// CRC-32 remainders of the bytes 0-255 (reflected polynomial 0xEDB88320).
extern uint32_t crcTable[256];

// The cipher's key state K0-K3 and its password-derived byte permutation.
extern uint32_t keyWords[4];
extern uint8_t substitutionTable[256];
extern const uint8_t initialSubstitution[256];

// Fills crcTable. Must run before any other operation of this file.
void BuildCrcTable();

// Runs the CRC over length bytes, starting from crc. No inversion is applied:
// callers start from 0xFFFFFFFF and complement the result.
uint32_t Crc32Update(uint32_t crc, const void *data, size_t length);

// Sets keyWords and substitutionTable from a zero-terminated password of at
// most 255 bytes.
void DeriveKeyState(const char *password);

// Deciphers / enciphers 16 bytes in place; both advance the key state by
// folding in the ciphertext, so one stream of blocks must go through in order.
void DecipherBlock(uint8_t block[16]);
void EncipherBlock(uint8_t block[16]);

// Folds 16 bytes into keyWords.
void MixKeyState(const uint8_t block[16]);

}  // namespace quorbenhal
