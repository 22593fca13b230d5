// Start-up and the scenes in a real offscreen OpenGL context with the demo's
// projection, from 4 x 4 pictures of known flat colours, probed pixel by pixel.
#include "demo/demo_clock.h"
#include "demo/scenes.h"
#include "demo/start_demo.h"
#include "demo/texture_set.h"
#include "platform/offscreen/offscreen_gl.h"
#include "platform/scripted/scripted_platform.h"
#include "asset_fixtures.h"

#include "platform/opengl.h"
#include <gtest/gtest.h>

#include <cmath>
#include <memory>

namespace {

constexpr int kWidth = 640, kHeight = 480, kCentreX = kWidth / 2, kCentreY = kHeight / 2;

struct Colour {
    int r, g, b;
    bool operator==(const Colour &) const = default;
};
std::ostream &operator<<(std::ostream &out, const Colour &c) {
    return out << "(" << c.r << ", " << c.g << ", " << c.b << ")";
}
const Colour kBlack{0, 0, 0}, kWhite{255, 255, 255}, kI1Centre{230, 230, 40};

Colour Mix(const Colour &top, const Colour &bottom, double weight) {
    auto mix = [weight](int t, int b) { return int(std::lround(weight * t + (1 - weight) * b)); };
    return {mix(top.r, bottom.r), mix(top.g, bottom.g), mix(top.b, bottom.b)};
}
::testing::AssertionResult Near(const Colour &actual, const Colour &expected) {
    if (std::abs(actual.r - expected.r) <= 2 && std::abs(actual.g - expected.g) <= 2 &&
        std::abs(actual.b - expected.b) <= 2)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << actual << " is not " << expected;
}

// Picture i of the load order is one colour; I1 has a 2 x 2 centre of another,
// so that a zoom into its middle can be told from the whole picture.
std::string Stem(const std::string &path) { return path.substr(5, path.size() - 9); }
Colour ColourOf(const std::string &stem) {
    int i = 0;
    while (i < 22 && Stem(textureLoadOrder[i].path) != stem) ++i;
    return {40 + i * 67 % 181, 40 + i * 131 % 181, 40 + i * 29 % 181};
}
std::string PictureFile(const Colour &colour, const Colour &centre) {
    std::vector<assettest::Rgba> pixels;
    for (int i = 0; i < 16; ++i) {
        const Colour &c = (i / 4 == 1 || i / 4 == 2) && (i % 4 == 1 || i % 4 == 2) ? centre : colour;
        pixels.push_back({uint8_t(c.r), uint8_t(c.g), uint8_t(c.b), 255});
    }
    return assettest::MakeTga(4, 4, pixels);
}
std::string PictureFile(const std::string &stem) {
    return PictureFile(ColourOf(stem), stem == "I1" ? kI1Centre : ColourOf(stem));
}

// Window column and row (from the top) of the point (x, y) 1 unit in front of the eye.
double ColumnOf(double x) { return (x / (std::tan(22.5 * M_PI / 180) * kWidth / kHeight) + 1) * kWidth / 2; }
double RowOf(double y) { return (1 - y / std::tan(22.5 * M_PI / 180)) * kHeight / 2; }
const int kQuadLeft = int(ColumnOf(-0.5)), kQuadRight = int(ColumnOf(0.5));

class SceneTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        pictures_ = std::make_unique<testsupport::TempDir>();
        for (const TextureSlot &slot : textureLoadOrder)
            pictures_->Write(slot.path, PictureFile(Stem(slot.path)));
    }
    static void TearDownTestSuite() { pictures_.reset(); }

    void SetUp() override {
        // One context for the program, never torn down: unloading the driver
        // makes the leak checker blame its leaks on us.
        static platform::OffscreenGL *context = new platform::OffscreenGL;
        static std::string error;
        static const bool created = context->Create(kWidth, kHeight, &error);
        ASSERT_TRUE(created) << error;
        // What a new window gives the demo: its projection, then start-up.
        glViewport(0, 0, kWidth, kHeight);
        glMatrixMode(GL_PROJECTION);
        glLoadIdentity();
        gluPerspective(45.0, double(kWidth) / kHeight, double(0.1f), 100.0);
        glMatrixMode(GL_MODELVIEW);
        glLoadIdentity();
        glDisable(GL_BLEND);
        glColor4f(1, 1, 1, 1);
        ASSERT_TRUE(StartIn(pictures_->path()));
    }
    bool StartIn(const std::filesystem::path &folder) {
        fake.contentFolder = folder.string();
        return StartDemo();
    }
    static Colour At(int x, int y) {
        uint8_t p[4];
        glReadPixels(x, kHeight - 1 - y, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, p);
        return {p[0], p[1], p[2]};
    }
    static Colour Draw(int scene, float frameTime = 0.0f) {
        EXPECT_EQ(RenderScene(scene, frameTime), 1) << "scene " << scene;
        return At(kCentreX, kCentreY);
    }
    static std::vector<float> CurrentColour() {
        std::vector<float> colour(4);
        glGetFloatv(GL_CURRENT_COLOR, colour.data());
        return colour;
    }

    static inline std::unique_ptr<testsupport::TempDir> pictures_;
    platform::scripted::ScriptedPlatform fake;  // the content folder and the counter
};

TEST_F(SceneTest, StartUpStartsTheClockSetsTheStateAndLoadsEveryPictureInOrder) {
    fake.now = 42750;
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_TEXTURE_2D);
    ASSERT_TRUE(StartIn(pictures_->path()));
    EXPECT_EQ(startSeconds, 42);
    GLint depthFunc = 0;
    glGetIntegerv(GL_DEPTH_FUNC, &depthFunc);
    EXPECT_EQ(depthFunc, GL_LEQUAL);
    EXPECT_TRUE(glIsEnabled(GL_DEPTH_TEST) && glIsEnabled(GL_TEXTURE_2D));
    EXPECT_FALSE(glIsEnabled(GL_BLEND) || glIsEnabled(GL_LIGHTING));
    GLuint previous = 0;
    for (const TextureSlot &slot : textureLoadOrder) {
        EXPECT_GT(slot.texture->texId, previous) << slot.path << " loaded in its turn";
        previous = slot.texture->texId;
        uint8_t texel[4 * 16];
        glBindTexture(GL_TEXTURE_2D, slot.texture->texId);
        glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, texel);
        EXPECT_EQ((Colour{texel[0], texel[1], texel[2]}), ColourOf(Stem(slot.path))) << slot.path;
    }
}

TEST_F(SceneTest, TitleFadeBlendsStart1InFromThreeToSevenSeconds) {
    EXPECT_TRUE(Near(Draw(1, 1.0f), ColourOf("start")));  // alpha -0.5, clamped to 0
    EXPECT_TRUE(Near(Draw(1, 5.0f), Mix(ColourOf("start1"), ColourOf("start"), 0.5)));
    EXPECT_TRUE(Near(Draw(1, 8.0f), ColourOf("start1")));
    EXPECT_TRUE(Near(At(kQuadLeft - 3, kCentreY), kBlack)) << "nothing beside the picture";
    EXPECT_FALSE(glIsEnabled(GL_DEPTH_TEST) || glIsEnabled(GL_LIGHTING) || glIsEnabled(GL_BLEND));
    EXPECT_EQ(CurrentColour(), (std::vector<float>{1, 1, 1, 1}));
}

TEST_F(SceneTest, ZoomFadeShowsI1WholeThenItsMiddleHalfFadedAtFifteenSeconds) {
    EXPECT_TRUE(Near(Draw(3, 12.0f), kI1Centre));
    EXPECT_TRUE(Near(At(kQuadLeft + 10, kCentreY), ColourOf("I1")));
    // At 15 s every texture coordinate is (0.5, 0.5), at half strength over I2.
    const Colour expected = Mix(kI1Centre, ColourOf("I2"), 0.5);
    EXPECT_TRUE(Near(Draw(3, 15.0f), expected));
    EXPECT_TRUE(Near(At(kQuadLeft + 10, kCentreY), expected));
    EXPECT_FALSE(glIsEnabled(GL_BLEND));
    EXPECT_EQ(CurrentColour(), (std::vector<float>{1, 1, 1, 0.5f}));
}

TEST_F(SceneTest, CrossFadeLeavesBlendingOnUntilRotatingI4) {
    EXPECT_TRUE(Near(Draw(4, 25.0f), ColourOf("I3")));
    EXPECT_TRUE(Near(Draw(4, 15.0f), Mix(ColourOf("I3"), ColourOf("I2"), 0.5)));
    EXPECT_TRUE(glIsEnabled(GL_BLEND));
    EXPECT_EQ(CurrentColour(), (std::vector<float>{1, 1, 1, 0.5f}));
    // The next frame draws I2 itself at that alpha over the cleared background.
    EXPECT_TRUE(Near(Draw(4, 15.0f), Mix(ColourOf("I3"), Mix(ColourOf("I2"), kBlack, 0.5), 0.5)));
    EXPECT_TRUE(Near(Draw(17), Mix(ColourOf("I3"), kBlack, 0.5))) << "a still is blended too";
    EXPECT_TRUE(Near(Draw(6), ColourOf("I4")));
    EXPECT_EQ(CurrentColour(), (std::vector<float>{1, 1, 1, 1}));
}

TEST_F(SceneTest, TileGridCoversTheWindowAndWalksTheSlideValuesTurningAtTheLimits) {
    gridAngle = 45.0f;
    Draw(8);
    for (auto [x, y] : {std::pair{0, 0}, {kWidth - 1, kHeight - 1}, {kCentreX, kCentreY}})
        EXPECT_TRUE(Near(At(x, y), ColourOf("I6"))) << x << "," << y;
    EXPECT_EQ(gridAngle, 45.5f);
    const struct {
        float x, step, nextX, nextStep;
    } frames[] = {
        {0.0f, 0.0f, -0.3f, -0.3f},   {-0.3f, -0.3f, -0.6f, -0.3f}, {-0.6f, -0.3f, -0.9f, -0.3f},
        {-5.2f, -0.3f, -4.9f, 0.3f},  {-5.0f, -0.3f, -4.7f, 0.3f},  {-0.5f, 0.3f, -0.8f, -0.3f},
    };
    for (const auto &f : frames) {
        slideX = f.x;
        slideStep = f.step;
        Draw(8);
        EXPECT_NEAR(slideX, f.nextX, 1e-5) << "from " << f.x;
        EXPECT_EQ(slideStep, f.nextStep) << "from " << f.x;
    }
}

TEST_F(SceneTest, MovingI7IsDrawnWhereTheValuesStoodThenStepsTowardsMinusZeroPointOne) {
    slideX = -0.2f;
    slideStep = 0.1f;
    Draw(9);
    const int right = int(ColumnOf(0.3)), bottom = int(RowOf(-0.4));
    EXPECT_TRUE(Near(At(right - 3, kCentreY), ColourOf("I7")));
    EXPECT_TRUE(Near(At(right + 3, kCentreY), kBlack));
    EXPECT_TRUE(Near(At(kCentreX, bottom - 3), ColourOf("I7")));
    EXPECT_TRUE(Near(At(kCentreX, bottom + 3), kBlack));
    for (float x : {-0.1f, 0.5f}) {  // exactly -0.1 steps right, beyond it left
        slideX = x;
        Draw(9);
        EXPECT_EQ(slideStep, x > -0.1f ? -0.1f : 0.1f) << x;
        EXPECT_NEAR(slideX, x + slideStep / 1.5f, 1e-6) << x;
    }
}

TEST_F(SceneTest, EmptySceneLeavesBufferAndMatrixUntouched) {
    glClearColor(0.8f, 0.2f, 0.6f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    glTranslatef(1, 2, 3);
    EXPECT_TRUE(Near(Draw(20, 50.0f), Colour{204, 51, 153}));
    GLfloat matrix[16];
    glGetFloatv(GL_MODELVIEW_MATRIX, matrix);
    EXPECT_EQ(matrix[14], 3.0f);
}

TEST_F(SceneTest, EachStillShowsItsPictureAndOtherStatesDrawNothing) {
    const std::pair<int, const char *> stills[] = {
        {7, "I5"},   {10, "I8"},  {11, "I9"}, {12, "I10"}, {13, "I11"}, {14, "I12"},
        {15, "I13"}, {16, "I14"}, {17, "I3"}, {18, "I16"}, {19, "I17"}};
    for (auto [state, stem] : stills) {
        EXPECT_TRUE(Near(Draw(state), ColourOf(stem))) << state;
        EXPECT_TRUE(Near(At(kQuadRight + 2, kCentreY), kBlack)) << state;
    }
    for (int state : {0, 2, 5, 21, -1}) {
        EXPECT_EQ(RenderScene(state, 5.0f), 0) << state;
        EXPECT_TRUE(Near(At(kCentreX, kCentreY), ColourOf("I17"))) << state;
    }
}

TEST_F(SceneTest, APictureMissingAtARepeatedStartUpDrawsAnUntexturedQuad) {
    testsupport::TempDir folder;  // no pack, and I10 the only picture
    folder.Write("data/I10.tga", PictureFile("I10"));
    ASSERT_TRUE(StartIn(folder.path()));
    EXPECT_EQ(textures::I9.texId, 0u) << "a name from before could be another picture's";
    EXPECT_TRUE(Near(Draw(11), kWhite));
    EXPECT_TRUE(Near(At(kQuadLeft - 3, kCentreY), kBlack));
    EXPECT_TRUE(Near(Draw(12), ColourOf("I10")));
}

}  // namespace
