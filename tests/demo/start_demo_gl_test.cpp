// The demo's start-up and the interim scenes in a real OpenGL context.
#include "demo/demo_clock.h"
#include "demo/scenes.h"
#include "demo/start_demo.h"
#include "platform/offscreen/offscreen_gl.h"
#include "platform/opengl.h"
#include "platform/scripted/scripted_platform.h"

#include <gtest/gtest.h>

#include <array>

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

TEST_F(StartDemoTest, UntilTheScenesExistEveryFrameIsTheClearedScreen) {
    glClearColor(1.0f, 0.0f, 0.0f, 1.0f);
    glClearDepth(0.25);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glClearColor(0.0f, 0.0f, 1.0f, 1.0f);
    glClearDepth(1.0);

    EXPECT_EQ(RenderScene(1), 1);

    const std::vector<uint8_t> pixels = gl_.ReadPixelsTopDown();
    ASSERT_EQ(pixels.size(), 32u * 24u * 4u);
    for (size_t i = 0; i < pixels.size(); i += 4) {
        ASSERT_EQ(pixels[i], 0) << "pixel " << i / 4;
        ASSERT_EQ(pixels[i + 2], 255) << "pixel " << i / 4;
    }
    GLfloat depth = 0.0f;
    glReadPixels(5, 5, 1, 1, GL_DEPTH_COMPONENT, GL_FLOAT, &depth);
    EXPECT_FLOAT_EQ(depth, 1.0f);
}

}  // namespace
