// Release of a list returned by RarListFiles.
#include <cstdlib>

#include "quorbenhal.h"

extern "C" void RarFreeList(RarListEntry *list) {
    while (list != nullptr) {
        RarListEntry *next = list->next;
        std::free(list->name);
        std::free(list);
        list = next;
    }
}
