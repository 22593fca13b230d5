// Fuzz target for the Huffman tables. The first byte picks a table (19, 28,
// 48, 257 or 298 symbols, of the kind the unpacker builds for that size),
// the next bytes are its code lengths: every lookup of the one-step table
// must give the entry the limit search gives. Then the whole input is read
// as a stream of block headers with their code lengths, block after block
// (a table storm), as the unpacker reads them.
#include "fuzz_support.h"
#include "handle.h"
#include "huffman.h"

using namespace quorbenhal;

static void CheckTable(const uint8_t *data, size_t size) {
    static const uint32_t counts[5] = {19, 28, 48, 257, 298};
    static const TableKind kinds[5] = {TableKind::kPlain, TableKind::kRepeatLength, TableKind::kDistance,
                                       TableKind::kPlain, TableKind::kMain};
    uint32_t pick = data[0] % 5, count = counts[pick];
    uint8_t lengths[kMainSymbols] = {};
    for (uint32_t i = 0; i < count && i + 1 < size; ++i) lengths[i] = data[i + 1];
    static DecodeTable table;  // as in the unpacker, slots no symbol fills keep old contents
    BuildDecodeTable(lengths, table, count, kinds[pick]);
    for (uint32_t prefix = 0; prefix < (1u << kFastBits); ++prefix) {
        uint32_t peeked = prefix << (16 - kFastBits) | (size > 2 ? data[prefix % size] & 0x3F : 0);
        uint32_t v = peeked & 0xFFFE;
        uint32_t length = CodeLength(table, v, 1);
        uint32_t expected = MakeEntry(kinds[pick], SymbolAt(table, v, length), length);
        uint32_t entry = table.fast[prefix];
        FUZZ_CHECK(entry != kSlowEntry ? entry == expected : length > kFastBits && SlowEntry(table, peeked) == expected);
    }
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size == 0) return 0;
    CheckTable(data, size);

    RarArchive *a = NewArchive();
    FUZZ_CHECK(a != nullptr);
    OpenMemorySource(a->source, data, size);
    a->remainingPacked = size;
    InputState &in = a->unpack.input;
    TableSet &tables = a->unpack.tables;
    RefillInput(in, true);
    // Each block takes at least 78 bits; stale bytes past the end are zeros.
    for (int blocks = 0; blocks < 4000 && in.inPos <= in.dataEnd; ++blocks) {
        LoadTables(in, tables);
        FUZZ_CHECK(in.inPos < kInBufferSize + 8);
        FUZZ_CHECK(!tables.audioMode || (tables.channelCount >= 1 && tables.channelCount <= 4 &&
                                         tables.currentChannel < tables.channelCount));
    }
    DestroyArchive(a);
    return 0;
}
