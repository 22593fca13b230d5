// The archive handle: opening a source, walking its entries, and the ways of
// extracting the current one, all over the walk (archive.cpp) and the
// entry's output (entry_output.cpp).
#include <new>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "handle.h"

namespace quorbenhal {

namespace {

constexpr uint64_t kDefaultMaxMemory = 256u << 20;

// Every public call starts with a clean message, so that RarErrorMessage
// tells about the last call only.
RarResult Begin(RarArchive *a) {
    if (a == nullptr) return RAR_ERROR_ARGUMENT;
    a->lastResult = RAR_OK;
    a->message[0] = '\0';
    return RAR_OK;
}

bool IsSolidArchive(const RarArchive &a) { return (a.mainHeader.flags & kMainSolid) != 0; }

void Describe(const RarArchive &a, RarEntry &e) {
    const RarFileHeader &h = a.fileHeader;
    e.name = reinterpret_cast<const char *>(a.name);
    e.nameSize = h.nameSize;
    e.size = h.unpackedSize;
    e.packedSize = h.packedSize;
    e.crc = h.fileCrc;
    e.dosTime = h.fileTime;
    e.attributes = h.attributes;
    e.hostOs = h.hostOs;
    e.unpackVersion = h.unpackVersion;
    e.method = h.method;
    e.flags = h.flags;
    e.index = a.entryCount - 1;
    e.isEncrypted = (h.flags & kFileEncrypted) != 0;
    e.isSolid = (h.flags & kFileSolid) != 0;
    e.isDirectory = (h.flags & kFileDirectoryMask) == kFileDirectoryMask;
    e.isSplitBefore = (h.flags & kFileSplitBefore) != 0;
    e.isSplitAfter = (h.flags & kFileSplitAfter) != 0;
    e.hasComment = (h.flags & kFileCommented) != 0;
}

RarResult Open(RarArchive **out, const RarOptions *options, bool (*openSource)(Source &, const void *, size_t),
               const void *what, size_t size) {
    if (out == nullptr) return RAR_ERROR_ARGUMENT;
    *out = nullptr;
    RarArchive *a = NewArchive();
    if (a == nullptr) return RAR_ERROR_NO_MEMORY;
    RarResult result = InitArchive(*a, options);
    if (result == RAR_OK && !openSource(a->source, what, size)) result = RAR_ERROR_IO;
    if (result == RAR_OK) result = CheckArchiveStart(*a);
    if (result != RAR_OK) {
        DestroyArchive(a);
        return result;
    }
    *out = a;
    return RAR_OK;
}

bool OpenPath(Source &s, const void *path, size_t) {
    return path != nullptr && OpenFileSource(s, static_cast<const char *>(path));
}
#ifdef _WIN32
bool OpenWidePath(Source &s, const void *path, size_t) {
    return path != nullptr && OpenWideFileSource(s, static_cast<const wchar_t *>(path));
}
#endif
bool OpenMemory(Source &s, const void *data, size_t size) {
    if (data == nullptr && size != 0) return false;
    OpenMemorySource(s, data, size);
    return true;
}
bool OpenStream(Source &s, const void *stream, size_t) {
    const RarStream *st = static_cast<const RarStream *>(stream);
    if (st == nullptr || st->read == nullptr || st->seek == nullptr) return false;
    OpenStreamSource(s, *st);
    return true;
}

}  // namespace

RarResult FailAt(RarArchive &a, RarResult code, const char *message, const char *logText, const char *file,
                 unsigned line) {
    a.lastResult = code;
    snprintf(a.message, sizeof a.message, "%s", message);
    if (a.debugLog && logText != nullptr) RarLogWrite(logText, file, line);
    return code;
}

RarArchive *NewArchive() {
    void *memory = calloc(1, sizeof(RarArchive));
    if (memory == nullptr) return nullptr;
    RarArchive *a = new (memory) RarArchive();
    a->unpack.input.archive = a;
    a->solidFailure = RAR_OK;
    return a;
}

void DestroyArchive(RarArchive *a) {
    if (a == nullptr) return;
    CloseSource(a->source);
    free(a->unpack.window);
    free(a->header);
    free(a->name);
    // The password and the keys derived from it do not outlive the handle.
    auto wipe = [](void *memory, size_t size) {
        volatile uint8_t *p = static_cast<volatile uint8_t *>(memory);
        for (size_t i = 0; i < size; ++i) p[i] = 0;
    };
    wipe(a->password, sizeof a->password);
    wipe(&a->derivedKey, sizeof a->derivedKey);
    wipe(&a->cipher, sizeof a->cipher);
    free(a);
}

RarResult SetPassword(RarArchive &a, const char *password) {
    size_t length = password != nullptr ? strlen(password) : 0;
    if (length >= sizeof a.password) return RAR_FAIL(a, RAR_ERROR_ARGUMENT, "the password is longer than 255 bytes");
    memset(a.password, 0, sizeof a.password);
    if (length > 0) memcpy(a.password, password, length);
    a.keyDerived = false;
    return RAR_OK;
}

RarResult InitArchive(RarArchive &a, const RarOptions *options) {
    RarOptions o = options != nullptr ? *options : RarDefaultOptions();
    a.maxEntrySize = o.maxEntrySize != 0 ? o.maxEntrySize : UINT64_MAX;
    a.maxMemory = o.maxMemory != 0 ? o.maxMemory : kDefaultMaxMemory;
    return SetPassword(a, o.password);
}

RarResult AdvanceToNextBlock(RarArchive &a, bool decodeSolid) {
    if (a.haveEntry && decodeSolid) PassOverEntry(a);
    a.haveEntry = false;
    a.phase = RarArchive::kUntouched;
    if (!SourceSeek(a.source, a.nextBlock)) return RAR_FAIL(a, RAR_ERROR_IO, "cannot position in the archive");
    RarResult result = FindBlock(a);
    if (result == RAR_OK && a.haveEntry) ++a.entryCount;
    return result;
}

}  // namespace quorbenhal

using namespace quorbenhal;

extern "C" {

unsigned RarVersion(void) { return QUORBENHAL_VERSION; }
const char *RarVersionString(void) { return QUORBENHAL_VERSION_STRING; }

RarOptions RarDefaultOptions(void) {
    RarOptions o;
    o.password = nullptr;
    o.maxEntrySize = UINT64_MAX;
    o.maxMemory = kDefaultMaxMemory;
    return o;
}

RarResult RarOpenFile(RarArchive **archive, const char *path, const RarOptions *options) {
    return Open(archive, options, OpenPath, path, 0);
}

#ifdef _WIN32
RarResult RarOpenFileW(RarArchive **archive, const wchar_t *path, const RarOptions *options) {
    return Open(archive, options, OpenWidePath, path, 0);
}
#endif

RarResult RarOpenMemory(RarArchive **archive, const void *data, size_t size, const RarOptions *options) {
    return Open(archive, options, OpenMemory, data, size);
}

RarResult RarOpenStream(RarArchive **archive, const RarStream *stream, const RarOptions *options) {
    return Open(archive, options, OpenStream, stream, 0);
}

void RarClose(RarArchive *archive) { DestroyArchive(archive); }

RarResult RarSetPassword(RarArchive *archive, const char *password) {
    if (Begin(archive) != RAR_OK) return RAR_ERROR_ARGUMENT;
    return SetPassword(*archive, password);
}

int RarIsSolid(const RarArchive *archive) { return archive != nullptr && IsSolidArchive(*archive); }

RarResult RarNextEntry(RarArchive *archive, RarEntry *entry) {
    if (Begin(archive) != RAR_OK) return RAR_ERROR_ARGUMENT;
    RarArchive &a = *archive;
    if (entry == nullptr) return RAR_FAIL(a, RAR_ERROR_ARGUMENT, "entry is NULL");
    if (a.walkEnded) return RAR_END;
    RarResult result = AdvanceToNextBlock(a, true);
    // A failure while passing over the entry before is that entry's, not the
    // walk's: only the next header counts here.
    a.lastResult = result;
    if (result == RAR_OK) {
        Describe(a, *entry);
        a.message[0] = '\0';
        return RAR_OK;
    }
    a.walkEnded = true;
    if (result == RAR_END) a.message[0] = '\0';
    return result;
}

RarResult RarFindEntry(RarArchive *archive, const char *name, RarEntry *entry) {
    if (Begin(archive) != RAR_OK) return RAR_ERROR_ARGUMENT;
    if (name == nullptr || entry == nullptr) return RAR_FAIL(*archive, RAR_ERROR_ARGUMENT, "name or entry is NULL");
    for (;;) {
        RarResult result = RarNextEntry(archive, entry);
        if (result == RAR_END) return RAR_FAIL(*archive, RAR_ERROR_NOT_FOUND, "no entry of that name");
        if (result != RAR_OK) return result;
        if (CompareEntryNames(name, entry->name) == 0) return RAR_OK;
    }
}

RarResult RarSkipEntry(RarArchive *archive) {
    if (Begin(archive) != RAR_OK) return RAR_ERROR_ARGUMENT;
    if (!archive->haveEntry) return RAR_FAIL(*archive, RAR_ERROR_ARGUMENT, "no current entry");
    return PassOverEntry(*archive);
}

RarResult RarExtractToCallback(RarArchive *archive, RarWriteFunc writer, void *user) {
    if (Begin(archive) != RAR_OK) return RAR_ERROR_ARGUMENT;
    RarArchive &a = *archive;
    if (writer == nullptr) return RAR_FAIL(a, RAR_ERROR_ARGUMENT, "writer is NULL");
    RarResult result = BeginEntry(a, true);
    const uint8_t *data;
    size_t size = 1;
    while (result == RAR_OK && size > 0) {
        result = NextChunk(a, &data, &size);
        if (result == RAR_OK && size > 0 && writer(user, data, size) != 0) {
            a.phase = RarArchive::kDone;
            return RAR_FAIL(a, RAR_ERROR_IO, "the writer stopped the extraction");
        }
    }
    return result;
}

RarResult RarExtractToBuffer(RarArchive *archive, void *buffer, size_t capacity, size_t *size) {
    if (Begin(archive) != RAR_OK) return RAR_ERROR_ARGUMENT;
    RarArchive &a = *archive;
    if (size != nullptr) *size = 0;
    if (size == nullptr || (buffer == nullptr && capacity != 0)) {
        return RAR_FAIL(a, RAR_ERROR_ARGUMENT, "buffer or size is NULL");
    }
    if (a.haveEntry && a.fileHeader.unpackedSize > capacity) {
        return RAR_FAIL(a, RAR_ERROR_LIMIT, "the buffer is smaller than the entry");
    }
    RarResult result = BeginEntry(a, true);
    if (result != RAR_OK) return result;
    return ExtractWhole(a, static_cast<uint8_t *>(buffer), size);
}

RarResult RarExtractToNew(RarArchive *archive, void **data, uint64_t *size) {
    if (Begin(archive) != RAR_OK) return RAR_ERROR_ARGUMENT;
    RarArchive &a = *archive;
    if (data == nullptr || size == nullptr) return RAR_FAIL(a, RAR_ERROR_ARGUMENT, "data or size is NULL");
    *data = nullptr;
    *size = 0;
    if (!a.haveEntry) return RAR_FAIL(a, RAR_ERROR_ARGUMENT, "no current entry");
    // The size is checked against the limits and the data that could give
    // it before anything is allocated: a few hostile header bytes must not
    // reserve gigabytes.
    uint64_t entrySize = a.fileHeader.unpackedSize;
    uint64_t window = a.fileHeader.method == kStoredMethod || a.unpack.window != nullptr ? 0 : kWindowSize;
    if (entrySize > SIZE_MAX || entrySize + window > a.maxMemory) {
        return RAR_FAIL(a, RAR_ERROR_LIMIT, "the entry is larger than the handle's maxMemory allows");
    }
    RarResult code;
    if (UndecodableReason(a, &code) == nullptr && !OutputSizePossible(a)) {
        return RAR_FAIL(a, RAR_ERROR_TRUNCATED, "the packed data is too short for the entry's size");
    }
    RarResult result = BeginEntry(a, true);
    if (result != RAR_OK) return result;
    // Never a zero-byte request: an empty entry still gets a usable pointer.
    uint8_t *buffer = static_cast<uint8_t *>(malloc(entrySize != 0 ? static_cast<size_t>(entrySize) : 1));
    if (buffer == nullptr) {
        a.phase = RarArchive::kDone;
        return RAR_FAIL(a, RAR_ERROR_NO_MEMORY, "out of memory for the entry");
    }
    size_t done = 0;
    result = ExtractWhole(a, buffer, &done);
    if (result != RAR_OK) {
        free(buffer);
        return result;
    }
    *data = buffer;
    *size = done;
    return RAR_OK;
}

RarResult RarRead(RarArchive *archive, void *buffer, size_t capacity, size_t *count) {
    if (Begin(archive) != RAR_OK) return RAR_ERROR_ARGUMENT;
    RarArchive &a = *archive;
    if (count != nullptr) *count = 0;
    if (count == nullptr || (buffer == nullptr && capacity != 0)) {
        return RAR_FAIL(a, RAR_ERROR_ARGUMENT, "buffer or count is NULL");
    }
    if (a.phase == RarArchive::kUntouched) {
        RarResult result = BeginEntry(a, true);
        if (result != RAR_OK) return result;
    }
    if (a.readFailure != RAR_OK) return RAR_FAIL(a, a.readFailure, "the entry failed in an earlier RarRead");
    uint8_t *to = static_cast<uint8_t *>(buffer);
    while (*count < capacity) {
        if (a.pendingSize == 0) {
            if (a.phase != RarArchive::kDecoding) break;
            RarResult result = NextChunk(a, &a.pending, &a.pendingSize);
            if (result != RAR_OK) {
                a.readFailure = result;
                return result;
            }
            if (a.pendingSize == 0) break;
        }
        size_t n = capacity - *count < a.pendingSize ? capacity - *count : a.pendingSize;
        memcpy(to + *count, a.pending, n);
        a.pending += n;
        a.pendingSize -= n;
        *count += n;
    }
    return RAR_OK;
}

void RarFreeBuffer(void *data) { free(data); }

const char *RarErrorMessage(const RarArchive *archive) {
    if (archive == nullptr) return "no archive";
    return archive->message;
}

const char *RarResultText(RarResult result) {
    switch (result) {
    case RAR_OK: return "success";
    case RAR_END: return "no more entries";
    case RAR_ERROR_ARGUMENT: return "invalid argument or call out of order";
    case RAR_ERROR_IO: return "the source could not be opened, read or positioned";
    case RAR_ERROR_NOT_ARCHIVE: return "not a RAR archive";
    case RAR_ERROR_UNSUPPORTED_ARCHIVE: return "unsupported kind of archive";
    case RAR_ERROR_BAD_HEADER: return "damaged block header";
    case RAR_ERROR_UNSUPPORTED_METHOD: return "unsupported version or method";
    case RAR_ERROR_SPLIT: return "entry split across volumes";
    case RAR_ERROR_BAD_DATA: return "CRC mismatch: damaged data or a wrong password";
    case RAR_ERROR_TRUNCATED: return "the data ends too early";
    case RAR_ERROR_LIMIT: return "a limit is too small for the entry";
    case RAR_ERROR_NO_MEMORY: return "out of memory";
    case RAR_ERROR_NOT_FOUND: return "no entry of that name";
    }
    return "unknown result";
}

}  // extern "C"
