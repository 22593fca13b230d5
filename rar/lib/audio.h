// The multimedia predictor: in a multimedia block every symbol is the
// difference between a predicted byte and the real one, and the bytes belong
// to 1-4 interleaved channels, each with an adaptive linear predictor of its
// own. Inline, since it runs once for every byte of such a block.
#pragma once

#include <stdint.h>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

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

// The 11 error sums over the last 32 samples: |e|, then |e - x| and
// |e + x| for each tap x and for the cross-channel delta.
#if defined(__SSE2__)
// Eight samples per instruction: the terms and the per-lane sums of four of
// them fit in 16 bits (at most 4 x 1279); the lanes are added in 32 bits.
inline uint32_t LaneTotal(__m128i sums16) {
    __m128i sums32 = _mm_madd_epi16(sums16, _mm_set1_epi16(1));
    sums32 = _mm_add_epi32(sums32, _mm_shuffle_epi32(sums32, 0x4E));
    sums32 = _mm_add_epi32(sums32, _mm_shuffle_epi32(sums32, 0xB1));
    return static_cast<uint32_t>(_mm_cvtsi128_si32(sums32));
}

inline void ErrorSums(const AudioChannelState &ch, uint32_t sums[11]) {
    const __m128i zero = _mm_setzero_si128();
    __m128i e[4];
    __m128i total = zero;
    for (int i = 0; i < 4; ++i) {
        e[i] = _mm_loadu_si128(reinterpret_cast<const __m128i *>(ch.error + 8 * i));
        total = _mm_add_epi16(total, _mm_max_epi16(e[i], _mm_sub_epi16(zero, e[i])));
    }
    sums[0] = LaneTotal(total);
    for (int k = 0; k < 5; ++k) {
        const int16_t *x = k < 4 ? ch.tap[k] : ch.cross;
        __m128i minus = zero, plus = zero;
        for (int i = 0; i < 4; ++i) {
            __m128i xv = _mm_loadu_si128(reinterpret_cast<const __m128i *>(x + 8 * i));
            __m128i d = _mm_sub_epi16(e[i], xv);
            __m128i s = _mm_add_epi16(e[i], xv);
            minus = _mm_add_epi16(minus, _mm_max_epi16(d, _mm_sub_epi16(zero, d)));
            plus = _mm_add_epi16(plus, _mm_max_epi16(s, _mm_sub_epi16(zero, s)));
        }
        sums[1 + 2 * k] = LaneTotal(minus);
        sums[2 + 2 * k] = LaneTotal(plus);
    }
}
#else
inline void ErrorSums(const AudioChannelState &ch, uint32_t sums[11]) {
    for (int j = 0; j < 11; ++j) sums[j] = 0;
    for (uint32_t i = 0; i < kAdaptPeriod; ++i) {
        int32_t e = ch.error[i];
        sums[0] += static_cast<uint32_t>(e < 0 ? -e : e);
        for (int k = 0; k < 5; ++k) {
            int32_t x = k < 4 ? ch.tap[k][i] : ch.cross[i];
            int32_t d = e - x, s = e + x;
            sums[1 + 2 * k] += static_cast<uint32_t>(d < 0 ? -d : d);
            sums[2 + 2 * k] += static_cast<uint32_t>(s < 0 ? -s : s);
        }
    }
}
#endif

// The change whose error sum over the last 32 samples is smallest wins (ties
// go to the lowest index): none, or one weight lowered or raised by 1.
inline void Adapt(AudioChannelState &ch) {
    uint32_t sums[11];
    ErrorSums(ch, sums);
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
