#include "scene_fixture.h"

#include <GL/gl.h>
#include <GL/glu.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "tests/assets/asset_fixtures.h"
#include "demo/texture_set.h"
#include "platform/offscreen/offscreen_gl.h"

namespace scenetest {

std::ostream &operator<<(std::ostream &out, const Colour &colour) {
    return out << "(" << colour.r << ", " << colour.g << ", " << colour.b << ")";
}

Colour Mix(const Colour &top, const Colour &bottom, double weight) {
    auto mix = [weight](int t, int b) { return static_cast<int>(std::lround(weight * t + (1 - weight) * b)); };
    return {mix(top.r, bottom.r), mix(top.g, bottom.g), mix(top.b, bottom.b)};
}

::testing::AssertionResult Near(const Colour &actual, const Colour &expected, int tolerance) {
    if (std::abs(actual.r - expected.r) <= tolerance && std::abs(actual.g - expected.g) <= tolerance &&
        std::abs(actual.b - expected.b) <= tolerance) {
        return ::testing::AssertionSuccess();
    }
    return ::testing::AssertionFailure() << actual << " is not within " << tolerance << " of " << expected;
}

const std::vector<Picture> &Pictures() {
    using namespace textures;
    static const std::vector<Picture> pictures = {
        {"start", &start, {220, 40, 40}},
        {"start1", &start1, {40, 220, 40}},
        {"I1", &I1, {40, 40, 220}, kI1Centre},
        {"I2", &I2, {40, 200, 200}},
        {"I3", &I3, {200, 40, 200}},
        {"I4", &I4, {240, 140, 20}},
        {"I5", &I5, {20, 140, 240}},
        {"I6", &I6, {140, 240, 20}, kI6Centre},
        {"I7", &I7, {240, 20, 140}},
        {"I8", &I8, {100, 60, 20}},
        {"I9", &I9, {20, 100, 60}},
        {"I10", &I10, {60, 20, 100}},
        {"I11", &I11, {160, 160, 80}},
        {"I12", &I12, {80, 160, 160}},
        {"I13", &I13, {160, 80, 160}},
        {"I14", &I14, {250, 200, 150}},
        {"I15", &I15, {150, 250, 200}},
        {"I16", &I16, {200, 150, 250}},
        {"sta", &sta, {60, 60, 180}},
        {"stab", &stab, {180, 60, 60}},
        {"stag", &stag, {60, 180, 60}},
        {"I17", &I17, {120, 120, 120}},
    };
    return pictures;
}

const Picture &PictureNamed(const std::string &stem) {
    for (const Picture &picture : Pictures()) {
        if (picture.stem == stem) return picture;
    }
    ADD_FAILURE() << "no picture " << stem;
    std::abort();
}

Colour ColourOf(const std::string &stem) { return PictureNamed(stem).colour; }

std::string PictureFile(const Picture &picture) {
    std::vector<assettest::Rgba> pixels;
    for (int y = 0; y < 4; ++y) {
        for (int x = 0; x < 4; ++x) {
            const bool centre = x >= 1 && x <= 2 && y >= 1 && y <= 2;
            const Colour c = picture.HasCentre() && centre ? picture.centre : picture.colour;
            pixels.push_back({static_cast<uint8_t>(c.r), static_cast<uint8_t>(c.g), static_cast<uint8_t>(c.b), 255});
        }
    }
    return assettest::MakeTga(4, 4, pixels);
}

void WritePictureSet(const std::filesystem::path &folder, const std::vector<std::string> &skip) {
    std::filesystem::create_directories(folder / "data");
    for (const Picture &picture : Pictures()) {
        bool skipped = false;
        for (const std::string &stem : skip) skipped = skipped || stem == picture.stem;
        if (skipped) continue;
        const std::string bytes = PictureFile(picture);
        FILE *file = std::fopen((folder / "data" / (picture.stem + ".tga")).c_str(), "wb");
        ASSERT_NE(file, nullptr);
        ASSERT_EQ(std::fwrite(bytes.data(), 1, bytes.size(), file), bytes.size());
        std::fclose(file);
    }
}

void LoadTextureSetFrom(const std::filesystem::path &folder) {
    const std::filesystem::path previous = std::filesystem::current_path();
    std::filesystem::current_path(folder);
    LoadTextureSet();
    std::filesystem::current_path(previous);
}

namespace {

std::string contextError;

// Kept until the process ends: tearing the context down unloads the OpenGL
// driver, after which the leak checker can no longer tell the driver's own
// leaks from ours.
platform::OffscreenGL *SharedContext() {
    static platform::OffscreenGL *context = [] {
        auto *created = new platform::OffscreenGL;
        if (!created->Create(kWidth, kHeight, &contextError)) {
            delete created;
            return static_cast<platform::OffscreenGL *>(nullptr);
        }
        return created;
    }();
    return context;
}

// The demo's field of view: 45 degrees vertically.
const double kHalfHeightAtUnitDepth = std::tan(22.5 * M_PI / 180.0);

}  // namespace

bool HaveContext() { return SharedContext() != nullptr; }
const std::string &ContextError() { return contextError; }

void ResetToStartUpState() {
    glViewport(0, 0, kWidth, kHeight);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    gluPerspective(45.0, static_cast<double>(kWidth) / kHeight, static_cast<double>(0.1f), 100.0);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();

    glShadeModel(GL_SMOOTH);
    glClearColor(0.0f, 0.0f, 0.0f, 0.5f);
    glClearDepth(1.0);
    glEnable(GL_DEPTH_TEST);
    glDepthFunc(GL_LEQUAL);
    glHint(GL_PERSPECTIVE_CORRECTION_HINT, GL_NICEST);

    glDisable(GL_BLEND);
    glBlendFunc(GL_ONE, GL_ZERO);
    glDisable(GL_LIGHTING);
    glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
    glBindTexture(GL_TEXTURE_2D, 0);
    glEnable(GL_TEXTURE_2D);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
}

Frame::Frame() : pixels_(SharedContext()->ReadPixelsTopDown()) {}

Colour Frame::At(int x, int y) const {
    const size_t at = (static_cast<size_t>(y) * kWidth + static_cast<size_t>(x)) * 4;
    return {pixels_.at(at), pixels_.at(at + 1), pixels_.at(at + 2)};
}

double ColumnOf(double x, double depth) {
    const double halfWidth = kHalfHeightAtUnitDepth * depth * kWidth / kHeight;
    return (x / halfWidth + 1.0) * kWidth / 2.0;
}

double RowOf(double y, double depth) {
    const double halfHeight = kHalfHeightAtUnitDepth * depth;
    return (1.0 - y / halfHeight) * kHeight / 2.0;
}

int ModelviewDepth() {
    GLint depth = -1;
    glGetIntegerv(GL_MODELVIEW_STACK_DEPTH, &depth);
    return depth;
}

std::vector<float> CurrentColour() {
    std::vector<float> colour(4, -1.0f);
    glGetFloatv(GL_CURRENT_COLOR, colour.data());
    return colour;
}

void SceneTest::SetUpTestSuite() {
    pictureFolder_ = std::make_unique<testsupport::TempDir>();
    WritePictureSet(pictureFolder_->path());
}

void SceneTest::TearDownTestSuite() { pictureFolder_.reset(); }

void SceneTest::SetUp() {
    ASSERT_TRUE(HaveContext()) << ContextError();
    LoadTextureSetFrom(pictureFolder_->path());
    ResetToStartUpState();
}

}  // namespace scenetest
