// A host process for the log tests: each run is a fresh process, so its
// first library call starts the log the way a real host's does.
//   log_probe path                    prints the log path the library would use
//   log_probe list ARCHIVE...         lists each archive, prints the counts
//   log_probe extract ARCHIVE NAME [PASSWORD]
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "log.h"
#include "quorbenhal.h"

int main(int argc, char **argv) {
    if (argc >= 2 && strcmp(argv[1], "path") == 0) {
        printf("%s\n", RarDefaultLogPath());
        return 0;
    }
    if (argc >= 3 && strcmp(argv[1], "list") == 0) {
        for (int i = 2; i < argc; ++i) {
            RarListEntry *list = NULL;
            printf("%d\n", RarListFiles(argv[i], &list));
            RarFreeList(list);
        }
        printf("%s\n", RarDefaultLogPath());
        return 0;
    }
    if (argc >= 4 && strcmp(argv[1], "extract") == 0) {
        unsigned char *data = NULL;
        uint32_t size = 0;
        int ok = RarExtractToMemory(&data, &size, argv[3], argv[2], argc > 4 ? argv[4] : NULL);
        if (ok) fwrite(data, 1, size, stdout);
        free(data);
        return ok ? 0 : 1;
    }
    fprintf(stderr, "usage: log_probe path | list ARCHIVE... | extract ARCHIVE NAME [PASSWORD]\n");
    return 2;
}
