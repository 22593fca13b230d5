// The state of one open archive: its source, its settings, the walk's
// position and current header, the current entry's decoding and output, the
// unpacker with its window, and the last failure. Nothing of the library
// lives outside it (the debug log of the entry operations aside), so handles
// in different threads never share memory.
#pragma once

#include <stdint.h>

#include "archive.h"
#include "cipher.h"
#include "log.h"
#include "quorbenhal.h"
#include "source.h"
#include "unpack.h"

struct RarArchive {
    quorbenhal::Source source;

    // Settings.
    char password[256];  // empty: no password
    bool keyDerived;     // derivedKey holds the key state of password
    quorbenhal::CipherState derivedKey;
    uint64_t maxEntrySize;
    uint64_t maxMemory;
    bool debugLog;        // the entry operations' handle: notes go to the debug log
    bool stopAtSubblock;  // a sub-block ends the walk (the entry operations) instead of being passed over

    // The walk.
    quorbenhal::RarMainHeader mainHeader;
    quorbenhal::RarFileHeader fileHeader;
    uint8_t *name;          // the current entry's whole name, zero-terminated
    uint32_t nameCapacity;
    uint8_t *header;        // the current file header's bytes, name included
    uint32_t headerCapacity;
    int64_t blockStart;     // the current block's position
    int64_t nextBlock;      // the block after it
    uint8_t lastBlockType;
    uint32_t entryCount;    // file entries met so far
    bool haveEntry;         // fileHeader and name describe the current entry
    bool walkEnded;         // RarNextEntry has nothing more to give

    // The current entry's decoding.
    enum Phase { kUntouched, kDecoding, kDone } phase;
    bool checking;           // its output is wanted: CRC and size are checked
    int32_t cryptVersion;    // 0: packed data read unchanged; else the entry's unpack version
    quorbenhal::CipherState cipher;
    uint64_t remainingPacked;
    uint64_t produced;       // bytes handed on so far
    uint32_t crc;            // running CRC-32 of them, not complemented
    bool overrun;            // the decoder produced more than the entry's size
    bool readFailed;         // the source failed while reading packed data
    bool sourceShort;        // the source ended before the entry's packed data
    bool oldCryptNoted;      // the entry's "Old Crypt()" note is in the debug log
    RarResult readFailure;   // how the entry's RarRead failed, given again to later calls
    const uint8_t *pending;  // produced but not yet taken by RarRead
    size_t pendingSize;
    // A solid entry that could not be decoded leaves the stream broken for
    // every later entry of the archive.
    RarResult solidFailure;
    uint64_t decodedBytes;   // bytes the decoder and the stored copy produced, for tests
    uint32_t keyDerivations; // likewise: how often a password's key was derived

    quorbenhal::UnpackState unpack;  // window allocated on first use

    RarResult lastResult;
    char message[320];
};

namespace quorbenhal {

// Records a failure on the handle and returns code. For the entry
// operations, logText (when not null) goes to the debug log: the log keeps
// its own texts, and only for the failures it has always recorded.
RarResult FailAt(RarArchive &a, RarResult code, const char *message, const char *logText, const char *file,
                 unsigned line);
#define RAR_FAIL(a, code, message) ::quorbenhal::FailAt((a), (code), (message), nullptr, __FILE__, __LINE__)
#define RAR_FAIL_LOG(a, code, message, logText) \
    ::quorbenhal::FailAt((a), (code), (message), (logText), __FILE__, __LINE__)

// A debug-log entry of the entry operations that is no failure of its own.
#define RAR_NOTE(a, text)                                           \
    do {                                                            \
        if ((a).debugLog) ::quorbenhal::RarLogWrite((text), __FILE__, __LINE__); \
    } while (0)

// Sets up a handle on an opened source and reads the archive's start.
// On failure the handle keeps the reason and must still be destroyed.
RarResult InitArchive(RarArchive &a, const RarOptions *options);
RarArchive *NewArchive();
void DestroyArchive(RarArchive *a);
RarResult SetPassword(RarArchive &a, const char *password);

// Moves to the next block of interest (see FindBlock), first passing over the
// current entry (decoding the rest of it in a solid archive).
// decodeSolid false: the entry is passed over by seeking even in a solid
// archive (a listing, which decodes nothing).
RarResult AdvanceToNextBlock(RarArchive &a, bool decodeSolid);

// The current entry's output. BeginEntry checks that it can be decoded
// (version, method, split, limits) and starts decoding; checking: its CRC and
// size are checked at the end. NextChunk then gives the next produced bytes
// (*size 0 at the end of the entry, after the checks), which stay valid until
// the next call.
RarResult BeginEntry(RarArchive &a, bool checking);
RarResult NextChunk(RarArchive &a, const uint8_t **data, size_t *size);
// All of the entry BeginEntry(a, true) started, into buffer (room for its
// unpacked size); *done: the bytes stored. Decodes straight into the buffer
// where the window's history is not needed.
RarResult ExtractWhole(RarArchive &a, uint8_t *buffer, size_t *done);
// Decodes and drops the rest of the current entry when a solid stream needs
// it; in an archive that is not solid, does nothing.
RarResult PassOverEntry(RarArchive &a);

// Why the current entry cannot be decoded (with its code), or null.
const char *UndecodableReason(const RarArchive &a, RarResult *code);

}  // namespace quorbenhal
