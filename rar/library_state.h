// The process-wide state of the operation in progress: the open archive, the
// arguments, the window and where the wanted file's bytes go. One instance;
// every entry operation sets what it uses before it reads it.
#pragma once

#include <stdint.h>
#include <stdio.h>

namespace quorbenhal {

constexpr uint32_t kWindowSize = 0x100000;  // the 1 MiB LZ window
constexpr uint32_t kWindowMask = kWindowSize - 1;

extern FILE *archiveFile;       // the open archive, or null
extern int64_t archiveSize;     // its size in bytes, taken when it was opened
extern char archiveName[256];   // archive path (at most 255 bytes)
extern char wantedName[260];    // name of the file to extract (at most 259 bytes)
extern char password[256];      // empty: no password
extern uint8_t *window;         // the window, allocated per operation

extern uint8_t *outputBuffer;     // receives the wanted file; null until it is found
extern uint32_t outputCapacity;   // size of outputBuffer (the wanted file's unpacked size)
extern uint32_t *outputCount;     // the caller's length: bytes placed in outputBuffer
extern int32_t outputEnabled;     // 1 while the current entry is the wanted one

extern int32_t cryptVersion;      // 0: packed data read unchanged; else the entry's unpack version
extern uint32_t remainingPacked;  // packed bytes of the current entry not yet read
// Unpacked bytes still to produce. 64-bit so that entries of 2 GiB and more
// (sizes are unsigned 32-bit in the header) are not taken as negative.
extern int64_t remainingOutput;

}  // namespace quorbenhal
