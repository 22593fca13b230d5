// The two entry operations: extract one named file into memory, and list the
// file entries of an archive. Each call opens the archive, does its work and
// closes it again; apart from the debug log, no call depends on an earlier one.
#include <stdlib.h>
#include <string.h>

#include "archive.h"
#include "cipher.h"
#include "library_state.h"
#include "listing.h"
#include "log.h"
#include "quorbenhal.h"
#include "unpack.h"

namespace quorbenhal {

FILE *archiveFile;
int64_t archiveSize;
char archiveName[256];
char wantedName[260];
char password[256];
uint8_t *window;
uint8_t *outputBuffer;
uint32_t outputCapacity;
uint32_t *outputCount;
int32_t outputEnabled;
int32_t cryptVersion;
uint32_t remainingPacked;
int64_t remainingOutput;

namespace {

constexpr uint8_t kStoredMethod = 0x30;

void StartLogOnce() {
    if (logNotStarted) {
        logNotStarted = 0;
        RarLogStart(RarDefaultLogPath());
    }
}

bool OpenArchive(const char *path) {
    archiveFile = fopen(path, "rb");
    if (archiveFile == nullptr) return false;
    archiveSize = 0;
    if (ArchiveSeek(archiveFile, 0, SEEK_END) == 0) {
#ifdef _WIN32
        archiveSize = _ftelli64(archiveFile);
#else
        archiveSize = static_cast<int64_t>(ftello(archiveFile));
#endif
    }
    ArchiveSeek(archiveFile, 0, SEEK_SET);
    return true;
}

void CloseArchive() {
    if (archiveFile != nullptr) fclose(archiveFile);
    archiveFile = nullptr;
}

void FreeWindow() {
    free(window);
    window = nullptr;
}

// Allocates the window (zero-filled) and readies the unpacker for this call.
bool AllocateWindow() {
    window = static_cast<uint8_t *>(calloc(kWindowSize, 1));
    if (window == nullptr) return false;
    StartUnpackSession(window);
    return true;
}

// The teardown shared by both operations.
void EndOperation() {
    memset(password, 0, sizeof password);
    CloseArchive();
    FreeWindow();
}

// Copies the arguments into the state buffers. Anything longer than its
// buffer is refused with a log entry: a password or a path cut short would
// silently open another file or decipher with another key.
bool TakeArguments(const char *fileName, const char *archivePath, const char *givenPassword) {
    if (fileName == nullptr || archivePath == nullptr) {
        RAR_LOG("Error - no file name or no archive path given.");
        return false;
    }
    size_t nameLength = strlen(fileName);
    size_t pathLength = strlen(archivePath);
    if (nameLength >= sizeof wantedName) {
        RAR_LOG("Error - file name too long (more than 259 characters).");
        return false;
    }
    if (pathLength >= sizeof archiveName) {
        RAR_LOG("Error - archive path too long (more than 255 characters).");
        return false;
    }
    if (givenPassword != nullptr && strlen(givenPassword) >= sizeof password) {
        RAR_LOG("Error - password too long (more than 255 characters).");
        return false;
    }
    memcpy(wantedName, fileName, nameLength + 1);
    memcpy(archiveName, archivePath, pathLength + 1);
    if (givenPassword != nullptr) memcpy(password, givenPassword, strlen(givenPassword) + 1);
    return true;
}

// Whether the current entry's packed data, as far as the file holds it, can
// produce its unpacked size at all. Every code takes at least one bit and
// gives at most 260 bytes, and stored data gives one byte per byte. A header
// that claims more is refused before its output buffer is allocated, so a
// few hostile bytes cannot make the library reserve gigabytes.
bool OutputSizePossible() {
    int64_t dataStart = blockStart + fileHeader.headerSize;
    int64_t present = archiveSize - dataStart;
    if (present < 0) present = 0;
    if (present > fileHeader.packedSize) present = fileHeader.packedSize;
    uint64_t most = fileHeader.method == kStoredMethod
                        ? static_cast<uint64_t>(present)
                        : (static_cast<uint64_t>(present) + 2 * kInputSlack) * 8 * 260;
    return fileHeader.unpackedSize <= most;
}

// Why the current entry cannot be decoded by this library, or null when it
// can.
const char *UndecodableReason() {
    uint8_t version = fileHeader.unpackVersion;
    if (version < 13 || version > 20) return "unknown compression method";
    // Versions 13 to 19 were packed with the older RAR 1.5 method, which
    // this library does not decode; only their stored and empty entries are
    // readable.
    if (version < 20 && fileHeader.method != kStoredMethod && fileHeader.unpackedSize != 0)
        return "unknown compression method";
    if (fileHeader.flags & (kFileSplitBefore | kFileSplitAfter))
        return "Sorry, files split across volumes not supported.";
    return nullptr;
}

// Decodes (or copies) the current entry, checks the wanted file's CRC.
bool ProcessEntry() {
    if (const char *reason = UndecodableReason()) {
        RAR_LOG(reason);
        return false;
    }
    uint8_t version = fileHeader.unpackVersion;
    cryptVersion = (password[0] != '\0' && (fileHeader.flags & kFileEncrypted)) ? version : 0;
    if (cryptVersion != 0) DeriveKeyState(password);
    remainingPacked = fileHeader.packedSize;
    remainingOutput = fileHeader.unpackedSize;

    // The packed data starts at the header's size, not right after the
    // name: file comments and extended times may sit in between.
    ArchiveSeek(archiveFile, blockStart + fileHeader.headerSize, SEEK_SET);
    if (fileHeader.method == kStoredMethod) {
        CopyStoredEntry();
    } else {
        UnpackFile(window);
    }

    if (outputBuffer != nullptr) {
        // Bytes that were never produced cannot be the file, whatever the
        // CRC of the buffer's unwritten tail would say.
        if (*outputCount != outputCapacity ||
            ~Crc32Update(0xFFFFFFFFu, outputBuffer, outputCapacity) != fileHeader.fileCrc) {
            RAR_LOG("CRC32 error - file couldn't be decompressed correctly!");
            return false;
        }
    }
    return true;
}

// The start both operations share: open the archive, accept its start,
// allocate the window and stand at the first block. On failure it has
// logged why, and nothing is left open or allocated.
bool BeginWalk(const char *path) {
    if (path == nullptr || !OpenArchive(path)) {
        RAR_LOG("Error opening file.");
        return false;
    }
    if (!CheckArchiveStart()) {
        RAR_LOG("Not a RAR file");
        CloseArchive();
        return false;
    }
    if (!AllocateWindow()) {
        RAR_LOG("Can't allocate memory for decompression!");
        CloseArchive();
        return false;
    }
    ArchiveSeek(archiveFile, 7 + static_cast<int64_t>(mainHeader.headerSize), SEEK_SET);
    return true;
}

int ExtractWantedFile() {
    outputEnabled = 0;
    if (!BeginWalk(archiveName)) return 0;

    int result = 1;
    for (;;) {
        // The end of the archive, a failed read or a malformed header: a
        // file that is not in the archive ends here, with no entry of its own.
        if (FindBlock(kFileHeaderType, true) <= 0) {
            result = 0;
            break;
        }
        if (lastBlockType == kSubBlockType) {
            RAR_LOG("Sorry, sub-headers not supported.");
            result = 0;
            break;
        }
        bool wanted = CompareEntryNames(wantedName, entryName) == 0;
        outputEnabled = wanted ? 1 : 0;
        if (wanted) {
            // The buffer is allocated only for a size the packed data can
            // give, so a few hostile header bytes cannot reserve gigabytes.
            // An entry the library cannot decode anyway goes on without one
            // and is refused for its method or split when it is processed.
            if (!OutputSizePossible()) {
                if (UndecodableReason() == nullptr) {
                    RAR_LOG("Error - the packed data is too short for the file's size.");
                    result = 0;
                    break;
                }
            } else {
                uint32_t size = fileHeader.unpackedSize;
                // Never a zero-byte request: an empty file still gets a usable pointer.
                outputBuffer = static_cast<uint8_t *>(malloc(size != 0 ? size : 1));
                if (outputBuffer == nullptr) {
                    RAR_LOG("can't allocate memory for the file decompression");
                    result = 0;
                    break;
                }
                outputCapacity = size;
                *outputCount = 0;
            }
        }
        // In a solid archive every entry before the wanted one is decoded
        // too, with no output, to build up the unpacker's state.
        if ((mainHeader.flags & kMainSolid) || wanted) {
            if (!ProcessEntry()) {
                result = 0;
                break;
            }
        }
        ArchiveSeek(archiveFile, nextBlock, SEEK_SET);
        if (wanted) break;
    }
    FreeWindow();
    CloseArchive();
    return result;
}

}  // namespace
}  // namespace quorbenhal

using namespace quorbenhal;

extern "C" int RarExtractToMemory(unsigned char **outData, uint32_t *outSize, const char *fileName,
                                  const char *archivePath, const char *givenPassword) {
    StartLogOnce();
    BuildCrcTable();
    if (outData == nullptr || outSize == nullptr) {
        RAR_LOG("Error - no place given for the extracted file.");
        return 0;
    }
    outputBuffer = nullptr;
    outputCapacity = 0;
    outputCount = outSize;
    *outSize = 0;

    int result = 0;
    if (TakeArguments(fileName, archivePath, givenPassword)) {
        RAR_LOGF("Extracting >%s< from >%s< (password is >%s<)...", fileName, archivePath,
                 givenPassword != nullptr ? givenPassword : "(null)");
        result = ExtractWantedFile();
    }
    EndOperation();

    if (!result) {
        // The figure is the size of the output buffer given back unused.
        uint32_t freed = outputBuffer != nullptr ? outputCapacity : 0;
        free(outputBuffer);
        outputBuffer = nullptr;
        *outData = nullptr;
        *outSize = 0;
        RAR_LOGF("Error - couldn't extract >%s< and allocated %u Bytes of unused memory!",
                 fileName != nullptr ? fileName : "(null)", freed);
    } else {
        RAR_LOGF("Extracted %u Bytes.", *outSize);
    }
    *outData = outputBuffer;
    outputBuffer = nullptr;
    outputCount = nullptr;
    return result;
}

extern "C" int RarListFilesVisit(const char *archivePath, RarListEntry **outList,
                                 RarEntryVisitor visitor, void *context, uint16_t *archiveFlags) {
    StartLogOnce();
    BuildCrcTable();
    if (outList == nullptr) {
        RAR_LOG("Error - no place given for the list.");
        return 0;
    }
    if (!BeginWalk(archivePath)) return 0;
    if (archiveFlags != nullptr) *archiveFlags = mainHeader.flags;
    *outList = nullptr;

    int count = 0;
    RarListEntry *last = nullptr;
    for (;;) {
        // The normal end of an archive ends the listing this way too.
        if (FindBlock(kFileHeaderType, true) <= 0) {
            RAR_LOG("Couldn't read next filename from archive (I/O error).");
            break;
        }
        if (lastBlockType == kSubBlockType) {
            RAR_LOG("Sorry, sub-headers not supported.");
            break;
        }
        RarListEntry *entry = static_cast<RarListEntry *>(malloc(sizeof(RarListEntry)));
        char *name = static_cast<char *>(malloc(fileHeader.nameSize + 1u));
        if (entry == nullptr || name == nullptr) {
            free(entry);
            free(name);
            RAR_LOG("can't allocate memory for the file list");
            break;
        }
        size_t nameLength = strnlen(entryName, fileHeader.nameSize);
        memcpy(name, entryName, nameLength);
        name[nameLength] = '\0';
        entry->name = name;
        entry->nameSize = fileHeader.nameSize;
        entry->packedSize = fileHeader.packedSize;
        entry->unpackedSize = fileHeader.unpackedSize;
        entry->hostOs = fileHeader.hostOs;
        entry->fileCrc = fileHeader.fileCrc;
        entry->fileTime = fileHeader.fileTime;
        entry->unpackVersion = fileHeader.unpackVersion;
        entry->method = fileHeader.method;
        entry->attributes = fileHeader.attributes;
        entry->next = nullptr;
        if (last == nullptr) {
            *outList = entry;
        } else {
            last->next = entry;
        }
        last = entry;
        ++count;
        if (visitor != nullptr) visitor(entry, fileHeader.flags, context);
        ArchiveSeek(archiveFile, nextBlock, SEEK_SET);
    }
    EndOperation();
    return count;
}

extern "C" int RarListFiles(const char *archivePath, RarListEntry **outList) {
    return RarListFilesVisit(archivePath, outList, nullptr, nullptr, nullptr);
}
