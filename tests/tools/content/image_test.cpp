// Pictures are written as the uncompressed true-colour TGA files the demo
// accepts, with rows bottom-up so that the demo shows them upright.
#include "tools/content/image.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

using content::Color;
using content::EncodeTga;
using content::Image;

namespace {

uint8_t Byte(const std::string &s, size_t i) { return static_cast<uint8_t>(s.at(i)); }

Image Corners() {
    // Top left red, top right green, bottom left blue, bottom right white.
    Image image(2, 2);
    image.at(0, 0) = {1, 0, 0, 1};
    image.at(1, 0) = {0, 1, 0, 1};
    image.at(0, 1) = {0, 0, 1, 0};
    image.at(1, 1) = {1, 1, 1, 0.5};
    return image;
}

TEST(TgaEncoding, HeaderIsTheUncompressedTrueColourLayout) {
    Image image(300, 2);
    for (int bpp : {24, 32}) {
        std::string tga = EncodeTga(image, bpp);
        const uint8_t fixed[12] = {0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0};
        for (int i = 0; i < 12; ++i) EXPECT_EQ(Byte(tga, i), fixed[i]) << "byte " << i;
        EXPECT_EQ(Byte(tga, 12) + 256 * Byte(tga, 13), 300);
        EXPECT_EQ(Byte(tga, 14) + 256 * Byte(tga, 15), 2);
        EXPECT_EQ(Byte(tga, 16), bpp);
        // Descriptor: alpha bits for 32-bit pictures, bottom-left origin.
        EXPECT_EQ(Byte(tga, 17), bpp == 32 ? 8 : 0);
        EXPECT_EQ(tga.size(), 18u + 300u * 2u * (bpp / 8));
    }
}

TEST(TgaEncoding, StoresBottomRowFirstInBlueGreenRedOrder) {
    std::string tga = EncodeTga(Corners(), 24);
    const uint8_t expected[] = {255, 0, 0, 255, 255, 255,   // bottom row: blue, white
                                0, 0, 255, 0, 255, 0};      // top row: red, green
    ASSERT_EQ(tga.size(), 18u + sizeof expected);
    for (size_t i = 0; i < sizeof expected; ++i) EXPECT_EQ(Byte(tga, 18 + i), expected[i]) << "pixel byte " << i;
}

TEST(TgaEncoding, ThirtyTwoBitPixelsCarryAlphaLast) {
    std::string tga = EncodeTga(Corners(), 32);
    ASSERT_EQ(tga.size(), 18u + 16u);
    // Bottom left: blue with alpha 0; bottom right: white with alpha one half.
    EXPECT_EQ(Byte(tga, 18), 255);
    EXPECT_EQ(Byte(tga, 19), 0);
    EXPECT_EQ(Byte(tga, 20), 0);
    EXPECT_EQ(Byte(tga, 21), 0);
    EXPECT_EQ(Byte(tga, 22), 255);
    EXPECT_NEAR(Byte(tga, 25), 128, 1);
    // Top row follows: top left red, opaque.
    EXPECT_EQ(Byte(tga, 26), 0);
    EXPECT_EQ(Byte(tga, 27), 0);
    EXPECT_EQ(Byte(tga, 28), 255);
    EXPECT_EQ(Byte(tga, 29), 255);
}

TEST(TgaEncoding, ClampsOutOfRangeChannelsAndDithersMidTones) {
    Image image(16, 16);
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x) image.at(x, y) = x < 8 ? Color{-0.5, 2.0, 0.5, 1} : Color{0, 1, 0.25, 1};
    std::string tga = EncodeTga(image, 24);
    double sumHalf = 0, sumQuarter = 0;
    for (int row = 0; row < 16; ++row) {
        for (int x = 0; x < 16; ++x) {
            size_t o = 18 + (static_cast<size_t>(row) * 16 + x) * 3;
            uint8_t b = Byte(tga, o), g = Byte(tga, o + 1), r = Byte(tga, o + 2);
            EXPECT_EQ(r, 0);    // -0.5 and 0 both give exactly 0
            EXPECT_EQ(g, 255);  // 2.0 and 1 both give exactly 255
            if (x < 8) {
                EXPECT_TRUE(b == 127 || b == 128) << int(b);
                sumHalf += b;
            } else {
                EXPECT_TRUE(b == 63 || b == 64) << int(b);
                sumQuarter += b;
            }
        }
    }
    // The dither keeps the average where the exact value is.
    EXPECT_NEAR(sumHalf / 128.0, 127.5, 0.1);
    EXPECT_NEAR(sumQuarter / 128.0, 63.75, 0.1);
}

TEST(TgaEncoding, RefusesDepthsAndSizesTheFormatCannotHold) {
    Image small(4, 4);
    EXPECT_THROW(EncodeTga(small, 16), std::invalid_argument);
    EXPECT_THROW(EncodeTga(small, 8), std::invalid_argument);
    EXPECT_THROW(EncodeTga(small, 0), std::invalid_argument);
    Image wide(65536, 1);
    EXPECT_THROW(EncodeTga(wide, 24), std::invalid_argument);
    EXPECT_THROW(Image(0, 4), std::invalid_argument);
    EXPECT_THROW(Image(4, -1), std::invalid_argument);
}

TEST(Render, AveragesSamplesSpreadEvenlyOverEachPixel) {
    // Left half white: a one-pixel image sees half of it.
    auto shade = [](double u, double) { return u < 0.5 ? Color{1, 1, 1, 1} : Color{0, 0, 0, 1}; };
    EXPECT_NEAR(content::Render(1, 1, 2, shade).at(0, 0).r, 0.5, 1e-12);
    EXPECT_NEAR(content::Render(1, 1, 4, shade).at(0, 0).r, 0.5, 1e-12);
    EXPECT_NEAR(content::Render(1, 1, 3, shade).at(0, 0).r, 1.0 / 3.0, 1e-12);
    // Rows run down the picture: v grows with y.
    auto vertical = [](double, double v) { return Color{v, 0, 0, 1}; };
    Image image = content::Render(1, 4, 1, vertical);
    EXPECT_NEAR(image.at(0, 0).r, 0.125, 1e-12);
    EXPECT_NEAR(image.at(0, 3).r, 0.875, 1e-12);
    EXPECT_THROW(content::Render(1, 1, 0, shade), std::invalid_argument);
}

}  // namespace
