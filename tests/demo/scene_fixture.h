// Helpers for the scene and texture-set tests: one offscreen OpenGL context
// of the demo's size for the whole test program, the projection and fixed
// state that window creation and start-up give the demo, a set of small flat
// pictures of distinct colours written as loose TGA files, and pixel probes.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "assets/texture.h"
#include "tests/support/temp_dir.h"

namespace scenetest {

constexpr int kWidth = 640;
constexpr int kHeight = 480;

struct Colour {
    int r, g, b;
    bool operator==(const Colour &) const = default;
};
std::ostream &operator<<(std::ostream &out, const Colour &colour);

constexpr Colour kBlack{0, 0, 0};
constexpr Colour kWhite{255, 255, 255};

// Component-wise mix: `weight` of `top` over (1 - weight) of `bottom`.
Colour Mix(const Colour &top, const Colour &bottom, double weight);

// Whether every component differs by at most `tolerance`.
::testing::AssertionResult Near(const Colour &actual, const Colour &expected, int tolerance = 2);

// One picture of the demo's set as the tests write it.
struct Picture {
    std::string stem;
    Texture *texture;  // the global texture it should end up in
    Colour colour;     // the whole picture, or its border when `centre` is set
    Colour centre{-1, -1, -1};  // the 2 x 2 middle, when it differs

    bool HasCentre() const { return centre.r >= 0; }
};

// The 22 pictures in the demo's load order.
const std::vector<Picture> &Pictures();
const Picture &PictureNamed(const std::string &stem);
Colour ColourOf(const std::string &stem);

// Pictures are 4 x 4 pixels of one colour, except I1 and I6, which have a
// 2 x 2 centre of another colour: a zoom into I1's middle can then be told
// from the whole picture, and the tiles of the grid can be told apart.
constexpr Colour kI1Centre{230, 230, 40};
constexpr Colour kI6Centre{20, 40, 120};

// The TGA file of a picture (4 x 4, 24 bits).
std::string PictureFile(const Picture &picture);

// Writes every picture except those in `skip` as "data/<stem>.tga" under
// `folder`.
void WritePictureSet(const std::filesystem::path &folder, const std::vector<std::string> &skip = {});

// Runs LoadTextureSet with `folder` as the working directory.
void LoadTextureSetFrom(const std::filesystem::path &folder);

// The test program's one 640 x 480 context (made current), created on first
// use and kept until the process ends. Null when it cannot be created; the
// reason is in ContextError().
bool HaveContext();
const std::string &ContextError();

// Viewport, projection and modelview as the demo's window sets them, then the
// fixed state of start-up with texturing enabled, and the OpenGL defaults that
// scenes change (blending off, colour white, lighting off, texture 0 bound).
void ResetToStartUpState();

// The current frame, top row first.
class Frame {
public:
    Frame();
    Colour At(int x, int y) const;  // y counts rows from the top

private:
    std::vector<uint8_t> pixels_;
};

// Window column and row (from the top) where the point (x, y) of the plane
// `depth` units in front of the eye appears with the demo's projection.
double ColumnOf(double x, double depth);
double RowOf(double y, double depth);

// Modelview stack depth and current colour, read from OpenGL.
int ModelviewDepth();
std::vector<float> CurrentColour();

// Scene tests: the picture set is written once for the program and loaded
// into the context before every test, with the start-up state restored.
class SceneTest : public ::testing::Test {
protected:
    static void SetUpTestSuite();
    static void TearDownTestSuite();
    void SetUp() override;

    static inline std::unique_ptr<testsupport::TempDir> pictureFolder_;
};

}  // namespace scenetest
