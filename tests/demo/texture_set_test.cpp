// The texture set filled by start-up, end to end: loose TGA files and a ZIP
// pack written by the test, loaded through LoadTextureSet into a real
// offscreen OpenGL context, then read back from OpenGL and drawn.
#include <gtest/gtest.h>

#include <GL/gl.h>

#include <filesystem>
#include <string>
#include <vector>

#include "tests/assets/asset_fixtures.h"
#include "demo/scenes.h"
#include "demo/texture_set.h"
#include "scene_fixture.h"

namespace scenetest {
namespace {

class TextureSetTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(HaveContext()) << ContextError();
        ResetToStartUpState();
        glDisable(GL_TEXTURE_2D);  // start-up loads before it enables texturing
    }

    // The first texel of a texture as OpenGL holds it.
    static Colour FirstTexel(const Texture &texture) {
        std::vector<uint8_t> texels(size_t{texture.width} * texture.height * 4);
        glBindTexture(GL_TEXTURE_2D, texture.texId);
        glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, texels.data());
        return {texels[0], texels[1], texels[2]};
    }

    static Colour CentreOfScene(int sceneState) {
        glEnable(GL_TEXTURE_2D);
        RenderScene(sceneState, 0.0f);
        return Frame().At(kWidth / 2, kHeight / 2);
    }

    testsupport::TempDir folder_;
};

TEST_F(TextureSetTest, EveryPictureReachesItsOwnTextureInLoadOrder) {
    WritePictureSet(folder_.path());
    LoadTextureSetFrom(folder_.path());

    GLuint previousName = 0;
    for (const Picture &picture : Pictures()) {
        const Texture &texture = *picture.texture;
        ASSERT_NE(texture.texId, 0u) << picture.stem;
        EXPECT_GT(texture.texId, previousName) << picture.stem << " is loaded after the picture before it";
        previousName = texture.texId;
        EXPECT_EQ(texture.width, 4u) << picture.stem;
        EXPECT_TRUE(glIsTexture(texture.texId)) << picture.stem;
        EXPECT_EQ(FirstTexel(texture), picture.colour) << picture.stem;
    }
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

TEST_F(TextureSetTest, LooseFileOverridesThePackMemberOfTheSameName) {
    const Colour looseI4{10, 250, 10};
    const Colour packedI4{250, 10, 10};
    assettest::WriteZip(folder_ / "data.dat",
                        {{"data/I4.tga", PictureFile({"I4", nullptr, packedI4})},
                         {"data/I5.tga", PictureFile(PictureNamed("I5"))},
                         {"DATA/i8.TGA", PictureFile(PictureNamed("I8"))}});
    folder_.Write("data/I4.tga", PictureFile({"I4", nullptr, looseI4}));
    LoadTextureSetFrom(folder_.path());

    EXPECT_EQ(FirstTexel(textures::I4), looseI4);
    EXPECT_EQ(FirstTexel(textures::I5), ColourOf("I5")) << "from the pack";
    EXPECT_EQ(FirstTexel(textures::I8), ColourOf("I8")) << "pack names compare without regard to case";

    spinAngle = 0.0f;
    EXPECT_TRUE(Near(CentreOfScene(6), looseI4));
    EXPECT_TRUE(Near(CentreOfScene(7), ColourOf("I5")));
    EXPECT_TRUE(Near(CentreOfScene(10), ColourOf("I8")));
}

TEST_F(TextureSetTest, MissingPictureDrawsAnUntexturedQuadInTheCurrentColour) {
    WritePictureSet(folder_.path(), {"I9"});
    LoadTextureSetFrom(folder_.path());
    EXPECT_EQ(textures::I9.texId, 0u);

    glEnable(GL_TEXTURE_2D);
    glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
    ASSERT_EQ(RenderScene(11, 0.0f), 1);
    const Frame frame;
    EXPECT_TRUE(Near(frame.At(kWidth / 2, kHeight / 2), kWhite));
    EXPECT_TRUE(Near(frame.At(static_cast<int>(ColumnOf(-0.5, 1.0)) - 3, kHeight / 2), kBlack));
    EXPECT_TRUE(Near(CentreOfScene(12), ColourOf("I10"))) << "the others still load";
}

TEST_F(TextureSetTest, RepeatedStartUpWithoutPackLeavesNoStaleNames) {
    // First start-up from the pack alone, as a shipped demo runs.
    std::vector<assettest::ZipMember> members;
    for (const Picture &picture : Pictures()) members.push_back({"data/" + picture.stem + ".tga", PictureFile(picture)});
    assettest::WriteZip(folder_ / "data.dat", members);
    LoadTextureSetFrom(folder_.path());
    ASSERT_NE(textures::I4.texId, 0u);
    ASSERT_EQ(FirstTexel(textures::I4), ColourOf("I4"));

    // The pack is gone when start-up runs again: no picture can load, and no
    // texture may keep a name from before, which in a new rendering context
    // could belong to another picture.
    std::filesystem::remove(folder_ / "data.dat");
    testing::internal::CaptureStdout();
    LoadTextureSetFrom(folder_.path());
    const std::string messages = testing::internal::GetCapturedStdout();
    for (const Picture &picture : Pictures()) {
        EXPECT_EQ(picture.texture->texId, 0u) << picture.stem;
    }
    EXPECT_NE(messages.find("File data/I4.tga not found!"), std::string::npos) << messages;

    glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
    EXPECT_TRUE(Near(CentreOfScene(6), kWhite));
}

TEST_F(TextureSetTest, NoPackAndNoLooseFilesLeavesEveryTextureEmpty) {
    LoadTextureSetFrom(folder_.path());
    for (const Picture &picture : Pictures()) {
        EXPECT_EQ(picture.texture->texId, 0u) << picture.stem;
    }
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

}  // namespace
}  // namespace scenetest
