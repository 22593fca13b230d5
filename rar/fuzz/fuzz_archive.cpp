// libFuzzer target for the two entry operations: the input is an archive (its
// first byte picks the password); every run lists it, extracts the first names
// and a missing one, and frees everything.
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

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    FILE *file = fopen(archivePath, "wb");
    if (file == nullptr) return 0;
    fwrite(data, 1, size, file);
    fclose(file);
    const char *passwords[] = {nullptr, "", "password", "7s3shP"};
    const char *password = passwords[size > 0 ? data[0] & 3 : 0];

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
