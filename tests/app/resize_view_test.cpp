// The viewport and projection that follow the client size, read back from a
// real OpenGL context.
#include "tests/app/shell_fixture.h"

#include "platform/offscreen/offscreen_gl.h"
#include "platform/opengl.h"

#include <cmath>

namespace {

class ResizeViewTest : public ShellTest {
protected:
    void SetUp() override {
        ShellTest::SetUp();
        std::string error;
        if (!gl_.Create(64, 64, &error)) GTEST_SKIP() << "no offscreen OpenGL: " << error;
    }

    static std::array<GLint, 4> Viewport() {
        std::array<GLint, 4> v{};
        glGetIntegerv(GL_VIEWPORT, v.data());
        return v;
    }
    static std::array<GLfloat, 16> Matrix(GLenum which) {
        std::array<GLfloat, 16> m{};
        glGetFloatv(which, m.data());
        return m;
    }
    // The focal factor of a 45-degree vertical field of view.
    static double Focal() { return 1.0 / std::tan(45.0 / 2.0 * M_PI / 180.0); }

    platform::OffscreenGL gl_;
};

TEST_F(ResizeViewTest, SetsTheViewportAndA45DegreePerspective) {
    ResizeView(640, 480);
    EXPECT_EQ(Viewport(), (std::array<GLint, 4>{0, 0, 640, 480}));
    const auto p = Matrix(GL_PROJECTION_MATRIX);
    const double nearPlane = 0.1, farPlane = 100.0;
    EXPECT_NEAR(p[0], Focal() * 480.0 / 640.0, 1e-5);
    EXPECT_NEAR(p[5], Focal(), 1e-5);
    EXPECT_NEAR(p[10], (farPlane + nearPlane) / (nearPlane - farPlane), 1e-5);
    EXPECT_NEAR(p[11], -1.0, 1e-6);
    EXPECT_NEAR(p[14], 2.0 * farPlane * nearPlane / (nearPlane - farPlane), 1e-5);
    EXPECT_NEAR(p[15], 0.0, 1e-6);
}

TEST_F(ResizeViewTest, LeavesAnIdentityModelViewCurrent) {
    glMatrixMode(GL_MODELVIEW);
    glTranslatef(1.0f, 2.0f, 3.0f);
    glMatrixMode(GL_PROJECTION);
    ResizeView(640, 480);
    GLint mode = 0;
    glGetIntegerv(GL_MATRIX_MODE, &mode);
    EXPECT_EQ(mode, GL_MODELVIEW);
    const auto m = Matrix(GL_MODELVIEW_MATRIX);
    for (int i = 0; i < 16; ++i) EXPECT_FLOAT_EQ(m[i], (i % 5 == 0) ? 1.0f : 0.0f) << i;
}

TEST_F(ResizeViewTest, AZeroHeightCountsAsOne) {
    ResizeView(300, 0);
    EXPECT_EQ(Viewport(), (std::array<GLint, 4>{0, 0, 300, 1}));
    EXPECT_NEAR(Matrix(GL_PROJECTION_MATRIX)[0], Focal() / 300.0, 1e-7);
}

TEST_F(ResizeViewTest, SizeMessagesResizeTheViewFromTheirParameter) {
    ASSERT_TRUE(OpenDemoWindow("Vandrel", 640, 480, 32, false));
    ResizeView(10, 10);
    DemoWindowProc(mainWindow, platform::MessageKind::Size, 0, platform::MakeLParam(800, 600));
    EXPECT_EQ(Viewport(), (std::array<GLint, 4>{0, 0, 800, 600}));
    EXPECT_NEAR(Matrix(GL_PROJECTION_MATRIX)[0], Focal() * 600.0 / 800.0, 1e-5);
    // A minimised window reports 0 by 0.
    DemoWindowProc(mainWindow, platform::MessageKind::Size, 0, platform::MakeLParam(0, 0));
    EXPECT_EQ(Viewport(), (std::array<GLint, 4>{0, 0, 0, 1}));
}

TEST_F(ResizeViewTest, OpeningTheWindowSetsTheViewForTheRequestedSize) {
    ResizeView(10, 10);
    ASSERT_TRUE(OpenDemoWindow("Vandrel", 640, 480, 32, false));
    EXPECT_EQ(Viewport(), (std::array<GLint, 4>{0, 0, 640, 480}));
}

}  // namespace
