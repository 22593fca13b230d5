// Canonical Huffman tables and the block header with its code lengths.
#include "huffman.h"

#include <string.h>

namespace quorbenhal {

namespace {

// Bases and extra bits of the length slots (long matches and repeat
// lengths), of the distance slots and of the short-match distances.
constexpr uint8_t kLengthBase[28] = {0,  1,  2,  3,  4,  5,  6,  7,  8,   10,  12,  14,  16,  20,
                                     24, 28, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224};
constexpr uint8_t kLengthBits[28] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2,
                                     2, 2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5};
constexpr uint32_t kDistanceBase[48] = {
    0,      1,      2,      3,      4,      6,      8,      12,     16,     24,     32,     48,
    64,     96,     128,    192,    256,    384,    512,    768,    1024,   1536,   2048,   3072,
    4096,   6144,   8192,   12288,  16384,  24576,  32768,  49152,  65536,  98304,  131072, 196608,
    262144, 327680, 393216, 458752, 524288, 589824, 655360, 720896, 786432, 851968, 917504, 983040};
constexpr uint8_t kDistanceBits[48] = {0,  0,  0,  0,  1,  1,  2,  2,  3,  3,  4,  4,
                                       5,  5,  6,  6,  7,  7,  8,  8,  9,  9,  10, 10,
                                       11, 11, 12, 12, 13, 13, 14, 14, 15, 15, 16, 16,
                                       16, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16};
constexpr uint8_t kShortBase[8] = {0, 4, 8, 16, 32, 64, 128, 192};
constexpr uint8_t kShortBits[8] = {2, 2, 3, 4, 5, 6, 6, 6};

}  // namespace

uint32_t MakeEntry(TableKind kind, uint32_t symbol, uint32_t length) {
    uint32_t extra = 0;
    uint32_t value = 0;
    switch (kind) {
    case TableKind::kPlain:
        break;
    case TableKind::kMain:
        if (symbol < 256) return length | symbol << 11 | kLiteralFlag;
        if (symbol >= 270 && symbol < 298) {
            extra = kLengthBits[symbol - 270];
            value = kLengthBase[symbol - 270] + 3u;
        } else if (symbol >= 261 && symbol < 269) {
            extra = kShortBits[symbol - 261];
            value = kShortBase[symbol - 261] + 1u;
        }
        break;
    case TableKind::kDistance:
        // The symbol is not needed: the base takes its bits.
        if (symbol < 48) {
            return (length + kDistanceBits[symbol]) | uint32_t{kDistanceBits[symbol]} << 6 |
                   (kDistanceBase[symbol] + 1) << 11;
        }
        return length;
    case TableKind::kRepeatLength:
        if (symbol < 28) {
            extra = kLengthBits[symbol];
            value = kLengthBase[symbol] + 2u;
        }
        break;
    }
    return (length + extra) | extra << 6 | symbol << 11 | value << 20;
}

uint32_t SlowEntry(const DecodeTable &table, uint32_t peeked) {
    uint32_t v = peeked & 0xFFFE;
    uint32_t length = CodeLength(table, v, kFastBits + 1);
    return MakeEntry(table.kind, SymbolAt(table, v, length), length);
}

void BuildDecodeTable(const uint8_t *lengths, DecodeTable &table, uint32_t count, TableKind kind) {
    table.kind = kind;
    uint32_t lengthCount[16] = {};
    for (uint32_t i = 0; i < count; ++i) ++lengthCount[lengths[i] & 15];
    lengthCount[0] = 0;

    table.limit[0] = 0;
    table.firstIndex[0] = 0;
    uint32_t m = 0;
    for (uint32_t length = 1; length < 16; ++length) {
        m = (m + lengthCount[length]) * 2;
        uint32_t limit = m << (15 - length);
        table.limit[length] = limit > 0xFFFF ? 0xFFFF : limit;
        table.firstIndex[length] = table.firstIndex[length - 1] + lengthCount[length - 1];
    }

    // Symbols in order of code length, and by value within a length. Slots
    // that no symbol fills keep what they held: a broken code may index them.
    uint32_t next[16];
    memcpy(next, table.firstIndex, sizeof next);
    for (uint32_t symbol = 0; symbol < count; ++symbol) {
        uint32_t length = lengths[symbol] & 15;
        if (length != 0) table.symbols[next[length]++] = symbol;
    }
    table.symbolCount = count;

    // The lookup for short codes. The limits never decrease and the limit of
    // length L has no bits set below bit 16 - L (or is the cap 0xFFFF, which
    // every peeked value is below), so the code length and the symbol depend
    // only on the first L bits: a prefix whose code fits in kFastBits bits
    // decodes the same whatever follows it.
    uint32_t length = 1;
    for (uint32_t prefix = 0; prefix < (1u << kFastBits); ++prefix) {
        uint32_t v = prefix << (16 - kFastBits);
        length = CodeLength(table, v, length);
        table.fast[prefix] = length <= kFastBits ? MakeEntry(kind, SymbolAt(table, v, length), length) : kSlowEntry;
    }
}

void LoadTables(InputState &in, TableSet &tables) {
    if (in.inPos > 8167) RefillInput(in, false);
    uint32_t header = Peek16(in);
    tables.audioMode = header >> 15;
    if ((header & 0x4000) == 0) memset(tables.prevCodeLengths, 0, sizeof tables.prevCodeLengths);
    ConsumeBits(in, 2);

    uint32_t lengthCount;
    if (tables.audioMode) {
        tables.channelCount = ((header >> 12) & 3) + 1;
        if (tables.currentChannel >= tables.channelCount) tables.currentChannel = 0;
        ConsumeBits(in, 2);
        lengthCount = tables.channelCount * kAudioSymbols;
    } else {
        lengthCount = kMainSymbols + kDistanceSymbols + kRepeatLengthSymbols;
    }

    uint8_t codeLengthLengths[kLengthCodeSymbols];
    for (uint32_t i = 0; i < kLengthCodeSymbols; ++i) {
        codeLengthLengths[i] = static_cast<uint8_t>(ReadBits(in, 4));
    }
    BuildDecodeTable(codeLengthLengths, tables.lengthsTable, kLengthCodeSymbols);

    // Entries past lengthCount stay 0; they matter only to a later block
    // with more code lengths that codes them as deltas.
    uint8_t lengths[kMaxCodeLengths];
    memset(lengths, 0, sizeof lengths);
    for (uint32_t i = 0; i < lengthCount;) {
        if (in.inPos > 8187) RefillInput(in, false);
        uint32_t symbol = DecodeSymbol(in, tables.lengthsTable);
        if (symbol < 16) {
            lengths[i] = static_cast<uint8_t>((symbol + tables.prevCodeLengths[i]) & 15);
            ++i;
        } else if (symbol == 16) {
            // Repeats the previous length; at the first position there is
            // none, and it repeats 0.
            uint32_t run = ReadBits(in, 2) + 3;
            for (; run > 0 && i < lengthCount; --run, ++i) lengths[i] = i > 0 ? lengths[i - 1] : 0;
        } else {
            uint32_t run = symbol == 17 ? ReadBits(in, 3) + 3 : ReadBits(in, 7) + 11;
            for (; run > 0 && i < lengthCount; --run, ++i) lengths[i] = 0;
        }
    }

    if (tables.audioMode) {
        for (uint32_t k = 0; k < tables.channelCount; ++k) {
            BuildDecodeTable(lengths + k * kAudioSymbols, tables.audioTables[k], kAudioSymbols);
        }
    } else {
        BuildDecodeTable(lengths, tables.mainTable, kMainSymbols, TableKind::kMain);
        BuildDecodeTable(lengths + kMainSymbols, tables.distanceTable, kDistanceSymbols, TableKind::kDistance);
        BuildDecodeTable(lengths + kMainSymbols + kDistanceSymbols, tables.repeatLengthTable, kRepeatLengthSymbols,
                         TableKind::kRepeatLength);
    }
    memcpy(tables.prevCodeLengths, lengths, sizeof lengths);
}

}  // namespace quorbenhal
