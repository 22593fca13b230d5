// CRC-32 and the file cipher.
#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>

#include "cipher.h"
#include "rar_writer.h"
#include "sample_content.h"

using namespace quorbenhal;

TEST(Crc32, CheckValueAndZlibAtEveryLengthAndAlignment) {
    BuildCrcTable();
    EXPECT_EQ(~Crc32Update(0xFFFFFFFFu, "123456789", 9), 0xCBF43926u);
    const std::string data = rarwriter::samples::Random(300, 7);
    for (size_t offset = 0; offset < 8; ++offset) {
        for (size_t length = 0; length + offset <= data.size(); length += 1 + length / 7) {
            const uLong expected = crc32(0, reinterpret_cast<const Bytef *>(data.data() + offset), uInt(length));
            ASSERT_EQ(~Crc32Update(0xFFFFFFFFu, data.data() + offset, length), expected) << offset << "+" << length;
        }
    }
}

// The writer's cipher is written apart from the library's: the same
// ciphertext from both pins the key schedule, the rounds and the key mixing
// (deciphering is checked by every encrypted round trip).
TEST(Cipher, EnciphersLikeTheWriterForEveryPasswordLength) {
    BuildCrcTable();
    for (size_t length : {0, 1, 2, 15, 16, 17, 100, 255}) {
        std::string password = rarwriter::samples::Random(length, unsigned(length));
        std::replace(password.begin(), password.end(), '\0', 'z');  // the library takes C strings
        const std::string plain = rarwriter::samples::Random(64, 1);
        std::string expected = plain, ours = plain;
        rarwriter::Encipher(expected, password);
        DeriveKeyState(password.c_str());
        for (size_t i = 0; i < 64; i += 16) EncipherBlock(reinterpret_cast<uint8_t *>(&ours[i]));
        EXPECT_EQ(ours, expected) << "password of " << length << " bytes";
    }
}
