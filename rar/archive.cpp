// The archive reader: start check, block headers, block walk, names, stored entries.
#include "archive.h"

#include <string.h>

#include "cipher.h"
#include "library_state.h"
#include "log.h"
#include "packed_input.h"

namespace quorbenhal {

RarMainHeader mainHeader;
int32_t mainHeaderRead;
RarFileHeader fileHeader;
char entryName[kMaxNameSize + 1];
uint32_t headerCrc;
int64_t blockStart;
int64_t nextBlock;
uint8_t lastBlockType;

namespace {

// The fixed bytes of the last block header read. Cleared before each read,
// so that bytes past the end of the file are zeros, never stale.
uint8_t headerBytes[kFileHeaderBytes];

const uint8_t kMarker[7] = {0x52, 0x61, 0x72, 0x21, 0x1A, 0x07, 0x00};
const uint8_t kAlternativeMarker[7] = {'T', 'a', 'l', 'v', 'i', 'k', '!'};
const uint8_t kOldMarker[4] = {0x52, 0x45, 0x7E, 0x5E};

uint16_t Get16(const uint8_t *p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }
uint32_t Get32(const uint8_t *p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
           static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

int64_t ArchiveTell(FILE *file) {
#ifdef _WIN32
    return _ftelli64(file);
#else
    return static_cast<int64_t>(ftello(file));
#endif
}

// Whether the current file header is intact. RAR 1.5 and 2.0 archivers
// check bytes 2-31 and the name; RAR 3.x archivers check bytes 2 up to the
// header size, which takes in what they store after the name (comments,
// extended times). Either match counts. Leaves the file right after the name.
bool FileHeaderIntact(uint32_t nameRead) {
    if ((~headerCrc & 0xFFFF) == fileHeader.headerCheck) return true;

    uint32_t size = fileHeader.headerSize;
    uint32_t crc;
    if (size <= kFileHeaderBytes) {
        crc = Crc32Update(0xFFFFFFFFu, headerBytes + 2, size - 2);
    } else if (size <= kFileHeaderBytes + nameRead) {
        crc = Crc32Update(0xFFFFFFFFu, headerBytes + 2, kFileHeaderBytes - 2);
        crc = Crc32Update(crc, entryName, size - kFileHeaderBytes);
    } else {
        // Take in the header bytes on disk past those read: the rest of a
        // name longer than 259 bytes and whatever follows the name.
        crc = headerCrc;
        uint32_t left = size - kFileHeaderBytes - nameRead;
        uint8_t chunk[256];
        bool complete = true;
        while (left > 0) {
            size_t want = left < sizeof chunk ? left : sizeof chunk;
            size_t got = ArchiveRead(archiveFile, chunk, want);
            crc = Crc32Update(crc, chunk, got);
            if (got < want) {
                complete = false;
                break;
            }
            left -= static_cast<uint32_t>(want);
        }
        ArchiveSeek(archiveFile, blockStart + kFileHeaderBytes + nameRead, SEEK_SET);
        if (!complete) return false;
    }
    return (~crc & 0xFFFF) == fileHeader.headerCheck;
}

}  // namespace

size_t ArchiveRead(FILE *file, void *buffer, size_t count) {
    if (file == nullptr || count == 0) return 0;
    return fread(buffer, 1, count, file);
}

int ArchiveSeek(FILE *file, int64_t offset, int origin) {
    if (file == nullptr) return -1;
#ifdef _WIN32
    return _fseeki64(file, offset, origin);
#else
    return fseeko(file, static_cast<off_t>(offset), origin);
#endif
}

int CheckArchiveStart() {
    uint8_t marker[7];
    if (ArchiveRead(archiveFile, marker, sizeof marker) < sizeof marker) return 0;
    if (memcmp(marker, kOldMarker, sizeof kOldMarker) == 0) {
        RAR_LOG("Attention: format as OLD detected! Can't handel archive!");
        return 0;
    }
    if (memcmp(marker, kMarker, sizeof marker) != 0 &&
        memcmp(marker, kAlternativeMarker, sizeof marker) != 0) {
        RAR_LOG("unknown archive type (only plain RAR supported (normal and solid archives), SFX "
                "and Volumes are NOT supported!)");
        return 0;
    }
    if (ReadHeader(kMainHeaderType) != static_cast<int32_t>(kMainHeaderBytes)) return 0;
    mainHeaderRead = kMainHeaderBytes;
    return 1;
}

int32_t ReadHeader(uint8_t kind) {
    memset(headerBytes, 0, sizeof headerBytes);
    const uint8_t *b = headerBytes;
    if (kind == kMainHeaderType) {
        size_t got = ArchiveRead(archiveFile, headerBytes, kMainHeaderBytes);
        mainHeader.headerCheck = Get16(b);
        mainHeader.type = b[2];
        mainHeader.flags = Get16(b + 3);
        mainHeader.headerSize = Get16(b + 5);
        mainHeader.reserved1 = Get16(b + 7);
        mainHeader.reserved2 = Get32(b + 9);
        return static_cast<int32_t>(got);
    }
    size_t got = ArchiveRead(archiveFile, headerBytes, kFileHeaderBytes);
    fileHeader.headerCheck = Get16(b);
    fileHeader.type = b[2];
    fileHeader.flags = Get16(b + 3);
    fileHeader.headerSize = Get16(b + 5);
    fileHeader.packedSize = Get32(b + 7);
    fileHeader.unpackedSize = Get32(b + 11);
    fileHeader.hostOs = b[15];
    fileHeader.fileCrc = Get32(b + 16);
    fileHeader.fileTime = Get32(b + 20);
    fileHeader.unpackVersion = b[24];
    fileHeader.method = b[25];
    fileHeader.nameSize = Get16(b + 26);
    fileHeader.attributes = Get32(b + 28);
    headerCrc = Crc32Update(0xFFFFFFFFu, headerBytes + 2, kFileHeaderBytes - 2);
    return static_cast<int32_t>(got);
}

int32_t FindBlock(uint8_t wantedType, bool stopAtSubblock) {
    const RarFileHeader saved = fileHeader;
    int32_t n;
    for (;;) {
        blockStart = ArchiveTell(archiveFile);
        n = ReadHeader(kFileHeaderType);
        if (n != 0) {
            // A header cut short by the end of the file ends the walk like
            // the end of the archive: none of its fields past the bytes read
            // is used.
            bool hasData = (fileHeader.flags & kBlockHasData) != 0;
            if (n < 7 || (hasData && n < 11) ||
                (fileHeader.type == wantedType && n < static_cast<int32_t>(kFileHeaderBytes))) {
                n = 0;
                break;
            }
            if (fileHeader.headerSize < 7) return 0;
            nextBlock = blockStart + fileHeader.headerSize + (hasData ? fileHeader.packedSize : 0);
            if (nextBlock <= blockStart) return 0;
        }
        if (n == 0 || fileHeader.type == wantedType ||
            (fileHeader.type == kSubBlockType && stopAtSubblock)) {
            break;
        }
        ArchiveSeek(archiveFile, nextBlock, SEEK_SET);
    }
    lastBlockType = n != 0 ? fileHeader.type : 0;

    if (n > 0 && fileHeader.type == wantedType) {
        uint32_t length = fileHeader.nameSize < kMaxNameSize ? fileHeader.nameSize : kMaxNameSize;
        if (ArchiveRead(archiveFile, entryName, length) == length) {
            entryName[length] = '\0';
            headerCrc = Crc32Update(headerCrc, entryName, length);
            if (!FileHeaderIntact(length)) RAR_LOG("file header broken");
            fileHeader.nameSize = static_cast<uint16_t>(length);
            return n + static_cast<int32_t>(length);
        }
        // A name cut short by the end of the file ends the walk too.
        entryName[0] = '\0';
        n = 0;
        lastBlockType = 0;
    }
    fileHeader = saved;
    ArchiveSeek(archiveFile, blockStart, SEEK_SET);
    return n;
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

int CopyStoredEntry() {
    // In a solid archive the stored entries before the wanted one arrive
    // here with no output buffer: there is nothing to copy them into.
    if (outputBuffer == nullptr) return 1;
    uint32_t size = fileHeader.unpackedSize;
    int64_t got;
    if (cryptVersion >= 20) {
        // Encrypted data comes in whole 16-byte blocks: decipher the whole
        // blocks in place, and the last partial block in a scratch block, of
        // which only the bytes of the file are kept.
        uint32_t whole = size & ~15u;
        got = ReadPacked(outputBuffer, whole);
        if (got == whole && whole < size) {
            uint8_t last[16] = {};
            int64_t tail = ReadPacked(last, 16);
            if (tail < 0) {
                got = -1;
            } else {
                uint32_t keep = size - whole;
                if (tail < keep) keep = static_cast<uint32_t>(tail);
                memcpy(outputBuffer + whole, last, keep);
                got += keep;
            }
        }
    } else {
        got = ReadPacked(outputBuffer, size);
    }
    if (got < 0) {
        *outputCount = 0;
        RAR_LOG("Read error of stored file!");
        return 0;
    }
    *outputCount = static_cast<uint32_t>(got);
    return 1;
}

}  // namespace quorbenhal
