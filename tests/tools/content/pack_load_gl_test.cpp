// The generated "data.dat" as the demo reads it: every picture of the
// demo's texture set comes out of the pack through `PackFile` and becomes a
// texture through `LoadTGA` in a real OpenGL context, with exactly the
// pixels of its TGA file.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "assets/pack_file.h"
#include "assets/texture.h"
#include "demo/texture_set.h"
#include "platform/offscreen/offscreen_gl.h"
#include "platform/opengl.h"
#include "tests/support/temp_dir.h"

namespace fs = std::filesystem;

namespace {

class GeneratedPackInTheDemo : public ::testing::Test {
protected:
    void SetUp() override {
        std::string error;
        if (!gl_.Create(16, 16, &error)) GTEST_SKIP() << "no offscreen OpenGL: " << error;
        // The pack is searched after the disk: an empty working folder makes
        // sure every picture comes from the pack.
        previous_ = fs::current_path();
        fs::current_path(scratch_.path());
    }
    void TearDown() override {
        if (!previous_.empty()) fs::current_path(previous_);
    }

    platform::OffscreenGL gl_;
    testsupport::TempDir scratch_;
    fs::path previous_;
};

TEST_F(GeneratedPackInTheDemo, EveryPictureLoadsWithTheFilesPixels) {
    PackFile pack;
    ASSERT_EQ(pack.Open((fs::path(VANDREL_CONTENT_DIR) / "data.dat").c_str()), 1)
        << "the build did not write content/data.dat";
    std::set<uint32_t> depths;
    for (const TextureSlot &slot : textureLoadOrder) {
        SCOPED_TRACE(slot.path);
        MemFile file = pack.Load(slot.path);
        ASSERT_NE(file.data, nullptr);
        ASSERT_GT(file.size, 18);
        Texture texture;
        ASSERT_TRUE(texture.LoadTGA(file));
        EXPECT_NE(texture.texId, 0u);
        EXPECT_EQ(texture.width, 256u);
        EXPECT_EQ(texture.height, 256u);
        ASSERT_TRUE(texture.bpp == 24 || texture.bpp == 32) << texture.bpp;
        depths.insert(texture.bpp);

        // The file's pixels are blue, green, red (alpha); the texture's are
        // red, green, blue (alpha), row for row.
        const size_t bytesPerPixel = texture.bpp / 8;
        const size_t pixels = static_cast<size_t>(texture.width) * texture.height;
        ASSERT_EQ(static_cast<size_t>(file.size), 18 + pixels * bytesPerPixel);
        const unsigned char *stored = file.data + 18;
        size_t differing = 0;
        for (size_t i = 0; i < pixels; ++i) {
            const unsigned char *in = stored + i * bytesPerPixel, *out = texture.data + i * bytesPerPixel;
            bool same = out[0] == in[2] && out[1] == in[1] && out[2] == in[0];
            if (bytesPerPixel == 4) same = same && out[3] == in[3];
            differing += same ? 0 : 1;
        }
        EXPECT_EQ(differing, 0u);

        // And OpenGL holds the same colours.
        std::vector<unsigned char> uploaded(pixels * 3);
        glBindTexture(GL_TEXTURE_2D, texture.texId);
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        glGetTexImage(GL_TEXTURE_2D, 0, GL_RGB, GL_UNSIGNED_BYTE, uploaded.data());
        differing = 0;
        for (size_t i = 0; i < pixels; ++i)
            differing += std::memcmp(&uploaded[i * 3], texture.data + i * bytesPerPixel, 3) == 0 ? 0 : 1;
        EXPECT_EQ(differing, 0u);
        FreeMem(&file);
    }
    // Both depths the demo accepts are exercised.
    EXPECT_EQ(depths, (std::set<uint32_t>{24, 32}));
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

}  // namespace
