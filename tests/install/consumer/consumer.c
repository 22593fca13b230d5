#include <quorbenhal.h>
#include <stdio.h>
/* Prints 0 for a missing archive: no entries listed, and the handle reports an I/O error. */
int main(int argc, char **argv) {
    const char *path = argc > 1 ? argv[1] : "";
    RarListEntry *list = NULL;
    int n = RarListFiles(path, &list);
    RarFreeList(list);
    RarArchive *archive = NULL;
    n += RarOpenFile(&archive, path, NULL) != RAR_ERROR_IO || archive != NULL;
    RarClose(archive);
    printf("%d\n", n);
    return 0;
}
