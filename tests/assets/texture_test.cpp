// TGA pictures decoded and uploaded into a real OpenGL context, then read
// back from OpenGL to see exactly what arrived.
#include <gtest/gtest.h>

#include <GL/gl.h>

#include <ostream>
#include <string>
#include <vector>

#include "asset_fixtures.h"
#include "assets/pack_file.h"
#include "assets/texture.h"
#include "platform/offscreen/offscreen_gl.h"

namespace {

using assettest::MakeTga;
using assettest::MemFileOf;
using assettest::Rgba;
using assettest::TgaHeader;
using assettest::TgaOptions;

class TextureTest : public assettest::ScratchDirTest {
protected:
    void SetUp() override {
        ScratchDirTest::SetUp();
        ASSERT_TRUE(SharedContext() != nullptr) << contextError_;
        glBindTexture(GL_TEXTURE_2D, 0);
        glDisable(GL_TEXTURE_2D);
        glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
        // OpenGL's defaults differ from what the loader sets, so the
        // checks below see the loader's work rather than the defaults.
        glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_REPLACE);
    }

    // One context for the whole test program, kept until the process ends:
    // tearing it down unloads the OpenGL driver, after which the leak checker
    // can no longer tell the driver's own leaks from ours.
    static platform::OffscreenGL *SharedContext() {
        static platform::OffscreenGL *context = [] {
            auto *created = new platform::OffscreenGL;
            if (!created->Create(16, 16, &contextError_)) {
                delete created;
                return static_cast<platform::OffscreenGL *>(nullptr);
            }
            return created;
        }();
        return context;
    }

    // Loads `bytes` into `texture`; the record is released afterwards.
    bool Load(Texture &texture, const std::string &bytes) {
        MemFile file = MemFileOf(bytes);
        const bool loaded = texture.LoadTGA(file);
        EXPECT_EQ(file.pos, 0) << "the loader reads its own copy";
        FreeMem(&file);
        return loaded;
    }

    // The texture's level 0 as RGBA bytes, rows in upload order.
    static std::vector<uint8_t> ReadBack(const Texture &texture) {
        std::vector<uint8_t> pixels(size_t{texture.width} * texture.height * 4, 0xEE);
        GLint previousPack = 4;
        glGetIntegerv(GL_PACK_ALIGNMENT, &previousPack);
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        glBindTexture(GL_TEXTURE_2D, texture.texId);
        glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
        glPixelStorei(GL_PACK_ALIGNMENT, previousPack);
        return pixels;
    }

    static std::vector<uint8_t> Opaque(const std::vector<Rgba> &pixels) {
        std::vector<uint8_t> bytes;
        for (const Rgba &p : pixels) bytes.insert(bytes.end(), {p.r, p.g, p.b, 255});
        return bytes;
    }

    static GLint BoundTexture() {
        GLint bound = -1;
        glGetIntegerv(GL_TEXTURE_BINDING_2D, &bound);
        return bound;
    }

    static inline std::string contextError_;
};

const std::vector<Rgba> kTwoByTwo = {
    {200, 10, 20, 255}, {30, 220, 40, 128}, {50, 60, 230, 7}, {1, 2, 3, 4}};

// ---- accepted pictures ---------------------------------------------------

TEST_F(TextureTest, TwentyFourBitPictureReachesOpenGLWithItsBytes) {
    Texture texture;
    ASSERT_TRUE(Load(texture, MakeTga(2, 2, kTwoByTwo)));
    EXPECT_EQ(texture.width, 2u);
    EXPECT_EQ(texture.height, 2u);
    EXPECT_EQ(texture.bpp, 24u);
    ASSERT_NE(texture.texId, 0u);
    EXPECT_EQ(BoundTexture(), static_cast<GLint>(texture.texId));

    // Blue and red swapped in the kept pixels: red, green, blue.
    ASSERT_NE(texture.data, nullptr);
    EXPECT_EQ(std::vector<uint8_t>(texture.data, texture.data + 12),
              (std::vector<uint8_t>{200, 10, 20, 30, 220, 40, 50, 60, 230, 1, 2, 3}));
    EXPECT_EQ(ReadBack(texture), Opaque(kTwoByTwo));
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

TEST_F(TextureTest, ThirtyTwoBitPictureKeepsAlphaInItsPixelsButNotInTheTexture) {
    Texture texture;
    ASSERT_TRUE(Load(texture, MakeTga(2, 2, kTwoByTwo, {.depth = 32})));
    EXPECT_EQ(texture.bpp, 32u);
    ASSERT_NE(texture.data, nullptr);
    // Stored blue 1, green 2, red 3, alpha 4 becomes 3, 2, 1, 4.
    EXPECT_EQ(std::vector<uint8_t>(texture.data + 12, texture.data + 16),
              (std::vector<uint8_t>{1, 2, 3, 4}));
    EXPECT_EQ(texture.data[7], 128);
    // Internal format RGB8: every texel's alpha reads as 1.
    EXPECT_EQ(ReadBack(texture), Opaque(kTwoByTwo));
}

TEST_F(TextureTest, TextureStateIsNearestFilteringModulateAndRgb8) {
    for (uint8_t depth : {24, 32}) {
        SCOPED_TRACE(static_cast<int>(depth));
        glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_REPLACE);
        Texture texture;
        ASSERT_TRUE(Load(texture, MakeTga(2, 2, kTwoByTwo, {.depth = depth})));
        glBindTexture(GL_TEXTURE_2D, texture.texId);
        GLint value = 0;
        glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, &value);
        EXPECT_EQ(value, GL_NEAREST);
        glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, &value);
        EXPECT_EQ(value, GL_NEAREST);
        glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_INTERNAL_FORMAT, &value);
        EXPECT_EQ(value, GL_RGB8);
        glGetTexEnviv(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, &value);
        EXPECT_EQ(value, GL_MODULATE);
    }
}

TEST_F(TextureTest, PictureIsMultipliedByTheCurrentColourWhenDrawn) {
    Texture texture;
    ASSERT_TRUE(Load(texture, MakeTga(1, 1, {{200, 100, 40, 255}})));
    glViewport(0, 0, 16, 16);
    glClearColor(0, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    glEnable(GL_TEXTURE_2D);
    glBindTexture(GL_TEXTURE_2D, texture.texId);
    glColor4f(0.5f, 1.0f, 0.0f, 1.0f);
    glBegin(GL_QUADS);
    glTexCoord2f(0, 0); glVertex2f(-1, -1);
    glTexCoord2f(1, 0); glVertex2f(1, -1);
    glTexCoord2f(1, 1); glVertex2f(1, 1);
    glTexCoord2f(0, 1); glVertex2f(-1, 1);
    glEnd();
    const std::vector<uint8_t> frame = SharedContext()->ReadPixelsTopDown();
    const size_t centre = (8 * 16 + 8) * 4;
    EXPECT_NEAR(frame[centre + 0], 100, 1);
    EXPECT_EQ(frame[centre + 1], 100);
    EXPECT_EQ(frame[centre + 2], 0);
}

TEST_F(TextureTest, OddWidthsAreUploadedRowByRowWithoutSkew) {
    // Rows of 3, 5 and 1 pixels at 24 bits are 9, 15 and 3 bytes long: not a
    // multiple of OpenGL's default row alignment of 4.
    struct Size { uint16_t width, height; };
    for (Size size : {Size{3, 2}, Size{5, 3}, Size{1, 7}, Size{7, 1}}) {
        SCOPED_TRACE(std::to_string(size.width) + "x" + std::to_string(size.height));
        std::vector<Rgba> pixels;
        for (int i = 0; i < size.width * size.height; ++i) {
            pixels.push_back({static_cast<uint8_t>(10 * i + 1), static_cast<uint8_t>(255 - 9 * i),
                              static_cast<uint8_t>(i * i), 255});
        }
        Texture texture;
        ASSERT_TRUE(Load(texture, MakeTga(size.width, size.height, pixels)));
        EXPECT_EQ(ReadBack(texture), Opaque(pixels));
    }
}

TEST_F(TextureTest, UnpackAlignmentIsRestoredAfterTheUpload) {
    for (GLint alignment : {2, 4, 8}) {
        glPixelStorei(GL_UNPACK_ALIGNMENT, alignment);
        Texture texture;
        const std::vector<Rgba> pixels = {{1, 2, 3, 0}, {4, 5, 6, 0}, {7, 8, 9, 0},
                                          {10, 11, 12, 0}, {13, 14, 15, 0}, {16, 17, 18, 0}};
        ASSERT_TRUE(Load(texture, MakeTga(3, 2, pixels)));
        GLint after = 0;
        glGetIntegerv(GL_UNPACK_ALIGNMENT, &after);
        EXPECT_EQ(after, alignment);
        EXPECT_EQ(ReadBack(texture), Opaque(pixels));
    }
}

TEST_F(TextureTest, TopLeftOriginIsAcceptedAndUploadedInFileRowOrder) {
    const std::vector<Rgba> rows = {{255, 0, 0, 255}, {0, 0, 255, 255}};  // 1 x 2
    Texture texture;
    ASSERT_TRUE(Load(texture, MakeTga(1, 2, rows, {.descriptor = 0x20})));
    EXPECT_EQ(ReadBack(texture), Opaque(rows));  // first file row first, not flipped
}

TEST_F(TextureTest, TrailingBytesAfterThePixelsAreIgnored) {
    Texture texture;
    ASSERT_TRUE(Load(texture, MakeTga(2, 2, kTwoByTwo) + std::string(26, 'F')));
    EXPECT_EQ(ReadBack(texture), Opaque(kTwoByTwo));
}

// ---- refused pictures ----------------------------------------------------

struct Refusal {
    const char *name;
    std::string bytes;
};

std::string Pixels(size_t n) { return std::string(n, '\x7f'); }

std::vector<Refusal> Refusals() {
    return {
        {"empty", ""},
        {"eleven_bytes", TgaHeader(2, 2).substr(0, 11)},
        {"header_of_seventeen_bytes", TgaHeader(2, 2).substr(0, 17)},
        {"run_length_type_10", TgaHeader(2, 2, {.imageType = 10}) + Pixels(12)},
        {"colour_mapped_type_1", TgaHeader(2, 2, {.imageType = 1}) + Pixels(12)},
        {"greyscale_type_3", TgaHeader(2, 2, {.imageType = 3}) + Pixels(12)},
        {"image_id_present", TgaHeader(2, 2, {.idLength = 1}) + Pixels(13)},
        {"colour_map_present", TgaHeader(2, 2, {.colourMapType = 1}) + Pixels(12)},
        {"x_origin_not_zero", TgaHeader(2, 2, {.xOrigin = 1}) + Pixels(12)},
        {"width_zero", TgaHeader(0, 2) + Pixels(12)},
        {"height_zero", TgaHeader(2, 0) + Pixels(12)},
        {"depth_8", TgaHeader(2, 2, {.depth = 8}) + Pixels(4)},
        {"depth_16", TgaHeader(2, 2, {.depth = 16}) + Pixels(8)},
        {"pixels_short_by_one_byte", MakeTga(2, 2, kTwoByTwo, {.truncatePixels = 1})},
        {"pixels_missing", TgaHeader(3, 3)},
        {"largest_header_tiny_file", TgaHeader(65535, 65535, {.depth = 32}) + Pixels(64)},
        {"large_header_almost_enough", TgaHeader(1000, 1000) + Pixels(3 * 1000 * 1000 - 1)},
    };
}

class TextureRefusal : public TextureTest, public testing::WithParamInterface<Refusal> {};

TEST_P(TextureRefusal, NothingIsUploaded) {
    Texture texture;
    glBindTexture(GL_TEXTURE_2D, 0);
    EXPECT_FALSE(Load(texture, GetParam().bytes));
    EXPECT_EQ(texture.texId, 0u);
    EXPECT_EQ(texture.data, nullptr);
    EXPECT_EQ(BoundTexture(), 0);
    GLint env = 0;
    glGetTexEnviv(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, &env);
    EXPECT_EQ(env, GL_REPLACE);
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

void PrintTo(const Refusal &refusal, std::ostream *out) { *out << refusal.name; }

INSTANTIATE_TEST_SUITE_P(Tga, TextureRefusal, testing::ValuesIn(Refusals()),
                         [](const testing::TestParamInfo<Refusal> &info) { return info.param.name; });

TEST_F(TextureTest, SixteenBitPictureIsRefusedAfterItsSizeIsStored) {
    Texture texture;
    EXPECT_FALSE(Load(texture, TgaHeader(5, 9, {.depth = 16}) + Pixels(90)));
    EXPECT_EQ(texture.width, 5u);
    EXPECT_EQ(texture.height, 9u);
    EXPECT_EQ(texture.bpp, 0u);
}

// ---- loading again -------------------------------------------------------

TEST_F(TextureTest, LoadingAgainReplacesPixelsAndName) {
    Texture texture;
    ASSERT_TRUE(Load(texture, MakeTga(2, 2, kTwoByTwo)));
    const uint32_t firstName = texture.texId;
    const std::vector<Rgba> other = {{9, 8, 7, 255}, {6, 5, 4, 255}, {3, 2, 1, 255}};
    ASSERT_TRUE(Load(texture, MakeTga(3, 1, other, {.depth = 32})));
    EXPECT_NE(texture.texId, firstName);
    EXPECT_EQ(texture.width, 3u);
    EXPECT_EQ(texture.bpp, 32u);
    EXPECT_EQ(texture.data[0], 9);
    EXPECT_EQ(ReadBack(texture), Opaque(other));
}

TEST_F(TextureTest, FailedReloadKeepsTheNameAndDropsStalePixels) {
    Texture texture;
    ASSERT_TRUE(Load(texture, MakeTga(2, 2, kTwoByTwo)));
    const uint32_t name = texture.texId;
    EXPECT_FALSE(Load(texture, MakeTga(4, 4, kTwoByTwo)));  // 4 of 16 pixels
    EXPECT_EQ(texture.texId, name);
    EXPECT_EQ(texture.width, 4u);
    EXPECT_EQ(texture.data, nullptr);  // no buffer that disagrees with the size
    // The texture uploaded before is still intact in OpenGL.
    texture.width = texture.height = 2;
    EXPECT_EQ(ReadBack(texture), Opaque(kTwoByTwo));
}

// ---- from the pack -------------------------------------------------------

TEST_F(TextureTest, LoadPictureTakesTheLooseFileOverThePackMember) {
    const std::vector<Rgba> packed = {{255, 0, 0, 255}};
    const std::vector<Rgba> loose = {{0, 255, 0, 255}};
    assettest::WriteZip("data.dat", {{"data/I4.tga", MakeTga(1, 1, packed)},
                                     {"data/I5.tga", MakeTga(1, 1, packed)}});
    WriteFile("data/I4.tga", MakeTga(1, 1, loose));
    PackFile pack;
    ASSERT_EQ(pack.Open("data.dat"), 1);

    Texture i4, i5, i6;
    ASSERT_TRUE(LoadPicture(pack, "data/I4.tga", i4));
    ASSERT_TRUE(LoadPicture(pack, "data/i5.TGA", i5));
    testing::internal::CaptureStdout();
    EXPECT_FALSE(LoadPicture(pack, "data/I6.tga", i6));
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "\nFile data/I6.tga not found!\n");
    EXPECT_EQ(ReadBack(i4), Opaque(loose));
    EXPECT_EQ(ReadBack(i5), Opaque(packed));
    EXPECT_EQ(i6.texId, 0u);
}

}  // namespace
