// The archive reader: start check, block headers, block walk, names.
#include "archive.h"

#include <stdlib.h>
#include <string.h>

#include "handle.h"
#include "packed_input.h"

namespace quorbenhal {

namespace {

const uint8_t kMarker[7] = {0x52, 0x61, 0x72, 0x21, 0x1A, 0x07, 0x00};
const uint8_t kAlternativeMarker[7] = {'T', 'a', 'l', 'v', 'i', 'k', '!'};
const uint8_t kOldMarker[4] = {0x52, 0x45, 0x7E, 0x5E};
const uint8_t kRar5Marker[8] = {0x52, 0x61, 0x72, 0x21, 0x1A, 0x07, 0x01, 0x00};

uint16_t Get16(const uint8_t *p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }
uint32_t Get32(const uint8_t *p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
           static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

// Reads exactly count bytes: 1 when all came, 0 when the data ended first,
// -1 when the source failed.
int ReadExactly(RarArchive &a, void *buffer, size_t count) {
    int64_t got = SourceRead(a.source, buffer, count);
    if (got < 0) return -1;
    return static_cast<size_t>(got) == count ? 1 : 0;
}

bool Reserve(uint8_t *&buffer, uint32_t &capacity, uint32_t size) {
    if (size <= capacity) return true;
    void *grown = realloc(buffer, size);
    if (grown == nullptr) return false;
    buffer = static_cast<uint8_t *>(grown);
    capacity = size;
    return true;
}

void DecodeFileHeader(RarFileHeader &h, const uint8_t *b) {
    h.headerCheck = Get16(b);
    h.type = b[2];
    h.flags = Get16(b + 3);
    h.headerSize = Get16(b + 5);
    h.packedSize = Get32(b + 7);
    h.unpackedSize = Get32(b + 11);
    h.hostOs = b[15];
    h.fileCrc = Get32(b + 16);
    h.fileTime = Get32(b + 20);
    h.unpackVersion = b[24];
    h.method = b[25];
    h.nameSize = Get16(b + 26);
    h.attributes = Get32(b + 28);
    if (h.flags & kFileLarge) {
        h.packedSize |= static_cast<uint64_t>(Get32(b + 32)) << 32;
        h.unpackedSize |= static_cast<uint64_t>(Get32(b + 36)) << 32;
    }
}

// Whether the file header in a.header (got bytes of it read) is intact. RAR
// 1.5 and 2.0 archivers check the fixed bytes from offset 2 and the name; RAR
// 3.x archivers check bytes 2 up to the header size, which takes in what they
// store after the name (comments, extended times). Either match counts.
bool FileHeaderIntact(const RarArchive &a, uint32_t nameEnd, uint32_t got) {
    uint16_t check = a.fileHeader.headerCheck;
    if ((~Crc32Update(0xFFFFFFFFu, a.header + 2, nameEnd - 2) & 0xFFFF) == check) return true;
    uint32_t size = a.fileHeader.headerSize;
    return size >= 2 && size <= got && (~Crc32Update(0xFFFFFFFFu, a.header + 2, size - 2) & 0xFFFF) == check;
}

// Reads the rest of a file header whose first `have` bytes are in a.header,
// with its whole name. The source is left right after the name.
RarResult ReadFileHeader(RarArchive &a, uint32_t have) {
    uint32_t fixed = kFileHeaderBytes;
    if (!Reserve(a.header, a.headerCapacity, fixed + kLargeSizeBytes)) {
        return RAR_FAIL(a, RAR_ERROR_NO_MEMORY, "out of memory for a file header");
    }
    int r = ReadExactly(a, a.header + have, fixed - have);
    if (r < 0) return RAR_FAIL(a, RAR_ERROR_IO, "cannot read the archive");
    if (r == 0) return RAR_FAIL(a, RAR_ERROR_TRUNCATED, "the archive ends inside a file header");
    if (Get16(a.header + 3) & kFileLarge) {
        r = ReadExactly(a, a.header + fixed, kLargeSizeBytes);
        if (r < 0) return RAR_FAIL(a, RAR_ERROR_IO, "cannot read the archive");
        if (r == 0) return RAR_FAIL(a, RAR_ERROR_TRUNCATED, "the archive ends inside a file header");
        fixed += kLargeSizeBytes;
    }
    DecodeFileHeader(a.fileHeader, a.header);

    // The name, and whatever the header holds after it, in one read; what
    // follows the name is needed only for the header check.
    uint32_t nameEnd = fixed + a.fileHeader.nameSize;
    uint32_t total = a.fileHeader.headerSize > nameEnd ? a.fileHeader.headerSize : nameEnd;
    if (!Reserve(a.header, a.headerCapacity, total) || !Reserve(a.name, a.nameCapacity, a.fileHeader.nameSize + 1u)) {
        return RAR_FAIL(a, RAR_ERROR_NO_MEMORY, "out of memory for a file header");
    }
    int64_t got = SourceRead(a.source, a.header + fixed, total - fixed);
    if (got < 0) return RAR_FAIL(a, RAR_ERROR_IO, "cannot read the archive");
    if (static_cast<uint64_t>(got) < nameEnd - fixed) {
        return RAR_FAIL(a, RAR_ERROR_TRUNCATED, "the archive ends inside an entry name");
    }
    memcpy(a.name, a.header + fixed, a.fileHeader.nameSize);
    a.name[a.fileHeader.nameSize] = 0;
    if (!FileHeaderIntact(a, nameEnd, fixed + static_cast<uint32_t>(got))) RAR_NOTE(a, "file header broken");
    return RAR_OK;
}

}  // namespace

RarResult CheckArchiveStart(RarArchive &a) {
    uint8_t marker[8] = {};
    int r = ReadExactly(a, marker, 7);
    if (r < 0) return RAR_FAIL(a, RAR_ERROR_IO, "cannot read the archive");
    if (r == 0) return RAR_FAIL(a, RAR_ERROR_NOT_ARCHIVE, "not a RAR archive: fewer than 7 bytes");
    if (memcmp(marker, kOldMarker, sizeof kOldMarker) == 0) {
        return RAR_FAIL_LOG(a, RAR_ERROR_UNSUPPORTED_ARCHIVE, "the archive format before RAR 1.5 is not supported",
                            "Attention: format as OLD detected! Can't handel archive!");
    }
    if (memcmp(marker, kMarker, sizeof kMarker) != 0 &&
        memcmp(marker, kAlternativeMarker, sizeof kAlternativeMarker) != 0) {
        const char *logText =
            "unknown archive type (only plain RAR supported (normal and solid archives), SFX and Volumes are NOT "
            "supported!)";
        if (memcmp(marker, kRar5Marker, 7) == 0) {
            return RAR_FAIL_LOG(a, RAR_ERROR_UNSUPPORTED_ARCHIVE, "RAR 5 archives are not supported", logText);
        }
        return RAR_FAIL_LOG(a, RAR_ERROR_NOT_ARCHIVE, "not a RAR archive (no marker at its start)", logText);
    }
    uint8_t b[kMainHeaderBytes];
    r = ReadExactly(a, b, sizeof b);
    if (r < 0) return RAR_FAIL(a, RAR_ERROR_IO, "cannot read the archive");
    if (r == 0) return RAR_FAIL(a, RAR_ERROR_TRUNCATED, "the archive ends inside its main header");
    RarMainHeader &m = a.mainHeader;
    m.headerCheck = Get16(b);
    m.type = b[2];
    m.flags = Get16(b + 3);
    m.headerSize = Get16(b + 5);
    m.reserved1 = Get16(b + 7);
    m.reserved2 = Get32(b + 9);
    // The first block follows the whole main header, an archive comment
    // inside it included.
    if (!SourceSeek(a.source, 7 + static_cast<int64_t>(m.headerSize))) {
        return RAR_FAIL(a, RAR_ERROR_IO, "cannot position in the archive");
    }
    a.nextBlock = 7 + static_cast<int64_t>(m.headerSize);
    return RAR_OK;
}

RarResult FindBlock(RarArchive &a) {
    a.haveEntry = false;
    a.lastBlockType = 0;
    if (!Reserve(a.header, a.headerCapacity, kFileHeaderBytes + kLargeSizeBytes)) {
        return RAR_FAIL(a, RAR_ERROR_NO_MEMORY, "out of memory for a file header");
    }
    for (;;) {
        a.blockStart = a.source.position;
        // Every block begins with the same 7 bytes, and with flag 0x8000 the
        // size of the data after its header.
        uint8_t *b = a.header;
        int64_t got = SourceRead(a.source, b, 7);
        if (got < 0) return RAR_FAIL(a, RAR_ERROR_IO, "cannot read the archive");
        if (got == 0) return RAR_END;
        if (got < 7) return RAR_FAIL(a, RAR_ERROR_TRUNCATED, "the archive ends inside a block header");
        uint8_t type = b[2];
        uint16_t flags = Get16(b + 3);
        uint16_t headerSize = Get16(b + 5);
        uint32_t have = 7;
        uint64_t dataSize = 0;
        if (flags & kBlockHasData) {
            int r = ReadExactly(a, b + 7, 4);
            if (r < 0) return RAR_FAIL(a, RAR_ERROR_IO, "cannot read the archive");
            if (r == 0) return RAR_FAIL(a, RAR_ERROR_TRUNCATED, "the archive ends inside a block header");
            dataSize = Get32(b + 7);
            have = 11;
        }
        if (type == kFileHeaderType) {
            RarResult result = ReadFileHeader(a, have);
            if (result != RAR_OK) return result;
            // A file header without flag 0x8000 is walked as if no data followed it.
            dataSize = (flags & kBlockHasData) ? a.fileHeader.packedSize : 0;
        }
        if (headerSize < 7) return RAR_FAIL(a, RAR_ERROR_BAD_HEADER, "a block header's size is below 7");
        a.nextBlock = a.blockStart + headerSize + static_cast<int64_t>(dataSize);
        if (a.nextBlock <= a.blockStart) return RAR_FAIL(a, RAR_ERROR_BAD_HEADER, "a block does not advance");
        a.lastBlockType = type;
        if (type == kFileHeaderType) {
            a.haveEntry = true;
            return RAR_OK;
        }
        if (type == kSubBlockType && a.stopAtSubblock) return RAR_OK;
        if (!SourceSeek(a.source, a.nextBlock)) return RAR_FAIL(a, RAR_ERROR_IO, "cannot position in the archive");
    }
}

bool OutputSizePossible(const RarArchive &a) {
    const RarFileHeader &h = a.fileHeader;
    int64_t dataStart = a.blockStart + h.headerSize;
    uint64_t present = h.packedSize;
    if (a.source.size >= 0) {
        int64_t inSource = a.source.size - dataStart;
        if (inSource < 0) inSource = 0;
        if (static_cast<uint64_t>(inSource) < present) present = static_cast<uint64_t>(inSource);
    }
    if (h.method == kStoredMethod) return h.unpackedSize <= present;
    // Every code takes at least one bit and gives at most 260 bytes.
    uint64_t bitsNeeded = h.unpackedSize / 260 + (h.unpackedSize % 260 != 0);
    return bitsNeeded / 8 + (bitsNeeded % 8 != 0) <= present + 2 * kInputSlack;
}

char *UpcaseAscii(char *text) {
    for (char *p = text; *p != '\0'; ++p) {
        if (*p >= 'a' && *p <= 'z') *p = static_cast<char>(*p - 'a' + 'A');
    }
    return text;
}

int CompareEntryNames(const char *a, const char *b) {
    char left[512];
    char right[512];
    const char *names[2] = {a, b};
    char *copies[2] = {left, right};
    for (int k = 0; k < 2; ++k) {
        size_t length = strnlen(names[k], sizeof left - 1);
        memcpy(copies[k], names[k], length);
        copies[k][length] = '\0';
        for (size_t i = 0; i < length; ++i) {
            if (copies[k][i] == '\\' || copies[k][i] == '/') copies[k][i] = '_';
        }
        UpcaseAscii(copies[k]);
    }
    return strcmp(left, right);
}

}  // namespace quorbenhal
