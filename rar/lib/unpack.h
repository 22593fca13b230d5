// The RAR 2.0 unpacker: decodes one entry's packed bit stream (LZ blocks with
// literals and matches out of a 1 MiB circular window, and multimedia blocks).
// The window is also the output: decoding pauses before it would overwrite
// bytes not yet handed on, and the output stage takes them from there.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include "audio.h"
#include "quorbenhal.h"
#include "huffman.h"
#include "packed_input.h"

namespace quorbenhal {

constexpr uint32_t kWindowSize = 0x100000;  // the 1 MiB LZ window
constexpr uint32_t kWindowMask = kWindowSize - 1;

// The LZ decoder's distance history.
struct LzHistory {
    uint32_t history[4];
    uint32_t historyIndex;  // distances pushed so far; the ring slot is its low two bits
    uint32_t prevDistance;
    uint32_t prevLength;
};

// Everything in it survives from one UnpackFile call to the next, which is
// what lets a solid entry continue where the previous one stopped.
struct UnpackState {
    InputState input;
    TableSet tables;
    AudioChannelState channels[4];
    int32_t crossChannelDelta;

    uint8_t *window;
    uint32_t windowPos;   // next write position in the window
    uint32_t flushedPos;  // position up to which bytes have been handed on (or dropped)
    // Unpacked bytes of the entry still to produce; below 0 when the last
    // match went past the entry's size.
    int64_t remainingOutput;
    LzHistory lz;

    // Window positions from here on hold zeros (written neither since the
    // window was allocated nor since it was last cleared), so clearing it
    // for a non-solid entry costs what the entry before wrote, not 1 MiB.
    uint32_t windowDirtyEnd;
    // The window's contents count as zeros: a non-solid entry has begun and
    // the clearing waits for the first decoding into the window, since an
    // entry decoded straight into its buffer overwrites most of it anyway.
    bool windowCleared;
    // The entry's decoding has ended: its output is complete, or its packed
    // data ran out (inputExhausted).
    bool finished;
    bool inputExhausted;
};

// Starts decoding the current entry: the caller has set a.remainingPacked,
// a.cryptVersion (with the key state) and positioned the source at the
// packed data. Flag 0x10 of the entry continues the solid stream: tables,
// history and window stay as the entry before left them.
void StartUnpack(RarArchive &a, uint64_t unpackedSize);

// Decodes until the entry's output is complete, its packed data has run out,
// or the window holds nearly 1 MiB not yet handed on. The new bytes are
// window[flushedPos, windowPos) (wrapping round the window's end); the caller
// takes them and moves flushedPos up to windowPos before the next call.
void DecodeSome(RarArchive &a);

// Decodes the start of the entry that StartUnpack has just begun straight
// into out, which holds the entry's size, and returns how many bytes it
// decoded. It stops short of the last bytes (where a match may go past the
// entry's end), or where the packed data runs out, and leaves the window as
// if those bytes had been decoded into it and handed on: DecodeSome goes on
// from there, and later solid entries see the same history.
size_t DecodeDirect(RarArchive &a, uint8_t *out, size_t size);

}  // namespace quorbenhal
