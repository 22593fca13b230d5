// Fuzz target for the unpacker: the input is a raw packed bit stream (LZ and
// multimedia blocks, tables included) wrapped in an archive of one entry, or
// split into two entries of a solid stream. Every entry is extracted straight
// into a buffer and through the window in pieces; both must agree.
// Layout: 3 bytes unpacked size (up to 1 MiB), 1 byte split point (0: one
// entry), stream.
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size < 4) return 0;
    uint32_t unpacked = data[0] | data[1] << 8 | (data[2] & 15) << 16;
    size_t split = (size - 4) * data[3] / 256;
    fuzz::RawEntry entries[2] = {
        {data + 4, split, unpacked / 2, 0, 0},
        {data + 4 + split, size - 4 - split, unpacked, 0, 0x10},
    };
    fuzz::Bytes archive;
    if (split == 0) {
        entries[1].flags = 0;
        fuzz::BuildArchive(archive, entries + 1, 1, false);
    } else {
        fuzz::BuildArchive(archive, entries, 2, true);
    }
    fuzz::ExtractBothWays(archive.data, archive.size, nullptr);
    return 0;
}
