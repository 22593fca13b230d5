// The demo's start-up in a real OpenGL context.
#include "demo/demo_clock.h"
#include "demo/scenes.h"
#include "demo/start_demo.h"
#include "demo/texture_set.h"
#include "platform/offscreen/offscreen_gl.h"
#include "platform/opengl.h"
#include "platform/scripted/scripted_platform.h"
#include "tests/assets/asset_fixtures.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

#include <array>
#include <filesystem>

namespace {

class StartDemoTest : public ::testing::Test {
protected:
    void SetUp() override {
        fake.Install();
        std::string error;
        if (!gl_.Create(32, 24, &error)) GTEST_SKIP() << "no offscreen OpenGL: " << error;
    }

    platform::scripted::ScriptedPlatform fake;
    platform::OffscreenGL gl_;
};

TEST_F(StartDemoTest, StartsTheClockFirst) {
    fake.frequency = 1000;
    fake.now = 42750;
    fake.ClearLog();
    EXPECT_TRUE(StartDemo());
    ASSERT_GE(fake.log().size(), 2u);
    EXPECT_EQ(fake.log()[0], "CounterFrequency");
    EXPECT_EQ(fake.log()[1], "CounterNow");
    EXPECT_EQ(counterFrequency, 1000);
    EXPECT_EQ(startSeconds, 42);
    EXPECT_FLOAT_EQ(startTime, 42.75f);
}

TEST_F(StartDemoTest, SetsTheFixedStateAndEnablesTexturing) {
    glDisable(GL_DEPTH_TEST);
    glShadeModel(GL_FLAT);
    ASSERT_TRUE(StartDemo());

    GLint value = 0;
    glGetIntegerv(GL_SHADE_MODEL, &value);
    EXPECT_EQ(value, GL_SMOOTH);
    std::array<GLfloat, 4> clear{};
    glGetFloatv(GL_COLOR_CLEAR_VALUE, clear.data());
    EXPECT_EQ(clear, (std::array<GLfloat, 4>{0.0f, 0.0f, 0.0f, 0.5f}));
    GLfloat depth = 0.0f;
    glGetFloatv(GL_DEPTH_CLEAR_VALUE, &depth);
    EXPECT_EQ(depth, 1.0f);
    EXPECT_TRUE(glIsEnabled(GL_DEPTH_TEST));
    glGetIntegerv(GL_DEPTH_FUNC, &value);
    EXPECT_EQ(value, GL_LEQUAL);
    glGetIntegerv(GL_PERSPECTIVE_CORRECTION_HINT, &value);
    EXPECT_EQ(value, GL_NICEST);
    EXPECT_TRUE(glIsEnabled(GL_TEXTURE_2D));
    // Left at their defaults for the scenes to set.
    EXPECT_FALSE(glIsEnabled(GL_BLEND));
    EXPECT_FALSE(glIsEnabled(GL_LIGHTING));
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

TEST_F(StartDemoTest, LoadsThePicturesBeforeTexturingIsEnabled) {
    // A loose picture in the working folder reaches its texture in the
    // current context; missing pictures leave their textures empty.
    testsupport::TempDir dir;
    dir.Write("data/I4.tga", assettest::MakeTga(1, 1, {{10, 20, 30, 255}}));
    const std::filesystem::path previous = std::filesystem::current_path();
    std::filesystem::current_path(dir.path());
    glDisable(GL_TEXTURE_2D);
    const bool started = StartDemo();
    std::filesystem::current_path(previous);
    ASSERT_TRUE(started);

    ASSERT_NE(textures::I4.texId, 0u);
    EXPECT_EQ(textures::I5.texId, 0u);
    glBindTexture(GL_TEXTURE_2D, textures::I4.texId);
    std::array<uint8_t, 3> texel{};
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glGetTexImage(GL_TEXTURE_2D, 0, GL_RGB, GL_UNSIGNED_BYTE, texel.data());
    EXPECT_EQ(texel, (std::array<uint8_t, 3>{10, 20, 30}));
    EXPECT_TRUE(glIsEnabled(GL_TEXTURE_2D));
}

}  // namespace
