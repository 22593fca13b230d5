// The current entry's output: the checks before decoding, the stored copy,
// the bytes the unpacker leaves in its window, and the CRC and size checks at
// the end. Every way of extracting (a new buffer, the caller's buffer, a
// stream, the entry operations) takes the entry's bytes from NextChunk.
#include <stdlib.h>
#include <string.h>

#include "handle.h"
#include "packed_input.h"

namespace quorbenhal {

namespace {

const char kCrcError[] = "CRC32 error - file couldn't be decompressed correctly!";

bool ArchiveIsSolid(const RarArchive &a) { return (a.mainHeader.flags & kMainSolid) != 0; }

// The end of the entry: with checking, every byte must have come, no more,
// and their CRC-32 must match the header's.
RarResult FinishEntry(RarArchive &a) {
    a.phase = RarArchive::kDone;
    a.pending = nullptr;
    a.pendingSize = 0;
    if (!a.checking) return RAR_OK;
    if (a.overrun) return RAR_FAIL_LOG(a, RAR_ERROR_BAD_DATA, "the data decodes to more than the entry's size", kCrcError);
    if (a.readFailed) return RAR_FAIL_LOG(a, RAR_ERROR_IO, "cannot read the archive", kCrcError);
    if (a.produced != a.fileHeader.unpackedSize) {
        if (a.sourceShort) {
            return RAR_FAIL_LOG(a, RAR_ERROR_TRUNCATED, "the archive ends inside the entry's data", kCrcError);
        }
        // All of the packed data was there: it does not decode to the size.
        return RAR_FAIL_LOG(a, RAR_ERROR_BAD_DATA, "the data ends before the entry does: damaged data or a wrong password",
                            kCrcError);
    }
    if (~a.crc != a.fileHeader.fileCrc) {
        return RAR_FAIL_LOG(a, RAR_ERROR_BAD_DATA, "CRC mismatch: damaged data or a wrong password", kCrcError);
    }
    return RAR_OK;
}

// The next piece of a stored entry, read into the unpacker's input buffer
// (which no entry needs between entries). Encrypted data comes in whole
// 16-byte blocks, of which only the bytes of the entry are kept.
RarResult NextStoredChunk(RarArchive &a, const uint8_t **data, size_t *size) {
    uint64_t left = a.fileHeader.unpackedSize - a.produced;
    // In a solid stream a stored entry that is passed over is never read:
    // it is not part of the compressed stream.
    if (left == 0 || !a.checking) return FinishEntry(a);
    uint32_t want = left < kInBufferSize ? static_cast<uint32_t>(left) : kInBufferSize;
    uint32_t ask = a.cryptVersion >= 20 ? (want + 15) & ~15u : want;
    uint8_t *buffer = a.unpack.input.inBuffer;
    int64_t got = ReadPacked(a, buffer, ask);
    if (got < 0) RAR_NOTE(a, "Read error of stored file!");
    if (got <= 0) return FinishEntry(a);
    *data = buffer;
    *size = got < want ? static_cast<size_t>(got) : want;
    return RAR_OK;
}

// The next bytes the unpacker has left in its window (one contiguous piece;
// the part after a wrap comes with the next call), decoding more when none
// are left.
RarResult NextWindowChunk(RarArchive &a, const uint8_t **data, size_t *size) {
    UnpackState &u = a.unpack;
    for (;;) {
        uint32_t from = u.flushedPos & kWindowMask;
        uint32_t to = u.windowPos & kWindowMask;
        if (from != to) {
            uint32_t end = to > from ? to : kWindowSize;
            *data = u.window + from;
            *size = end - from;
            // Masked: the window's end is its start. Left at 0x100000, a
            // flush point that the window's start reaches would look like a
            // full window, and decoding would pause for ever.
            u.flushedPos = end & kWindowMask;
            return RAR_OK;
        }
        if (u.finished || a.overrun) return FinishEntry(a);
        DecodeSome(a);
    }
}

}  // namespace

const char *UndecodableReason(const RarArchive &a, RarResult *code) {
    const RarFileHeader &h = a.fileHeader;
    *code = RAR_ERROR_UNSUPPORTED_METHOD;
    if (h.unpackVersion < 13 || h.unpackVersion > 20) return "unknown compression method";
    // Versions 13 to 19 were packed with the older RAR 1.5 method, which
    // this library does not decode; only their stored and empty entries are
    // readable.
    if (h.unpackVersion < 20 && h.method != kStoredMethod && h.unpackedSize != 0) return "unknown compression method";
    *code = RAR_ERROR_SPLIT;
    if (h.flags & (kFileSplitBefore | kFileSplitAfter)) return "Sorry, files split across volumes not supported.";
    return nullptr;
}

RarResult BeginEntry(RarArchive &a, bool checking) {
    const RarFileHeader &h = a.fileHeader;
    if (!a.haveEntry || a.phase != RarArchive::kUntouched) {
        return RAR_FAIL(a, RAR_ERROR_ARGUMENT, "no entry to read: call RarNextEntry first, and read an entry once");
    }
    if (a.solidFailure != RAR_OK && ArchiveIsSolid(a) && (h.flags & kFileSolid)) {
        a.phase = RarArchive::kDone;
        return RAR_FAIL(a, a.solidFailure, "an entry before this one in the solid stream could not be decoded");
    }
    RarResult code;
    if (const char *reason = UndecodableReason(a, &code)) {
        a.phase = RarArchive::kDone;
        return RAR_FAIL_LOG(a, code, reason, reason);
    }
    if (checking && h.unpackedSize > a.maxEntrySize) {
        return RAR_FAIL(a, RAR_ERROR_LIMIT, "the entry is larger than the handle's maxEntrySize");
    }
    a.cryptVersion = (a.password[0] != '\0' && (h.flags & kFileEncrypted)) ? h.unpackVersion : 0;
    if (a.cryptVersion != 0 && a.cryptVersion < 20 && !a.debugLog) {
        a.phase = RarArchive::kDone;
        return RAR_FAIL(a, RAR_ERROR_UNSUPPORTED_METHOD, "entries encrypted by RAR 1.5 are not supported");
    }
    bool stored = h.method == kStoredMethod;
    if (!stored && a.unpack.window == nullptr) {
        if (a.maxMemory < kWindowSize) return RAR_FAIL(a, RAR_ERROR_LIMIT, "maxMemory is below the 1 MiB window");
        a.unpack.window = static_cast<uint8_t *>(calloc(kWindowSize, 1));
        if (a.unpack.window == nullptr) {
            return RAR_FAIL_LOG(a, RAR_ERROR_NO_MEMORY, "out of memory for the window",
                                "Can't allocate memory for decompression!");
        }
    }
    // The key is derived once per password, when an entry first needs it;
    // every encrypted entry starts from that state.
    if (a.cryptVersion != 0) {
        if (!a.keyDerived) {
            DeriveKeyState(a.derivedKey, a.password);
            ++a.keyDerivations;
        }
        a.keyDerived = true;
        a.cipher = a.derivedKey;
    }
    a.remainingPacked = h.packedSize;
    a.produced = 0;
    a.crc = 0xFFFFFFFFu;
    a.overrun = false;
    a.readFailed = false;
    a.sourceShort = false;
    a.oldCryptNoted = false;
    a.pending = nullptr;
    a.pendingSize = 0;
    a.readFailure = RAR_OK;
    a.checking = checking;
    a.phase = RarArchive::kDecoding;
    // The packed data starts at the header's size, not right after the
    // name: file comments and extended times may sit in between.
    if (!SourceSeek(a.source, a.blockStart + h.headerSize)) {
        a.phase = RarArchive::kDone;
        return RAR_FAIL(a, RAR_ERROR_IO, "cannot position in the archive");
    }
    if (!stored) StartUnpack(a, h.unpackedSize);
    return RAR_OK;
}

RarResult NextChunk(RarArchive &a, const uint8_t **data, size_t *size) {
    *data = nullptr;
    *size = 0;
    if (a.phase == RarArchive::kDone) return RAR_OK;
    if (a.phase != RarArchive::kDecoding) return RAR_FAIL(a, RAR_ERROR_ARGUMENT, "the entry is not being read");
    RarResult result = a.fileHeader.method == kStoredMethod ? NextStoredChunk(a, data, size)
                                                            : NextWindowChunk(a, data, size);
    if (result != RAR_OK || *size == 0) return result;
    a.decodedBytes += *size;
    if (!a.checking) {
        a.produced += *size;
        return RAR_OK;
    }
    if (*size > a.fileHeader.unpackedSize - a.produced) {
        RAR_NOTE(a, "Fatal! Buffer overrun during decompression!");
        a.overrun = true;
        *data = nullptr;
        *size = 0;
        return FinishEntry(a);
    }
    a.crc = Crc32Update(a.crc, *data, *size);
    a.produced += *size;
    return RAR_OK;
}

RarResult ExtractWhole(RarArchive &a, uint8_t *buffer, size_t *done) {
    *done = 0;
    const RarFileHeader &h = a.fileHeader;
    // The entry's bytes are decoded where they belong rather than copied
    // there from the window; the window only gives the history before the
    // entry, and takes the entry's last bytes at the end.
    if (a.phase == RarArchive::kDecoding && a.checking && a.produced == 0 && h.method != kStoredMethod) {
        size_t n = DecodeDirect(a, buffer, static_cast<size_t>(h.unpackedSize));
        a.crc = Crc32Update(a.crc, buffer, n);
        a.produced = n;
        a.decodedBytes += n;
        *done = n;
    }
    const uint8_t *data;
    size_t size = 1;
    while (size > 0) {
        RarResult result = NextChunk(a, &data, &size);
        if (result != RAR_OK) return result;
        if (size > 0) memcpy(buffer + *done, data, size);
        *done += size;
    }
    return RAR_OK;
}

RarResult PassOverEntry(RarArchive &a) {
    if (!a.haveEntry || a.phase == RarArchive::kDone) return RAR_OK;
    if (!ArchiveIsSolid(a)) {
        a.phase = RarArchive::kDone;
        return RAR_OK;
    }
    RarResult result = RAR_OK;
    if (a.phase == RarArchive::kUntouched) result = BeginEntry(a, false);
    // A stored entry is no part of the compressed stream: nothing to decode.
    const uint8_t *data;
    size_t size = 1;
    while (result == RAR_OK && a.phase == RarArchive::kDecoding && size > 0) result = NextChunk(a, &data, &size);
    // A CRC mismatch of a partly read entry is the reader's business; an
    // entry that could not be decoded breaks the stream after it.
    if (result != RAR_OK && result != RAR_ERROR_BAD_DATA && a.solidFailure == RAR_OK) a.solidFailure = result;
    a.phase = RarArchive::kDone;
    return result;
}

}  // namespace quorbenhal
