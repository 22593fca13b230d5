// Whole files in memory, taken from loose files on disk or from the ZIP pack
// "data.dat".
//
// A `PackFile` hands out files as `MemFile` records: `Load` looks for the
// file on disk under its own path, then under "data/" + path, and only then
// for a pack member of that name (compared without regard to ASCII case).
// The pack is read through minizip's unzip interface.
//
// Ownership of file buffers: the record `Load` returns owns its buffer.
// Copies of a `MemFile` share that buffer (each copy has its own read
// position), so exactly one holder releases it, with `FreeMem`, once every
// copy is done with it. `Texture::LoadTGA` reads its own copy and never
// releases it; `LoadPicture` (texture.h) loads, decodes and releases in one
// call.
//
// Single-threaded: none of these functions may run concurrently on the same
// objects.
#pragma once

#include <cstdint>

// One whole file in a heap buffer, with a read position.
struct MemFile {
    char name[32];        // the path asked for, NUL-terminated; "" when refused
    unsigned char *data;  // the file's bytes; null when nothing was found
    int32_t size;         // bytes in `data`; 0 when nothing was found
    int32_t pos;          // read position, 0 <= pos <= size
};

// Releases the record's buffer and leaves it empty (data null, size and pos
// 0); the name is kept. Any copy that shares the buffer must not be read
// afterwards.
void FreeMem(MemFile *file);

// Copies up to `len` bytes from the read position of `file` into `dst` and
// moves the position past them. `*count` receives the number copied: 0 at or
// past the end, for an empty record and for a negative `len`.
void ReadMem(MemFile *file, void *dst, int32_t len, int32_t *count);

// Reads one line of text whose lines end in carriage return and line feed.
// Reads like `ReadMem`, then looks for the first line feed among the bytes
// copied, at index i: the byte before it (the carriage return) becomes the
// string's terminator, `*count` becomes i, and the read position moves to
// just after the line feed. A line feed at index 0 gives an empty line
// (dst[0] becomes 0). When no line feed is among the bytes read the process
// ends: "ReadMemLine error!" goes to standard output and exit(0) runs.
void ReadMemLine(MemFile *file, void *dst, int32_t len, int32_t *count);

// What the pack records about one of its members.
struct PackMemberInfo {
    uint32_t crc = 0;
    uint64_t compressedSize = 0;
    uint64_t uncompressedSize = 0;
};

// The demo's file source: disk first, then the pack.
class PackFile {
public:
    constexpr PackFile() = default;
    // Closes the pack if one is open.
    ~PackFile();
    PackFile(const PackFile &) = delete;
    PackFile &operator=(const PackFile &) = delete;

    // Opens the ZIP pack at `path` (in `folder`), closing any pack opened before. Returns 1
    // on success. On failure returns 0 and leaves `handle` null; `opened`
    // keeps its previous value, so after an earlier success it stays 1 and
    // every pack lookup then fails with the not-found message.
    int Open(const char *path);

    // Returns the whole file `path` (at most 31 characters) as a record owned
    // by the caller (see FreeMem). Where it looks depends on `mode`:
    // 0 disk, then "data/" + path on disk, then the pack; 2 disk only;
    // any other value the pack only. A file found on disk is returned even
    // when reading it comes up short (the missing bytes read as 0). The
    // record is empty (data null, size 0) when the path is longer than 31
    // characters (name ""), when the file is nowhere to be found (with the
    // message "\nFile <path> not found!\n" on standard output if the pack
    // was searched), or when its buffer cannot be allocated. A pack member
    // that fails its CRC check is returned as read; one that inflates to
    // less than its header claims gives a record of what did inflate.
    MemFile Load(const char *path);

    // Size in bytes of `path`: in modes 0 and 2 of the disk file at exactly
    // that path when it exists (0 in mode 2 when it does not); otherwise the
    // uncompressed size of the pack's current member (0 without one). -1
    // when the size does not fit in 31 bits.
    int32_t FileSize(const char *path);

    // The record of the pack's current member; all zero when there is no
    // open pack or no current member.
    PackMemberInfo CurrentFileInfo();

    // Closes the pack: `handle` becomes null and `opened` 0. Returns 1.
    int Close();

    // The folder that relative paths (the pack's and the files') are taken
    // from; "" for the working folder. Not owned: it must outlive the loads.
    const char *folder = "";
    void *handle = nullptr;    // the open pack (minizip's unzFile), or null
    int32_t mode = 0;          // 0 disk then pack, 2 disk only, other: pack only
    int32_t opened = 0;        // 1 after a successful Open, 0 after Close
};

// The demo's one pack, opened by start-up on "data.dat".
extern PackFile packFile;
