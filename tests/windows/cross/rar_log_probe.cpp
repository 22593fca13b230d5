// A fresh host process for the library's log: lists ARCHIVE, then prints the
// entry count and the log's path.
#include <stdio.h>

#include "log.h"
#include "quorbenhal.h"

int main(int argc, char **argv) {
    if (argc != 2) return 2;
    RarListEntry *list = NULL;
    printf("%d\n", RarListFiles(argv[1], &list));
    RarFreeList(list);
    printf("%s\n", RarDefaultLogPath());
    return 0;
}
