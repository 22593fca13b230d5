// TGA pictures decoded and uploaded into a real OpenGL context, then read back
// from OpenGL to see exactly what arrived.
#include "asset_fixtures.h"

#include "assets/texture.h"
#include "platform/offscreen/offscreen_gl.h"

#include "platform/opengl.h"

namespace {

using assettest::MakeTga;
using assettest::Rgba;
using assettest::TgaHeader;

class TextureTest : public ::testing::Test {
protected:
    void SetUp() override {
        // One context for the program, never torn down: unloading the driver
        // makes the leak checker blame its leaks on us.
        static platform::OffscreenGL *context = new platform::OffscreenGL;
        static std::string error;
        static const bool created = context->Create(16, 16, &error);
        ASSERT_TRUE(created) << error;
        glBindTexture(GL_TEXTURE_2D, 0);
        glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
        glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_REPLACE);  // not the loader's mode
    }
    static bool Load(Texture &texture, const std::string &bytes) {
        MemFile file = assettest::MemFileOf(bytes);
        const bool loaded = texture.LoadTGA(file);
        FreeMem(&file);
        return loaded;
    }
    // Level 0 as RGBA bytes, rows in upload order.
    static std::vector<uint8_t> ReadBack(const Texture &texture) {
        std::vector<uint8_t> pixels(size_t{texture.width} * texture.height * 4, 0xEE);
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        glBindTexture(GL_TEXTURE_2D, texture.texId);
        glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
        return pixels;
    }
    static std::vector<uint8_t> Opaque(const std::vector<Rgba> &pixels) {
        std::vector<uint8_t> bytes;
        for (const Rgba &p : pixels) bytes.insert(bytes.end(), {p.r, p.g, p.b, 255});
        return bytes;
    }
    static GLint Get(GLenum what) {
        GLint value = -1;
        glGetIntegerv(what, &value);
        return value;
    }
};

const std::vector<Rgba> kTwoByTwo = {{200, 10, 20, 255}, {30, 220, 40, 128}, {50, 60, 230, 7}, {1, 2, 3, 4}};

TEST_F(TextureTest, TwentyFourAndThirtyTwoBitPicturesReachOpenGLWithTheirBytes) {
    for (uint8_t depth : {24, 32}) {
        SCOPED_TRACE(depth);
        Texture texture;
        ASSERT_TRUE(Load(texture, MakeTga(2, 2, kTwoByTwo, depth) + "trailing bytes are ignored"));
        EXPECT_EQ(std::tie(texture.width, texture.height, texture.bpp), std::tuple(2u, 2u, uint32_t{depth}));
        ASSERT_NE(texture.texId, 0u);
        EXPECT_EQ(Get(GL_TEXTURE_BINDING_2D), GLint(texture.texId));
        std::vector<uint8_t> kept;  // red, green, blue (alpha) after the swap
        for (const Rgba &p : kTwoByTwo) {
            kept.insert(kept.end(), {p.r, p.g, p.b});
            if (depth == 32) kept.push_back(p.a);
        }
        EXPECT_EQ(std::vector<uint8_t>(texture.data, texture.data + kept.size()), kept);
        EXPECT_EQ(ReadBack(texture), Opaque(kTwoByTwo)) << "internal format RGB8: alpha reads as 1";
        GLint min = 0, mag = 0, format = 0, env = 0;
        glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, &min);
        glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, &mag);
        glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_INTERNAL_FORMAT, &format);
        glGetTexEnviv(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, &env);
        EXPECT_EQ(std::tie(min, mag, format, env), std::tuple(GL_NEAREST, GL_NEAREST, GL_RGB8, GL_MODULATE));
        EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
    }
}

TEST_F(TextureTest, OddWidthsAndATopLeftOriginShowInFileRowOrderAndTheAlignmentIsRestored) {
    const struct {
        uint16_t width, height;
        GLint alignment;
        uint8_t descriptor;
    } sizes[] = {{3, 2, 4, 0}, {5, 3, 2, 0}, {1, 7, 8, 0}, {7, 1, 4, 0}, {1, 2, 4, 0x20}};
    for (const auto &size : sizes) {
        SCOPED_TRACE(std::to_string(size.width) + "x" + std::to_string(size.height));
        std::vector<Rgba> pixels;
        for (int i = 0; i < size.width * size.height; ++i)
            pixels.push_back({uint8_t(10 * i + 1), uint8_t(255 - 9 * i), uint8_t(i * i), 255});
        glPixelStorei(GL_UNPACK_ALIGNMENT, size.alignment);
        Texture texture;
        ASSERT_TRUE(Load(texture, MakeTga(size.width, size.height, pixels, 24, size.descriptor)));
        EXPECT_EQ(Get(GL_UNPACK_ALIGNMENT), size.alignment);
        EXPECT_EQ(ReadBack(texture), Opaque(pixels));
    }
}

struct Refusal {
    const char *name;
    std::string bytes;
};
void PrintTo(const Refusal &refusal, std::ostream *out) { *out << refusal.name; }

std::string Pixels(size_t n) { return std::string(n, '\x7f'); }
// A 2 x 2 picture with one header byte changed.
std::string With(size_t at, char value) {
    std::string bytes = TgaHeader(2, 2) + Pixels(12);
    bytes[at] = value;
    return bytes;
}

class TextureRefusal : public TextureTest, public testing::WithParamInterface<Refusal> {};

TEST_P(TextureRefusal, NothingIsUploaded) {
    Texture texture;
    EXPECT_FALSE(Load(texture, GetParam().bytes));
    EXPECT_EQ(std::tie(texture.texId, texture.data), std::tuple(0u, nullptr));
    EXPECT_EQ(Get(GL_TEXTURE_BINDING_2D), 0);
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
}

INSTANTIATE_TEST_SUITE_P(
    Tga, TextureRefusal,
    // clang-format off
    testing::Values(
        Refusal{"Empty", ""}, Refusal{"SeventeenBytes", TgaHeader(2, 2).substr(0, 17)},
        Refusal{"ImageIdPresent", With(0, 1)}, Refusal{"ColourMapPresent", With(1, 1)},
        Refusal{"ColourMappedType1", With(2, 1)}, Refusal{"RunLengthType10", With(2, 10)},
        Refusal{"XOriginNotZero", With(8, 1)}, Refusal{"WidthZero", With(12, 0)},
        Refusal{"HeightZero", With(14, 0)}, Refusal{"Depth8", With(16, 8)}, Refusal{"Depth16", With(16, 16)},
        Refusal{"PixelsShortByOneByte", TgaHeader(2, 2) + Pixels(11)},
        Refusal{"LargestHeaderTinyFile", TgaHeader(65535, 65535, 32) + Pixels(64)},
        Refusal{"LargeHeaderAlmostEnough", TgaHeader(1000, 1000) + Pixels(2999999)}),
    // clang-format on
    [](const testing::TestParamInfo<Refusal> &info) { return std::string(info.param.name); });

TEST_F(TextureTest, LoadingAgainReplacesPixelsAndNameAndAFailedReloadKeepsNoStalePixels) {
    Texture texture;
    ASSERT_TRUE(Load(texture, MakeTga(2, 2, kTwoByTwo)));
    const uint32_t firstName = texture.texId;
    const std::vector<Rgba> other = {{9, 8, 7, 255}, {6, 5, 4, 255}, {3, 2, 1, 255}};
    ASSERT_TRUE(Load(texture, MakeTga(3, 1, other, 32)));
    EXPECT_NE(texture.texId, firstName);
    EXPECT_EQ(ReadBack(texture), Opaque(other));
    const uint32_t name = texture.texId;
    EXPECT_FALSE(Load(texture, MakeTga(4, 4, kTwoByTwo)));  // 4 of 16 pixels
    EXPECT_EQ(texture.texId, name);
    EXPECT_EQ(texture.data, nullptr) << "no buffer that disagrees with the size";
}

}  // namespace
