// The multimedia predictor.
#include <gtest/gtest.h>

#include "audio.h"

using namespace quorbenhal;

namespace {
// Error sums that make change j win at the next byte, the 32nd.
AudioChannelState Rigged(unsigned j) {
    AudioChannelState ch{};
    for (unsigned k = 0; k < 11; ++k) ch.errorSums[k] = k == j ? 0 : 1000000;
    ch.samplesSeen = 31;
    return ch;
}
}  // namespace

TEST(AudioPredictor, PredictionFromTapsWeightsAndTheCrossChannelDelta) {
    const struct {
        int32_t weight, w5, channelDelta, cross;
        uint32_t symbol;
        uint8_t out;
    } cases[] = {
        {0, 0, 0, 0, 0, 0},     {0, 0, 0, 0, 1, 255},  {0, 0, 0, 0, 200, 56},
        {1, 0, -3, 0, 0, 255},  // p = -3: the shift rounds toward minus infinity
        {0, 8, 0, 16, 0, 16},   // w5 times the delta of the previous byte's channel
        {2, 0, 20, 0, 3, 2},    // p = 2 * 20 = 40, predicted 5
    };
    for (const auto &c : cases) {
        AudioChannelState ch{};
        ch.weights[0] = c.weight;
        ch.weights[4] = c.w5;
        ch.channelDelta = c.channelDelta;
        int32_t cross = c.cross;
        EXPECT_EQ(DecodeAudioByte(ch, cross, c.symbol), c.out) << c.symbol;
        EXPECT_EQ(cross, int8_t(c.out));  // the new byte's own delta, from prevByte 0
        EXPECT_EQ(ch.prevByte, c.out);
    }
}

TEST(AudioPredictor, ErrorSumsUseTheNewTapsAndTheOldCrossDelta) {
    AudioChannelState ch{};
    ch.channelDelta = 5;
    int32_t cross = 7;
    DecodeAudioByte(ch, cross, 2);  // e = 16, t1 = t2 = 5
    const uint32_t expected[11] = {16, 11, 21, 11, 21, 16, 16, 16, 16, 9, 23};
    for (int k = 0; k < 11; ++k) EXPECT_EQ(ch.errorSums[k], expected[k]) << "sum " << k;
    ch = AudioChannelState{};
    DecodeAudioByte(ch, cross, 128);  // a high symbol is a negative error
    EXPECT_EQ(ch.errorSums[0], 1024u);
    EXPECT_EQ(ch.channelDelta, -128);
}

TEST(AudioPredictor, EachSumSelectsItsWeightChangeOnEveryThirtySecondByte) {
    for (unsigned j = 1; j < 11; ++j) {
        AudioChannelState ch = Rigged(j);
        ch.samplesSeen = 30;
        int32_t cross = 0;
        DecodeAudioByte(ch, cross, 0);
        for (int w = 0; w < 5; ++w) ASSERT_EQ(ch.weights[w], 0) << "byte 31";
        DecodeAudioByte(ch, cross, 0);
        for (unsigned w = 0; w < 5; ++w) {
            EXPECT_EQ(ch.weights[w], w == (j - 1) / 2 ? ((j & 1) ? -1 : 1) : 0) << "sum " << j << " weight " << w;
        }
        for (int k = 0; k < 11; ++k) EXPECT_EQ(ch.errorSums[k], 0u);
    }
    AudioChannelState ch = Rigged(0);  // the unchanged weights win: nothing moves
    int32_t cross = 0;
    DecodeAudioByte(ch, cross, 0);
    for (int w = 0; w < 5; ++w) EXPECT_EQ(ch.weights[w], 0);
}

TEST(AudioPredictor, WeightsStayWithinMinusSeventeenAndSixteen) {
    const struct {
        unsigned sum;
        int32_t before, after;
    } cases[] = {{1, -16, -17}, {1, -17, -17}, {6, 15, 16}, {6, 16, 16}};
    for (const auto &c : cases) {
        AudioChannelState ch = Rigged(c.sum);
        ch.weights[(c.sum - 1) / 2] = c.before;
        int32_t cross = 0;
        DecodeAudioByte(ch, cross, 0);
        EXPECT_EQ(ch.weights[(c.sum - 1) / 2], c.after) << c.before;
    }
}

TEST(AudioPredictor, TiesGoToTheLowestIndex) {
    AudioChannelState ch = Rigged(3);
    ch.errorSums[8] = 0;
    int32_t cross = 0;
    DecodeAudioByte(ch, cross, 0);  // fresh taps and symbol 0 add nothing
    EXPECT_EQ(ch.weights[1], -1);
    EXPECT_EQ(ch.weights[3], 0);
}
