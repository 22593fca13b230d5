// Where an archive's bytes come from: a file, a block of memory read in
// place, or the caller's read and seek callbacks. Everything above reads
// through these three calls and never knows which source it has.
#pragma once

#include <stddef.h>
#include <stdint.h>
#include <stdio.h>

#include "quorbenhal.h"

namespace quorbenhal {

struct Source {
    enum Kind { kNone, kFile, kMemory, kStream } kind = kNone;
    FILE *file = nullptr;           // kFile: owned, closed by CloseSource
    const uint8_t *data = nullptr;  // kMemory
    RarStream stream{};             // kStream
    int64_t size = -1;              // total bytes, -1 when unknown
    int64_t position = 0;           // where the next read starts
};

// Opens a file for binary reading and takes its size. False when it cannot
// be opened.
bool OpenFileSource(Source &source, const char *path);
#ifdef _WIN32
bool OpenWideFileSource(Source &source, const wchar_t *path);
#endif
void OpenMemorySource(Source &source, const void *data, size_t size);
void OpenStreamSource(Source &source, const RarStream &stream);
void CloseSource(Source &source);

// Reads up to count bytes at the current position; returns the count read
// (short only at the end of the data), or -1 after a read error.
int64_t SourceRead(Source &source, void *buffer, size_t count);

// Moves the current position to offset from the start. A position past the
// end is allowed (reads there return 0). False when the source refuses.
bool SourceSeek(Source &source, int64_t offset);

}  // namespace quorbenhal
