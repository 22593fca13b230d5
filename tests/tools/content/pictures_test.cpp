// The demo's pictures: the right names in the demo's load order, real
// pictures rather than flat fills, all different, and each suited to the
// scene that shows it.
#include "tools/content/pictures.h"

#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "tools/content/image.h"

using content::Image;

namespace {

double Luma(const content::Color &c) { return 0.2126 * c.r + 0.7152 * c.g + 0.0722 * c.b; }

struct Stats {
    double mean = 0, variance = 0;
};

// Luma statistics over the square [x0, x1) x [y0, y1).
Stats RegionStats(const Image &image, int x0, int y0, int x1, int y1) {
    double sum = 0, sum2 = 0;
    int n = 0;
    for (int y = y0; y < y1; ++y)
        for (int x = x0; x < x1; ++x) {
            double l = Luma(image.at(x, y));
            sum += l, sum2 += l * l, ++n;
        }
    Stats s;
    s.mean = sum / n;
    s.variance = sum2 / n - s.mean * s.mean;
    return s;
}

double MeanAbsoluteDifference(const Image &a, const Image &b) {
    double sum = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x) {
            const content::Color &p = a.at(x, y), &q = b.at(x, y);
            sum += (std::fabs(p.r - q.r) + std::fabs(p.g - q.g) + std::fabs(p.b - q.b)) / 3.0;
        }
    return sum / (a.width() * a.height());
}

// Pictures are drawn on first use and kept for the rest of the program.
const Image &Picture(const std::string &stem) {
    static std::map<std::string, Image> cache;
    auto it = cache.find(stem);
    if (it == cache.end()) it = cache.emplace(stem, content::MakePicture(stem)).first;
    return it->second;
}

TEST(PictureList, NamesTheDemosPicturesInItsLoadOrder) {
    const std::vector<std::string> expected = {"start", "start1", "I1",  "I2",  "I3",  "I4",  "I5",  "I6",
                                               "I7",    "I8",     "I9",  "I10", "I11", "I12", "I13", "I14",
                                               "I15",   "I16",    "sta", "stab", "stag", "I17"};
    std::vector<std::string> stems;
    std::set<int> depths;
    for (const content::PictureInfo &info : content::PictureList()) {
        stems.push_back(info.stem);
        depths.insert(info.bitsPerPixel);
        EXPECT_FALSE(info.description.empty()) << info.stem;
    }
    EXPECT_EQ(stems, expected);
    // Both depths the demo reads are exercised, and no other.
    EXPECT_EQ(depths, (std::set<int>{24, 32}));
}

TEST(Pictures, AreSquarePowerOfTwoDetailedAndAllDifferent) {
    std::map<std::string, const Image *> pictures;
    for (const content::PictureInfo &info : content::PictureList()) pictures[info.stem] = &Picture(info.stem);
    ASSERT_EQ(pictures.size(), 22u);
    for (const auto &[stem, picture] : pictures) {
        const Image &image = *picture;
        EXPECT_EQ(image.width(), content::kPictureSize) << stem;
        EXPECT_EQ(image.height(), content::kPictureSize) << stem;
        Stats s = RegionStats(image, 0, 0, image.width(), image.height());
        EXPECT_GT(std::sqrt(s.variance), 0.06) << stem << " is nearly flat";
        EXPECT_GT(s.mean, 0.05) << stem << " is nearly black";
        EXPECT_LT(s.mean, 0.95) << stem << " is nearly white";
    }
    for (auto a = pictures.begin(); a != pictures.end(); ++a)
        for (auto b = std::next(a); b != pictures.end(); ++b)
            EXPECT_GT(MeanAbsoluteDifference(*a->second, *b->second), 0.05) << a->first << " looks like " << b->first;
}

TEST(Pictures, TheTitleFadeBlendsTwoVersionsOfOneComposition) {
    const Image &night = Picture("start"), &dawn = Picture("start1");
    // Different light ...
    EXPECT_GT(MeanAbsoluteDifference(night, dawn), 0.15);
    EXPECT_GT(RegionStats(dawn, 0, 0, 256, 256).mean, RegionStats(night, 0, 0, 256, 256).mean + 0.1);
    // ... but the same layout: where one picture has an edge, so does the
    // other. Compare horizontal luma steps across the title band.
    int sharedEdges = 0, nightEdges = 0;
    for (int y = 80; y < 140; ++y)
        for (int x = 1; x < 256; ++x) {
            bool a = std::fabs(Luma(night.at(x, y)) - Luma(night.at(x - 1, y))) > 0.12;
            bool b = std::fabs(Luma(dawn.at(x, y)) - Luma(dawn.at(x - 1, y))) > 0.12;
            nightEdges += a;
            sharedEdges += a && b;
        }
    EXPECT_GT(nightEdges, 300) << "no title in the night picture";
    EXPECT_GT(sharedEdges, nightEdges * 0.7) << "the two title pictures do not line up";
}

TEST(Pictures, ZoomFadeTargetHasDetailAtItsCentre) {
    // The zoom fade magnifies the centre of I1 up to about five times;
    // the middle fifth of the picture must still show structure.
    const Image &tunnel = Picture("I1");
    Stats centre = RegionStats(tunnel, 102, 102, 154, 154);
    EXPECT_GT(std::sqrt(centre.variance), 0.05);
    // And the cross-fade turns I2 into a clearly different I3.
    EXPECT_GT(MeanAbsoluteDifference(Picture("I2"), Picture("I3")), 0.15);
    EXPECT_GT(MeanAbsoluteDifference(Picture("I1"), Picture("I2")), 0.15);
}

TEST(Pictures, GridTileHasAFrameSoNeighboursReadAsSeparateTiles) {
    const Image &tile = Picture("I6");
    Stats border = RegionStats(tile, 0, 0, 256, 2);
    Stats inner = RegionStats(tile, 16, 16, 240, 240);
    EXPECT_LT(border.mean, inner.mean * 0.3);
    // Opposite edges match, so the grid's seams look alike everywhere.
    EXPECT_NEAR(RegionStats(tile, 0, 0, 2, 256).mean, RegionStats(tile, 254, 0, 256, 256).mean, 0.02);
}

TEST(Pictures, MovingPictureAlphaCoversThePlanetOnly) {
    const Image &planet = Picture("I7");
    EXPECT_GT(planet.at(128, 128).a, 0.99);
    EXPECT_LT(planet.at(3, 3).a, 0.01);
    EXPECT_LT(planet.at(252, 252).a, 0.01);
}

TEST(Pictures, AreTheSameEveryTime) {
    for (const char *stem : {"start", "I3", "I13", "stag"}) {
        std::string first = content::EncodeTga(content::MakePicture(stem), 32);
        EXPECT_EQ(first, content::EncodeTga(Picture(stem), 32)) << stem;
    }
}

TEST(Pictures, RefusesUnknownNamesAndTinySizes) {
    EXPECT_THROW(content::MakePicture("I18"), std::invalid_argument);
    EXPECT_THROW(content::MakePicture("i4"), std::invalid_argument);
    EXPECT_THROW(content::MakePicture("I4", 8), std::invalid_argument);
    Image small = content::MakePicture("I4", 32);
    EXPECT_EQ(small.width(), 32);
}

}  // namespace
