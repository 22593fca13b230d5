// The generators' own elementary functions must agree with the C library to
// far better than one step of an 8-bit pixel or a 16-bit sample.
#include "tools/content/det_math.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace dm = content::detmath;

namespace {

TEST(DetMath, SineAndCosineMatchTheLibraryOverThousandsOfRadians) {
    for (double x = -3000.0; x <= 3000.0; x += 0.731) {
        ASSERT_NEAR(dm::Sin(x), std::sin(x), 1e-11) << "x = " << x;
        ASSERT_NEAR(dm::Cos(x), std::cos(x), 1e-11) << "x = " << x;
    }
    // Quadrant boundaries and the reduction's edge cases.
    for (int k = -8; k <= 8; ++k) {
        double x = k * dm::kPi / 4.0;
        EXPECT_NEAR(dm::Sin(x), std::sin(x), 1e-15) << "k = " << k;
        EXPECT_NEAR(dm::Cos(x), std::cos(x), 1e-15) << "k = " << k;
    }
    EXPECT_EQ(dm::Sin(0.0), 0.0);
    EXPECT_EQ(dm::Cos(0.0), 1.0);
}

TEST(DetMath, TangentAndArcTangentInEveryQuadrant) {
    for (double x = -1.5; x <= 1.5; x += 0.01)
        EXPECT_NEAR(dm::Tan(x), std::tan(x), 1e-10 * (1 + std::fabs(std::tan(x))));
    for (double x = -50.0; x <= 50.0; x += 0.037) ASSERT_NEAR(dm::Atan(x), std::atan(x), 1e-12) << "x = " << x;
    const double points[][2] = {{1, 1}, {1, -1}, {-1, 1}, {-1, -1}, {0, 1}, {0, -1}, {1, 0}, {-1, 0},
                                {3, -0.2}, {-0.2, -3}, {1e-9, -5}, {-7, 1e-9}};
    for (const auto &p : points)
        EXPECT_NEAR(dm::Atan2(p[0], p[1]), std::atan2(p[0], p[1]), 1e-12) << p[0] << ", " << p[1];
    EXPECT_EQ(dm::Atan2(0.0, 0.0), 0.0);
}

TEST(DetMath, ExponentialLogarithmAndPowerKeepRelativeAccuracy) {
    for (double x = -700.0; x <= 700.0; x += 1.37)
        ASSERT_NEAR(dm::Exp(x) / std::exp(x), 1.0, 1e-12) << "x = " << x;
    for (double x = 1e-300; x < 1e300; x *= 7.3)
        ASSERT_NEAR(dm::Log(x), std::log(x), 1e-12 * (1 + std::fabs(std::log(x)))) << "x = " << x;
    EXPECT_EQ(dm::Log(1.0), 0.0);
    EXPECT_NEAR(dm::Pow(2.0, 0.5), std::sqrt(2.0), 1e-15);
    EXPECT_NEAR(dm::Pow(2.0, 7.0 / 12.0), std::pow(2.0, 7.0 / 12.0), 1e-14);
    EXPECT_NEAR(dm::Pow(10.0, -3.0), 1e-3, 1e-16);
    for (double x = -25.0; x <= 25.0; x += 0.013) ASSERT_NEAR(dm::Tanh(x), std::tanh(x), 1e-13) << "x = " << x;
}

TEST(DetMath, OutOfDomainAndNonFiniteInputsGiveDocumentedFiniteValues) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    EXPECT_EQ(dm::Sin(nan), 0.0);
    EXPECT_EQ(dm::Sin(inf), 0.0);
    EXPECT_EQ(dm::Cos(-inf), 1.0);
    EXPECT_EQ(dm::Exp(nan), 0.0);
    EXPECT_EQ(dm::Exp(-1000.0), 0.0);
    EXPECT_TRUE(std::isfinite(dm::Exp(1000.0)));
    EXPECT_EQ(dm::Log(0.0), -1e300);
    EXPECT_EQ(dm::Log(-3.0), -1e300);
    EXPECT_EQ(dm::Pow(-2.0, 2.0), 0.0);
    EXPECT_EQ(dm::Atan(nan), 0.0);
}

TEST(DetMath, HelpersClampMixAndSmoothStep) {
    EXPECT_EQ(dm::Clamp(-1.0, 0.0, 1.0), 0.0);
    EXPECT_EQ(dm::Clamp(2.0, 0.0, 1.0), 1.0);
    EXPECT_EQ(dm::Clamp(0.25, 0.0, 1.0), 0.25);
    EXPECT_EQ(dm::Mix(2.0, 4.0, 0.25), 2.5);
    EXPECT_EQ(dm::SmoothStep(0.0, 1.0, -1.0), 0.0);
    EXPECT_EQ(dm::SmoothStep(0.0, 1.0, 0.5), 0.5);
    EXPECT_EQ(dm::SmoothStep(0.0, 1.0, 2.0), 1.0);
    // Reversed edges fall instead of rise, which the pictures use for soft edges.
    EXPECT_EQ(dm::SmoothStep(1.0, 0.0, 0.0), 1.0);
    EXPECT_EQ(dm::SmoothStep(1.0, 0.0, 1.0), 0.0);
}

}  // namespace
