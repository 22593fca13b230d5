// Packed input: reads an entry's packed bytes from the archive (deciphering
// them when the entry is encrypted) into the unpacker's input buffer, and
// reads bits from that buffer, most significant bit first.
#pragma once

#include <stdint.h>

#include "quorbenhal.h"

// For the few functions of the decoding loops that must be inlined even
// where the compiler's size heuristics would call them (a call puts the bit
// buffer into memory for the whole loop).
#if defined(__GNUC__)
#define QUORBENHAL_ALWAYS_INLINE __attribute__((always_inline)) inline
#else
#define QUORBENHAL_ALWAYS_INLINE inline
#endif

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
// unpacker's loop uses: the next bits sit left-aligned in a 64-bit register
// that one unaligned 8-byte load tops up to at least 56 bits, so several
// codes decode between two refills without a check per code (the LZ loop
// writes its budget where it takes the codes). Both read the same bits from
// the same buffer.
struct BitBuffer {
    const uint8_t *inBuffer;
    const uint8_t *next;  // the first byte not yet taken into bits
    uint64_t bits;        // the next bits, most significant first
    // How many of them are valid: the low 6 bits (consuming subtracts
    // whole table entries, whose low 6 bits are the count, and leaves
    // the bits above it undefined).
    uint32_t avail;

    // Starts at a reader position of InputState.
    void Start(const uint8_t *buffer, uint32_t inPos, uint32_t inBit) {
        inBuffer = buffer;
        next = buffer + inPos;
        bits = 0;
        avail = 0;
        Refill();
        bits <<= inBit;
        avail -= inBit;
    }
    // Tops the register up to 56-63 valid bits. The bits below the valid
    // ones are the stream's next bits too (or zeros), so OR-ing a later load
    // over them changes nothing. It reads up to 8 bytes from next, at most
    // 16 past the reader, which the buffer's padding covers.
    QUORBENHAL_ALWAYS_INLINE void Refill() {
        const uint8_t *p = next;
        uint64_t word = static_cast<uint64_t>(p[0]) << 56 | static_cast<uint64_t>(p[1]) << 48 |
                        static_cast<uint64_t>(p[2]) << 40 | static_cast<uint64_t>(p[3]) << 32 |
                        static_cast<uint64_t>(p[4]) << 24 | static_cast<uint64_t>(p[5]) << 16 |
                        static_cast<uint64_t>(p[6]) << 8 | static_cast<uint64_t>(p[7]);
        uint32_t valid = avail & 63;
        bits |= word >> valid;
        next += (63 - valid) >> 3;
        avail = valid | 56;
    }
    // How many of the bits are valid.
    uint32_t Valid() const { return avail & 63; }
    // The reader's position in bits from the buffer's start.
    uint32_t BitPosition() const { return static_cast<uint32_t>(next - inBuffer) * 8 - Valid(); }
    uint32_t InPos() const { return BitPosition() >> 3; }
    uint32_t InBit() const { return BitPosition() & 7; }
};

// Callers refill before a group of codes; these never do.
inline uint32_t Peek16(const BitBuffer &in) { return static_cast<uint32_t>(in.bits >> 48); }

// Consumes the count in the low 6 bits of n (0-63); the bits above are
// ignored, so a table entry can be passed as it is.
inline void ConsumeBits(BitBuffer &in, uint32_t n) {
    in.bits <<= n & 63;
    in.avail -= n;
}

// The next 16 bits, not consumed.
inline uint32_t Peek16(const InputState &in) {
    const uint8_t *p = in.inBuffer + in.inPos;
    uint32_t word = static_cast<uint32_t>(p[0]) << 24 | static_cast<uint32_t>(p[1]) << 16 |
                    static_cast<uint32_t>(p[2]) << 8 | static_cast<uint32_t>(p[3]);
    return ((word << in.inBit) >> 16) & 0xFFFF;
}

inline void ConsumeBits(InputState &in, uint32_t n) {
    uint32_t bits = in.inBit + (n & 63);
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
