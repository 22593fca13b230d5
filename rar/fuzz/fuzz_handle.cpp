// libFuzzer target for the whole library: the input is an archive (its first
// byte picks the password). Every run walks it through a handle in memory,
// extracting each entry a different way (new buffer, small reads, callback,
// skip), then lists it and extracts its first names and a missing one with
// the two entry operations; everything is freed.
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include "log.h"
#include "quorbenhal.h"

static char archivePath[4096];

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    // No log file (millions of runs), but the messages are still composed.
    quorbenhal::logNotStarted = 0;
    const char *tmp = getenv("TMPDIR");
    snprintf(archivePath, sizeof archivePath, "%s/quorbenhal-fuzz-XXXXXX", tmp && *tmp ? tmp : "/tmp");
    int fd = mkstemp(archivePath);
    if (fd < 0) abort();
    close(fd);
    atexit([] { unlink(archivePath); });
    return 0;
}

static void WalkHandle(const uint8_t *data, size_t size, const char *password) {
    RarOptions options = RarDefaultOptions();
    options.password = password;
    options.maxMemory = 64u << 20;
    RarArchive *a = nullptr;
    if (RarOpenMemory(&a, data, size, &options) != RAR_OK) {
        if (a != nullptr) abort();
        return;
    }
    RarEntry e;
    for (unsigned i = 0; RarNextEntry(a, &e) == RAR_OK; ++i) {
        if (strlen(e.name) > e.nameSize) abort();
        switch (i % 4) {
        case 0: {
            void *out = nullptr;
            uint64_t outSize = 0;
            const RarResult r = RarExtractToNew(a, &out, &outSize);
            if ((r == RAR_OK) != (out != nullptr) || (r == RAR_OK && outSize != e.size)) abort();
            RarFreeBuffer(out);
            break;
        }
        case 1: {
            uint8_t buffer[333];
            size_t n = 1;
            uint64_t total = 0;
            while (RarRead(a, buffer, sizeof buffer, &n) == RAR_OK && n > 0) total += n;
            if (total > e.size) abort();
            break;
        }
        case 2:
            RarExtractToCallback(a, [](void *, const void *, size_t) { return 0; }, nullptr);
            break;
        default:
            RarSkipEntry(a);
        }
    }
    RarClose(a);
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const char *passwords[] = {nullptr, "", "password", "7s3shP"};
    const char *password = passwords[size > 0 ? data[0] & 3 : 0];
    WalkHandle(data, size, password);

    FILE *file = fopen(archivePath, "wb");
    if (file == nullptr) return 0;
    fwrite(data, 1, size, file);
    fclose(file);
    RarListEntry *list = nullptr;
    int count = RarListFiles(archivePath, &list);
    int tried = 0;
    for (RarListEntry *e = list; e != nullptr && tried < 3; e = e->next, ++tried) {
        unsigned char *out = nullptr;
        uint32_t outSize = 0;
        const int ok = RarExtractToMemory(&out, &outSize, e->name, archivePath, password);
        if (ok ? out == nullptr : out != nullptr || outSize != 0) abort();
        free(out);
    }
    if (count < 0 || (count == 0) != (list == nullptr)) abort();
    RarFreeList(list);
    unsigned char *out = nullptr;
    uint32_t outSize = 0;
    if (RarExtractToMemory(&out, &outSize, "\x01not in any archive", archivePath, password)) abort();
    return 0;
}
