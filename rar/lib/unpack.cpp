// The RAR 2.0 unpacker's main loop, its matches and the window flush.
#include "unpack.h"

#include <string.h>

#include "archive.h"
#include "handle.h"

namespace quorbenhal {

namespace {

// Length slots of long and history matches: base and extra bits.
constexpr uint8_t kLengthBase[28] = {0,  1,  2,  3,  4,  5,  6,  7,  8,   10,  12,  14,  16,  20,
                                     24, 28, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224};
constexpr uint8_t kLengthBits[28] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2,
                                     2, 2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5};

// Distance slots of long matches.
constexpr uint32_t kDistanceBase[48] = {
    0,      1,      2,      3,      4,      6,      8,      12,     16,     24,     32,     48,
    64,     96,     128,    192,    256,    384,    512,    768,    1024,   1536,   2048,   3072,
    4096,   6144,   8192,   12288,  16384,  24576,  32768,  49152,  65536,  98304,  131072, 196608,
    262144, 327680, 393216, 458752, 524288, 589824, 655360, 720896, 786432, 851968, 917504, 983040};
constexpr uint8_t kDistanceBits[48] = {0,  0,  0,  0,  1,  1,  2,  2,  3,  3,  4,  4,
                                       5,  5,  6,  6,  7,  7,  8,  8,  9,  9,  10, 10,
                                       11, 11, 12, 12, 13, 13, 14, 14, 15, 15, 16, 16,
                                       16, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16};

// Short matches (length 2): distance base and extra bits.
constexpr uint8_t kShortBase[8] = {0, 4, 8, 16, 32, 64, 128, 192};
constexpr uint8_t kShortBits[8] = {2, 2, 3, 4, 5, 6, 6, 6};

constexpr uint32_t kEndOfBlock = 269;
constexpr uint32_t kAudioEndOfBlock = 256;

// Copies length bytes from distance back, with the result of copying one
// byte at a time (a distance below the length repeats the last bytes), but
// in large pieces when neither the source nor the destination wraps.
inline void CopyMatch(uint8_t *window, uint32_t pos, uint32_t distance, uint32_t length) {
    // Distance 0 and distance 0x100000 read the byte being written: no change.
    if (length == 0 || distance == 0 || distance == kWindowSize) return;
    uint32_t src = (pos - distance) & kWindowMask;
    if (pos + length <= kWindowSize && src + length <= kWindowSize) {
        uint8_t *to = window + pos;
        const uint8_t *from = window + src;
        if (src > pos) {
            // The source lies ahead (a distance reaching round the window):
            // every byte is read before the copy overwrites it.
            memmove(to, from, length);
        } else if (distance >= length) {
            memcpy(to, from, length);
        } else if (distance == 1) {
            memset(to, *from, length);
        } else if (distance >= 8) {
            // Overlapping, but each 8-byte piece reads bytes that earlier
            // pieces have already written.
            uint32_t i = 0;
            for (; i + 8 <= length; i += 8) memcpy(to + i, from + i, 8);
            for (; i < length; ++i) to[i] = from[i];
        } else {
            for (uint32_t i = 0; i < length; ++i) to[i] = from[i];
        }
        return;
    }
    for (uint32_t i = 0; i < length; ++i) {
        window[pos] = window[src];
        pos = (pos + 1) & kWindowMask;
        src = (src + 1) & kWindowMask;
    }
}

// Forgets what the entry before left (tables, history, predictors, window)
// unless the entry continues the solid stream.
void ResetUnpackState(UnpackState &u, bool solid) {
    u.input.inBit = 0;
    u.input.inPos = 0;
    if (solid) {
        // A previous entry may have ended exactly at the window's end.
        u.windowPos &= kWindowMask;
        u.flushedPos &= kWindowMask;
        return;
    }
    u.tables.currentChannel = 0;
    u.crossChannelDelta = 0;
    memset(u.channels, 0, sizeof u.channels);
    memset(u.distanceHistory, 0, sizeof u.distanceHistory);
    memset(u.tables.prevCodeLengths, 0, sizeof u.tables.prevCodeLengths);
    u.historyIndex = 0;
    u.prevMatchDistance = 0;
    u.prevMatchLength = 0;
    u.windowPos = 0;
    u.flushedPos = 0;
    if (!u.windowClean) memset(u.window, 0, kWindowSize);
}

// After the entry's last byte: when the next code is the end of the block,
// the tables that follow it belong to the next entry of a solid stream.
void LoadTrailingTables(UnpackState &u) {
    if (static_cast<int64_t>(u.input.inEnd) < static_cast<int64_t>(u.input.inPos) + 5) return;
    if (u.tables.audioMode) {
        if (DecodeSymbol(u.input, u.tables.audioTables[u.tables.currentChannel]) == kAudioEndOfBlock) {
            LoadTables(u.input, u.tables);
        }
    } else if (DecodeSymbol(u.input, u.tables.mainTable) == kEndOfBlock) {
        LoadTables(u.input, u.tables);
    }
}

}  // namespace

void StartUnpack(RarArchive &a, uint64_t unpackedSize) {
    UnpackState &u = a.unpack;
    bool solid = (a.fileHeader.flags & kFileSolid) != 0;
    ResetUnpackState(u, solid);
    u.windowClean = false;
    u.inputExhausted = false;
    u.finished = false;
    u.remainingOutput = static_cast<int64_t>(unpackedSize);
    RefillInput(u.input, true);
    if (!solid) LoadTables(u.input, u.tables);
}

void DecodeSome(RarArchive &a) {
    UnpackState &u = a.unpack;
    uint8_t *window = u.window;

    // The loop keeps the reader (in a register bit buffer), the window
    // position and the output count in locals and hands them back around
    // every call that reads or changes them.
    // The multimedia predictors live in locals too, which the compiler
    // knows no window store can change.
    BitBuffer in;
    in.Start(u.input.inBuffer, u.input.inPos, u.input.inBit);
    uint32_t pos = u.windowPos;
    int64_t remaining = u.remainingOutput - 1;
    uint32_t channel = u.tables.currentChannel;
    AudioChannelState channels[4];
    memcpy(channels, u.channels, sizeof channels);
    int32_t crossChannelDelta = u.crossChannelDelta;
    auto save = [&] {
        u.input.inPos = in.InPos();
        u.input.inBit = in.InBit();
        u.windowPos = pos;
        u.remainingOutput = remaining + 1;
        u.tables.currentChannel = channel;
    };
    auto restore = [&] {
        in.Start(u.input.inBuffer, u.input.inPos, u.input.inBit);
        pos = u.windowPos;
        remaining = u.remainingOutput - 1;
        channel = u.tables.currentChannel;
    };

    bool paused = false;
    while (remaining >= 0) {
        pos &= kWindowMask;
        in.Fill();
        uint32_t inPos = in.InPos();
        if (inPos > 8162) {
            save();
            RefillInput(u.input, false);
            restore();
            inPos = in.InPos();
        }
        // Every code consumes at least one bit, so stopping here bounds the
        // work by the size of the packed data: a short or corrupt stream
        // cannot make the loop decode stale input for as long as the header
        // claims output.
        if (inPos > u.input.dataEnd + kInputSlack) {
            u.inputExhausted = true;
            break;
        }
        // The next code may write up to 260 bytes: pause while they cannot
        // overwrite bytes not yet handed on.
        if (u.flushedPos != pos && ((u.flushedPos - pos) & kWindowMask) < 270) {
            paused = true;
            break;
        }
        if (u.tables.audioMode) {
            uint32_t symbol = DecodeSymbol(in, u.tables.audioTables[channel]);
            if (symbol == kAudioEndOfBlock) {
                save();
                LoadTables(u.input, u.tables);
                restore();
                continue;
            }
            window[pos++] = DecodeAudioByte(channels[channel], crossChannelDelta, symbol);
            if (++channel >= u.tables.channelCount) channel = 0;
            --remaining;
            continue;
        }

        uint32_t symbol = DecodeSymbol(in, u.tables.mainTable);
        if (symbol < 256) {
            window[pos++] = static_cast<uint8_t>(symbol);
            --remaining;
            continue;
        }
        uint32_t length;
        uint32_t distance;
        if (symbol >= 270) {
            uint32_t slot = symbol - 270;
            length = kLengthBase[slot] + 3u;
            if (kLengthBits[slot] > 0) length += ReadBits(in, kLengthBits[slot]);
            uint32_t distanceSlot = DecodeSymbol(in, u.tables.distanceTable);
            distance = kDistanceBase[distanceSlot] + 1;
            if (kDistanceBits[distanceSlot] > 0) distance += ReadBits(in, kDistanceBits[distanceSlot]);
            if (distance >= 0x2000) ++length;
            if (distance >= 0x40000) ++length;
        } else if (symbol == 256) {
            length = u.prevMatchLength;
            distance = u.prevMatchDistance;
        } else if (symbol < 261) {
            distance = u.distanceHistory[(u.historyIndex - (symbol - 256)) & 3];
            uint32_t slot = DecodeSymbol(in, u.tables.repeatLengthTable);
            length = kLengthBase[slot] + 2u;
            if (kLengthBits[slot] > 0) length += ReadBits(in, kLengthBits[slot]);
            if (distance >= 0x101) ++length;
            if (distance >= 0x2000) ++length;
            if (distance >= 0x40000) ++length;
        } else if (symbol < kEndOfBlock) {
            uint32_t slot = symbol - 261;
            distance = kShortBase[slot] + 1u + ReadBits(in, kShortBits[slot]);
            length = 2;
        } else {
            save();
            LoadTables(u.input, u.tables);
            restore();
            continue;
        }
        u.distanceHistory[u.historyIndex & 3] = distance;
        ++u.historyIndex;
        u.prevMatchDistance = distance;
        u.prevMatchLength = length;
        remaining -= length;
        CopyMatch(window, pos, distance, length);
        pos = (pos + length) & kWindowMask;
    }
    save();
    memcpy(u.channels, channels, sizeof channels);
    u.crossChannelDelta = crossChannelDelta;
    if (paused) return;

    u.finished = true;
    if (!u.inputExhausted) LoadTrailingTables(u);
}

}  // namespace quorbenhal
