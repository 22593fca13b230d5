// Reading an entry's packed bytes into the unpacker's input buffer.
#include "packed_input.h"

#include <string.h>

#include "handle.h"

namespace quorbenhal {

int64_t ReadPacked(RarArchive &a, uint8_t *dest, uint32_t count) {
    int64_t got = 0;
    if (count > 0) {
        if (count > a.remainingPacked) count = static_cast<uint32_t>(a.remainingPacked);
        got = SourceRead(a.source, dest, count);
        if (got < 0) {
            a.readFailed = true;
            return -1;
        }
        if (static_cast<uint64_t>(got) < count) a.sourceShort = true;
        a.remainingPacked -= static_cast<uint64_t>(got);
    }
    if (a.cryptVersion == 0) return got;
    if (a.cryptVersion < 20) {
        if (!a.oldCryptNoted) RAR_NOTE(a, "Old Crypt() not supported!");
        a.oldCryptNoted = true;
        return got;
    }
    for (int64_t offset = 0; offset < got; offset += 16) DecipherBlock(a.cipher, dest + offset);
    return got;
}

void RefillInput(InputState &in, bool firstFill) {
    int64_t got;
    if (firstFill) {
        got = ReadPacked(*in.archive, in.inBuffer, kInBufferSize);
        in.inPos = 0;
        in.inEnd = got > 0 ? static_cast<int32_t>(got) : 0;
        in.dataEnd = static_cast<uint32_t>(in.inEnd);
    } else {
        // The reader stands at 8160 or beyond: keep the last 32 bytes, which
        // hold the bits not yet read, and read behind them.
        memmove(in.inBuffer, in.inBuffer + kInBufferSize - 32, 32);
        in.inPos -= kInBufferSize - 32;
        uint32_t keptData = in.dataEnd > kInBufferSize - 32 ? in.dataEnd - (kInBufferSize - 32) : 0;
        got = ReadPacked(*in.archive, in.inBuffer + 32, kInBufferSize - 32);
        if (got > 0) {
            in.inEnd = static_cast<int32_t>(got) + 32;
            in.dataEnd = static_cast<uint32_t>(got) + 32;
        } else {
            in.inEnd = static_cast<int32_t>(in.inPos);
            in.dataEnd = keptData;
        }
    }
    // Past the entry's data the buffer reads as zeros, whatever an earlier
    // entry or the cipher's last partial block left there, so that peeking
    // beyond the end (normal for the last codes) always sees the same bytes.
    if (in.dataEnd < sizeof in.inBuffer) {
        memset(in.inBuffer + in.dataEnd, 0, sizeof in.inBuffer - in.dataEnd);
    }
}

}  // namespace quorbenhal
