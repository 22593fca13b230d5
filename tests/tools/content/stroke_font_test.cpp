// The title is drawn from the built-in stroke font.
#include "tools/content/stroke_font.h"

#include <gtest/gtest.h>

#include <stdexcept>

using content::TextShape;

namespace {

TEST(StrokeFont, LaysTheTitleOutCentredAtTheRequestedCapHeight) {
    TextShape title("Vandrel", 0.5, 0.4, 0.16);
    EXPECT_NEAR(title.bottom() - title.top(), 0.16, 1e-9);  // V and d reach the cap height
    EXPECT_NEAR((title.top() + title.bottom()) / 2.0, 0.4, 1e-9);
    EXPECT_NEAR((title.left() + title.right()) / 2.0, 0.5, 0.01);
    EXPECT_GT(title.right() - title.left(), 0.5);
    EXPECT_LT(title.right() - title.left(), 0.9);
}

TEST(StrokeFont, DistanceIsZeroOnStrokesAndGrowsAwayFromThem) {
    TextShape title("Vandrel", 0.5, 0.4, 0.16);
    // The V's upper left end is the top left corner of the layout.
    EXPECT_NEAR(title.Distance(title.left(), title.top()), 0.0, 1e-12);
    EXPECT_NEAR(title.Distance(title.left() - 0.03, title.top()), 0.03, 1e-9);
    EXPECT_NEAR(title.Distance(title.left(), title.top() - 0.05), 0.05, 1e-9);
    // Far away the search stops at the limit.
    EXPECT_GE(title.Distance(0.5, 0.95, 0.1), 0.1);
    EXPECT_NEAR(title.Distance(0.5, 0.95), 0.95 - title.bottom(), 0.05);
}

TEST(StrokeFont, LettersStandApartAlongAHorizontalLine) {
    // Half-way up the lower-case letters a line crosses V, a, n, d, r, e
    // and l stroke by stroke; letters run together if fewer are crossed.
    TextShape title("Vandrel", 0.5, 0.4, 0.16);
    const double v = title.bottom() - 0.16 * 2.5 / 8.0;
    const double half = 0.012;
    int crossings = 0;
    bool inside = false;
    for (double u = 0.0; u <= 1.0; u += 0.0005) {
        bool now = title.Distance(u, v, 0.1) < half;
        if (now && !inside) ++crossings;
        inside = now;
    }
    EXPECT_GE(crossings, 11);
    EXPECT_LE(crossings, 16);
}

TEST(StrokeFont, RefusesCharactersItHasNoGlyphFor) {
    EXPECT_TRUE(TextShape::Supports('V'));
    EXPECT_TRUE(TextShape::Supports('l'));
    EXPECT_FALSE(TextShape::Supports('x'));
    EXPECT_FALSE(TextShape::Supports('\0'));
    EXPECT_THROW(TextShape("Vandrel!", 0.5, 0.5, 0.1), std::invalid_argument);
    TextShape empty("", 0.5, 0.5, 0.1);
    EXPECT_GE(empty.Distance(0.5, 0.5, 0.2), 0.2);
}

}  // namespace
