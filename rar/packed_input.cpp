// Reading an entry's packed bytes into the unpacker's input buffer.
#include "packed_input.h"

#include <string.h>

#include "cipher.h"
#include "library_state.h"
#include "log.h"

namespace quorbenhal {

int64_t ReadPacked(uint8_t *dest, uint32_t count) {
    size_t got = 0;
    if (count > 0) {
        if (count > remainingPacked) count = remainingPacked;
        if (archiveFile == nullptr) return 0;
        got = fread(dest, 1, count, archiveFile);
        if (ferror(archiveFile)) {
            clearerr(archiveFile);
            return -1;
        }
        remainingPacked -= static_cast<uint32_t>(got);
    }
    if (cryptVersion == 0) return static_cast<int64_t>(got);
    if (cryptVersion < 20) {
        RAR_LOG("Old Crypt() not supported!");
        return static_cast<int64_t>(got);
    }
    for (size_t offset = 0; offset < got; offset += 16) DecipherBlock(dest + offset);
    return static_cast<int64_t>(got);
}

void RefillInput(InputState &in, bool firstFill) {
    int64_t got;
    if (firstFill) {
        got = ReadPacked(in.inBuffer, kInBufferSize);
        in.inPos = 0;
        in.inEnd = got > 0 ? static_cast<int32_t>(got) : 0;
        in.dataEnd = static_cast<uint32_t>(in.inEnd);
    } else {
        // The reader stands at 8160 or beyond: keep the last 32 bytes, which
        // hold the bits not yet read, and read behind them.
        memmove(in.inBuffer, in.inBuffer + kInBufferSize - 32, 32);
        in.inPos -= kInBufferSize - 32;
        uint32_t keptData = in.dataEnd > kInBufferSize - 32 ? in.dataEnd - (kInBufferSize - 32) : 0;
        got = ReadPacked(in.inBuffer + 32, kInBufferSize - 32);
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
