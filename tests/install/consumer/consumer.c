#include <quorbenhal.h>
#include <stdio.h>
int main(int argc, char **argv) { RarListEntry *list = NULL; int n = RarListFiles(argc > 1 ? argv[1] : "", &list); RarFreeList(list); printf("%d\n", n); return 0; }
