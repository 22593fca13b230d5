// The RAR 2.0 unpacker's main loop and its matches, decoding into the window
// or, for a whole entry, straight into the caller's buffer.
#include "unpack.h"

#include <string.h>

#include "archive.h"
#include "handle.h"

namespace quorbenhal {

namespace {

constexpr uint32_t kEndOfBlock = 269;
constexpr uint32_t kAudioEndOfBlock = 256;

// The longest match: length slot 27 with all extra bits set and both
// distance bonuses (224 + 3 + 31 + 2), or a history match with all three.
constexpr uint32_t kMaxMatch = 260;
// Decoding pauses when the next code could overwrite bytes of the window
// that have not been handed on: fewer than this many bytes are free.
constexpr uint32_t kFlushMargin = 270;
// The input buffer slides once the reader is past this byte.
constexpr uint32_t kRefillPoint = 8162;

// Copies length bytes from distance back inside one flat stretch of memory,
// with the result of copying a byte at a time: a distance below the length
// repeats the last bytes. Exact: nothing past the match's end is written
// (in the window those bytes are history a later match may still read).
inline void CopyMatch(uint8_t *to, uint32_t distance, uint32_t length) {
    const uint8_t *from = to - distance;
    if (distance >= 8) {
        if (length >= 8) {
            // Each piece reads bytes at least 8 back, written before it.
            uint32_t i = 0;
            do {
                memcpy(to + i, from + i, 8);
                i += 8;
            } while (i + 8 <= length);
            if (i < length) memcpy(to + length - 8, from + length - 8, 8);
        } else if (length >= 4) {
            uint32_t head, tail;
            memcpy(&head, from, 4);
            memcpy(&tail, from + length - 4, 4);
            memcpy(to, &head, 4);
            memcpy(to + length - 4, &tail, 4);
        } else {
            for (uint32_t i = 0; i < length; ++i) to[i] = from[i];
        }
    } else if (distance == 1) {
        memset(to, to[-1], length);
    } else {
        for (uint32_t i = 0; i < length; ++i) to[i] = from[i];
    }
}

// Direct decoding may write this many bytes past a match's end (the next
// codes overwrite them): whole 16-byte pieces, no loop for the rest.
constexpr uint32_t kCopyOverrun = 16;

// As CopyMatch, for memory that has kCopyOverrun bytes to spare after the match.
inline void CopyMatchOverrun(uint8_t *to, uint32_t distance, uint32_t length) {
    const uint8_t *from = to - distance;
    uint8_t *end = to + length;
    if (distance >= 16) {
        do {
            memcpy(to, from, 16);
            to += 16;
            from += 16;
        } while (to < end);
    } else if (distance >= 8) {
        do {
            memcpy(to, from, 8);
            to += 8;
            from += 8;
        } while (to < end);
    } else if (distance == 1) {
        uint64_t v = 0x0101010101010101ull * to[-1];
        do {
            memcpy(to, &v, 8);
            to += 8;
        } while (to < end);
    } else {
        for (uint32_t i = 0; i < length; ++i) to[i] = from[i];
    }
}

// One channel that follows itself (its cross-channel delta is its own last
// delta) through a whole adaptation period: 32 codes and bytes from slot 0,
// with the deltas D0-D3 and the previous byte kept in registers and the
// slots known in the code, then the adaptation. Stops early, with the state
// as DecodeAudioByte would leave it, at the end of the block (its code
// consumed, *endOfBlock set) or when the input nears inLimit. The caller has
// checked that the 32 bytes fit below the output limit and that the input
// is below inLimit. Returns the bytes produced.
QUORBENHAL_ALWAYS_INLINE uint32_t DecodeOwnPeriod(BitBuffer &reader, const DecodeTable &table, AudioChannelState &ch,
                                                  int32_t &crossDelta, uint8_t *out, const uint8_t *inLimit,
                                                  bool *endOfBlock) {
    BitBuffer in = reader;  // in registers whatever the stores alias (see DecodeLzRun)
    int32_t d0 = ch.channelDelta, d1 = ch.delta[2], d2 = ch.delta[1], d3 = ch.delta[0];
    const int32_t own = ch.ownDeltaWeight, c1 = ch.deltaWeights[1], c2 = ch.deltaWeights[2],
                  c3 = ch.deltaWeights[3];
    uint32_t prev = ch.prevByte;
    uint32_t i = 0;
#pragma GCC unroll 11
    for (uint32_t group = 0; group < 11; ++group) {
        if (group > 0 && in.next >= inLimit) goto stopped;
        // Three codes fit in the refilled bits (3 x 15).
        in.Refill();
#pragma GCC unroll 3
        for (uint32_t k = 0; k < 3; ++k) {
            if (group * 3 + k < kAdaptPeriod) {
                uint32_t symbol = DecodeSymbol(in, table);
                if (symbol == kAudioEndOfBlock) {
                    *endOfBlock = true;
                    goto stopped;
                }
                ch.delta[3 + i] = static_cast<int16_t>(d0);
                ch.cross[i] = static_cast<int16_t>(d0);
                ch.error[i] = static_cast<int16_t>(static_cast<int8_t>(static_cast<uint8_t>(symbol)) * 8);
                int32_t x = own * d0 + c1 * d1 + c2 * d2 + c3 * d3;
                uint32_t change = static_cast<uint32_t>(x >> 3) - symbol;
                prev += change;
                out[i] = static_cast<uint8_t>(prev);
                d3 = d2;
                d2 = d1;
                d1 = d0;
                d0 = static_cast<int8_t>(static_cast<uint8_t>(change));
                ++i;
            }
        }
    }
stopped:
    reader = in;
    ch.samplesSeen += i;
    ch.prevByte = prev & 0xFF;
    ch.channelDelta = d0;
    crossDelta = d0;
    if (i == kAdaptPeriod) Adapt(ch);
    return i;
}

// N interleaved channels (2-4) through a whole adaptation period: 32
// frames (one byte of each channel, channel 0 first) from slot 0 of every
// channel, with the slots known in the code and each channel's latest delta
// and previous byte kept in locals (the older deltas come from the record,
// where the frame before stored them: sixteen would not fit in registers),
// then the adaptations. Stops early, with the
// state as DecodeAudioByte would leave it, at the end of the block (its code
// consumed, *endOfBlock set, *channel the channel of the next byte) or, at a
// frame's start, when the input nears inLimit. The caller has checked that
// the 32 frames fit below the output limit and that the input is below
// inLimit. Returns the bytes produced.
template <uint32_t N>
QUORBENHAL_ALWAYS_INLINE uint32_t DecodeFramePeriod(BitBuffer &reader, const DecodeTable *tables, AudioChannelState *ch,
                                                    int32_t &crossDelta, uint8_t *out, const uint8_t *inLimit,
                                                    bool *endOfBlock, uint32_t *channel) {
    BitBuffer in = reader;  // in registers whatever the stores alias (see DecodeLzRun)
    int32_t d0[N];
    uint32_t prev[N];
    for (uint32_t k = 0; k < N; ++k) {
        d0[k] = ch[k].channelDelta;
        prev[k] = ch[k].prevByte;
    }
    int32_t cross = crossDelta;
    uint32_t frame = 0, k = 0;
#pragma GCC unroll 4
    for (frame = 0; frame < kAdaptPeriod; ++frame) {
        if (frame > 0 && in.next >= inLimit) break;
        in.Refill();
#pragma GCC unroll 4
        for (k = 0; k < N; ++k) {
            if (k == 3) in.Refill();  // four codes may take 60 bits
            uint32_t symbol = DecodeSymbol(in, tables[k]);
            if (symbol == kAudioEndOfBlock) {
                *endOfBlock = true;
                goto stopped;
            }
            AudioChannelState &c = ch[k];
            c.delta[3 + frame] = static_cast<int16_t>(d0[k]);
            c.cross[frame] = static_cast<int16_t>(cross);
            c.error[frame] = static_cast<int16_t>(static_cast<int8_t>(static_cast<uint8_t>(symbol)) * 8);
            int32_t x = c.deltaWeights[0] * d0[k] + c.deltaWeights[1] * c.delta[2 + frame] +
                        c.deltaWeights[2] * c.delta[1 + frame] + c.deltaWeights[3] * c.delta[frame] +
                        c.weights[4] * cross;
            uint32_t change = static_cast<uint32_t>(x >> 3) - symbol;
            prev[k] += change;
            out[frame * N + k] = static_cast<uint8_t>(prev[k]);
            d0[k] = static_cast<int8_t>(static_cast<uint8_t>(change));
            cross = d0[k];
        }
    }
    k = 0;
stopped:
    reader = in;
    for (uint32_t j = 0; j < N; ++j) {
        // The channels before k have one byte more of the unfinished frame:
        // the last one of their period, when the block ends in frame 31.
        uint32_t done = frame + (j < k);
        ch[j].samplesSeen += done;
        ch[j].prevByte = prev[j] & 0xFF;
        ch[j].channelDelta = d0[j];
        if (done == kAdaptPeriod) Adapt(ch[j]);
    }
    crossDelta = cross;
    *channel = k;
    return frame * N + k;
}

// LZ codes from pos while pos stays below fastEnd and the reader below
// inLimit (the first code is taken unchecked: the caller has checked the
// limits). Returns true after the end-of-block code. The bit buffer,
// position and history are copied into locals whose addresses are never
// taken, so they stay in registers although the byte stores may alias
// anything in memory, and copied back at the end. See Decode for out,
// windowStart and the direct form.
template <bool kDirect>
QUORBENHAL_ALWAYS_INLINE bool DecodeLzRun(BitBuffer &reader, uint8_t *out, size_t &outPos, size_t fastEnd,
                                          const uint8_t *inLimit, LzHistory &history, const UnpackState &u,
                                          uint32_t windowStart) {
    BitBuffer in = reader;
    size_t pos = outPos;
    LzHistory lz = history;
    bool endOfBlock = false;
    const DecodeTable &mainTable = u.tables.mainTable;
    // At the top of the loop at least kFastBits bits are valid, so the
    // lookup of the first code goes ahead while the refill is merged in:
    // the refill is off the chain from one code to the next. So is the
    // refill before the second code of a match, for the same reason.
    do {
        // A code longer than the lookup's bits takes none here (kSlowEntry)
        // and is decoded on the non-literal path.
        uint32_t entry = mainTable.fast[FastIndex(in)];
        in.Refill();
        uint64_t bitsBefore = in.bits;
        ConsumeBits(in, entry);
        if (EntryIsLiteral(entry)) {
            out[pos++] = EntryLiteral(entry);
            // Two more codes fit in the refilled bits (at least 56): at
            // most two literals from the lookup (kFastBits each) and one
            // more code with its length bits (up to 15 + 5), which leaves at
            // least 16 bits for the next lookup and 21 for a repeat length.
            // The reader's limit is checked before every code, as the
            // output's is: below inLimit the reader is within the entry's
            // data (and the slack), so a code starts only where check()
            // would let it, and a damaged entry stops at the same code
            // whether it is decoded straight into a buffer or through the
            // window (a solid entry after it goes on from there).
            if (pos < fastEnd && in.next < inLimit) {
                bitsBefore = in.bits;
                entry = mainTable.fast[FastIndex(in)];
                ConsumeBits(in, entry);
                if (!EntryIsLiteral(entry)) goto notLiteral;
                out[pos++] = EntryLiteral(entry);
                if (pos < fastEnd && in.next < inLimit) {
                    bitsBefore = in.bits;
                    entry = mainTable.fast[FastIndex(in)];
                    ConsumeBits(in, entry);
                    if (!EntryIsLiteral(entry)) goto notLiteral;
                    out[pos++] = EntryLiteral(entry);
                }
            }
            continue;
        }
    notLiteral:
        if (entry == kSlowEntry) {
            entry = SlowEntry(mainTable, Peek16(in));
            ConsumeBits(in, entry);
            if (EntryIsLiteral(entry)) {
                out[pos++] = EntryLiteral(entry);
                continue;
            }
        }
        uint32_t symbol = EntrySymbol(entry);
        uint32_t length;
        uint32_t distance;
        if (symbol >= 270) {
            // At least 16 bits are left for the lookup; the distance code
            // and its bits take up to 31 of the refilled ones.
            length = EntryValue(entry) + EntryExtra(bitsBefore, entry);
            uint32_t d = u.tables.distanceTable.fast[FastIndex(in)];
            in.Refill();
            bitsBefore = in.bits;
            if (d == kSlowEntry) d = SlowEntry(u.tables.distanceTable, Peek16(in));
            ConsumeBits(in, d);
            distance = EntryDistance(d) + EntryExtra(bitsBefore, d);
            length += (distance >= 0x2000) + (distance >= 0x40000);
        } else if (symbol >= 261) {
            if (symbol == kEndOfBlock) {
                endOfBlock = true;
                break;
            }
            distance = EntryValue(entry) + EntryExtra(bitsBefore, entry);
            length = 2;
        } else if (symbol == 256) {
            length = lz.prevLength;
            distance = lz.prevDistance;
        } else {
            // The length code and its bits take at most 20 bits, and at
            // least 21 are left (see above): no refill.
            uint32_t r = u.tables.repeatLengthTable.fast[FastIndex(in)];
            bitsBefore = in.bits;
            if (r == kSlowEntry) r = SlowEntry(u.tables.repeatLengthTable, Peek16(in));
            ConsumeBits(in, r);
            distance = lz.history[(lz.historyIndex - (symbol - 256)) & 3];
            length = EntryValue(r) + EntryExtra(bitsBefore, r);
            length += (distance >= 0x101) + (distance >= 0x2000) + (distance >= 0x40000);
        }
        lz.history[lz.historyIndex & 3] = distance;
        ++lz.historyIndex;
        lz.prevDistance = distance;
        lz.prevLength = length;
        // Distance 0 reads the byte being written, as 0x100000 does.
        uint32_t reach = distance != 0 ? distance : kWindowSize;
        if (kDirect && reach <= pos) {
            CopyMatchOverrun(out + pos, reach, length);
        } else if (!kDirect && reach <= pos && pos + length <= kWindowSize) {
            CopyMatch(out + pos, reach, length);
        } else if (kDirect && pos + length <= reach) {
            // All before the entry's first byte: the window, as the
            // entry before left it (zeros for a non-solid entry).
            uint32_t from = static_cast<uint32_t>((windowStart + pos - reach) & kWindowMask);
            uint32_t first = length < kWindowSize - from ? length : kWindowSize - from;
            if (u.windowCleared) {
                memset(out + pos, 0, length);
            } else {
                memcpy(out + pos, u.window + from, first);
                memcpy(out + pos + first, u.window, length - first);
            }
        } else if (kDirect) {
            // Partly before the entry's first byte.
            for (uint32_t i = 0; i < length; ++i) {
                size_t at = pos + i;
                out[at] = at >= reach        ? out[at - reach]
                          : u.windowCleared ? 0
                                            : u.window[(windowStart + at - reach) & kWindowMask];
            }
        } else {
            // The source or the destination wraps round the window's end.
            uint32_t to = static_cast<uint32_t>(pos);
            uint32_t from = (to - reach) & kWindowMask;
            for (uint32_t i = 0; i < length; ++i) {
                out[(to + i) & kWindowMask] = out[(from + i) & kWindowMask];
            }
        }
        pos += length;
    } while (pos < fastEnd && in.next < inLimit);
    reader = in;
    outPos = pos;
    history = lz;
    return endOfBlock;
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
    memset(u.tables.prevCodeLengths, 0, sizeof u.tables.prevCodeLengths);
    u.lz = {};
    u.windowPos = 0;
    u.flushedPos = 0;
    u.windowCleared = true;
}

// Clears the window of a non-solid entry as far as it was written.
void ClearWindow(UnpackState &u) {
    if (!u.windowCleared) return;
    memset(u.window, 0, u.windowDirtyEnd);
    u.windowDirtyEnd = 0;
    u.windowCleared = false;
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

enum class Stop {
    kDone,       // the entry's bytes are all there (or one match went past them)
    kExhausted,  // the packed data ran out
    kPause,      // the window is full of bytes not yet handed on
    kHandOff,    // direct decoding: the buffer's last bytes are left to the window
};

// The decoding loop. Window: into the circular window from u.windowPos.
// Direct: into out (outSize bytes, the entry's size) from *outPos, the
// entry's first byte at out[0]; bytes a match reaches before it are the
// zeros of a fresh window.
//
// Everything the loop changes lives in locals (the compiler cannot keep
// fields of u in registers across stores through a byte pointer, which may
// alias anything), and the checks the format needs before each code (input
// refill, end of data, end of entry, window flush point, window end) are
// folded into two limits: below fastEnd and inLimit no check can trigger
// for the next code, so the common path tests two values per code; at the
// limits the exact checks run, in the order the format defines them.
template <bool kDirect>
Stop Decode(RarArchive &a, uint8_t *out, size_t outSize, size_t *outPos) {
    UnpackState &u = a.unpack;
    InputState &input = u.input;
    BitBuffer in;
    in.Start(input.inBuffer, input.inPos, input.inBit);

    size_t pos = kDirect ? *outPos : u.windowPos;
    // The bytes still to produce, minus one, were remaining0 at base; the
    // entry ends when that count drops below zero.
    const int64_t remaining0 = u.remainingOutput - 1;
    size_t base = pos;
    bool wrapped = false;
    const uint32_t windowStart = u.windowPos;  // where the entry's first byte goes in the window

    LzHistory lz = u.lz;
    uint32_t channel = u.tables.currentChannel;
    uint32_t channelCount = u.tables.channelCount;
    int32_t crossDelta = u.crossChannelDelta;
    AudioChannelState channels[4];
    memcpy(channels, u.channels, sizeof channels);
    const TableSet &tables = u.tables;

    size_t fastEnd = 0;
    const uint8_t *inLimit = input.inBuffer;
    Stop stop = Stop::kDone;

    auto saveReader = [&] {
        uint32_t bit = in.BitPosition();
        input.inPos = bit >> 3;
        input.inBit = bit & 7;
    };
    auto restoreReader = [&] {
        in.Start(input.inBuffer, input.inPos, input.inBit);
        fastEnd = 0;  // the next code goes through the checks
    };
    // The checks before a code; false stops the loop. Sets the limits for
    // the codes after it.
    auto check = [&]() -> bool {
        int64_t remaining = remaining0 - static_cast<int64_t>(pos - base);
        if (remaining < 0) {
            stop = Stop::kDone;
            return false;
        }
        if (!kDirect && pos >= kWindowSize) {
            pos -= kWindowSize;
            base -= kWindowSize;
            wrapped = true;
        }
        uint32_t inPos = in.InPos();
        if (inPos > kRefillPoint) {
            saveReader();
            RefillInput(input, false);
            restoreReader();
            inPos = in.InPos();
        }
        // Every code consumes at least one bit, so stopping here bounds the
        // work by the size of the packed data: a short or corrupt stream
        // cannot make the loop decode stale input for as long as the header
        // claims output.
        if (inPos > input.dataEnd + kInputSlack) {
            stop = Stop::kExhausted;
            return false;
        }
        size_t limit;
        if (kDirect) {
            // The last bytes of the buffer come through the window, which
            // treats a match past the entry's end as the format says.
            if (pos + kMaxMatch + kCopyOverrun > outSize) {
                stop = Stop::kHandOff;
                return false;
            }
            limit = outSize - kMaxMatch - kCopyOverrun + 1;
        } else {
            uint32_t gap = (u.flushedPos - static_cast<uint32_t>(pos)) & kWindowMask;
            if (u.flushedPos != pos && gap < kFlushMargin) {
                stop = Stop::kPause;
                return false;
            }
            if (gap == 0) gap = kWindowSize;
            // Codes from below the limit neither reach the flush margin nor
            // write past the window's end.
            limit = pos + gap - kFlushMargin + 1;
            if (limit > kWindowSize - kMaxMatch + 1) limit = kWindowSize - kMaxMatch + 1;
        }
        // Up to three literals decode per refill: all of them inside the entry.
        if (static_cast<int64_t>(limit) > static_cast<int64_t>(pos) + remaining - 1) {
            limit = remaining >= 1 ? pos + static_cast<size_t>(remaining) - 1 : 0;
        }
        fastEnd = limit;
        uint32_t inEnd = input.dataEnd + kInputSlack < kRefillPoint ? input.dataEnd + kInputSlack : kRefillPoint;
        inLimit = input.inBuffer + inEnd + 1;
        return true;
    };

    for (;;) {
        if (tables.audioMode) {
            // The loop for N channels decodes whole frames (one byte of each
            // channel, channel 0 first) with the channels fixed in the code;
            // the bytes of a frame that a block starts or ends inside of go
            // one at a time. One channel: its previous byte and delta stay in
            // registers (the cross-channel delta is its own delta once a byte
            // of it came last).
            const DecodeTable *audioTables = tables.audioTables;
            auto audioLoop = [&]<uint32_t N>() -> bool {
                for (;;) {
                    // One channel goes by whole periods only; the bytes up to
                    // the next period's start go one at a time.
                    if (channel != 0 || pos + N > fastEnd || in.next + 8 >= inLimit ||
                        (N == 1 && (crossDelta != channels[0].channelDelta ||
                                    (channels[0].samplesSeen & (kAdaptPeriod - 1)) != 0 ||
                                    pos + kAdaptPeriod > fastEnd))) {
                        if (pos >= fastEnd || in.next >= inLimit) {
                            if (!check()) return false;
                        }
                        in.Refill();
                        uint32_t symbol = DecodeSymbol(in, audioTables[channel]);
                        if (symbol == kAudioEndOfBlock) return true;
                        out[pos++] = DecodeAudioByte(channels[channel], crossDelta, symbol);
                        channel = channel + 1 < N ? channel + 1 : 0;
                        continue;
                    }
                    in.Refill();
                    if constexpr (N == 1) {
                        bool endOfBlock = false;
                        pos += DecodeOwnPeriod(in, audioTables[0], channels[0], crossDelta, out + pos, inLimit,
                                               &endOfBlock);
                        if (endOfBlock) return true;
                    } else {
                        bool aligned = pos + N * kAdaptPeriod <= fastEnd;
                        for (uint32_t k = 0; k < N; ++k) {
                            aligned = aligned && (channels[k].samplesSeen & (kAdaptPeriod - 1)) == 0;
                        }
                        if (aligned) {
                            bool endOfBlock = false;
                            pos += DecodeFramePeriod<N>(in, audioTables, channels, crossDelta, out + pos, inLimit,
                                                        &endOfBlock, &channel);
                            if (endOfBlock) return true;
                            continue;
                        }
                        for (uint32_t k = 0; k < N; ++k) {
                            if (k == 3) in.Refill();  // four codes may take 60 bits
                            uint32_t symbol = DecodeSymbol(in, audioTables[k]);
                            if (symbol == kAudioEndOfBlock) {
                                channel = k;
                                return true;
                            }
                            out[pos++] = DecodeAudioByte(channels[k], crossDelta, symbol);
                        }
                    }
                }
            };
            bool more = channelCount == 1   ? audioLoop.template operator()<1>()
                        : channelCount == 2 ? audioLoop.template operator()<2>()
                        : channelCount == 3 ? audioLoop.template operator()<3>()
                                            : audioLoop.template operator()<4>();
            if (!more) goto stopped;
        } else {
            for (;;) {
                if (pos >= fastEnd || in.next >= inLimit) {
                    if (!check()) goto stopped;
                }
                if (DecodeLzRun<kDirect>(in, out, pos, fastEnd, inLimit, lz, u, windowStart)) break;
            }
        }
        // The end of a block: new tables, and perhaps a change of mode.
        saveReader();
        u.tables.currentChannel = channel;
        LoadTables(input, u.tables);
        channel = u.tables.currentChannel;
        channelCount = u.tables.channelCount;
        restoreReader();
    }

stopped:
    saveReader();
    u.lz = lz;
    u.tables.currentChannel = channel;
    u.crossChannelDelta = crossDelta;
    memcpy(u.channels, channels, sizeof channels);
    u.remainingOutput = remaining0 - static_cast<int64_t>(pos - base) + 1;
    if (kDirect) {
        *outPos = pos;
    } else {
        u.windowPos = static_cast<uint32_t>(pos);
        // Positions past the furthest write still hold zeros.
        if (wrapped || pos >= kWindowSize) {
            u.windowDirtyEnd = kWindowSize;
        } else if (pos > u.windowDirtyEnd) {
            u.windowDirtyEnd = static_cast<uint32_t>(pos);
        }
    }
    return stop;
}

}  // namespace

void StartUnpack(RarArchive &a, uint64_t unpackedSize) {
    UnpackState &u = a.unpack;
    bool solid = (a.fileHeader.flags & kFileSolid) != 0;
    ResetUnpackState(u, solid);
    u.inputExhausted = false;
    u.finished = false;
    u.remainingOutput = static_cast<int64_t>(unpackedSize);
    RefillInput(u.input, true);
    if (!solid) LoadTables(u.input, u.tables);
}

void DecodeSome(RarArchive &a) {
    UnpackState &u = a.unpack;
    ClearWindow(u);
    Stop stop = Decode<false>(a, u.window, 0, nullptr);
    if (stop == Stop::kPause) return;
    u.finished = true;
    u.inputExhausted = stop == Stop::kExhausted;
    if (!u.inputExhausted) LoadTrailingTables(u);
}

size_t DecodeDirect(RarArchive &a, uint8_t *out, size_t size) {
    UnpackState &u = a.unpack;
    size_t pos = 0;
    uint32_t start = u.windowPos;
    Decode<true>(a, out, size, &pos);
    // The window takes over as if the bytes had been decoded into it: its
    // last 1 MiB at the same positions, the rest as the entry before left it.
    size_t kept = pos < kWindowSize ? pos : kWindowSize;
    const uint8_t *from = out + pos - kept;
    uint32_t at = static_cast<uint32_t>((start + (pos - kept)) & kWindowMask);
    uint32_t first = kept < kWindowSize - at ? static_cast<uint32_t>(kept) : kWindowSize - at;
    if (u.windowCleared) {
        // A non-solid entry starts at the window's start: what it did not
        // reach is cleared now.
        if (u.windowDirtyEnd > kept) memset(u.window + kept, 0, u.windowDirtyEnd - kept);
        u.windowDirtyEnd = 0;
        u.windowCleared = false;
    }
    memcpy(u.window + at, from, first);
    memcpy(u.window, from + first, kept - first);
    if (kept > first || at + first > u.windowDirtyEnd) u.windowDirtyEnd = kept > first ? kWindowSize : at + first;
    u.windowPos = static_cast<uint32_t>((start + pos) & kWindowMask);
    u.flushedPos = u.windowPos;
    return pos;
}

}  // namespace quorbenhal
