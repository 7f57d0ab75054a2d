// The first-order stationarity measure against literal computations, and
// the small dense helpers (symmetric eigen-decomposition, polar factor).

#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "manifold.h"
#include "prox_subproblem.h"
#include "test_support.h"

using method_test::Instance;
using method_test::random_instance;

namespace {

// ψ(Λ) = Σ R(∇f − XΛ)², R the entrywise least-norm shift by ∂h, literally.
double literal_psi(const Instance& inst, const std::vector<double>& Xt, const std::vector<double>& Lambda)
{
    const int32_t n = inst.n, r = inst.r;
    const std::vector<double> AXt = method_test::literal_product(inst, Xt);
    double sum = 0;
    for (int32_t i = 0; i < n; ++i) {
        for (int32_t b = 0; b < r; ++b) {
            double g = AXt[b + static_cast<size_t>(r) * i];
            if (!inst.problem.Et.empty()) g += inst.problem.Et[b + static_cast<size_t>(r) * i];
            for (int32_t k = 0; k < r; ++k) g -= Xt[k + static_cast<size_t>(r) * i] * Lambda[k + static_cast<size_t>(r) * b];
            const double x = Xt[b + static_cast<size_t>(r) * i];
            const double lam = inst.problem.lambda[b];
            double v;
            if (x > 0) {
                v = g + lam;
            } else if (x < 0) {
                v = g - lam;
            } else {
                v = std::fabs(g) > lam ? g - std::copysign(lam, g) : 0.0;
            }
            sum += v * v;
        }
    }
    return sum;
}

// Zeroes every other entry of a few rows and re-orthonormalises, so that the
// point has exact zeros (kinks) as well as nonzeros.
void make_sparse(Instance& inst)
{
    const int32_t r = inst.r;
    for (int32_t i = 0; i < inst.n; i += 2) {
        for (int32_t c = 0; c < r; ++c) {
            if ((i / 2 + c) % 2 == 0) inst.Xt[c + static_cast<size_t>(r) * i] = 0;
        }
    }
    method::polar(inst.n, r, inst.Xt.data());
    for (int32_t i = 0; i < inst.n; i += 2) {
        for (int32_t c = 0; c < r; ++c) {
            double& x = inst.Xt[c + static_cast<size_t>(r) * i];
            if (std::fabs(x) < 1e-15) x = 0;
        }
    }
}

}  // namespace

TEST(Stationarity, WithoutL1ItIsTheProjectedGradient)
{
    for (int32_t r : {1, 2, 4}) {
        for (bool e : {false, true}) {
            Instance inst = random_instance(9, r, 0.0, 10 + r, e);
            const std::vector<double> AXt = method_test::literal_product(inst, inst.Xt);
            // ‖G − X·sym(XᵀG)‖ with G = A·X + E, literally.
            std::vector<double> G(AXt);
            if (e) {
                for (size_t k = 0; k < G.size(); ++k) G[k] += inst.problem.Et[k];
            }
            std::vector<double> XG(static_cast<size_t>(r) * r, 0.0);
            for (int32_t a = 0; a < r; ++a) {
                for (int32_t b = 0; b < r; ++b) {
                    for (int32_t i = 0; i < inst.n; ++i) {
                        XG[a + r * b] += inst.Xt[a + static_cast<size_t>(r) * i] * G[b + static_cast<size_t>(r) * i];
                    }
                }
            }
            double sum = 0;
            for (int32_t i = 0; i < inst.n; ++i) {
                for (int32_t b = 0; b < r; ++b) {
                    double v = G[b + static_cast<size_t>(r) * i];
                    for (int32_t a = 0; a < r; ++a) {
                        v -= inst.Xt[a + static_cast<size_t>(r) * i] * 0.5 * (XG[a + r * b] + XG[b + r * a]);
                    }
                    sum += v * v;
                }
            }
            EXPECT_NEAR(method::stationarity(inst.problem, inst.Xt.data(), AXt.data()), std::sqrt(sum),
                        1e-10 * (1 + std::sqrt(sum)));
        }
    }
}

TEST(Stationarity, VanishesAtEigenvectors)
{
    Instance inst = random_instance(10, 3, 0.0, 3);
    std::vector<double> S(inst.A), values(10), vectors(100);
    method::symmetric_eigen(10, S.data(), values.data(), vectors.data());
    for (int32_t i = 0; i < 10; ++i) {
        for (int32_t c = 0; c < 3; ++c) inst.Xt[c + 3 * i] = vectors[i + 10 * (c + 4)];
    }
    const std::vector<double> AXt = method_test::literal_product(inst, inst.Xt);
    EXPECT_LE(method::stationarity(inst.problem, inst.Xt.data(), AXt.data()), 1e-12);
}

TEST(Stationarity, OneColumnMatchesADirectMinimisation)
{
    // r = 1: Λ is a number and ψ a convex function of it, minimised here by
    // a long golden-section search.
    for (uint64_t seed = 1; seed <= 6; ++seed) {
        Instance inst = random_instance(12, 1, 0.2 * seed, seed, seed % 2 == 0);
        make_sparse(inst);
        const std::vector<double> AXt = method_test::literal_product(inst, inst.Xt);
        const double measure = method::stationarity(inst.problem, inst.Xt.data(), AXt.data());
        double lo = -100, hi = 100;
        const double phi = (std::sqrt(5.0) - 1) / 2;
        for (int it = 0; it < 300; ++it) {
            const double a = hi - phi * (hi - lo), b = lo + phi * (hi - lo);
            if (literal_psi(inst, inst.Xt, {a}) < literal_psi(inst, inst.Xt, {b})) {
                hi = b;
            } else {
                lo = a;
            }
        }
        const double reference = std::sqrt(literal_psi(inst, inst.Xt, {0.5 * (lo + hi)}));
        EXPECT_NEAR(measure, reference, 1e-8 * (1 + reference)) << "seed " << seed;
    }
}

TEST(Stationarity, NoMultiplierDoesBetter)
{
    std::mt19937_64 rng(5);
    std::normal_distribution<double> normal;
    for (int32_t r : {2, 3}) {
        Instance inst = random_instance(10, r, 0.4, 50 + r, true, true);
        make_sparse(inst);
        const std::vector<double> AXt = method_test::literal_product(inst, inst.Xt);
        const double measure = method::stationarity(inst.problem, inst.Xt.data(), AXt.data());
        EXPECT_GT(measure, 0);
        // Around a reference point found by many random trials.
        std::vector<double> L(static_cast<size_t>(r) * r, 0.0);
        for (int trial = 0; trial < 2000; ++trial) {
            for (int32_t a = 0; a < r; ++a) {
                for (int32_t b = 0; b <= a; ++b) {
                    const double v = 3 * normal(rng);
                    L[a + r * b] = v;
                    L[b + r * a] = v;
                }
            }
            ASSERT_GE(literal_psi(inst, inst.Xt, L), measure * measure * (1 - 1e-12));
        }
    }
}

TEST(DenseHelpers, EigenDecompositionReconstructs)
{
    std::mt19937_64 rng(9);
    std::normal_distribution<double> normal;
    for (int32_t r : {1, 2, 5, 10}) {
        std::vector<double> S(static_cast<size_t>(r) * r), copy, values(r), vectors(static_cast<size_t>(r) * r);
        for (int32_t b = 0; b < r; ++b) {
            for (int32_t a = 0; a <= b; ++a) {
                S[a + r * b] = S[b + r * a] = normal(rng);
            }
        }
        copy = S;
        method::symmetric_eigen(r, S.data(), values.data(), vectors.data());
        for (int32_t a = 0; a < r; ++a) {
            for (int32_t b = 0; b < r; ++b) {
                double back = 0, ortho = 0;
                for (int32_t k = 0; k < r; ++k) {
                    back += vectors[a + r * k] * values[k] * vectors[b + r * k];
                    ortho += vectors[k + r * a] * vectors[k + r * b];
                }
                EXPECT_NEAR(back, copy[a + r * b], 1e-13);
                EXPECT_NEAR(ortho, a == b ? 1.0 : 0.0, 1e-14);
            }
        }
    }
}

TEST(DenseHelpers, PolarFactorIsOrthonormalAndSymmetricallyRelated)
{
    // n = 1300 runs the product in several blocks of rows, the last one short.
    for (int32_t n : {9, 1300}) {
        std::mt19937_64 rng(11 + n);
        std::normal_distribution<double> normal;
        const int32_t r = 3;
        std::vector<double> Y(static_cast<size_t>(n) * r);
        for (double& y : Y) y = normal(rng);
        std::vector<double> U = Y;
        ASSERT_TRUE(method::polar(n, r, U.data()));
        method::Problem p;
        p.n = n;
        p.r = r;
        EXPECT_LE(method::feasibility(p, U.data()), 1e-14 * std::sqrt(double(n)));
        // UᵀY is symmetric (and positive definite) for the polar factor.
        double M[9] = {};
        for (int32_t a = 0; a < r; ++a) {
            for (int32_t b = 0; b < r; ++b) {
                for (int32_t i = 0; i < n; ++i) M[a + r * b] += U[a + r * i] * Y[b + r * i];
            }
        }
        for (int32_t a = 0; a < r; ++a) {
            EXPECT_GT(M[a + r * a], 0);
            for (int32_t b = 0; b < a; ++b) EXPECT_NEAR(M[a + r * b], M[b + r * a], 1e-13 * n);
        }
    }
    const int32_t n = 9, r = 3;
    // A rank-deficient matrix has no polar factor.
    std::vector<double> Z(static_cast<size_t>(n) * r, 0.0);
    EXPECT_FALSE(method::polar(n, r, Z.data()));
}

TEST(DenseHelpers, OrthonormalisingOnAPatternKeepsTheZeros)
{
    // A sparse orthonormal X (disjoint supports plus a shared row), knocked
    // off the constraint on its nonzeros only.
    std::mt19937_64 rng(13);
    std::normal_distribution<double> normal;
    const int32_t n = 12, r = 3;
    Instance inst = random_instance(n, r, 0.5, 77);
    make_sparse(inst);
    std::vector<unsigned char> free(inst.Xt.size());
    for (size_t q = 0; q < inst.Xt.size(); ++q) {
        free[q] = inst.Xt[q] != 0;
        if (free[q]) inst.Xt[q] += 1e-9 * normal(rng);
    }
    ASSERT_GT(method::feasibility(inst.problem, inst.Xt.data()), 1e-10);
    const std::vector<double> before = inst.Xt;
    ASSERT_TRUE(method::orthonormalize_on_pattern(n, r, inst.Xt.data(), free.data()));
    EXPECT_LE(method::feasibility(inst.problem, inst.Xt.data()), 1e-15);
    for (size_t q = 0; q < inst.Xt.size(); ++q) {
        if (!free[q]) {
            EXPECT_EQ(inst.Xt[q], 0.0);
        }
        EXPECT_NEAR(inst.Xt[q], before[q], 1e-8);
    }
}
