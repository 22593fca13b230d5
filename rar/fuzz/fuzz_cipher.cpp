// Fuzz target for the cipher: the input is a password (up to the first zero
// byte, at most 16 bytes: the key schedule costs per byte) and data. Enciphering and deciphering must undo
// each other and leave the same key state; the data as a stored encrypted
// entry must extract (with a CRC error or not) the same way straight into a
// buffer and in pieces, in a solid pair of entries too.
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    size_t length = 0;
    while (length < size && length < 16 && data[length] != 0) ++length;
    char password[17];
    memcpy(password, data, length);
    password[length] = '\0';
    const uint8_t *rest = data + (length < size ? length + 1 : size);
    size_t restSize = size - (rest - data);

    quorbenhal::CipherState start, encipher, decipher;
    quorbenhal::DeriveKeyState(start, password);
    encipher = decipher = start;
    for (size_t at = 0; at + 16 <= restSize && at < 256; at += 16) {
        uint8_t block[16];
        memcpy(block, rest + at, 16);
        quorbenhal::EncipherBlock(encipher, block);
        quorbenhal::DecipherBlock(decipher, block);
        FUZZ_CHECK(memcmp(block, rest + at, 16) == 0);
        FUZZ_CHECK(memcmp(&encipher, &decipher, sizeof encipher) == 0);
    }

    // The stored size need not be a multiple of 16: the last block is partial.
    uint32_t stored = static_cast<uint32_t>(restSize) - (restSize > 0 ? rest[0] % 16 : 0);
    fuzz::RawEntry entries[2] = {
        {rest, restSize, stored, 0, 0x04, 0x30},
        {rest, restSize, stored, 0, 0x14, 0x30},
    };
    fuzz::Bytes archive;
    fuzz::BuildArchive(archive, entries, 2, true);
    fuzz::ExtractBothWays(archive.data, archive.size, length > 0 ? password : nullptr);
    return 0;
}
