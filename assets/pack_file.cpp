#include "assets/pack_file.h"

#include <unzip.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>

// Constant-initialised, so it is ready before any other static constructor
// could reach it.
constinit PackFile packFile;

namespace {

// Length of the stream's file, or -1 when it cannot be told or does not fit
// in a record's 32-bit size. Leaves the stream at its start.
long StreamLength(FILE *stream) {
    long end = -1;
    if (std::fseek(stream, 0, SEEK_END) == 0) end = std::ftell(stream);
    std::rewind(stream);
    if (end < 0 || end > INT32_MAX) return -1;
    return end;
}

// A zero-filled buffer of `size` bytes (a unique non-null pointer for 0), or
// null when it cannot be allocated. Zero-filled so that a short read never
// leaves indeterminate bytes in a record.
unsigned char *AllocateFileBuffer(int32_t size) {
    return new (std::nothrow) unsigned char[static_cast<size_t>(size)]();
}

// Reads the whole stream into `file`; leaves `file` empty when its size cannot
// be represented or allocated.
void ReadWholeStream(FILE *stream, MemFile &file) {
    const long length = StreamLength(stream);
    if (length < 0) return;
    const auto size = static_cast<int32_t>(length);
    unsigned char *buffer = AllocateFileBuffer(size);
    if (buffer == nullptr) return;
    // A short read keeps the file's length; the unread tail stays zero.
    (void)std::fread(buffer, 1, static_cast<size_t>(size), stream);
    file.data = buffer;
    file.size = size;
}

// Inflates the pack's current member into `file`, at most `claimed` bytes
// (the size its header gives). That size is only a claim: the buffer grows
// with what really inflates, so a damaged or hostile pack cannot make a few
// bytes cost gigabytes, and the record holds exactly the bytes that came (a
// damaged member is not detected otherwise). Empty when even the first
// buffer cannot be allocated.
void ReadMember(unzFile handle, int32_t claimed, MemFile &file) {
    constexpr int32_t kFirstBuffer = 1 << 16;
    int32_t capacity = claimed < kFirstBuffer ? claimed : kFirstBuffer, size = 0;
    unsigned char *buffer = AllocateFileBuffer(capacity);
    if (buffer == nullptr) return;
    if (unzOpenCurrentFile(handle) == UNZ_OK) {
        while (size < claimed) {
            if (size == capacity) {  // full: twice as big, never beyond the claim
                const int32_t larger = claimed - capacity > capacity ? capacity * 2 : claimed;
                unsigned char *grown = AllocateFileBuffer(larger);
                if (grown == nullptr) break;
                std::memcpy(grown, buffer, static_cast<size_t>(size));
                delete[] buffer;
                buffer = grown;
                capacity = larger;
            }
            const int got = unzReadCurrentFile(handle, buffer + size, static_cast<unsigned>(capacity - size));
            if (got <= 0) break;
            size += got;
        }
        (void)unzCloseCurrentFile(handle);
    }
    file.data = buffer;
    file.size = size;
}

bool DiskAllowed(int32_t mode) { return mode == 0 || mode == 2; }

// `path` as seen from `folder`: itself when it is absolute or there is no folder.
std::string InFolder(const char *folder, const char *path) {
    if (folder == nullptr || folder[0] == '\0' || path[0] == '/' || path[0] == '\\') return path;
    std::string joined = folder;
    if (joined.back() != '/' && joined.back() != '\\') joined += '/';
    return joined + path;
}

std::FILE *OpenInFolder(const char *folder, const char *path) {
    return std::fopen(InFolder(folder, path).c_str(), "rb");
}

}  // namespace

void FreeMem(MemFile *file) {
    if (file == nullptr) return;
    delete[] file->data;
    file->data = nullptr;
    file->size = 0;
    file->pos = 0;
}

void ReadMem(MemFile *file, void *dst, int32_t len, int32_t *count) {
    int32_t copied = 0;
    if (file != nullptr && file->data != nullptr && len > 0 && file->pos >= 0 &&
        file->pos < file->size) {
        const int32_t remaining = file->size - file->pos;
        copied = len < remaining ? len : remaining;
        std::memcpy(dst, file->data + file->pos, static_cast<size_t>(copied));
        file->pos += copied;
    }
    if (count != nullptr) *count = copied;
}

void ReadMemLine(MemFile *file, void *dst, int32_t len, int32_t *count) {
    int32_t copied = 0;
    ReadMem(file, dst, len, &copied);
    auto *bytes = static_cast<unsigned char *>(dst);
    const void *lineFeed = copied > 0 ? std::memchr(bytes, '\n', static_cast<size_t>(copied)) : nullptr;
    if (lineFeed == nullptr) {
        std::fputs("ReadMemLine error!\n", stdout);
        std::exit(0);
    }
    const auto index = static_cast<int32_t>(static_cast<const unsigned char *>(lineFeed) - bytes);
    // The terminator replaces the carriage return before the line feed; a
    // line feed with nothing before it is itself replaced, giving "".
    bytes[index > 0 ? index - 1 : 0] = 0;
    file->pos = file->pos - copied + index + 1;
    if (count != nullptr) *count = index;
}

PackFile::~PackFile() {
    if (handle != nullptr) unzClose(handle);
}

int PackFile::Open(const char *path) {
    // Every start-up opens the pack again; the previous one is not needed.
    if (handle != nullptr) unzClose(handle);
    handle = nullptr;
    if (path != nullptr) handle = unzOpen(InFolder(folder, path).c_str());
    if (handle == nullptr) return 0;
    opened = 1;
    return 1;
}

MemFile PackFile::Load(const char *path) {
    MemFile file{};
    if (path == nullptr) return file;
    const size_t length = strnlen(path, sizeof file.name);
    if (length >= sizeof file.name) return file;  // does not fit in `name`: refused
    std::memcpy(file.name, path, length + 1);

    if (DiskAllowed(mode)) {
        FILE *stream = OpenInFolder(folder, path);
        if (stream == nullptr) {
            char prefixed[80];
            const int written = std::snprintf(prefixed, sizeof prefixed, "data/%s", path);
            if (written > 0 && static_cast<size_t>(written) < sizeof prefixed) {
                stream = OpenInFolder(folder, prefixed);
            }
        }
        if (stream != nullptr) {
            ReadWholeStream(stream, file);
            std::fclose(stream);
            return file;
        }
        if (mode == 2) return file;
    }

    if (opened == 0) return file;
    if (unzLocateFile(handle, path, 2) != UNZ_OK) {
        std::printf("\nFile %s not found!\n", path);
        return file;
    }
    const int32_t claimed = FileSize(path);
    if (claimed >= 0) ReadMember(handle, claimed, file);
    return file;
}

int32_t PackFile::FileSize(const char *path) {
    if (DiskAllowed(mode)) {
        FILE *stream = path != nullptr ? OpenInFolder(folder, path) : nullptr;
        if (stream != nullptr) {
            const long length = StreamLength(stream);
            std::fclose(stream);
            return static_cast<int32_t>(length);
        }
        if (mode == 2) return 0;
    }
    const PackMemberInfo info = CurrentFileInfo();
    if (info.uncompressedSize > static_cast<uint64_t>(INT32_MAX)) return -1;
    return static_cast<int32_t>(info.uncompressedSize);
}

PackMemberInfo PackFile::CurrentFileInfo() {
    unz_file_info info{};
    // minizip fills `info` only on success and refuses a null handle.
    (void)unzGetCurrentFileInfo(handle, &info, nullptr, 0, nullptr, 0, nullptr, 0);
    return PackMemberInfo{static_cast<uint32_t>(info.crc), info.compressed_size, info.uncompressed_size};
}

int PackFile::Close() {
    (void)unzClose(handle);
    handle = nullptr;
    opened = 0;
    return 1;
}
