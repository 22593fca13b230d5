// The multimedia predictor.
#include <gtest/gtest.h>

#include "audio.h"

using namespace quorbenhal;

namespace {

AudioChannelState Fresh() { return AudioChannelState{}; }

// Error sums that make change j win at the next adaptation: every other sum
// far above anything one byte can add.
void RigSums(AudioChannelState &ch, unsigned j) {
    for (unsigned k = 0; k < 11; ++k) ch.errorSums[k] = k == j ? 0 : 1000000;
    ch.samplesSeen = 31;
}

}  // namespace

TEST(AudioPredictor, FreshChannelPredictsZero) {
    AudioChannelState ch = Fresh();
    int32_t cross = 0;
    EXPECT_EQ(DecodeAudioByte(ch, cross, 0), 0);
    ch = Fresh();
    EXPECT_EQ(DecodeAudioByte(ch, cross, 1), 255);
    ch = Fresh();
    cross = 0;
    EXPECT_EQ(DecodeAudioByte(ch, cross, 200), 56);
}

TEST(AudioPredictor, DeltasAndTapsFollowTheOutput) {
    AudioChannelState ch = Fresh();
    int32_t cross = 0;
    EXPECT_EQ(DecodeAudioByte(ch, cross, 246), 10);  // 0 - 246 = 10 (mod 256)
    EXPECT_EQ(ch.channelDelta, 10);
    EXPECT_EQ(cross, 10);
    EXPECT_EQ(ch.prevByte, 10u);
    // Second byte: taps shift in the delta 10; prediction 8*10/8 = 10.
    EXPECT_EQ(DecodeAudioByte(ch, cross, 0), 10);
    EXPECT_EQ(ch.taps[0], 10);
    EXPECT_EQ(ch.taps[1], 10);
    EXPECT_EQ(ch.channelDelta, 0);
    EXPECT_EQ(DecodeAudioByte(ch, cross, 0), 10);
    EXPECT_EQ(ch.taps[0], 0);
    EXPECT_EQ(ch.taps[1], -10);
    EXPECT_EQ(ch.taps[2], 10);
}

TEST(AudioPredictor, NegativePredictionRoundsTowardMinusInfinity) {
    AudioChannelState ch = Fresh();
    ch.weights[0] = 1;
    ch.channelDelta = -3;  // becomes t1: p = 1 * -3, and -3 >> 3 is -1
    int32_t cross = 0;
    EXPECT_EQ(DecodeAudioByte(ch, cross, 0), 255);
}

TEST(AudioPredictor, CrossChannelDeltaFeedsTheFifthWeight) {
    AudioChannelState ch = Fresh();
    ch.weights[4] = 8;
    int32_t cross = 16;  // p = 8 * 16, predicted 16
    EXPECT_EQ(DecodeAudioByte(ch, cross, 0), 16);
    EXPECT_EQ(cross, 16);  // this channel's own delta, 16 - 0
}

TEST(AudioPredictor, HighSymbolsCountAsNegativeErrors) {
    AudioChannelState ch = Fresh();
    int32_t cross = 0;
    EXPECT_EQ(DecodeAudioByte(ch, cross, 128), 128);
    EXPECT_EQ(ch.errorSums[0], 1024u);  // e = -128 * 8
    EXPECT_EQ(ch.channelDelta, -128);
}

TEST(AudioPredictor, ErrorSumsUseNewTapsAndOldCrossDelta) {
    AudioChannelState ch = Fresh();
    ch.channelDelta = 5;
    int32_t cross = 7;
    DecodeAudioByte(ch, cross, 2);  // e = 16, t1 = 5, t2 = 5, t3 = t4 = 0
    const uint32_t expected[11] = {16, 11, 21, 11, 21, 16, 16, 16, 16, 9, 23};
    for (int k = 0; k < 11; ++k) EXPECT_EQ(ch.errorSums[k], expected[k]) << "sum " << k;
}

TEST(AudioPredictor, WeightsAdaptOnEveryThirtySecondByte) {
    AudioChannelState ch = Fresh();
    int32_t cross = 0;
    RigSums(ch, 4);  // w2 + 1
    ch.samplesSeen = 30;
    DecodeAudioByte(ch, cross, 3);
    EXPECT_EQ(ch.weights[1], 0);  // byte 31: no adaptation yet
    DecodeAudioByte(ch, cross, 3);
    EXPECT_EQ(ch.weights[1], 1);  // byte 32
    for (int k = 0; k < 11; ++k) EXPECT_EQ(ch.errorSums[k], 0u);
}

TEST(AudioPredictor, EqualSumsChangeNothing) {
    AudioChannelState ch = Fresh();
    int32_t cross = 0;
    for (int i = 0; i < 32; ++i) EXPECT_EQ(DecodeAudioByte(ch, cross, 0), 0);
    for (int k = 0; k < 5; ++k) EXPECT_EQ(ch.weights[k], 0);
    EXPECT_EQ(ch.samplesSeen, 32u);
}

TEST(AudioPredictor, EachSumSelectsItsWeightChange) {
    for (unsigned j = 1; j < 11; ++j) {
        AudioChannelState ch = Fresh();
        int32_t cross = 0;
        RigSums(ch, j);
        DecodeAudioByte(ch, cross, 0);
        for (unsigned w = 0; w < 5; ++w) {
            int expected = w == (j - 1) / 2 ? ((j & 1) ? -1 : 1) : 0;
            EXPECT_EQ(ch.weights[w], expected) << "sum " << j << " weight " << w + 1;
        }
    }
}

TEST(AudioPredictor, WeightsStayWithinMinusSeventeenAndSixteen) {
    AudioChannelState ch = Fresh();
    int32_t cross = 0;
    ch.weights[0] = -16;
    RigSums(ch, 1);
    DecodeAudioByte(ch, cross, 0);
    EXPECT_EQ(ch.weights[0], -17);  // -16 can still be lowered once
    RigSums(ch, 1);
    DecodeAudioByte(ch, cross, 0);
    EXPECT_EQ(ch.weights[0], -17);  // but not further

    ch.weights[2] = 16;
    RigSums(ch, 6);
    DecodeAudioByte(ch, cross, 0);
    EXPECT_EQ(ch.weights[2], 16);  // 16 is never raised
    ch.weights[2] = 15;
    RigSums(ch, 6);
    DecodeAudioByte(ch, cross, 0);
    EXPECT_EQ(ch.weights[2], 16);
}

TEST(AudioPredictor, TiesGoToTheLowestIndex) {
    AudioChannelState ch = Fresh();
    int32_t cross = 0;
    for (unsigned k = 0; k < 11; ++k) ch.errorSums[k] = 1000000;
    ch.errorSums[3] = 5;
    ch.errorSums[8] = 5;
    ch.samplesSeen = 31;
    DecodeAudioByte(ch, cross, 0);  // adds 0 everywhere: fresh taps, symbol 0
    EXPECT_EQ(ch.weights[1], -1);   // sum 3 wins over the equal sum 8
    EXPECT_EQ(ch.weights[3], 0);
}
