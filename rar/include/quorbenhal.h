/*
 * Quorbenhal: extracts one file of a RAR 1.5-2.x archive into memory and
 * lists the file entries of an archive.
 *
 * What it reads: entries stored as they are, or compressed with the RAR 2.0
 * method (its multimedia blocks and solid archives included), optionally
 * encrypted with the RAR 2.0 cipher, each checked by its CRC-32. It refuses,
 * with a log entry: entries packed with the older RAR 1.5 method or needing
 * a later version (only their stored and empty entries of versions 13-20
 * are read), entries split across volumes, the older archive format, RAR 5
 * archives and self-extracting archives. A sub-block ends the archive for
 * both operations. Damaged or hostile archives give a failure, never a crash.
 *
 * Thread-safety: none. All library state is process-wide; a host must never
 * run two of these calls at the same time, not even from different threads.
 *
 * Debug log: the first call of RarExtractToMemory or RarListFiles in a process
 * creates a plain-text log and every call appends to it: each extraction asked
 * for (archive, file name and the password in clear), every failure with its
 * message, and every result. On Windows the log is "C:\temp\debug_unrar.txt";
 * elsewhere it is "debug_unrar.txt" in $TMPDIR (or /tmp), created readable by
 * its owner only and never through a symbolic link. When the log cannot be
 * created there is simply no log; the library works the same.
 */
#ifndef QUORBENHAL_H
#define QUORBENHAL_H

#include <stdint.h>

#if defined(_WIN32) && !defined(QUORBENHAL_STATIC)
#  if defined(QUORBENHAL_BUILDING)
#    define QUORBENHAL_API __declspec(dllexport)
#  else
#    define QUORBENHAL_API __declspec(dllimport)
#  endif
#elif defined(__GNUC__)
#  define QUORBENHAL_API __attribute__((visibility("default")))
#else
#  define QUORBENHAL_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* One file entry of an archive, as listed by RarListFiles. All values are as
 * stored in the entry's header. */
typedef struct RarListEntry {
    char *name;              /* entry name, zero-terminated, own malloc'd block */
    uint16_t nameSize;       /* name length in bytes (at most 259) */
    uint32_t packedSize;     /* bytes of packed data after the header */
    uint32_t unpackedSize;   /* size of the file */
    uint8_t hostOs;          /* host system code */
    uint32_t fileCrc;        /* CRC-32 of the unpacked file */
    uint32_t fileTime;       /* modification time, MS-DOS date (high 16 bits) and time */
    uint8_t unpackVersion;   /* version needed to unpack, 10 * major + minor */
    uint8_t method;          /* packing method, 0x30 = stored */
    uint32_t attributes;     /* file attributes */
    struct RarListEntry *next; /* next entry in archive order, NULL in the last */
} RarListEntry;

/*
 * Extracts the entry called fileName from the archive at archivePath into a new
 * buffer. Names compare without regard to ASCII letter case, and '/', '\\' and
 * '_' all count as the same character. The first entry of that name is taken.
 *
 * givenPassword may be NULL (no password). An entry that is encrypted is
 * deciphered only when a password is given; a wrong password shows up as a
 * CRC error.
 *
 * In a solid archive every entry before the wanted one is decoded as well
 * (its output is dropped), so a late entry costs the time of all before it.
 *
 * Returns 1 on success: *outData points at a malloc'd buffer of exactly the
 * entry's unpacked size (non-NULL also for an empty file) and *outSize holds
 * that size; the caller releases the buffer with free(). Returns 0 on failure:
 * *outData is NULL, *outSize is 0 and nothing is left to free; the reason is
 * in the debug log. Paths and passwords longer than 255 bytes, and names
 * longer than 259 bytes, are refused (never cut). NULL for outData or
 * outSize makes the call fail without touching anything.
 */
QUORBENHAL_API int RarExtractToMemory(unsigned char **outData, uint32_t *outSize,
                                      const char *fileName, const char *archivePath,
                                      const char *givenPassword);

/*
 * Lists the file entries of the archive at archivePath, in archive order.
 *
 * Returns the number of entries listed. Once the archive is accepted,
 * *outList is set to NULL and then to the head of a list of that many
 * records; the caller owns every record and every name and releases them all
 * with RarFreeList() (or free() on each name and each record). Entries read
 * before a damaged block or a sub-block are still returned. Names longer
 * than 259 bytes are listed cut to 259 bytes, which is also the name that
 * extracts them. Every entry is listed, whatever its version, method or
 * encryption. Returns 0 when the archive cannot be opened or is not an
 * archive this library reads (then *outList is left unchanged), and also for
 * an archive without file entries (then *outList is NULL).
 */
QUORBENHAL_API int RarListFiles(const char *archivePath, RarListEntry **outList);

/* Frees a whole list returned by RarListFiles: every name and every record.
 * NULL is allowed and does nothing. */
QUORBENHAL_API void RarFreeList(RarListEntry *list);

#ifdef __cplusplus
}
#endif

#endif /* QUORBENHAL_H */
