// Fuzz target for the archive walk: the input is an archive; its blocks and
// headers are walked through a handle in memory (nothing is decoded), with
// the checks a caller relies on, then the walk is repeated by name.
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    RarArchive *a = nullptr;
    if (RarOpenMemory(&a, data, size, nullptr) != RAR_OK) {
        FUZZ_CHECK(a == nullptr);
        return 0;
    }
    RarEntry e;
    char *last = nullptr;
    uint32_t count = 0;
    RarResult r;
    while ((r = RarNextEntry(a, &e)) == RAR_OK) {
        FUZZ_CHECK(e.index == count++);
        FUZZ_CHECK(strlen(e.name) <= e.nameSize);
        free(last);
        last = strdup(e.name);
    }
    // The walk stays ended.
    FUZZ_CHECK(r != RAR_OK && RarNextEntry(a, &e) == RAR_END);
    RarClose(a);
    if (count == 0) return 0;
    FUZZ_CHECK(RarOpenMemory(&a, data, size, nullptr) == RAR_OK);
    FUZZ_CHECK(RarFindEntry(a, last, &e) == RAR_OK && e.index < count);
    RarClose(a);
    free(last);
    return 0;
}
