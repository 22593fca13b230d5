/*
 * Quorbenhal: reads RAR 1.5-2.x archives.
 *
 * What it reads: entries stored as they are, or compressed with the RAR 2.0
 * method (its multimedia blocks and solid archives included), optionally
 * encrypted with the RAR 2.0 cipher, each checked by its CRC-32. It refuses:
 * entries packed with the older RAR 1.5 method or needing a later version
 * (only their stored and empty entries of versions 13-20 are read), entries
 * split across volumes, the older archive format, RAR 5 archives and
 * self-extracting archives. Damaged or hostile archives give an error, never
 * a crash.
 *
 * Two interfaces:
 *  - the archive handle (RarOpen..., RarNextEntry, RarExtract..., RarRead,
 *    RarClose): any source (a path, memory, callbacks), every entry in
 *    archive order with all of its header fields, output into a new buffer,
 *    into the caller's buffer or as a stream, a result code and a message for
 *    every failure, no process-wide state;
 *  - the two entry operations (RarExtractToMemory, RarListFiles): one call
 *    per file or listing, with a process-wide debug log.
 */
#ifndef QUORBENHAL_H
#define QUORBENHAL_H

#include <stddef.h>
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

#define QUORBENHAL_VERSION_MAJOR 1
#define QUORBENHAL_VERSION_MINOR 0
#define QUORBENHAL_VERSION_PATCH 0
/* 10000 * major + 100 * minor + patch: 10000 for 1.0.0. */
#define QUORBENHAL_VERSION \
    (QUORBENHAL_VERSION_MAJOR * 10000 + QUORBENHAL_VERSION_MINOR * 100 + QUORBENHAL_VERSION_PATCH)
#define QUORBENHAL_VERSION_STRING "1.0.0"

#ifdef __cplusplus
extern "C" {
#endif

/* ------------------------------------------------------------------------ */
/* The archive handle                                                        */
/* ------------------------------------------------------------------------ */

/* The result of every handle function. RAR_OK is 0; RAR_END is no failure
 * (the end of the archive); every other value is a failure, explained by
 * RarErrorMessage(). */
typedef enum RarResult {
    RAR_OK = 0,
    RAR_END = 1,                      /* no more entries */
    RAR_ERROR_ARGUMENT = -1,          /* a NULL or out-of-range argument, or a call out of order */
    RAR_ERROR_IO = -2,                /* the source could not be opened, read or positioned */
    RAR_ERROR_NOT_ARCHIVE = -3,       /* no RAR marker at the start */
    RAR_ERROR_UNSUPPORTED_ARCHIVE = -4, /* the older archive format, or RAR 5 */
    RAR_ERROR_BAD_HEADER = -5,        /* a block header that cannot be walked */
    RAR_ERROR_UNSUPPORTED_METHOD = -6, /* an entry's version or method is not decoded */
    RAR_ERROR_SPLIT = -7,             /* the entry continues in another volume */
    RAR_ERROR_BAD_DATA = -8,          /* CRC mismatch: damaged data or a wrong password */
    RAR_ERROR_TRUNCATED = -9,         /* the data ends before the entry does */
    RAR_ERROR_LIMIT = -10,            /* a limit of RarOptions, or the caller's buffer, is too small */
    RAR_ERROR_NO_MEMORY = -11,        /* an allocation failed */
    RAR_ERROR_NOT_FOUND = -12         /* no entry of that name */
} RarResult;

/* An open archive. Opaque. Thread-safety of every function below: one thread
 * at a time per handle; handles share no memory, so different handles may be
 * used in different threads at once without any lock. */
typedef struct RarArchive RarArchive;

/* Settings given when a handle is opened. Start from RarDefaultOptions(). */
typedef struct RarOptions {
    /* Password for encrypted entries (zero-terminated, at most 255 bytes),
     * or NULL. Copied; RarSetPassword() changes it later. */
    const char *password;
    /* The largest entry (unpacked size) the handle will produce; larger
     * entries fail with RAR_ERROR_LIMIT before anything is decoded.
     * Default: no limit (streaming needs no memory per byte). */
    uint64_t maxEntrySize;
    /* The most memory the handle allocates at once for its window and a
     * buffer of RarExtractToNew(). Default: 256 MiB. */
    uint64_t maxMemory;
} RarOptions;

/* Caller-supplied source for RarOpenStream(). */
typedef struct RarStream {
    /* Reads up to count bytes at the current position into buffer. Returns
     * the number read (0 only at the end of the data), or -1 on an error. */
    int64_t (*read)(void *user, void *buffer, size_t count);
    /* Moves the current position to offset bytes from the start. Returns 0,
     * or -1 on an error. */
    int (*seek)(void *user, int64_t offset);
    /* Total size of the data in bytes, or -1 when unknown. */
    int64_t size;
    void *user;
} RarStream;

/* One entry, as its header describes it. Strings point into the handle and
 * stay valid until the next RarNextEntry(), RarFindEntry() or RarClose(). */
typedef struct RarEntry {
    const char *name;        /* the name bytes as stored (not cut), followed by a zero byte;
                                may hold zero bytes inside: use nameSize */
    uint32_t nameSize;       /* length of name in bytes */
    uint64_t size;           /* unpacked size, the high 32 bits included when stored */
    uint64_t packedSize;     /* bytes of packed data after the header */
    uint32_t crc;            /* CRC-32 of the unpacked data */
    uint32_t dosTime;        /* modification time: MS-DOS date (high 16 bits) and time */
    uint32_t attributes;     /* as stored: DOS attributes, or the Unix mode (hostOs 3) */
    uint8_t hostOs;          /* 0 MS-DOS, 1 OS/2, 2 Windows, 3 Unix, 4 Mac OS, 5 BeOS */
    uint8_t unpackVersion;   /* version needed to unpack, 10 * major + minor */
    uint8_t method;          /* 0x30 stored, 0x31-0x35 fastest to best */
    uint16_t flags;          /* the header's flags as stored */
    uint32_t index;          /* 0 for the first file entry, then 1, 2, ... */
    int isEncrypted;         /* the flags decoded: 1 or 0 */
    int isSolid;             /* continues the solid stream of the entry before */
    int isDirectory;
    int isSplitBefore;       /* continued from the previous volume */
    int isSplitAfter;        /* continued in the next volume */
    int hasComment;
} RarEntry;

/* Called by RarExtractToCallback() with each chunk of the entry in order.
 * Returns 0 to go on, anything else to stop (the call then fails with
 * RAR_ERROR_IO). data is valid only during the call. */
typedef int (*RarWriteFunc)(void *user, const void *data, size_t size);

/* The library's version, QUORBENHAL_VERSION of the build; its text (static,
 * never to be freed). Both may be called from any thread. */
QUORBENHAL_API unsigned RarVersion(void);
QUORBENHAL_API const char *RarVersionString(void);

/* Defaults: no password, no entry-size limit, 256 MiB of memory. */
QUORBENHAL_API RarOptions RarDefaultOptions(void);

/*
 * Open an archive and read its start. On RAR_OK *archive is a new handle,
 * standing before the first entry; close it with RarClose(). On failure
 * *archive is NULL and nothing is left to close (the reason is only in the
 * result; RarErrorMessage(NULL) says "no archive"). options may be NULL for
 * the defaults.
 *
 * RarOpenFile: a path in the C runtime's encoding; the file stays open until
 * RarClose(). RarOpenFileW (Windows only): a wide-character path.
 * RarOpenMemory: size bytes at data, read in place (not copied): they must
 * stay unchanged until RarClose(). RarOpenStream: the callbacks, which the
 * handle calls from the thread that calls it; *stream is copied.
 */
QUORBENHAL_API RarResult RarOpenFile(RarArchive **archive, const char *path, const RarOptions *options);
#ifdef _WIN32
QUORBENHAL_API RarResult RarOpenFileW(RarArchive **archive, const wchar_t *path, const RarOptions *options);
#endif
QUORBENHAL_API RarResult RarOpenMemory(RarArchive **archive, const void *data, size_t size,
                                       const RarOptions *options);
QUORBENHAL_API RarResult RarOpenStream(RarArchive **archive, const RarStream *stream,
                                       const RarOptions *options);

/* Closes the handle (and a file it opened) and frees everything it holds,
 * the password wiped. NULL does nothing; the handle must not be used after. */
QUORBENHAL_API void RarClose(RarArchive *archive);

/* Sets the password for the entries read after this call (NULL: none). The
 * key is derived once per password, when an encrypted entry first needs it.
 * RAR_ERROR_ARGUMENT for a NULL handle or a password over 255 bytes. */
QUORBENHAL_API RarResult RarSetPassword(RarArchive *archive, const char *password);

/* Whether the archive is solid (its entries form one compressed stream). */
QUORBENHAL_API int RarIsSolid(const RarArchive *archive);

/*
 * Moves to the next file entry and describes it in *entry. Returns RAR_OK,
 * RAR_END after the last entry, or a failure (RAR_ERROR_BAD_HEADER,
 * RAR_ERROR_TRUNCATED, RAR_ERROR_IO) after which the walk cannot go on.
 * The entry before is passed over: by seeking, or, in a solid archive, by
 * decoding what of it was not yet read (the stream goes on through it), so
 * that a walk over a solid archive decodes it once in all. Sub-blocks and
 * other blocks are passed over.
 */
QUORBENHAL_API RarResult RarNextEntry(RarArchive *archive, RarEntry *entry);

/*
 * Walks forward from the current position to the first entry whose name
 * equals name, as RarExtractToMemory() compares names (ASCII case, and '/',
 * '\\' and '_' all the same). RAR_ERROR_NOT_FOUND when no later entry has
 * that name (the handle then stands at the end).
 */
QUORBENHAL_API RarResult RarFindEntry(RarArchive *archive, const char *name, RarEntry *entry);

/* Passes over the current entry without producing it. In an archive that is
 * not solid nothing is decoded; in a solid one the rest of the entry is. */
QUORBENHAL_API RarResult RarSkipEntry(RarArchive *archive);

/*
 * Extract the current entry (once per entry, from its start; after RarRead()
 * has begun it only RarRead() goes on). Each checks the CRC-32 at the end:
 * RAR_ERROR_BAD_DATA on a mismatch (damage or a wrong password). An entry
 * that fails leaves the handle usable for the next entry, except that in a
 * solid archive the entries after a failed one fail too.
 *
 * RarExtractToNew: *data receives a new buffer of the entry's size (never
 * NULL on success, also for an empty entry), *size its size; release it with
 * RarFreeBuffer(). On failure *data is NULL and *size 0. The size must fit
 * options.maxMemory (RAR_ERROR_LIMIT, checked before allocating).
 * RarExtractToBuffer: into capacity bytes at buffer; RAR_ERROR_LIMIT when the
 * entry is larger (nothing written then). *size gets the bytes written.
 * RarExtractToCallback: writer gets the bytes in chunks of up to 1 MiB; on a
 * failure after some chunks the caller must drop what it got.
 */
QUORBENHAL_API RarResult RarExtractToNew(RarArchive *archive, void **data, uint64_t *size);
QUORBENHAL_API RarResult RarExtractToBuffer(RarArchive *archive, void *buffer, size_t capacity, size_t *size);
QUORBENHAL_API RarResult RarExtractToCallback(RarArchive *archive, RarWriteFunc writer, void *user);

/*
 * Reads the next up to capacity bytes of the current entry into buffer;
 * *count gets how many. RAR_OK with *count 0 means the entry is complete and
 * its CRC-32 matched. Memory stays bounded whatever the entry's size. On a
 * failure *count still tells how many bytes were copied before it, and every
 * later RarRead of the entry gives the failure again.
 */
QUORBENHAL_API RarResult RarRead(RarArchive *archive, void *buffer, size_t capacity, size_t *count);

/* Frees a buffer from RarExtractToNew() (with the library's own allocator,
 * so a host with another C runtime frees it correctly). NULL does nothing;
 * any other pointer is undefined behaviour. Any thread. */
QUORBENHAL_API void RarFreeBuffer(void *data);

/* The message of the handle's last failure ("" when the last call
 * succeeded), valid until the next call on the handle. Never NULL. */
QUORBENHAL_API const char *RarErrorMessage(const RarArchive *archive);

/* A fixed text for each RarResult ("RAR_ERROR_BAD_DATA" gives "CRC
 * mismatch: damaged data or a wrong password"). Never NULL. */
QUORBENHAL_API const char *RarResultText(RarResult result);

/* ------------------------------------------------------------------------ */
/* The two entry operations                                                  */
/* ------------------------------------------------------------------------ */
/*
 * Thread-safety: they may be called from several threads at once; they run
 * one at a time (one process-wide lock), since they share the debug log.
 *
 * Debug log: the first call of RarExtractToMemory or RarListFiles in a
 * process creates a plain-text log and every call appends to it: each
 * extraction asked for (archive, file name and the password in clear), every
 * failure with its message, and every result. On Windows the log is
 * "C:\temp\debug_unrar.txt"; elsewhere it is "debug_unrar.txt" in $TMPDIR (or
 * /tmp), created readable by its owner only and never through a symbolic
 * link. When the log cannot be created there is simply no log. The handle
 * interface writes no log.
 */

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
 * (its output is dropped), so a late entry costs the time of all before it;
 * the handle interface walks such an archive in one pass.
 *
 * Returns 1 on success: *outData points at a malloc'd buffer of exactly the
 * entry's unpacked size (non-NULL also for an empty file) and *outSize holds
 * that size; the caller releases the buffer with free(), from the same C
 * runtime as the library's. Returns 0 on failure: *outData is NULL, *outSize
 * is 0 and nothing is left to free; the reason is in the debug log. Paths and
 * passwords longer than 255 bytes, and names longer than 259 bytes, are
 * refused (never cut). NULL for outData or outSize makes the call fail
 * without touching anything.
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
