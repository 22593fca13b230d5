// Canonical Huffman tables and the block header with its code lengths.
#include "huffman.h"

#include <string.h>

namespace quorbenhal {

void BuildDecodeTable(const uint8_t *lengths, DecodeTable &table, uint32_t count) {
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
        table.fast[prefix] = length <= kFastBits
                                 ? static_cast<uint16_t>(SymbolAt(table, v, length) | length << 9)
                                 : 0;
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
        BuildDecodeTable(lengths, tables.mainTable, kMainSymbols);
        BuildDecodeTable(lengths + kMainSymbols, tables.distanceTable, kDistanceSymbols);
        BuildDecodeTable(lengths + kMainSymbols + kDistanceSymbols, tables.repeatLengthTable,
                         kRepeatLengthSymbols);
    }
    memcpy(tables.prevCodeLengths, lengths, sizeof lengths);
}

}  // namespace quorbenhal
