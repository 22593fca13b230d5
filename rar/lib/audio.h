// The multimedia predictor: in a multimedia block every symbol is the
// difference between a predicted byte and the real one, and the bytes belong
// to 1-4 interleaved channels, each with an adaptive linear predictor of its
// own. Inline, since it runs once for every byte of such a block.
#pragma once

#include <stdint.h>

namespace quorbenhal {

// The predictor's 11 error sums are sums over the channel's
// samples since its last adaptation, and they are read only at the
// adaptation (every 32nd sample of the channel, where they restart at 0).
// So instead of 11 running sums, updated with 11 absolute values per byte,
// the record keeps the terms the sums are made of for the (at most 32)
// samples since the last adaptation, and Adapt adds them up 32 at a time in
// loops the compiler turns into vector code. The result is the same.
constexpr uint32_t kAdaptPeriod = 32;

struct AudioChannelState {
    int32_t weights[5];     // w1-w5, each within -17 .. 16
    int32_t taps[4];        // t1 = last delta, t2 = change between the last two deltas, t3, t4 older changes
    int32_t channelDelta;   // difference of the channel's last two bytes, as a signed byte
    uint32_t samplesSeen;
    uint32_t prevByte;
    // Per sample since the last adaptation: the error e (the symbol as a
    // signed byte, times 8), the four taps and the cross-channel delta it
    // was compared with. All fit in 16 bits (|e| <= 1024, |taps| <= 255).
    int16_t error[kAdaptPeriod];
    int16_t tap[4][kAdaptPeriod];
    int16_t cross[kAdaptPeriod];
};

// The sum over the last 32 samples of |e - sign * x|.
inline uint32_t ErrorSum(const int16_t *e, const int16_t *x, int32_t sign) {
    uint32_t sum = 0;
    for (uint32_t i = 0; i < kAdaptPeriod; ++i) {
        int32_t d = e[i] - sign * x[i];
        sum += static_cast<uint32_t>(d < 0 ? -d : d);
    }
    return sum;
}

// The change whose error sum over the last 32 samples is smallest wins (ties
// go to the lowest index): none, or one weight lowered or raised by 1.
inline void Adapt(AudioChannelState &ch) {
    uint32_t sums[11];
    uint32_t sum0 = 0;
    for (uint32_t i = 0; i < kAdaptPeriod; ++i) sum0 += static_cast<uint32_t>(ch.error[i] < 0 ? -ch.error[i] : ch.error[i]);
    sums[0] = sum0;
    for (uint32_t k = 0; k < 4; ++k) {
        sums[1 + 2 * k] = ErrorSum(ch.error, ch.tap[k], 1);
        sums[2 + 2 * k] = ErrorSum(ch.error, ch.tap[k], -1);
    }
    sums[9] = ErrorSum(ch.error, ch.cross, 1);
    sums[10] = ErrorSum(ch.error, ch.cross, -1);
    uint32_t best = 0;
    for (uint32_t j = 1; j < 11; ++j) {
        if (sums[j] < sums[best]) best = j;
    }
    if (best != 0) {
        int32_t &weight = ch.weights[(best - 1) / 2];
        if (best & 1) {
            if (weight >= -16) --weight;
        } else {
            if (weight < 16) ++weight;
        }
    }
}

// Turns the symbol s (0-255) of the channel's table into its output byte and
// adapts the channel. crossChannelDelta is the delta that the channel of the
// previous byte produced; it is shared by all channels.
inline uint8_t DecodeAudioByte(AudioChannelState &ch, int32_t &crossChannelDelta, uint32_t s) {
    uint32_t slot = ch.samplesSeen++ & (kAdaptPeriod - 1);
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

    ch.error[slot] = static_cast<int16_t>(static_cast<int8_t>(static_cast<uint8_t>(s)) * 8);
    for (uint32_t k = 0; k < 4; ++k) ch.tap[k][slot] = static_cast<int16_t>(t[k]);
    ch.cross[slot] = static_cast<int16_t>(crossChannelDelta);

    ch.channelDelta = static_cast<int8_t>(static_cast<uint8_t>(out - ch.prevByte));
    crossChannelDelta = ch.channelDelta;
    ch.prevByte = out;

    if (slot == kAdaptPeriod - 1) Adapt(ch);
    return static_cast<uint8_t>(out);
}

}  // namespace quorbenhal
