// The listing walk with the details that RarListEntry does not carry: each
// entry's header flags and the main header's flags. For in-tree hosts such as
// the command-line program.
#pragma once

#include <stdint.h>

#include "quorbenhal.h"

#ifdef __cplusplus
extern "C" {
#endif

// Called once for each record as RarListFiles builds it, with the entry's header flags.
typedef void (*RarEntryVisitor)(const RarListEntry *entry, uint16_t headerFlags, void *context);

// The walk of RarListFiles; also reports each entry's header flags and the main header's flags.
// RarListFiles(p, l) is RarListFilesVisit(p, l, NULL, NULL, NULL).
// visitor may be NULL. *archiveFlags, when archiveFlags is not NULL, receives
// the main header's flags once the archive has been accepted and is left
// unchanged otherwise.
int RarListFilesVisit(const char *archivePath, RarListEntry **outList,
                      RarEntryVisitor visitor, void *context, uint16_t *archiveFlags);

#ifdef __cplusplus
}
#endif
