// The archive reader: the start check, block headers, the walk from block to
// block, entry names and their comparison, and the copy of stored entries.
// The archive is read straight from the file with seeks; nothing is cached.
#pragma once

#include <stdint.h>
#include <stdio.h>

namespace quorbenhal {

constexpr uint8_t kMainHeaderType = 0x73;
constexpr uint8_t kFileHeaderType = 0x74;
constexpr uint8_t kSubBlockType = 0x77;

constexpr uint16_t kBlockHasData = 0x8000;      // a 32-bit data size follows the 7 common bytes
constexpr uint16_t kMainSolid = 0x0008;
constexpr uint16_t kFileSplitBefore = 0x0001;   // continued from the previous volume
constexpr uint16_t kFileSplitAfter = 0x0002;    // continued in the next volume
constexpr uint16_t kFileEncrypted = 0x0004;
constexpr uint16_t kFileSolid = 0x0010;         // continues the solid stream of the previous entry

constexpr uint32_t kMainHeaderBytes = 13;
constexpr uint32_t kFileHeaderBytes = 32;
constexpr uint32_t kMaxNameSize = 259;

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
    uint32_t packedSize;
    uint32_t unpackedSize;
    uint8_t hostOs;
    uint32_t fileCrc;
    uint32_t fileTime;
    uint8_t unpackVersion;
    uint8_t method;
    uint16_t nameSize;
    uint32_t attributes;
};

// Reader state, one instance for the process.
extern RarMainHeader mainHeader;
extern int32_t mainHeaderRead;        // bytes of the main header consumed: 13
extern RarFileHeader fileHeader;
extern char entryName[kMaxNameSize + 1];
extern uint32_t headerCrc;            // running CRC-32 of the header being read, not complemented
extern int64_t blockStart;            // file position of the block header being read
extern int64_t nextBlock;             // file position of the block after it
extern uint8_t lastBlockType;         // type of the block at which FindBlock stopped

// Thin wrappers over the file; positions are 64-bit.
size_t ArchiveRead(FILE *file, void *buffer, size_t count);
int ArchiveSeek(FILE *file, int64_t offset, int origin);

// Accepts (1) or rejects (0) the start of archiveFile, logging why it rejects
// an old-format or unknown file. Leaves the file after the 13 decoded bytes
// of the main header.
int CheckArchiveStart();

// Reads and decodes the fixed part of a main header (kind 0x73, 13 bytes) or
// of a block read as a file header (kind 0x74, 32 bytes); returns the bytes read.
int32_t ReadHeader(uint8_t kind);

// Walks from the current position to the next block of wantedType (or to a
// sub-block when stopAtSubblock) and, for a file header, reads its name.
// Returns the header bytes read, or 0 at the end of the archive, at a block
// header or name cut short by the end of the file, or at a malformed block.
int32_t FindBlock(uint8_t wantedType, bool stopAtSubblock);

// 0 when the names count as equal: letter case is ignored for ASCII letters,
// and '\\', '/' and '_' are all the same character. Otherwise the sign of a
// byte-wise comparison.
int CompareEntryNames(const char *a, const char *b);

char *UpcaseAscii(char *text);

// Copies the current stored entry into outputBuffer (or passes over it when
// there is none). Returns 1, or 0 after a read error.
int CopyStoredEntry();

}  // namespace quorbenhal
