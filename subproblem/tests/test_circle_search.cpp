// The circle search: objective evaluation order, the magnitude sort,
// breakpoint candidates and their order, ties, NaN rejection, huge slopes, and
// a guard against floating-point contraction.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>
#include <vector>

#include "circle_search.h"
#include "common/constants.h"
#include "test_data.h"

namespace {

constexpr double NaN = std::numeric_limits<double>::quiet_NaN();

CircleProblem smooth(double lin_c, double lin_s, double quad_cc, double quad_cs, double quad_ss) {
    CircleProblem p;
    p.lin_c = lin_c;
    p.lin_s = lin_s;
    p.quad_cc = quad_cc;
    p.quad_cs = quad_cs;
    p.quad_ss = quad_ss;
    return p;
}

// --- objective -------------------------------------------------------------

TEST(CircleObjective, IsNotContracted) {
    // (quad_cc·c)·c rounds 1 + 2⁻²⁹ + 2⁻⁶⁰ to 1 + 2⁻²⁹ before lin_c·c is
    // added; a fused multiply-add would keep the 2⁻⁶⁰.
    const double c = 1.0 + std::ldexp(1.0, -30);
    const CircleProblem p = smooth(-1.0, 0.0, 1.0, 0.0, 0.0);
    EXPECT_EQ(circle_objective(c, 0.0, p), std::ldexp(1.0, -30));
}

TEST(CircleObjective, AbsoluteValuesSumInTermOrderWithNaNPoisoning) {
    const double cc[] = {1e16, 1.0, -1e16, 1.0};
    const double cs[] = {0.0, 0.0, 0.0, 0.0};
    CircleProblem p = smooth(0, 0, 0, 0, 0);
    p.lambda = 1.0;
    p.coef_c = cc;
    p.coef_s = cs;
    p.term_count = 4;
    // Each 1 is lost against 1e16 or kept, depending on the order of the sum.
    EXPECT_EQ(circle_objective(1.0, 0.0, p), ((1e16 + 1.0) + 1e16) + 1.0);
    const double cn[] = {1.0, NaN};
    p.coef_c = cn;
    p.term_count = 2;
    EXPECT_TRUE(std::isnan(circle_objective(1.0, 0.0, p)));
}

// --- sort ------------------------------------------------------------------

TEST(SortAscending, SmallCases) {
    std::vector<double> a{3, 1, 2};
    sort_ascending(a.data(), 3);
    EXPECT_EQ(a, (std::vector<double>{1, 2, 3}));
    std::vector<double> b{2, 2, 1};
    sort_ascending(b.data(), 3);
    EXPECT_EQ(b, (std::vector<double>{1, 2, 2}));
    std::vector<double> c{5};
    sort_ascending(c.data(), 1);
    EXPECT_EQ(c[0], 5.0);
    sort_ascending(nullptr, 0);  // touches nothing
    sort_ascending(nullptr, -3);
}

TEST(SortAscending, AgreesWithStdSortOnNaNFreeInput) {
    std::mt19937_64 rng(7);
    for (int trial = 0; trial < 300; ++trial) {
        const int n = static_cast<int>(rng() % 40);
        std::vector<double> v(n);
        for (auto& x : v) x = static_cast<double>(rng() % 10) * ((rng() & 1) ? 1.0 : 0.5);
        std::vector<double> expected = v;
        std::sort(expected.begin(), expected.end());
        sort_ascending(v.data(), n);
        EXPECT_EQ(v, expected);
    }
}

// --- search ----------------------------------------------------------------

TEST(SearchCircle, BreakpointCandidatesComeInTermOrderAndTheFirstTieWins) {
    // Breakpoints −2 (term 0) and 1 (term 2); term 1 has none. With only the
    // L1 term, (1/√5, −2/√5) and its opposite both reach the minimum √5/2.
    const double cc[] = {2.0, -1.0, 0.5};
    const double cs[] = {1.0, 0.0, -0.5};
    CircleProblem p = smooth(0, 0, 0, 0, 0);
    p.lambda = 1.0;
    p.coef_c = cc;
    p.coef_s = cs;
    p.term_count = 3;
    const CircleResult r = search_circle(p);
    const double c = 1.0 / std::sqrt(5.0);
    EXPECT_EQ(r.c, c);
    EXPECT_EQ(r.s, c * -2.0);
    EXPECT_EQ(r.value, circle_objective(r.c, r.s, p));
    EXPECT_NEAR(r.value, std::sqrt(5.0) / 2.0, 1e-15);
}

TEST(SearchCircle, NoTermsFindsTheSmoothMinimum) {
    const CircleProblem p = smooth(-1.0, -1.0, 0, 0, 0);
    const CircleResult r = search_circle(p);
    EXPECT_NEAR(r.c, std::sqrt(0.5), 1e-15);
    EXPECT_NEAR(r.s, std::sqrt(0.5), 1e-15);
    EXPECT_NEAR(r.value, -std::sqrt(2.0), 1e-15);
    EXPECT_EQ(r.value, circle_objective(r.c, r.s, p));
}

TEST(SearchCircle, EqualAxisValuesKeepTheFirstAxisPoint) {
    const CircleResult r = search_circle(smooth(0, 0, -1.0, 0, 0));
    EXPECT_EQ(r.c, 1.0);
    EXPECT_EQ(r.s, 0.0);
    EXPECT_EQ(r.value, -1.0);
}

TEST(SearchCircle, NaNEverywhereLeavesTheStartValue) {
    const CircleResult r = search_circle(smooth(NaN, 1, 1, 1, 1));
    EXPECT_EQ(r.c, 1.0);
    EXPECT_EQ(r.s, 0.0);
    EXPECT_EQ(r.value, SENTINEL);
}

TEST(SearchCircle, ValuesAtOrAboveTheSentinelAreNeverTaken) {
    const CircleResult r = search_circle(smooth(0, 0, 2e100, 0, 2e100));
    EXPECT_EQ(r.c, 1.0);
    EXPECT_EQ(r.s, 0.0);
    EXPECT_EQ(r.value, SENTINEL);
}

TEST(SearchCircle, NegligibleSlopeCoefficientsStillEnterTheObjective) {
    // No breakpoints, but the term |c·(−3)| still counts: the best point is
    // wherever c = 0, at value 0, rather than the smooth part's (1, 0).
    const double cc[] = {-3.0};
    const double cs[] = {1e-17};
    CircleProblem p = smooth(-0.5, 0, 0, 0, 0);
    p.lambda = 1.0;
    p.coef_c = cc;
    p.coef_s = cs;
    p.term_count = 1;
    const CircleResult r = search_circle(p);
    EXPECT_EQ(r.value, circle_objective(r.c, r.s, p));
    EXPECT_LT(r.value, 1e-15);
}

TEST(SearchCircle, HugeSlopeStaysOnTheCircle) {
    // The breakpoint −1e200 squares to +∞; its point must still lie on the
    // circle. Off the circle, at (0, 0), this objective would be 0, below
    // every value it takes on the circle (≥ 1).
    const double cc[] = {1e200};
    const double cs[] = {1.0};
    CircleProblem p = smooth(0, 0, 1.0, 0, 1.0);
    p.lambda = 1e-300;
    p.coef_c = cc;
    p.coef_s = cs;
    p.term_count = 1;
    const CircleResult r = search_circle(p);
    EXPECT_NEAR(r.c * r.c + r.s * r.s, 1.0, 1e-15);
    EXPECT_NEAR(r.value, 1.0, 1e-15);
    EXPECT_EQ(r.value, circle_objective(r.c, r.s, p));
}

TEST(SearchCircle, ResultIsTheObjectiveAtItsPointOrTheStartValue) {
    std::mt19937_64 rng(11);
    for (int trial = 0; trial < 400; ++trial) {
        const int32_t terms = static_cast<int32_t>(rng() % 12);
        const auto cc = testdata::values(rng, terms, 0.2);
        const auto cs = testdata::values(rng, terms, 0.2);
        CircleProblem p = smooth(testdata::value(rng), testdata::value(rng), testdata::value(rng),
                                 testdata::value(rng), testdata::value(rng));
        p.lambda = testdata::value(rng);
        p.coef_c = cc.data();
        p.coef_s = cs.data();
        p.term_count = terms;
        const CircleResult r = search_circle(p);
        if (r.value == SENTINEL && r.c == 1.0 && r.s == 0.0) continue;
        ASSERT_LT(r.value, SENTINEL);
        ASSERT_EQ(testdata::bits(r.value), testdata::bits(circle_objective(r.c, r.s, p)));
        ASSERT_NEAR(r.c * r.c + r.s * r.s, 1.0, 1e-14);
    }
}

}  // namespace
