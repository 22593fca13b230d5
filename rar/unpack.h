// The RAR 2.0 unpacker: decodes one entry's packed bit stream (LZ blocks with
// literals and matches out of a 1 MiB circular window, and multimedia blocks)
// and hands the bytes to outputBuffer while the entry is the wanted one.
#pragma once

#include <stdint.h>

#include "audio.h"
#include "huffman.h"
#include "packed_input.h"

namespace quorbenhal {

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
    uint32_t distanceHistory[4];
    uint32_t historyIndex;  // distances pushed so far; the ring slot is its low two bits
    uint32_t prevMatchDistance;
    uint32_t prevMatchLength;

    // The window holds only zeros (freshly allocated, or cleared and not
    // written since), so a non-solid entry need not clear it again.
    bool windowClean;
    // The last UnpackFile call stopped because its packed data ran out.
    bool inputExhausted;
};

extern UnpackState unpackState;

// Forgets everything an earlier operation left (tables, history, predictors)
// and takes a freshly allocated, zero-filled window. Called once per entry
// operation, so that no result depends on an earlier call.
void StartUnpackSession(uint8_t *zeroedWindow);

// Decodes the current entry. Before it the caller sets remainingOutput,
// remainingPacked, cryptVersion (with the key state), outputEnabled,
// outputBuffer with outputCapacity and outputCount, positions the archive at
// the packed data, and sets fileHeader (flag 0x10: continue the solid stream).
// Returns when the output is complete, the output buffer would overrun, or
// the packed data has run out; *outputCount tells how much was stored.
void UnpackFile(uint8_t *window);

// Steps of UnpackFile, exposed for tests.
void ResetUnpackState(bool solid);
void FlushWindow();
void LoadTrailingTables();

}  // namespace quorbenhal
