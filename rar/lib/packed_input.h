// Packed input: reads an entry's packed bytes from the archive (deciphering
// them when the entry is encrypted) into the unpacker's input buffer, and
// reads bits from that buffer, most significant bit first.
#pragma once

#include <stdint.h>

#include "quorbenhal.h"

namespace quorbenhal {

constexpr uint32_t kInBufferSize = 8192;
// Bytes kept readable past the buffer's end: the bit reader loads four bytes
// at a time, and they must be defined bytes even at the last position.
constexpr uint32_t kInBufferPadding = 64;
// The unpacker stops once the reader is this many bytes past the entry's
// packed data: the last codes may be peeked past the end, never consumed.
constexpr uint32_t kInputSlack = 8;

struct InputState {
    RarArchive *archive;  // whose packed data is read
    uint8_t inBuffer[kInBufferSize + kInBufferPadding];
    uint32_t inPos;   // byte position of the reader in inBuffer
    uint32_t inBit;   // bit offset inside the byte at inPos, from the most significant bit
    int32_t inEnd;    // number of valid bytes in inBuffer, as the trailing-table check sees it
    // Where this entry's packed data ends in inBuffer (bytes past it are
    // zero). Unlike inEnd it never moves up to the reader, so it tells when
    // the reader has run out of data.
    uint32_t dataEnd;
};

// Reads up to count packed bytes of the current entry (never more than
// a.remainingPacked) into dest and deciphers them in 16-byte blocks when
// a.cryptVersion is 20 or above; dest must have room for count rounded up to
// a multiple of 16. Returns the count read, or -1 after a read error.
int64_t ReadPacked(RarArchive &a, uint8_t *dest, uint32_t count);

// The first fill of an entry, or the slide that keeps the last 32 bytes and
// reads up to 8160 more behind them.
void RefillInput(InputState &in, bool firstFill);

// The bit reader works on InputState itself (byte position and bit offset,
// reading the buffer for every peek), or on a BitBuffer, which the
// unpacker's loop uses: the next bits sit in a 64-bit register, so a symbol
// costs a shift and a table lookup instead of a load from the buffer, and
// the position is not reloaded after each byte stored in the window. Both
// read the same bits from the same buffer.
struct BitBuffer {
    const uint8_t *inBuffer;
    uint64_t bits;     // the next bits, most significant first
    uint32_t avail;    // how many of them are valid
    uint32_t loadPos;  // the next byte of inBuffer to take into bits

    // Starts at a reader position of InputState.
    void Start(const uint8_t *buffer, uint32_t inPos, uint32_t inBit) {
        inBuffer = buffer;
        bits = 0;
        avail = 0;
        loadPos = inPos;
        Fill();
        bits <<= inBit;
        avail -= inBit;
    }
    // Tops the register up to more than 32 valid bits. It reads at most 8
    // bytes ahead of the reader, which the buffer's padding covers.
    void Fill() {
        if (avail > 32) return;
        const uint8_t *p = inBuffer + loadPos;
        uint64_t word = static_cast<uint64_t>(p[0]) << 24 | static_cast<uint64_t>(p[1]) << 16 |
                        static_cast<uint64_t>(p[2]) << 8 | static_cast<uint64_t>(p[3]);
        bits |= word << (32 - avail);
        loadPos += 4;
        avail += 32;
    }
    // The reader's position in bits from the buffer's start.
    uint32_t BitPosition() const { return loadPos * 8 - avail; }
    uint32_t InPos() const { return BitPosition() >> 3; }
    uint32_t InBit() const { return BitPosition() & 7; }
};

inline uint32_t Peek16(BitBuffer &in) {
    if (in.avail < 16) in.Fill();
    return static_cast<uint32_t>(in.bits >> 48);
}

inline void ConsumeBits(BitBuffer &in, uint32_t n) {
    in.bits <<= n;
    in.avail -= n;
}

// The next 16 bits, not consumed.
template <typename Reader>
inline uint32_t Peek16(const Reader &in) {
    const uint8_t *p = in.inBuffer + in.inPos;
    uint32_t word = static_cast<uint32_t>(p[0]) << 24 | static_cast<uint32_t>(p[1]) << 16 |
                    static_cast<uint32_t>(p[2]) << 8 | static_cast<uint32_t>(p[3]);
    return ((word << in.inBit) >> 16) & 0xFFFF;
}

template <typename Reader>
inline void ConsumeBits(Reader &in, uint32_t n) {
    uint32_t bits = in.inBit + n;
    in.inPos += bits >> 3;
    in.inBit = bits & 7;
}

// An n-bit field, 1 <= n <= 16.
template <typename Reader>
inline uint32_t ReadBits(Reader &in, uint32_t n) {
    uint32_t value = Peek16(in) >> (16 - n);
    ConsumeBits(in, n);
    return value;
}

}  // namespace quorbenhal
