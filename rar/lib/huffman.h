// Canonical Huffman decode tables, and the reading of the header and code
// lengths that begin every block of a RAR 2.0 stream.
#pragma once

#include <stdint.h>

#include "packed_input.h"

namespace quorbenhal {

constexpr uint32_t kMainSymbols = 298;
constexpr uint32_t kDistanceSymbols = 48;
constexpr uint32_t kRepeatLengthSymbols = 28;
constexpr uint32_t kLengthCodeSymbols = 19;
constexpr uint32_t kAudioSymbols = 257;
constexpr uint32_t kMaxCodeLengths = 1028;  // 4 audio tables of 257

// Codes up to this many bits decode with one lookup; longer ones go through
// the limit search. Both give the same symbol for the same bits.
constexpr uint32_t kFastBits = 10;

// What a table's symbols mean, so that a lookup can hand the decoding loop
// everything it needs next: the length of a long or short match (base and
// number of extra bits) or a distance, not just the symbol.
enum class TableKind : uint8_t { kPlain, kMain, kDistance, kRepeatLength };

// A decoded entry, 32 bits: the number of bits the code and the extra bits
// that follow it take together (bits 0-5, so that a shift by the entry is a
// shift by that count), the number of extra bits (bits 6-10), the symbol
// (bits 11-19), the value the extra bits are added to (bits 20-30: the
// length base of a long match plus 3, the distance base of a short match
// plus 1, the length base of a repeat-length symbol plus 2) and, in the
// main table, bit 31 set for a literal (symbols 0-255), so that the
// decoding loop tells literals by the sign. A distance entry has its base
// plus 1 in bits 11-30 instead of the symbol and value. Decoding consumes
// the code and its extra bits at once; the extra bits' value comes from the
// bits as they were before (EntryExtra). Every entry takes at least one
// bit, so 0 can mark a code longer than the lookup's bits (kSlowEntry): not
// a literal, it goes through the loop's non-literal path, consuming nothing
// (a table never built, all zeros, decodes the same way).
constexpr uint32_t kSlowEntry = 0;
constexpr uint32_t kLiteralFlag = 0x80000000;
inline uint32_t EntryBits(uint32_t entry) { return entry & 63; }
inline uint32_t EntryExtraBits(uint32_t entry) { return (entry >> 6) & 31; }
inline uint32_t EntrySymbol(uint32_t entry) { return (entry >> 11) & 0x1FF; }
// Of entries that are not literals (bit 31 clear).
inline uint32_t EntryValue(uint32_t entry) { return entry >> 20; }
inline uint32_t EntryDistance(uint32_t entry) { return entry >> 11; }
inline bool EntryIsLiteral(uint32_t entry) { return static_cast<int32_t>(entry) < 0; }
inline uint8_t EntryLiteral(uint32_t entry) { return static_cast<uint8_t>(entry >> 11); }
// The value of the extra bits of entry, from the 64 bits that began with its
// code (left-aligned, as BitBuffer holds them).
inline uint32_t EntryExtra(uint64_t bitsBefore, uint32_t entry) {
    uint32_t field = static_cast<uint32_t>(bitsBefore >> (64 - EntryBits(entry)));
    return field & ((1u << EntryExtraBits(entry)) - 1);
}

struct DecodeTable {
    uint32_t symbolCount;
    TableKind kind;
    uint32_t limit[16];       // exclusive upper bound, left-aligned to 16 bits, of codes of length <= L
    uint32_t firstIndex[16];  // index in symbols of the first symbol of code length L
    uint32_t symbols[kMainSymbols];
    // For each value of the next kFastBits bits: the entry of the code they
    // start when it is at most kFastBits long, else kSlowEntry.
    uint32_t fast[1u << kFastBits];
};

struct TableSet {
    DecodeTable mainTable;
    DecodeTable distanceTable;
    DecodeTable repeatLengthTable;
    DecodeTable lengthsTable;
    DecodeTable audioTables[4];
    uint8_t prevCodeLengths[kMaxCodeLengths];
    uint32_t audioMode;       // 1: the current block is multimedia-coded
    uint32_t channelCount;    // 1..4 in a multimedia block
    uint32_t currentChannel;  // 0..3, the channel of the next multimedia byte
};

// Builds table from count code lengths (each taken modulo 16; 0 = no code).
// Any lengths build a table: incomplete and oversubscribed codes included.
void BuildDecodeTable(const uint8_t *lengths, DecodeTable &table, uint32_t count,
                      TableKind kind = TableKind::kPlain);

// The code length for the 16 peeked bits v (lowest bit cleared): the smallest
// L in 1..14 with v < limit[L], else 15.
inline uint32_t CodeLength(const DecodeTable &table, uint32_t v, uint32_t from) {
    uint32_t length = from;
    while (length < 15 && v >= table.limit[length]) ++length;
    return length;
}

inline uint32_t SymbolAt(const DecodeTable &table, uint32_t v, uint32_t length) {
    uint32_t i = table.firstIndex[length] + ((v - table.limit[length - 1]) >> (16 - length));
    return table.symbols[i < table.symbolCount ? i : 0];
}

// The entry of the code of length L that decodes to symbol.
uint32_t MakeEntry(TableKind kind, uint32_t symbol, uint32_t length);

// The entry of a code longer than kFastBits, from the 16 peeked bits.
uint32_t SlowEntry(const DecodeTable &table, uint32_t peeked);

// The index into DecodeTable::fast of the next code.
inline uint32_t FastIndex(const BitBuffer &in) { return static_cast<uint32_t>(in.bits >> (64 - kFastBits)); }
inline uint32_t FastIndex(const InputState &in) { return Peek16(in) >> (16 - kFastBits); }

// Decodes one code and consumes it with its extra bits; returns its entry.
template <typename Reader>
inline uint32_t DecodeEntry(Reader &in, const DecodeTable &table) {
    uint32_t entry = table.fast[FastIndex(in)];
    if (entry == kSlowEntry) entry = SlowEntry(table, Peek16(in));
    ConsumeBits(in, entry);
    return entry;
}

// Decodes one symbol and consumes its code.
template <typename Reader>
inline uint32_t DecodeSymbol(Reader &in, const DecodeTable &table) {
    return EntrySymbol(DecodeEntry(in, table));
}

// Reads a block header and its code lengths and rebuilds the tables of the
// block's kind.
void LoadTables(InputState &in, TableSet &tables);

}  // namespace quorbenhal
