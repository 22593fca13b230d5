// The multimedia predictor: in a multimedia block every symbol is the
// difference between a predicted byte and the real one, and the bytes belong
// to 1-4 interleaved channels, each with an adaptive linear predictor of its
// own. Inline, since it runs once for every byte of such a block.
#pragma once

#include <stdint.h>

namespace quorbenhal {

struct AudioChannelState {
    int32_t weights[5];     // w1-w5, each within -17 .. 16
    int32_t taps[4];        // t1 = last delta, t2 = change between the last two deltas, t3, t4 older changes
    int32_t channelDelta;   // difference of the channel's last two bytes, as a signed byte
    uint32_t errorSums[11]; // accumulated error of each candidate weight change
    uint32_t samplesSeen;
    uint32_t prevByte;
};

inline uint32_t AbsoluteValue(int32_t v) {
    return v < 0 ? static_cast<uint32_t>(-static_cast<int64_t>(v)) : static_cast<uint32_t>(v);
}

// Turns the symbol s (0-255) of the channel's table into its output byte and
// adapts the channel. crossChannelDelta is the delta that the channel of the
// previous byte produced; it is shared by all channels.
inline uint8_t DecodeAudioByte(AudioChannelState &ch, int32_t &crossChannelDelta, uint32_t s) {
    ++ch.samplesSeen;
    int32_t *t = ch.taps;
    t[3] = t[2];
    t[2] = t[1];
    t[1] = ch.channelDelta - t[0];
    t[0] = ch.channelDelta;

    const int32_t *w = ch.weights;
    int32_t p = 8 * static_cast<int32_t>(ch.prevByte) + w[0] * t[0] + w[1] * t[1] + w[2] * t[2] +
                w[3] * t[3] + w[4] * crossChannelDelta;
    // >> on a negative value rounds toward minus infinity (arithmetic shift).
    uint32_t predicted = static_cast<uint32_t>(p >> 3) & 0xFF;
    uint32_t out = (predicted - s) & 0xFF;

    int32_t e = static_cast<int32_t>(static_cast<int8_t>(static_cast<uint8_t>(s))) * 8;
    uint32_t *sums = ch.errorSums;
    sums[0] += AbsoluteValue(e);
    sums[1] += AbsoluteValue(e - t[0]);
    sums[2] += AbsoluteValue(e + t[0]);
    sums[3] += AbsoluteValue(e - t[1]);
    sums[4] += AbsoluteValue(e + t[1]);
    sums[5] += AbsoluteValue(e - t[2]);
    sums[6] += AbsoluteValue(e + t[2]);
    sums[7] += AbsoluteValue(e - t[3]);
    sums[8] += AbsoluteValue(e + t[3]);
    sums[9] += AbsoluteValue(e - crossChannelDelta);
    sums[10] += AbsoluteValue(e + crossChannelDelta);

    ch.channelDelta = static_cast<int8_t>(static_cast<uint8_t>(out - ch.prevByte));
    crossChannelDelta = ch.channelDelta;
    ch.prevByte = out;

    if ((ch.samplesSeen & 31) == 0) {
        // The change whose error sum is smallest wins; ties go to the lowest index.
        uint32_t best = 0;
        for (uint32_t j = 1; j < 11; ++j) {
            if (sums[j] < sums[best]) best = j;
        }
        for (uint32_t j = 0; j < 11; ++j) sums[j] = 0;
        if (best != 0) {
            int32_t &weight = ch.weights[(best - 1) / 2];
            if (best & 1) {
                if (weight >= -16) --weight;
            } else {
                if (weight < 16) ++weight;
            }
        }
    }
    return static_cast<uint8_t>(out);
}

}  // namespace quorbenhal
