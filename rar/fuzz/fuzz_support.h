// Shared by the fuzz targets: an archive around raw packed data, so that a
// target can feed one layer directly, and the checks every target makes.
#pragma once

#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "cipher.h"
#include "quorbenhal.h"

namespace fuzz {

// Aborts (a finding) when the condition does not hold.
#define FUZZ_CHECK(condition) \
    do {                      \
        if (!(condition)) abort(); \
    } while (0)

struct Bytes {
    uint8_t *data = nullptr;
    size_t size = 0, capacity = 0;
    Bytes() = default;
    Bytes(const Bytes &) = delete;
    Bytes &operator=(const Bytes &) = delete;
    ~Bytes() { free(data); }
    void Append(const void *p, size_t n) {
        if (size + n > capacity) {
            capacity = (size + n) * 2;
            data = static_cast<uint8_t *>(realloc(data, capacity));
            FUZZ_CHECK(data != nullptr);
        }
        if (n > 0) memcpy(data + size, p, n);
        size += n;
    }
    void Put16(uint32_t v) { uint8_t b[2] = {uint8_t(v), uint8_t(v >> 8)}; Append(b, 2); }
    void Put32(uint32_t v) { Put16(v & 0xFFFF); Put16(v >> 16); }
};

struct RawEntry {
    const uint8_t *packed;
    size_t packedSize;
    uint32_t unpackedSize;
    uint32_t crc;
    uint16_t flags;        // 0x04 encrypted, 0x10 solid
    uint8_t method = 0x33; // 0x30 stored
};

// Marker, main header (solid or not) and one file header per entry with
// correct header checks, each followed by its packed data.
inline void BuildArchive(Bytes &out, const RawEntry *entries, size_t count, bool solid) {
    static const uint8_t marker[7] = {0x52, 0x61, 0x72, 0x21, 0x1A, 0x07, 0x00};
    out.Append(marker, 7);
    Bytes main;
    main.Append("\x73", 1);
    main.Put16(solid ? 0x0008 : 0);
    main.Put16(13);
    main.Put16(0);
    main.Put32(0);
    out.Put16(~quorbenhal::Crc32Update(0xFFFFFFFFu, main.data, main.size) & 0xFFFF);
    out.Append(main.data, main.size);
    for (size_t i = 0; i < count; ++i) {
        const RawEntry &e = entries[i];
        char name[8] = {'f', char('0' + i % 10)};
        Bytes h;
        h.Append("\x74", 1);
        h.Put16(0x8000 | e.flags);
        h.Put16(32 + 2);
        h.Put32(static_cast<uint32_t>(e.packedSize));
        h.Put32(e.unpackedSize);
        h.Append("\x02", 1);
        h.Put32(e.crc);
        h.Put32(0x58B16BAF);
        uint8_t versionAndMethod[2] = {20, e.method};
        h.Append(versionAndMethod, 2);
        h.Put16(2);
        h.Put32(0x20);
        h.Append(name, 2);
        out.Put16(~quorbenhal::Crc32Update(0xFFFFFFFFu, h.data, h.size) & 0xFFFF);
        out.Append(h.data, h.size);
        out.Append(e.packed, e.packedSize);
    }
}

// Extracts every entry of an archive in memory two ways, straight into a
// buffer (RarExtractToBuffer) and piece by piece through the window (RarRead
// in odd sizes), and checks that both give the same result and bytes.
inline void ExtractBothWays(const uint8_t *archive, size_t size, const char *password) {
    RarOptions options = RarDefaultOptions();
    options.password = password;
    options.maxMemory = 64u << 20;
    RarArchive *whole = nullptr, *pieces = nullptr;
    RarResult opened = RarOpenMemory(&whole, archive, size, &options);
    FUZZ_CHECK(RarOpenMemory(&pieces, archive, size, &options) == opened);
    if (opened != RAR_OK) return;
    RarEntry e, e2;
    while (RarNextEntry(whole, &e) == RAR_OK) {
        FUZZ_CHECK(RarNextEntry(pieces, &e2) == RAR_OK && e.size == e2.size);
        if (e.size > (16u << 20)) continue;
        uint8_t *buffer = static_cast<uint8_t *>(malloc(e.size + 1));
        uint8_t *read = static_cast<uint8_t *>(malloc(e.size + 1));
        FUZZ_CHECK(buffer != nullptr && read != nullptr);
        size_t got = 0, total = 0, n = 1;
        RarResult r1 = RarExtractToBuffer(whole, buffer, e.size, &got);
        RarResult r2 = RAR_OK;
        for (size_t step = 1; n > 0 && total <= e.size; step = step * 3 % 1000 + 1) {
            r2 = RarRead(pieces, read + total, e.size + 1 - total < step ? e.size + 1 - total : step, &n);
            if (r2 != RAR_OK) break;
            total += n;
        }
        FUZZ_CHECK(r1 == r2);
        FUZZ_CHECK(got <= e.size && total <= e.size);
        // On a failure each way may have stopped at another piece.
        size_t common = got < total ? got : total;
        FUZZ_CHECK(r1 != RAR_OK || got == total);
        FUZZ_CHECK(common == 0 || memcmp(buffer, read, common) == 0);
        free(buffer);
        free(read);
    }
    RarClose(whole);
    RarClose(pieces);
}

}  // namespace fuzz
