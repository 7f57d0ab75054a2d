// Closed-form roots: counts, slot order and exact values of the documented
// cases, the degenerate branches, and NaN propagation.

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "common/constants.h"
#include "polynomial_roots.h"

namespace {

constexpr double NaN = std::numeric_limits<double>::quiet_NaN();

struct Roots {
    int32_t count;
    double v[4];
};

Roots solve(double c4, double c3, double c2, double c1, double c0) {
    Roots r{0, {-7.0, -7.0, -7.0, -7.0}};  // marks slots that stay unwritten
    r.count = polynomial_real_roots(c4, c3, c2, c1, c0, r.v);
    return r;
}

TEST(PolynomialRoots, ZeroPolynomialOffersOne) {
    Roots r = solve(0, 0, 0, 0, 0);
    ASSERT_EQ(r.count, 1);
    EXPECT_EQ(r.v[0], 1.0);
    r = solve(1e-17, -2e-16, 1e-16, 0, -2.2e-16);
    ASSERT_EQ(r.count, 1);
    EXPECT_EQ(r.v[0], 1.0);
}

TEST(PolynomialRoots, NonZeroConstantHasNoRootAndTheThresholdIsNotNegligible) {
    Roots r = solve(0, 0, 0, 0, 3);
    EXPECT_EQ(r.count, 0);
    EXPECT_EQ(r.v[0], -7.0);
    r = solve(0, 0, 0, 0, DEGENERACY_EPS);
    EXPECT_EQ(r.count, 0);
    EXPECT_EQ(r.v[0], -7.0);
}

TEST(PolynomialRoots, LinearAndQuadratic) {
    Roots r = solve(0, 0, 0, 2, -1);
    ASSERT_EQ(r.count, 1);
    EXPECT_EQ(r.v[0], 0.5);

    r = solve(0, 0, 1, -3, 2);
    ASSERT_EQ(r.count, 2);
    EXPECT_EQ(r.v[0], 2.0);
    EXPECT_EQ(r.v[1], 1.0);

    r = solve(0, 0, 1, 0, 1);
    EXPECT_EQ(r.count, 0);
    EXPECT_EQ(r.v[0], -7.0);

    r = solve(0, 0, 1, -2, 1);
    ASSERT_EQ(r.count, 2);
    EXPECT_EQ(r.v[0], 1.0);
    EXPECT_EQ(r.v[1], 1.0);
}

TEST(PolynomialRoots, NegligibleLeadingCoefficientDropsTheDegree) {
    Roots r = solve(1e-17, 1, -6, 11, -6);
    ASSERT_EQ(r.count, 3);
    EXPECT_NEAR(r.v[0], 1.0, 1e-12);
    EXPECT_NEAR(r.v[1], 3.0, 1e-12);
    EXPECT_NEAR(r.v[2], 2.0, 1e-12);

    r = solve(DEGENERACY_EPS, 1, -6, 11, -6);
    EXPECT_EQ(r.count, 4);
}

TEST(PolynomialRoots, CubicDoubleRootFillsThreeSlots) {
    Roots r = solve(0, 1, 0, -3, 2);  // (t − 1)²(t + 2)
    ASSERT_EQ(r.count, 2);
    EXPECT_EQ(r.v[0], -2.0);
    EXPECT_EQ(r.v[1], 1.0);
    EXPECT_EQ(r.v[2], 1.0);
    EXPECT_EQ(r.v[3], -7.0);
}

TEST(PolynomialRoots, CubicWithComplexPairWritesTheUncountedSlots) {
    Roots r = solve(0, 1, 0, 0, -1);  // t³ − 1
    ASSERT_EQ(r.count, 1);
    EXPECT_EQ(r.v[0], 1.0);
    EXPECT_EQ(r.v[1], -0.5);
    EXPECT_EQ(r.v[2], 0.8660254037844386);
}

TEST(PolynomialRoots, TripleRootIsReportedAsTwoValues) {
    Roots r = solve(0, 1, 0, 0, 0);
    ASSERT_EQ(r.count, 2);
    EXPECT_EQ(r.v[0], 0.0);
    EXPECT_EQ(r.v[1], 0.0);
    EXPECT_EQ(r.v[2], 0.0);
}

TEST(PolynomialRoots, QuarticValuesStandInFormulaOrder) {
    Roots r = solve(1, -10, 35, -50, 24);
    ASSERT_EQ(r.count, 4);
    EXPECT_NEAR(r.v[0], 4.0, 1e-12);
    EXPECT_NEAR(r.v[1], 3.0, 1e-12);
    EXPECT_NEAR(r.v[2], 2.0, 1e-12);
    EXPECT_NEAR(r.v[3], 1.0, 1e-12);
}

TEST(PolynomialRoots, QuadrupleRootPassesBothDegenerateBranchesExactly) {
    Roots r = solve(1, -4, 6, -4, 1);
    ASSERT_EQ(r.count, 4);
    for (int i = 0; i < 4; ++i) EXPECT_EQ(r.v[i], 1.0) << i;
}

TEST(PolynomialRoots, ComplexFactorContributesItsRealPart) {
    Roots r = solve(1, 0, 0, 0, -1);  // (t² + 1)(t² − 1)
    ASSERT_EQ(r.count, 3);
    EXPECT_NEAR(r.v[0], 0.0, 1e-15);
    EXPECT_NEAR(r.v[1], 1.0, 1e-15);
    EXPECT_NEAR(r.v[2], -1.0, 1e-15);
    EXPECT_EQ(r.v[3], -7.0);

    r = solve(1, 0, 5, 0, 4);  // no real root at all, still two values
    ASSERT_EQ(r.count, 2);
    EXPECT_EQ(r.v[0], 0.0);
    EXPECT_EQ(r.v[1], 0.0);
}

TEST(PolynomialRoots, NaNIsNeverNegligibleAndSpreadsThroughItsPath) {
    Roots r = solve(NaN, 1, 2, 3, 4);
    ASSERT_EQ(r.count, 4);
    for (int i = 0; i < 4; ++i) EXPECT_TRUE(std::isnan(r.v[i])) << i;

    r = solve(0, NaN, 1, 1, 1);
    ASSERT_EQ(r.count, 1);
    EXPECT_TRUE(std::isnan(r.v[0]));

    r = solve(0, 0, NaN, 1, 1);
    ASSERT_EQ(r.count, 2);
    EXPECT_TRUE(std::isnan(r.v[0]) && std::isnan(r.v[1]));

    r = solve(0, 0, 0, 0, NaN);
    EXPECT_EQ(r.count, 0);
}

TEST(PolynomialRoots, CubicClampKeepsAcosInItsDomain) {
    // Three real roots, two of them nearly equal: R/√Q³ lands at ±1 up to
    // rounding; the clamp must keep every value finite.
    double out[3];
    const int32_t n = cubic_roots(out, -3.0, 3.0 - 1e-14, -1.0);
    for (int i = 0; i < n; ++i) EXPECT_TRUE(std::isfinite(out[i])) << i;
}

}  // namespace
