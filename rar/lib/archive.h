// The archive reader: the start check, block headers, the walk from block to
// block, entry names and their comparison. The archive is read through its
// source with seeks; only the current header is kept.
#pragma once

#include <stdint.h>

#include "quorbenhal.h"

namespace quorbenhal {

constexpr uint8_t kMainHeaderType = 0x73;
constexpr uint8_t kFileHeaderType = 0x74;
constexpr uint8_t kSubBlockType = 0x77;

constexpr uint16_t kBlockHasData = 0x8000;      // a 32-bit data size follows the 7 common bytes
constexpr uint16_t kMainSolid = 0x0008;
constexpr uint16_t kFileSplitBefore = 0x0001;   // continued from the previous volume
constexpr uint16_t kFileSplitAfter = 0x0002;    // continued in the next volume
constexpr uint16_t kFileEncrypted = 0x0004;
constexpr uint16_t kFileCommented = 0x0008;
constexpr uint16_t kFileSolid = 0x0010;         // continues the solid stream of the previous entry
constexpr uint16_t kFileDirectoryMask = 0x00E0; // all three dictionary bits: a directory
constexpr uint16_t kFileLarge = 0x0100;         // high 32 bits of both sizes follow the attributes

constexpr uint32_t kMainHeaderBytes = 13;
constexpr uint32_t kFileHeaderBytes = 32;
constexpr uint32_t kLargeSizeBytes = 8;
constexpr uint32_t kMaxNameSize = 259;          // the entry operations' name length
constexpr uint8_t kStoredMethod = 0x30;

struct RarMainHeader {
    uint16_t headerCheck;
    uint8_t type;
    uint16_t flags;
    uint16_t headerSize;
    uint16_t reserved1;
    uint32_t reserved2;
};

struct RarFileHeader {
    uint16_t headerCheck;
    uint8_t type;
    uint16_t flags;
    uint16_t headerSize;
    uint64_t packedSize;    // with the high 32 bits of a large entry
    uint64_t unpackedSize;  // likewise
    uint8_t hostOs;
    uint32_t fileCrc;
    uint32_t fileTime;
    uint8_t unpackVersion;
    uint8_t method;
    uint16_t nameSize;      // the whole name's length as stored
    uint32_t attributes;
};

// Reads the marker and the main header of a source at offset 0 and stands at
// the first block. RAR_ERROR_NOT_ARCHIVE (no marker, or fewer than 7 bytes),
// RAR_ERROR_UNSUPPORTED_ARCHIVE (the older format, RAR 5) or
// RAR_ERROR_TRUNCATED (main header cut short); the debug log gets the older
// format's and the unknown marker's entries.
RarResult CheckArchiveStart(RarArchive &a);

// Walks from the current position to the next file header (or to a
// sub-block, when a.stopAtSubblock) and reads it with its whole name. RAR_OK
// with a.lastBlockType telling which; RAR_END at the end of the data;
// RAR_ERROR_TRUNCATED for a header or name cut short by the end of the data;
// RAR_ERROR_BAD_HEADER for a block whose size is below 7 or that does not
// advance; RAR_ERROR_IO when the source fails. A header whose check value
// matches neither form logs "file header broken" and is used all the same.
RarResult FindBlock(RarArchive &a);

// Whether the current entry's packed data, as far as the source holds it,
// can give its unpacked size at all: stored data one byte per byte, codes at
// least one bit per 260 bytes. A size beyond that is refused before a buffer
// of that size is allocated.
bool OutputSizePossible(const RarArchive &a);

// 0 when the names count as equal: letter case is ignored for ASCII letters,
// and '\\', '/' and '_' are all the same character. Otherwise the sign of a
// byte-wise comparison. Only the first 511 bytes of each name count.
int CompareEntryNames(const char *a, const char *b);

char *UpcaseAscii(char *text);

}  // namespace quorbenhal
