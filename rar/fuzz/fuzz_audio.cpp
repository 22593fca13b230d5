// Fuzz target for the multimedia decoder. The first byte gives the channel
// count; the rest are symbols for the predictor, whose bytes and weights must
// match a plain transcription of its definition (four taps, eleven running
// error sums), one channel and several. Then the input, behind a multimedia
// block header, is decoded as a packed stream both ways (see fuzz_lz.cpp).
#include "audio.h"
#include "fuzz_support.h"

using namespace quorbenhal;

namespace {

struct PlainChannel {
    int32_t w[5], t[4], delta;
    uint32_t sums[11], seen, prev;
};

uint8_t PlainDecode(PlainChannel &c, int32_t &cross, uint32_t s) {
    ++c.seen;
    c.t[3] = c.t[2];
    c.t[2] = c.t[1];
    c.t[1] = c.delta - c.t[0];
    c.t[0] = c.delta;
    int32_t p = 8 * int32_t(c.prev) + c.w[0] * c.t[0] + c.w[1] * c.t[1] + c.w[2] * c.t[2] + c.w[3] * c.t[3] +
                c.w[4] * cross;
    uint32_t out = ((uint32_t(p >> 3) & 0xFF) - s) & 0xFF;
    int32_t e = int32_t(int8_t(uint8_t(s))) * 8;
    int32_t x[5] = {c.t[0], c.t[1], c.t[2], c.t[3], cross};
    c.sums[0] += uint32_t(abs(e));
    for (int k = 0; k < 5; ++k) {
        c.sums[1 + 2 * k] += uint32_t(abs(e - x[k]));
        c.sums[2 + 2 * k] += uint32_t(abs(e + x[k]));
    }
    c.delta = int8_t(uint8_t(out - c.prev));
    cross = c.delta;
    c.prev = out;
    if (c.seen % 32 == 0) {
        int best = 0;
        for (int j = 1; j < 11; ++j) best = c.sums[j] < c.sums[best] ? j : best;
        memset(c.sums, 0, sizeof c.sums);
        int32_t &w = c.w[(best - 1) / 2];
        if (best > 0 && best % 2 == 1 && w >= -16) --w;
        if (best > 0 && best % 2 == 0 && w < 16) ++w;
    }
    return uint8_t(out);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size < 2) return 0;
    uint32_t channels = data[0] % 4 + 1;
    PlainChannel plain[4] = {};
    AudioChannelState fast[4] = {};
    int32_t plainCross = 0, fastCross = 0;
    // Symbols repeat the input (up to 4096 of them), so that a short input
    // still reaches many adaptations.
    for (size_t i = 0; i < 4096 && i < size * 64; ++i) {
        uint32_t s = data[1 + i % (size - 1)];
        uint32_t c = static_cast<uint32_t>(i % channels);
        uint8_t expected = PlainDecode(plain[c], plainCross, s);
        FUZZ_CHECK(DecodeAudioByte(fast[c], fastCross, s) == expected);
        FUZZ_CHECK(memcmp(plain[c].w, fast[c].weights, sizeof plain[c].w) == 0);
    }

    // A multimedia header (absolute lengths, the channel count above) in
    // front of the input's bits.
    fuzz::Bytes stream;
    uint8_t carry = static_cast<uint8_t>(0x80 | (channels - 1) << 4);
    for (size_t i = 1; i < size; ++i) {
        uint8_t b = static_cast<uint8_t>(carry | data[i] >> 4);
        stream.Append(&b, 1);
        carry = static_cast<uint8_t>(data[i] << 4);
    }
    stream.Append(&carry, 1);
    fuzz::RawEntry entry = {stream.data, stream.size, static_cast<uint32_t>(size * 8), 0, 0};
    fuzz::Bytes archive;
    fuzz::BuildArchive(archive, &entry, 1, false);
    fuzz::ExtractBothWays(archive.data, archive.size, nullptr);
    return 0;
}
