// The multimedia predictor: in a multimedia block every symbol is the
// difference between a predicted byte and the real one, and the bytes belong
// to 1-4 interleaved channels, each with an adaptive linear predictor of its
// own. Inline, since it runs once for every byte of such a block.
#pragma once

#include <stdint.h>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#if defined(__GNUC__) && defined(__x86_64__)
#include <immintrin.h>
#endif

namespace quorbenhal {

// The predictor is defined with four taps per channel (t1 = the last delta,
// t2 = the change between the last two deltas, t3 and t4 the two changes
// before that) and 11 error sums updated with every byte. Both are kept in
// a cheaper form that gives the same bytes:
// - the taps are differences of the channel's last four deltas, so the
//   record keeps the deltas, and the prediction uses weights combined for
//   them once per adaptation;
// - the error sums are sums over the samples since the last adaptation,
//   read only at the next one (every 32nd sample of the channel, where they
//   restart at 0), so the record keeps the terms of those samples and Adapt
//   adds them up, eight samples per instruction where SSE2 is there.
constexpr uint32_t kAdaptPeriod = 32;

struct AudioChannelState {
    int32_t weights[5];   // w1-w5, each within -17 .. 16
    // The prediction's factors of the deltas D0-D3 (D0 the latest):
    // w1 + w2, w3 - w2, w4 - w3 and -w4.
    int32_t deltaWeights[4];
    // The factor of D0 when the cross-channel delta is D0 too (a channel
    // that follows itself): w1 + w2 + w5.
    int32_t ownDeltaWeight;
    int32_t channelDelta; // difference of the channel's last two bytes, as a signed byte
    uint32_t samplesSeen;
    uint32_t prevByte;
    // Per sample since the last adaptation: the error e (the symbol as a
    // signed byte, times 8) and the cross-channel delta it was compared
    // with; and the delta t1 of each sample, after the last three deltas of
    // the period before (delta[3 + i] is sample i's). All fit in 16 bits.
    int16_t error[kAdaptPeriod];
    int16_t cross[kAdaptPeriod];
    int16_t delta[kAdaptPeriod + 3];
};

// The error sums one sample at a time, as defined (where there is no SSE2).
inline void ErrorSumsPlain(const AudioChannelState &ch, uint32_t sums[11]) {
    for (int j = 0; j < 11; ++j) sums[j] = 0;
    for (uint32_t i = 0; i < kAdaptPeriod; ++i) {
        const int16_t *d = ch.delta + i;
        int32_t e = ch.error[i];
        int32_t x[5] = {d[3], d[3] - d[2], d[2] - d[1], d[1] - d[0], ch.cross[i]};
        sums[0] += static_cast<uint32_t>(e < 0 ? -e : e);
        for (int k = 0; k < 5; ++k) {
            int32_t minus = e - x[k], plus = e + x[k];
            sums[1 + 2 * k] += static_cast<uint32_t>(minus < 0 ? -minus : minus);
            sums[2 + 2 * k] += static_cast<uint32_t>(plus < 0 ? -plus : plus);
        }
    }
}

// The 11 error sums over the last 32 samples: |e|, then |e - t| and |e + t|
// for the taps t1-t4 and for the cross-channel delta. Every term is at most
// 1024 + 255, so a sum of 32 fits in 16 bits (unsigned): the lanes are added
// in 16 bits all the way.
#if defined(__SSE2__)
inline __m128i Absolute16(__m128i v) { return _mm_max_epi16(v, _mm_sub_epi16(_mm_setzero_si128(), v)); }

// Lane j of the result: the sum of the lanes of a and b (j even: a, odd: b)
// that pair up when the two are interleaved.
inline __m128i PairSums16(__m128i a, __m128i b) {
    return _mm_add_epi16(_mm_unpacklo_epi16(a, b), _mm_unpackhi_epi16(a, b));
}
inline __m128i PairSums32(__m128i a, __m128i b) {
    return _mm_add_epi16(_mm_unpacklo_epi32(a, b), _mm_unpackhi_epi32(a, b));
}

// The totals of the lanes of the 11 vectors, by interleaving and adding
// (a transposition), not one vector at a time.
inline void LaneTotals(const __m128i v[11], uint32_t sums[11]) {
    __m128i low = PairSums32(PairSums16(v[0], v[1]), PairSums16(v[2], v[3]));   // 0-3, twice
    __m128i mid = PairSums32(PairSums16(v[4], v[5]), PairSums16(v[6], v[7]));   // 4-7, twice
    __m128i high = PairSums32(PairSums16(v[8], v[9]), PairSums16(v[10], _mm_setzero_si128()));  // 8-10
    alignas(16) uint16_t totals[16];
    _mm_store_si128(reinterpret_cast<__m128i *>(totals),
                    _mm_add_epi16(_mm_unpacklo_epi64(low, mid), _mm_unpackhi_epi64(low, mid)));
    _mm_store_si128(reinterpret_cast<__m128i *>(totals + 8), _mm_add_epi16(high, _mm_unpackhi_epi64(high, high)));
    for (int j = 0; j < 11; ++j) sums[j] = totals[j];
}

// The terms of eight samples from i on, added to the 11 running vectors.
inline void AddTerms(const AudioChannelState &ch, uint32_t i, __m128i total[11]) {
    auto load = [](const int16_t *p) { return _mm_loadu_si128(reinterpret_cast<const __m128i *>(p)); };
    __m128i e = load(ch.error + i);
    __m128i d0 = load(ch.delta + 3 + i), d1 = load(ch.delta + 2 + i);
    __m128i d2 = load(ch.delta + 1 + i), d3 = load(ch.delta + i);
    __m128i x[5] = {d0, _mm_sub_epi16(d0, d1), _mm_sub_epi16(d1, d2), _mm_sub_epi16(d2, d3), load(ch.cross + i)};
    total[0] = _mm_add_epi16(total[0], Absolute16(e));
    for (int k = 0; k < 5; ++k) {
        total[1 + 2 * k] = _mm_add_epi16(total[1 + 2 * k], Absolute16(_mm_sub_epi16(e, x[k])));
        total[2 + 2 * k] = _mm_add_epi16(total[2 + 2 * k], Absolute16(_mm_add_epi16(e, x[k])));
    }
}

#if defined(__GNUC__) && defined(__x86_64__)
#define QUORBENHAL_AUDIO_AVX2 1
// The same with sixteen samples per instruction, on processors with AVX2
// (tested for at run time).
__attribute__((target("avx2"))) inline void ErrorSumsWide(const AudioChannelState &ch, uint32_t sums[11]) {
    // (No lambdas here: they would not take the function's target.)
#define QUORBENHAL_LOAD256(p) _mm256_loadu_si256(reinterpret_cast<const __m256i *>(p))
    __m256i total[11];
    for (int j = 0; j < 11; ++j) total[j] = _mm256_setzero_si256();
    for (uint32_t i = 0; i < kAdaptPeriod; i += 16) {
        __m256i e = QUORBENHAL_LOAD256(ch.error + i);
        __m256i d0 = QUORBENHAL_LOAD256(ch.delta + 3 + i), d1 = QUORBENHAL_LOAD256(ch.delta + 2 + i);
        __m256i d2 = QUORBENHAL_LOAD256(ch.delta + 1 + i), d3 = QUORBENHAL_LOAD256(ch.delta + i);
        __m256i x[5] = {d0, _mm256_sub_epi16(d0, d1), _mm256_sub_epi16(d1, d2), _mm256_sub_epi16(d2, d3),
                        QUORBENHAL_LOAD256(ch.cross + i)};
        total[0] = _mm256_add_epi16(total[0], _mm256_abs_epi16(e));
        for (int k = 0; k < 5; ++k) {
            total[1 + 2 * k] = _mm256_add_epi16(total[1 + 2 * k], _mm256_abs_epi16(_mm256_sub_epi16(e, x[k])));
            total[2 + 2 * k] = _mm256_add_epi16(total[2 + 2 * k], _mm256_abs_epi16(_mm256_add_epi16(e, x[k])));
        }
    }
#undef QUORBENHAL_LOAD256
    __m128i halves[11];
    for (int j = 0; j < 11; ++j) {
        halves[j] = _mm_add_epi16(_mm256_castsi256_si128(total[j]), _mm256_extracti128_si256(total[j], 1));
    }
    LaneTotals(halves, sums);
}
#endif

inline void ErrorSumsNarrow(const AudioChannelState &ch, uint32_t sums[11]) {
    __m128i total[11];
    for (int j = 0; j < 11; ++j) total[j] = _mm_setzero_si128();
    for (uint32_t i = 0; i < kAdaptPeriod; i += 8) AddTerms(ch, i, total);
    LaneTotals(total, sums);
}
#endif

inline void ErrorSums(const AudioChannelState &ch, uint32_t sums[11]) {
#if defined(QUORBENHAL_AUDIO_AVX2)
    if (__builtin_cpu_supports("avx2")) return ErrorSumsWide(ch, sums);
#endif
#if defined(__SSE2__)
    ErrorSumsNarrow(ch, sums);
#else
    ErrorSumsPlain(ch, sums);
#endif
}

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
    const int32_t *w = ch.weights;
    ch.deltaWeights[0] = w[0] + w[1];
    ch.deltaWeights[1] = w[2] - w[1];
    ch.deltaWeights[2] = w[3] - w[2];
    ch.deltaWeights[3] = -w[3];
    ch.ownDeltaWeight = w[0] + w[1] + w[4];
    for (int i = 0; i < 3; ++i) ch.delta[i] = ch.delta[kAdaptPeriod + i];
}

// Turns the symbol s (0-255) of the channel's table into its output byte and
// adapts the channel. crossChannelDelta is the delta that the channel of the
// previous byte produced; it is shared by all channels.
inline uint8_t DecodeAudioByte(AudioChannelState &ch, int32_t &crossChannelDelta, uint32_t s) {
    uint32_t prevByte = ch.prevByte;
    int32_t delta0 = ch.channelDelta;
    uint32_t slot = ch.samplesSeen++ & (kAdaptPeriod - 1);
    // D0 is the latest delta (the new t1); D1-D3 the ones before it.
    int16_t *d = ch.delta + slot;
    d[3] = static_cast<int16_t>(delta0);
    const int32_t *c = ch.deltaWeights;
    // The prediction is (8 * prevByte + x) >> 3, which is prevByte + (x >> 3)
    // since 8 * prevByte is a multiple of 8 (>> on a negative value rounds
    // toward minus infinity: an arithmetic shift). So the new delta, the
    // output minus prevByte, is (x >> 3) - s as a signed byte: the chain
    // from one byte to the next runs through the deltas alone.
    int32_t x = c[1] * d[2] + c[2] * d[1] + c[3] * d[0];
    x += c[0] * delta0 + ch.weights[4] * crossChannelDelta;
    uint32_t change = static_cast<uint32_t>(x >> 3) - s;
    uint32_t out = (prevByte + change) & 0xFF;

    ch.error[slot] = static_cast<int16_t>(static_cast<int8_t>(static_cast<uint8_t>(s)) * 8);
    ch.cross[slot] = static_cast<int16_t>(crossChannelDelta);

    ch.channelDelta = static_cast<int8_t>(static_cast<uint8_t>(change));
    crossChannelDelta = ch.channelDelta;
    ch.prevByte = out;

    if (slot == kAdaptPeriod - 1) Adapt(ch);
    return static_cast<uint8_t>(out);
}

}  // namespace quorbenhal
