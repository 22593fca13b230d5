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

struct DecodeTable {
    uint32_t symbolCount;
    uint32_t limit[16];       // exclusive upper bound, left-aligned to 16 bits, of codes of length <= L
    uint32_t firstIndex[16];  // index in symbols of the first symbol of code length L
    uint32_t symbols[kMainSymbols];
    // For each value of the next kFastBits bits: symbol | length << 9 when the
    // code is at most kFastBits long, else 0.
    uint16_t fast[1u << kFastBits];
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
void BuildDecodeTable(const uint8_t *lengths, DecodeTable &table, uint32_t count);

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

// Decodes one symbol and consumes its code.
template <typename Reader>
inline uint32_t DecodeSymbol(Reader &in, const DecodeTable &table) {
    uint32_t v = Peek16(in) & 0xFFFE;
    uint32_t entry = table.fast[v >> (16 - kFastBits)];
    if (entry != 0) {
        ConsumeBits(in, entry >> 9);
        return entry & 0x1FF;
    }
    uint32_t length = CodeLength(table, v, kFastBits + 1);
    ConsumeBits(in, length);
    return SymbolAt(table, v, length);
}

// Reads a block header and its code lengths and rebuilds the tables of the
// block's kind.
void LoadTables(InputState &in, TableSet &tables);

}  // namespace quorbenhal
