// Assembly of the two families, pair retention, the family choice with its
// signed zeros, and the optimality of the returned matrix over O(2).

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>
#include <vector>

#include "common/constants.h"
#include "orthogonal_2x2.h"
#include "test_data.h"

namespace {

constexpr double NaN = std::numeric_limits<double>::quiet_NaN();
constexpr double Inf = std::numeric_limits<double>::infinity();

std::vector<double> kept(const std::vector<double>& z1, const std::vector<double>& z2,
                         int32_t& j, std::vector<double>& k2) {
    std::vector<double> k1(z1.size() + 1, -7.0);
    k2.assign(z2.size() + 1, -7.0);
    j = retain_pairs(z1.data(), z2.data(), static_cast<int32_t>(z1.size()), k1.data(), k2.data());
    return k1;
}

TEST(RetainPairs, StrictThresholdAndUnchangedComponents) {
    const double eps_up = std::nextafter(DEGENERACY_EPS, 1.0);
    const std::vector<double> z1{1e-300, DEGENERACY_EPS, 1e-300, NaN, NaN, 0.0, -0.0, eps_up};
    const std::vector<double> z2{0.0, 0.0, 1.0, 0.0, 1.0, -Inf, -0.0, 0.0};
    int32_t j = 0;
    std::vector<double> k2;
    const std::vector<double> k1 = kept(z1, z2, j, k2);
    ASSERT_EQ(j, 4);
    EXPECT_EQ(k1[0], 1e-300);  // kept beside a large partner, not zeroed
    EXPECT_EQ(k2[0], 1.0);
    EXPECT_TRUE(std::isnan(k1[1]));  // NaN rides along with a significant partner
    EXPECT_EQ(k2[1], 1.0);
    EXPECT_EQ(k2[2], -Inf);
    EXPECT_EQ(k1[3], eps_up);
}

TEST(FamilyProblem, TermArraysKeepInputOrderInBothFamilies) {
    const double z1[] = {1, 0, 3};
    const double z2[] = {2, 0, 4};
    double k1[3], k2[3];
    const int32_t j = retain_pairs(z1, z2, 3, k1, k2);
    ASSERT_EQ(j, 2);
    const double Q[16] = {};
    const double G[4] = {};
    double cc[4], cs[4];
    CircleProblem p = family_problem(Family::rotation, Q, G, 0.0, k1, k2, j, cc, cs);
    EXPECT_EQ(p.term_count, 4);
    EXPECT_EQ(std::vector<double>(cc, cc + 4), (std::vector<double>{1, 3, 2, 4}));
    EXPECT_EQ(std::vector<double>(cs, cs + 4), (std::vector<double>{2, 4, -1, -3}));
    p = family_problem(Family::reflection, Q, G, 0.0, k1, k2, j, cc, cs);
    EXPECT_EQ(std::vector<double>(cc, cc + 4), (std::vector<double>{-1, -3, 2, 4}));
    EXPECT_EQ(std::vector<double>(cs, cs + 4), (std::vector<double>{2, 4, 1, 3}));
}

TEST(FamilyProblem, CoefficientsReadOnlyTheUpperTriangle) {
    // A Q that differs from its transpose: the lower triangle must not matter.
    double Q[16];
    for (int i = 0; i < 16; ++i) Q[i] = static_cast<double>(i + 1);
    const double G[4] = {1, 2, 3, 4};
    const CircleProblem rot = family_problem(Family::rotation, Q, G, 0.5, nullptr, nullptr, 0,
                                             nullptr, nullptr);
    EXPECT_EQ(rot.lin_c, 5.0);                      // G11 + G22
    EXPECT_EQ(rot.lin_s, 1.0);                      // G12 − G21
    EXPECT_EQ(rot.quad_cc, (0.5 + 13.0) + 8.0);     // ½Q11 + Q14 + ½Q44
    EXPECT_EQ(rot.quad_cs, ((9.0 - 5.0) - 14.0) + 15.0);
    EXPECT_EQ(rot.quad_ss, (3.0 - 10.0) + 5.5);
    EXPECT_EQ(rot.lambda, 0.5);
    const CircleProblem ref = family_problem(Family::reflection, Q, G, 0.5, nullptr, nullptr, 0,
                                             nullptr, nullptr);
    EXPECT_EQ(ref.lin_c, 3.0);
    EXPECT_EQ(ref.lin_s, 5.0);
    EXPECT_EQ(ref.quad_cc, (0.5 - 13.0) + 8.0);
    EXPECT_EQ(ref.quad_cs, (14.0 - (9.0 + 5.0)) + 15.0);
    EXPECT_EQ(ref.quad_ss, (3.0 + 10.0) + 5.5);

    double Qn[16];
    for (int i = 0; i < 16; ++i) Qn[i] = Q[i];
    for (int i : {1, 2, 3, 6, 7, 11}) Qn[i] = NaN;
    const double z1[] = {0.3, -1.2};
    const double z2[] = {0.7, 2.0};
    double V1[4], V2[4];
    solve_orthogonal_2x2(Q, G, 0.5, z1, z2, 2, V1);
    solve_orthogonal_2x2(Qn, G, 0.5, z1, z2, 2, V2);
    for (int i = 0; i < 4; ++i) EXPECT_EQ(testdata::bits(V1[i]), testdata::bits(V2[i]));
}

TEST(SolveOrthogonal2x2, RotationAtTheIdentityCarriesANegativeZero) {
    const double Q[16] = {};
    const double G[4] = {-1, 0, 0, -1};  // favours V = I, a rotation
    double V[4];
    solve_orthogonal_2x2(Q, G, 0.0, nullptr, nullptr, 0, V);
    EXPECT_EQ(V[0], 1.0);
    EXPECT_EQ(V[1], 0.0);
    EXPECT_TRUE(std::signbit(V[1]));
    EXPECT_EQ(V[2], 0.0);
    EXPECT_FALSE(std::signbit(V[2]));
    EXPECT_EQ(V[3], 1.0);
}

TEST(SolveOrthogonal2x2, ReflectionAtQuarterTurnCarriesANegativeZero) {
    const double Q[16] = {};
    const double G[4] = {0, -1, -1, 0};  // favours the swap [[0, 1], [1, 0]]
    double V[4];
    solve_orthogonal_2x2(Q, G, 0.0, nullptr, nullptr, -5, V);
    EXPECT_EQ(V[0], 0.0);
    EXPECT_TRUE(std::signbit(V[0]));
    EXPECT_EQ(V[1], 1.0);
    EXPECT_EQ(V[2], 1.0);
    EXPECT_EQ(V[3], 0.0);
}

TEST(SolveOrthogonal2x2, EqualValuesChooseTheReflection) {
    const double Q[16] = {};
    const double G[4] = {};
    double V[4];
    solve_orthogonal_2x2(Q, G, 0.0, nullptr, nullptr, 0, V);
    EXPECT_EQ(V[0], -1.0);
    EXPECT_EQ(V[1], 0.0);
    EXPECT_EQ(V[2], 0.0);
    EXPECT_EQ(V[3], 1.0);
}

TEST(SolveOrthogonal2x2, NaNDataStillGivesAnOrthogonalMatrix) {
    double Q[16] = {};
    Q[0] = NaN;
    const double G[4] = {1, 2, 3, 4};
    double V[4];
    solve_orthogonal_2x2(Q, G, 1.0, nullptr, nullptr, 0, V);
    // Both searches find nothing below the start value: the reflection of (1, 0).
    EXPECT_EQ(V[0], -1.0);
    EXPECT_EQ(V[3], 1.0);
}

TEST(SolveOrthogonal2x2, HugeEntriesStillGiveAnOrthogonalMatrix) {
    // z1/z2 = 1e200: the slope's square overflows; V must stay orthogonal.
    double Q[16] = {};
    Q[0] = Q[5] = Q[10] = Q[15] = 2.0;
    const double G[4] = {};
    const double z1[] = {1e200, 3.0};
    const double z2[] = {1.0, 1e-290};
    double V[4];
    solve_orthogonal_2x2(Q, G, 1e-300, z1, z2, 2, V);
    EXPECT_NEAR(V[0] * V[0] + V[1] * V[1], 1.0, 1e-15);
    EXPECT_NEAR(V[2] * V[2] + V[3] * V[3], 1.0, 1e-15);
    EXPECT_NEAR(V[0] * V[2] + V[1] * V[3], 0.0, 1e-15);
}

// Objective of the subproblem at the family's matrix for angle θ.
double at_angle(const testdata::Subproblem& p, Family family, double theta) {
    const double c = std::cos(theta), s = std::sin(theta);
    const double rot[4] = {c, -s, s, c};
    const double ref[4] = {-c, s, s, c};
    return testdata::subproblem_objective(p, family == Family::rotation ? rot : ref);
}

TEST(SolveOrthogonal2x2, NoDenseSampleOfO2BeatsTheResult) {
    std::mt19937_64 rng(2024);
    constexpr int samples = 4000;
    for (int trial = 0; trial < 150; ++trial) {
        const int32_t n = static_cast<int32_t>(rng() % 9);
        const testdata::Subproblem p = testdata::subproblem(rng, n, 0.0);
        double V[4];
        solve_orthogonal_2x2(p.Q.data(), p.G.data(), p.lambda, p.z1.data(), p.z2.data(), n, V);
        const double at_v = testdata::subproblem_objective(p, V);
        double scale = 1.0;
        for (double x : p.Q) scale += std::fabs(x);
        for (double x : p.G) scale += std::fabs(x);
        for (int32_t k = 0; k < n; ++k) scale += p.lambda * (std::fabs(p.z1[k]) + std::fabs(p.z2[k]));
        const double tol = 1e-12 * scale;
        for (int i = 0; i < samples; ++i) {
            const double theta = 2.0 * M_PI * i / samples;
            ASSERT_LE(at_v, at_angle(p, Family::rotation, theta) + tol) << trial << " " << i;
            ASSERT_LE(at_v, at_angle(p, Family::reflection, theta) + tol) << trial << " " << i;
        }

        // The chosen family's search reports the objective at V.
        std::vector<double> k1(n + 1), k2(n + 1), cc(2 * n + 1), cs(2 * n + 1);
        const int32_t j = retain_pairs(p.z1.data(), p.z2.data(), n, k1.data(), k2.data());
        const CircleResult r = search_circle(family_problem(
            Family::rotation, p.Q.data(), p.G.data(), p.lambda, k1.data(), k2.data(), j, cc.data(), cs.data()));
        const CircleResult f = search_circle(family_problem(
            Family::reflection, p.Q.data(), p.G.data(), p.lambda, k1.data(), k2.data(), j, cc.data(), cs.data()));
        EXPECT_NEAR(std::min(r.value, f.value), at_v, tol) << trial;
        // V is orthogonal up to rounding.
        EXPECT_NEAR(V[0] * V[0] + V[1] * V[1], 1.0, 1e-14);
        EXPECT_NEAR(V[0] * V[2] + V[1] * V[3], 0.0, 1e-14);
    }
}

}  // namespace
