// Scenes drawn into a real offscreen OpenGL context with the demo's
// projection, from small flat pictures of known colours, then probed pixel by
// pixel.
#include <gtest/gtest.h>

#include <GL/gl.h>

#include <cmath>
#include <vector>

#include "demo/scenes.h"
#include "scene_fixture.h"

namespace scenetest {
namespace {

// The picture quad of the common opening sits one unit in front of the eye.
// It spans x -0.5..0.5, about columns 30..610, and covers the window's full
// height (the window shows y -0.41..0.41 at that distance).
const int kCentreX = kWidth / 2;
const int kCentreY = kHeight / 2;
const int kQuadLeft = static_cast<int>(ColumnOf(-0.5, 1.0));
const int kQuadRight = static_cast<int>(ColumnOf(0.5, 1.0));

Colour DrawAndProbe(int sceneState, float frameTime, int x, int y) {
    EXPECT_EQ(RenderScene(sceneState, frameTime), 1);
    return Frame().At(x, y);
}

// ---- title fade ----------------------------------------------------------

TEST_F(SceneTest, TitleFadeShowsStartAloneBeforeThreeSeconds) {
    // alpha (1 - 3) / 4 = -0.5, which OpenGL clamps to 0.
    EXPECT_TRUE(Near(DrawAndProbe(1, 1.0f, kCentreX, kCentreY), ColourOf("start")));
}

TEST_F(SceneTest, TitleFadeHasStart1HalfWayAtFiveSeconds) {
    EXPECT_TRUE(Near(DrawAndProbe(1, 5.0f, kCentreX, kCentreY), Mix(ColourOf("start1"), ColourOf("start"), 0.5)));
}

TEST_F(SceneTest, TitleFadeShowsStart1OpaqueFromSevenSeconds) {
    EXPECT_TRUE(Near(DrawAndProbe(1, 8.0f, kCentreX, kCentreY), ColourOf("start1")));
    EXPECT_TRUE(Near(Frame().At(kQuadLeft - 3, kCentreY), kBlack)) << "nothing beside the picture";
}

TEST_F(SceneTest, TitleFadeTurnsDepthTestOffAndLeavesBlendingOffAndColourWhite) {
    RenderScene(1, 5.0f);
    EXPECT_FALSE(glIsEnabled(GL_DEPTH_TEST));
    EXPECT_FALSE(glIsEnabled(GL_LIGHTING));
    EXPECT_FALSE(glIsEnabled(GL_BLEND));
    EXPECT_EQ(CurrentColour(), (std::vector<float>{1, 1, 1, 1}));
}

// ---- I1 zoom fade to I2 --------------------------------------------------

TEST_F(SceneTest, ZoomFadeShowsI1WholeAndOpaqueBeforeThirteenSeconds) {
    ASSERT_EQ(RenderScene(3, 12.0f), 1);
    const Frame frame;
    EXPECT_TRUE(Near(frame.At(kQuadLeft + 10, kCentreY), ColourOf("I1"))) << "I1's border";
    EXPECT_TRUE(Near(frame.At(kCentreX, kCentreY), kI1Centre)) << "I1's centre";
    EXPECT_TRUE(Near(frame.At(kQuadRight - 10, 5), ColourOf("I1")));
}

TEST_F(SceneTest, ZoomFadeAtFifteenSecondsShowsOnlyI1sCentreHalfFadedOverI2) {
    // a = 0.5: every texture coordinate is (0.5, 0.5), so the whole quad takes
    // the colour of I1's middle, at half strength over I2.
    ASSERT_EQ(RenderScene(3, 15.0f), 1);
    const Frame frame;
    const Colour expected = Mix(kI1Centre, ColourOf("I2"), 0.5);
    EXPECT_TRUE(Near(frame.At(kQuadLeft + 10, kCentreY), expected)) << "where I1's border was";
    EXPECT_TRUE(Near(frame.At(kCentreX, kCentreY), expected));
    EXPECT_TRUE(Near(frame.At(kQuadRight - 10, kHeight - 5), expected));
}

TEST_F(SceneTest, ZoomFadeLeavesBlendingOffAndTheFadedColour) {
    RenderScene(3, 15.0f);
    EXPECT_FALSE(glIsEnabled(GL_BLEND));
    EXPECT_EQ(CurrentColour(), (std::vector<float>{1, 1, 1, 0.5f}));
}

// ---- I2 cross-fade to I3 -------------------------------------------------

TEST_F(SceneTest, CrossFadeHasI3HalfWayOverI2AtFifteenSeconds) {
    EXPECT_TRUE(Near(DrawAndProbe(4, 15.0f, kCentreX, kCentreY), Mix(ColourOf("I3"), ColourOf("I2"), 0.5)));
}

TEST_F(SceneTest, CrossFadeShowsI3OpaqueAtTwentyFiveSeconds) {
    EXPECT_TRUE(Near(DrawAndProbe(4, 25.0f, kCentreX, kCentreY), ColourOf("I3")));
}

TEST_F(SceneTest, CrossFadeLeavesBlendingOnWithItsAlpha) {
    RenderScene(4, 15.0f);
    EXPECT_TRUE(glIsEnabled(GL_BLEND));
    EXPECT_EQ(CurrentColour(), (std::vector<float>{1, 1, 1, 0.5f}));

    // Its second frame draws I2 itself at the previous frame's alpha over the
    // cleared (black) background before I3 goes over it.
    const Colour i2OverBlack = Mix(ColourOf("I2"), kBlack, 0.5);
    EXPECT_TRUE(Near(DrawAndProbe(4, 15.0f, kCentreX, kCentreY), Mix(ColourOf("I3"), i2OverBlack, 0.5)));

    // A still drawn next is still blended with that alpha.
    EXPECT_TRUE(Near(DrawAndProbe(17, 0.0f, kCentreX, kCentreY), Mix(ColourOf("I3"), kBlack, 0.5)));
}

TEST_F(SceneTest, RotatingI4MakesPicturesOpaqueAgainAfterTheCrossFade) {
    RenderScene(4, 15.0f);
    spinAngle = 0.0f;
    EXPECT_TRUE(Near(DrawAndProbe(6, 0.0f, kCentreX, kCentreY), ColourOf("I4")));
    EXPECT_EQ(CurrentColour(), (std::vector<float>{1, 1, 1, 1}));
    EXPECT_TRUE(Near(DrawAndProbe(10, 0.0f, kCentreX, kCentreY), ColourOf("I8")));
}

// ---- rotating I4 ---------------------------------------------------------

TEST_F(SceneTest, RotatingI4TurnsByNothingThenOneDegreeAnticlockwise) {
    spinAngle = 0.0f;
    // Near the picture's left edge: a turn anticlockwise in the picture's
    // plane moves the edge outwards at the top of the window and inwards at
    // the bottom, by about four pixels for one degree.
    const int top = 0;
    const int bottom = kHeight - 1;

    ASSERT_EQ(RenderScene(6, 0.0f), 1);
    const Frame first;
    EXPECT_TRUE(Near(first.At(kQuadLeft - 2, top), kBlack));
    EXPECT_TRUE(Near(first.At(kQuadLeft + 2, bottom), ColourOf("I4")));
    EXPECT_TRUE(Near(first.At(kQuadLeft - 2, bottom), kBlack)) << "unturned: the edge is straight";
    EXPECT_FLOAT_EQ(spinAngle, 1.0f);

    ASSERT_EQ(RenderScene(6, 0.0f), 1);
    const Frame second;
    EXPECT_TRUE(Near(second.At(kQuadLeft - 2, top), ColourOf("I4")));
    EXPECT_TRUE(Near(second.At(kQuadLeft + 2, bottom), kBlack));
    EXPECT_TRUE(Near(second.At(kCentreX, kCentreY), ColourOf("I4")));
    EXPECT_FLOAT_EQ(spinAngle, 2.0f);
}

// ---- tile grid I6 --------------------------------------------------------

bool IsI6(const Colour &colour) { return Near(colour, ColourOf("I6")) || Near(colour, kI6Centre); }

TEST_F(SceneTest, TileGridCoversTheWholeWindowWithI6AtAnyAngle) {
    for (float angle : {0.0f, 30.0f, 45.0f}) {
        gridAngle = angle;
        ASSERT_EQ(RenderScene(8, 0.0f), 1);
        const Frame frame;
        for (auto [x, y] : {std::pair{0, 0}, {kWidth - 1, 0}, {0, kHeight - 1}, {kWidth - 1, kHeight - 1},
                            {kCentreX, kCentreY}}) {
            EXPECT_TRUE(IsI6(frame.At(x, y))) << "angle " << angle << " at " << x << "," << y << ": "
                                              << frame.At(x, y);
        }
        EXPECT_FLOAT_EQ(gridAngle, angle + 0.5f);
    }
}

TEST_F(SceneTest, TileGridLaysUnitTilesSideBySideTurningAboutTheMiddleTile) {
    // The tiles lie 1.7 units in front of the eye (one unit, then 0.7 more),
    // the middle one centred on the view axis. Walking right from its centre
    // along the grid's own x axis (at y 0.1): its centre texels, its right
    // border texels, the next tile's left border texels, its centre texels.
    const std::pair<double, Colour> walk[] = {
        {0.1, kI6Centre}, {0.4, ColourOf("I6")}, {0.6, ColourOf("I6")}, {0.9, kI6Centre}};
    for (float angle : {0.0f, 30.0f}) {
        gridAngle = angle;
        ASSERT_EQ(RenderScene(8, 0.0f), 1);
        const Frame frame;
        const double radians = angle * M_PI / 180.0;
        for (auto [x, expected] : walk) {
            const double eyeX = x * std::cos(radians) - 0.1 * std::sin(radians);
            const double eyeY = x * std::sin(radians) + 0.1 * std::cos(radians);
            const int column = static_cast<int>(ColumnOf(eyeX, 1.7));
            const int row = static_cast<int>(RowOf(eyeY, 1.7));
            EXPECT_TRUE(Near(frame.At(column, row), expected)) << "angle " << angle << ", x " << x;
        }
    }
}

TEST_F(SceneTest, TileGridWalksTheSlideValuesDownFromZero) {
    slideX = 0.0f;
    slideStep = 0.0f;
    const float expected[] = {-0.3f, -0.6f, -0.9f};
    for (float x : expected) {
        RenderScene(8, 0.0f);
        EXPECT_NEAR(slideX, x, 1e-5f);
        EXPECT_FLOAT_EQ(slideStep, -0.3f);
    }
}

TEST_F(SceneTest, TileGridTurnsTheSlideBackAtMinusFive) {
    slideX = -4.9f;
    slideStep = -0.3f;
    RenderScene(8, 0.0f);
    EXPECT_FLOAT_EQ(slideStep, -0.3f) << "above -5 the step keeps its value";
    EXPECT_NEAR(slideX, -5.2f, 1e-5f);

    RenderScene(8, 0.0f);
    EXPECT_FLOAT_EQ(slideStep, 0.3f);
    EXPECT_NEAR(slideX, -4.9f, 1e-5f);

    RenderScene(8, 0.0f);
    EXPECT_FLOAT_EQ(slideStep, 0.3f) << "between the limits the step keeps its value";
    EXPECT_NEAR(slideX, -4.6f, 1e-5f);

    slideX = -5.0f;
    slideStep = -0.3f;
    RenderScene(8, 0.0f);
    EXPECT_FLOAT_EQ(slideStep, 0.3f) << "exactly -5 turns too";
}

TEST_F(SceneTest, TileGridTurnsTheSlideDownAgainAtMinusZeroPointSix) {
    slideX = -0.5f;
    slideStep = 0.3f;
    RenderScene(8, 0.0f);
    EXPECT_FLOAT_EQ(slideStep, -0.3f);
    EXPECT_NEAR(slideX, -0.8f, 1e-5f);
}

// ---- moving I7 -----------------------------------------------------------

TEST_F(SceneTest, MovingI7StepsRightFromExactlyMinusZeroPointOne) {
    slideX = -0.1f;
    slideStep = -0.1f;
    RenderScene(9, 0.0f);
    EXPECT_FLOAT_EQ(slideStep, 0.1f);
    EXPECT_NEAR(slideX, -0.1f + 0.1f / 1.5f, 1e-6f);
}

TEST_F(SceneTest, MovingI7StepsLeftFromRightOfMinusZeroPointOne) {
    slideX = 0.5f;
    slideStep = 0.1f;
    RenderScene(9, 0.0f);
    EXPECT_FLOAT_EQ(slideStep, -0.1f);
    EXPECT_NEAR(slideX, 0.5f - 0.1f / 1.5f, 1e-6f);
}

TEST_F(SceneTest, MovingI7IsDrawnWhereTheValuesStoodBeforeTheStep) {
    // x offset slideX, y offset slideStep, both before this frame's update.
    slideX = -0.2f;
    slideStep = 0.1f;
    ASSERT_EQ(RenderScene(9, 0.0f), 1);
    const Frame frame;
    const int right = static_cast<int>(ColumnOf(0.3, 1.0));
    const int bottom = static_cast<int>(RowOf(-0.4, 1.0));
    EXPECT_TRUE(Near(frame.At(right - 3, kCentreY), ColourOf("I7")));
    EXPECT_TRUE(Near(frame.At(right + 3, kCentreY), kBlack));
    EXPECT_TRUE(Near(frame.At(kCentreX, bottom - 3), ColourOf("I7")));
    EXPECT_TRUE(Near(frame.At(kCentreX, bottom + 3), kBlack));
    EXPECT_TRUE(Near(frame.At(0, kCentreY), ColourOf("I7"))) << "the left edge is out of the window";
}

TEST_F(SceneTest, MovingI7TravelsTowardsMinusZeroPointOneThenShakesAboutIt) {
    slideX = -2.0f;
    slideStep = 0.3f;
    int frames = 0;
    while (slideX <= -0.1f && frames < 100) {
        RenderScene(9, 0.0f);
        ++frames;
    }
    EXPECT_EQ(frames, 29) << "(2 - 0.1) * 15 frames, rounded up";
    for (int i = 0; i < 6; ++i) {
        RenderScene(9, 0.0f);
        EXPECT_NEAR(slideX, -0.1f, 0.07f);
    }
}

// ---- empty scene and states without a scene -----------------------------

TEST_F(SceneTest, EmptySceneLeavesTheBufferAndMatrixUntouched) {
    glClearColor(0.8f, 0.2f, 0.6f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    glClearColor(0.0f, 0.0f, 0.0f, 0.5f);
    glTranslatef(1.0f, 2.0f, 3.0f);
    EXPECT_EQ(RenderScene(20, 50.0f), 1);
    const Frame frame;
    for (auto [x, y] : {std::pair{0, 0}, {kCentreX, kCentreY}, {kWidth - 1, kHeight - 1}}) {
        EXPECT_TRUE(Near(frame.At(x, y), Colour{204, 51, 153}));
    }
    GLfloat matrix[16];
    glGetFloatv(GL_MODELVIEW_MATRIX, matrix);
    EXPECT_FLOAT_EQ(matrix[12], 1.0f);
    EXPECT_FLOAT_EQ(matrix[14], 3.0f);
}

TEST_F(SceneTest, StatesWithoutASceneDrawNothing) {
    for (int state : {0, 2, 5, 21, -1, 1000}) {
        glClearColor(0.2f, 0.4f, 0.6f, 1.0f);
        glClear(GL_COLOR_BUFFER_BIT);
        EXPECT_EQ(RenderScene(state, 5.0f), 0) << state;
        EXPECT_TRUE(Near(Frame().At(kCentreX, kCentreY), Colour{51, 102, 153})) << state;
    }
}

// ---- stills and the dispatch table ---------------------------------------

TEST_F(SceneTest, EachStillStateShowsItsPicture) {
    const std::pair<int, const char *> stills[] = {
        {7, "I5"},   {10, "I8"},  {11, "I9"},  {12, "I10"}, {13, "I11"}, {14, "I12"},
        {15, "I13"}, {16, "I14"}, {17, "I3"},  {18, "I16"}, {19, "I17"},
    };
    for (auto [state, stem] : stills) {
        ASSERT_EQ(RenderScene(state, 0.0f), 1) << state;
        const Frame frame;
        EXPECT_TRUE(Near(frame.At(kCentreX, kCentreY), ColourOf(stem))) << "state " << state;
        EXPECT_TRUE(Near(frame.At(kQuadLeft + 2, 0), ColourOf(stem))) << "state " << state;
        EXPECT_TRUE(Near(frame.At(kQuadLeft - 2, kCentreY), kBlack)) << "state " << state;
        EXPECT_TRUE(Near(frame.At(kQuadRight + 2, kCentreY), kBlack)) << "state " << state;
    }
}

TEST_F(SceneTest, StillsChangeNoColourAndNoBlending) {
    glColor4f(1.0f, 1.0f, 1.0f, 0.25f);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    RenderScene(12, 0.0f);
    EXPECT_TRUE(glIsEnabled(GL_BLEND));
    EXPECT_EQ(CurrentColour(), (std::vector<float>{1, 1, 1, 0.25f}));
    EXPECT_TRUE(Near(Frame().At(kCentreX, kCentreY), Mix(ColourOf("I10"), kBlack, 0.25)));
}

TEST_F(SceneTest, EverySceneKeepsTheModelviewStackBalanced) {
    const std::pair<int, float> frames[] = {
        {1, 1.0f}, {1, 8.0f}, {3, 12.0f}, {3, 15.0f}, {4, 15.0f}, {4, 25.0f}, {6, 0.0f}, {7, 0.0f}, {8, 0.0f},
        {9, 0.0f}, {10, 0.0f}, {11, 0.0f}, {12, 0.0f}, {13, 0.0f}, {14, 0.0f}, {15, 0.0f}, {16, 0.0f},
        {17, 0.0f}, {18, 0.0f}, {19, 0.0f}, {20, 0.0f}, {2, 0.0f},
    };
    for (auto [state, time] : frames) {
        ASSERT_EQ(ModelviewDepth(), 1);
        RenderScene(state, time);
        EXPECT_EQ(ModelviewDepth(), 1) << "state " << state << " at " << time;
        GLint mode = 0;
        glGetIntegerv(GL_MATRIX_MODE, &mode);
        EXPECT_EQ(mode, GL_MODELVIEW) << "state " << state;
        EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR)) << "state " << state;
    }
}

}  // namespace
}  // namespace scenetest
