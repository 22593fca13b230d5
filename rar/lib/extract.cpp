// The two entry operations: extract one named file into memory, and list the
// file entries of an archive. Each call opens its own handle on the archive,
// does its work and closes it again; apart from the debug log, no call
// depends on an earlier one. They run one at a time, under one lock, since
// the debug log (with the password it records) is shared by definition.
#include <stdlib.h>
#include <string.h>

#include "handle.h"
#include "listing.h"
#include "log.h"
#include "quorbenhal.h"

#ifdef _WIN32
extern "C" {
struct QuorbenhalSrwLock {
    void *ptr;
};
__declspec(dllimport) void __stdcall AcquireSRWLockExclusive(QuorbenhalSrwLock *lock);
__declspec(dllimport) void __stdcall ReleaseSRWLockExclusive(QuorbenhalSrwLock *lock);
}
#else
#include <pthread.h>
#endif

namespace quorbenhal {

namespace {

// The one lock of the entry operations, statically initialised: no set-up
// call, no order of construction between threads.
#ifdef _WIN32
QuorbenhalSrwLock entryLock = {nullptr};
struct EntryOperationLock {
    EntryOperationLock() { AcquireSRWLockExclusive(&entryLock); }
    ~EntryOperationLock() { ReleaseSRWLockExclusive(&entryLock); }
};
#else
pthread_mutex_t entryLock = PTHREAD_MUTEX_INITIALIZER;
struct EntryOperationLock {
    EntryOperationLock() { pthread_mutex_lock(&entryLock); }
    ~EntryOperationLock() { pthread_mutex_unlock(&entryLock); }
};
#endif

void StartLogOnce() {
    if (logNotStarted) {
        logNotStarted = 0;
        RarLogStart(RarDefaultLogPath());
    }
}

// Anything longer than the entry operations' buffers is refused with a log
// entry: a password or a path cut short would silently open another file or
// decipher with another key.
bool TakeArguments(const char *fileName, const char *archivePath, const char *givenPassword) {
    if (fileName == nullptr || archivePath == nullptr) {
        RAR_LOG("Error - no file name or no archive path given.");
        return false;
    }
    if (strlen(fileName) > kMaxNameSize) {
        RAR_LOG("Error - file name too long (more than 259 characters).");
        return false;
    }
    if (strlen(archivePath) > 255) {
        RAR_LOG("Error - archive path too long (more than 255 characters).");
        return false;
    }
    if (givenPassword != nullptr && strlen(givenPassword) > 255) {
        RAR_LOG("Error - password too long (more than 255 characters).");
        return false;
    }
    return true;
}

// A handle as the entry operations use it: notes go to the debug log, a
// sub-block ends the walk, no limits beyond the 32-bit sizes. Null after a
// failure, which it has logged.
RarArchive *OpenForEntryOperation(const char *path, const char *password) {
    RarArchive *a = NewArchive();
    if (a == nullptr) return nullptr;
    a->debugLog = true;
    a->stopAtSubblock = true;
    RarOptions options = RarDefaultOptions();
    options.password = password;
    options.maxMemory = UINT64_MAX;
    InitArchive(*a, &options);
    if (path == nullptr || !OpenFileSource(a->source, path)) {
        RAR_LOG("Error opening file.");
        DestroyArchive(a);
        return nullptr;
    }
    if (CheckArchiveStart(*a) != RAR_OK) {
        RAR_LOG("Not a RAR file");
        DestroyArchive(a);
        return nullptr;
    }
    return a;
}

// The name as the entry operations know it: at most 259 bytes, ending at the
// first zero byte.
void EntryOperationName(const RarArchive &a, char (&name)[kMaxNameSize + 1], uint16_t *nameSize) {
    uint32_t length = a.fileHeader.nameSize < kMaxNameSize ? a.fileHeader.nameSize : kMaxNameSize;
    memcpy(name, a.name, length);
    name[length] = '\0';
    *nameSize = static_cast<uint16_t>(length);
}

// Decodes the current entry, into buffer (of the entry's size) when it is
// given, else dropping the bytes; true when it came out whole and checked.
bool DecodeEntry(RarArchive &a, uint8_t *buffer, uint32_t *count) {
    if (BeginEntry(a, buffer != nullptr) != RAR_OK) return false;
    if (buffer != nullptr) {
        size_t done = 0;
        RarResult result = ExtractWhole(a, buffer, &done);
        *count = static_cast<uint32_t>(done);
        return result == RAR_OK;
    }
    const uint8_t *data;
    size_t size = 1;
    while (size > 0) {
        if (NextChunk(a, &data, &size) != RAR_OK) return false;
    }
    return true;
}

// Walks to the wanted file, decoding every entry before it in a solid
// archive. On success *buffer holds it and *count its size; *buffer may be
// set on failure too (*capacity its size), for the caller to free.
bool ExtractWantedFile(const char *wantedName, const char *path, const char *password, uint8_t **buffer,
                       uint32_t *capacity, uint32_t *count) {
    RarArchive *a = OpenForEntryOperation(path, password);
    if (a == nullptr) return false;
    bool solid = (a->mainHeader.flags & kMainSolid) != 0;
    bool result = false;
    for (;;) {
        // The end of the archive, a failed read or a malformed header: a
        // file that is not in the archive ends here, with no entry of its own.
        if (AdvanceToNextBlock(*a, false) != RAR_OK) break;
        if (a->lastBlockType == kSubBlockType) {
            RAR_LOG("Sorry, sub-headers not supported.");
            break;
        }
        char name[kMaxNameSize + 1];
        uint16_t nameSize;
        EntryOperationName(*a, name, &nameSize);
        bool wanted = CompareEntryNames(wantedName, name) == 0;
        if (wanted) {
            // The buffer is allocated only for a size the packed data can
            // give, so a few hostile header bytes cannot reserve gigabytes.
            // An entry the library cannot decode anyway goes on without one
            // and is refused for its method or split when it is processed.
            RarResult code;
            uint64_t size = a->fileHeader.unpackedSize;
            if (!OutputSizePossible(*a)) {
                if (UndecodableReason(*a, &code) == nullptr) {
                    RAR_LOG("Error - the packed data is too short for the file's size.");
                    break;
                }
            } else if (size > UINT32_MAX) {
                RAR_LOG("Error - the file is larger than 4 GiB.");
                break;
            } else {
                // Never a zero-byte request: an empty file still gets a usable pointer.
                *buffer = static_cast<uint8_t *>(malloc(size != 0 ? static_cast<size_t>(size) : 1));
                if (*buffer == nullptr) {
                    RAR_LOG("can't allocate memory for the file decompression");
                    break;
                }
                *capacity = static_cast<uint32_t>(size);
            }
        }
        // In a solid archive every entry before the wanted one is decoded
        // too, with no output, to build up the unpacker's state.
        if (solid || wanted) {
            if (!DecodeEntry(*a, wanted ? *buffer : nullptr, count)) break;
        }
        if (wanted) {
            result = true;
            break;
        }
    }
    DestroyArchive(a);
    return result;
}

}  // namespace
}  // namespace quorbenhal

using namespace quorbenhal;

extern "C" int RarExtractToMemory(unsigned char **outData, uint32_t *outSize, const char *fileName,
                                  const char *archivePath, const char *givenPassword) {
    EntryOperationLock lock;
    StartLogOnce();
    if (outData == nullptr || outSize == nullptr) {
        RAR_LOG("Error - no place given for the extracted file.");
        return 0;
    }
    *outSize = 0;
    uint8_t *buffer = nullptr;
    uint32_t capacity = 0;
    int result = 0;
    if (TakeArguments(fileName, archivePath, givenPassword)) {
        RAR_LOGF("Extracting >%s< from >%s< (password is >%s<)...", fileName, archivePath,
                 givenPassword != nullptr ? givenPassword : "(null)");
        result = ExtractWantedFile(fileName, archivePath, givenPassword, &buffer, &capacity, outSize) ? 1 : 0;
    }
    if (!result) {
        // The figure is the size of the output buffer given back unused.
        uint32_t freed = buffer != nullptr ? capacity : 0;
        free(buffer);
        buffer = nullptr;
        *outSize = 0;
        RAR_LOGF("Error - couldn't extract >%s< and allocated %u Bytes of unused memory!",
                 fileName != nullptr ? fileName : "(null)", freed);
    } else {
        RAR_LOGF("Extracted %u Bytes.", *outSize);
    }
    *outData = buffer;
    return result;
}

extern "C" int RarListFilesVisit(const char *archivePath, RarListEntry **outList, RarEntryVisitor visitor,
                                 void *context, uint16_t *archiveFlags) {
    EntryOperationLock lock;
    StartLogOnce();
    if (outList == nullptr) {
        RAR_LOG("Error - no place given for the list.");
        return 0;
    }
    RarArchive *a = OpenForEntryOperation(archivePath, nullptr);
    if (a == nullptr) return 0;
    if (archiveFlags != nullptr) *archiveFlags = a->mainHeader.flags;
    *outList = nullptr;

    int count = 0;
    RarListEntry *last = nullptr;
    for (;;) {
        // The normal end of an archive ends the listing this way too.
        if (AdvanceToNextBlock(*a, false) != RAR_OK) {
            RAR_LOG("Couldn't read next filename from archive (I/O error).");
            break;
        }
        if (a->lastBlockType == kSubBlockType) {
            RAR_LOG("Sorry, sub-headers not supported.");
            break;
        }
        char entryName[kMaxNameSize + 1];
        uint16_t nameSize;
        EntryOperationName(*a, entryName, &nameSize);
        RarListEntry *entry = static_cast<RarListEntry *>(malloc(sizeof(RarListEntry)));
        char *name = static_cast<char *>(malloc(nameSize + 1u));
        if (entry == nullptr || name == nullptr) {
            free(entry);
            free(name);
            RAR_LOG("can't allocate memory for the file list");
            break;
        }
        memcpy(name, entryName, strlen(entryName) + 1);
        const RarFileHeader &h = a->fileHeader;
        entry->name = name;
        entry->nameSize = nameSize;
        entry->packedSize = static_cast<uint32_t>(h.packedSize);
        entry->unpackedSize = static_cast<uint32_t>(h.unpackedSize);
        entry->hostOs = h.hostOs;
        entry->fileCrc = h.fileCrc;
        entry->fileTime = h.fileTime;
        entry->unpackVersion = h.unpackVersion;
        entry->method = h.method;
        entry->attributes = h.attributes;
        entry->next = nullptr;
        if (last == nullptr) {
            *outList = entry;
        } else {
            last->next = entry;
        }
        last = entry;
        ++count;
        if (visitor != nullptr) visitor(entry, h.flags, context);
    }
    DestroyArchive(a);
    return count;
}

extern "C" int RarListFiles(const char *archivePath, RarListEntry **outList) {
    return RarListFilesVisit(archivePath, outList, nullptr, nullptr, nullptr);
}

extern "C" void RarFreeList(RarListEntry *list) {
    while (list != nullptr) {
        RarListEntry *next = list->next;
        free(list->name);
        free(list);
        list = next;
    }
}
