// A host program for the library's log on Windows: each run is a fresh
// process, so its first library call starts the log the way a real host's
// does, at the library's Windows path.
//   rar_log_probe list ARCHIVE                 prints the count, then the log path
//   rar_log_probe extract ARCHIVE NAME         writes the file to standard output
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "log.h"
#include "quorbenhal.h"

int main(int argc, char **argv) {
    if (argc == 3 && strcmp(argv[1], "list") == 0) {
        RarListEntry *list = NULL;
        printf("%d\n", RarListFiles(argv[2], &list));
        RarFreeList(list);
        printf("%s\n", RarDefaultLogPath());
        return 0;
    }
    if (argc == 4 && strcmp(argv[1], "extract") == 0) {
        unsigned char *data = NULL;
        uint32_t size = 0;
        const int ok = RarExtractToMemory(&data, &size, argv[3], argv[2], NULL);
        if (ok) fwrite(data, 1, size, stdout);
        free(data);
        return ok ? 0 : 1;
    }
    fprintf(stderr, "usage: rar_log_probe list ARCHIVE | extract ARCHIVE NAME\n");
    return 2;
}
