// The production solver against the literal reference, bit for bit, on many
// generated inputs: ordinary data, ties and repeated breakpoints, signed
// zeros, values at the negligibility threshold, NaN and infinities.

#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "circle_search.h"
#include "orthogonal_2x2.h"
#include "polynomial_roots.h"
#include "reference_subproblem.h"
#include "test_data.h"

namespace {

using testdata::bits;

// Term arrays with few distinct values, so that breakpoints repeat, sign
// sums cancel and candidates tie.
std::vector<double> coarse(std::mt19937_64& rng, size_t n) {
    std::vector<double> v(n);
    for (auto& x : v) x = static_cast<double>(static_cast<int>(rng() % 5) - 2) * 0.5;
    return v;
}

void expect_same_search(const std::vector<double>& cc, const std::vector<double>& cs,
                        const double (&f)[6], const char* what, int trial) {
    CircleProblem p;
    p.lin_c = f[0];
    p.lin_s = f[1];
    p.quad_cc = f[2];
    p.quad_cs = f[3];
    p.quad_ss = f[4];
    p.lambda = f[5];
    p.coef_c = cc.data();
    p.coef_s = cs.data();
    p.term_count = static_cast<int32_t>(cc.size());
    const reference::Problem rp{f[0], f[1], f[2], f[3], f[4], f[5], cc.data(), cs.data(),
                                p.term_count};
    const reference::Result want = reference::search(rp);
    // The public entry, on the path this process chose (the test runs once
    // per forced path); test_lane_paths.cpp takes every path by name.
    const CircleResult got = search_circle(p);
    ASSERT_EQ(bits(got.c), bits(want.c)) << what << " trial " << trial;
    ASSERT_EQ(bits(got.s), bits(want.s)) << what << " trial " << trial;
    ASSERT_EQ(bits(got.value), bits(want.value)) << what << " trial " << trial;
}

TEST(Differential, PolynomialRootsMatchBitForBit) {
    std::mt19937_64 rng(99);
    for (int trial = 0; trial < 200000; ++trial) {
        double c[5];
        const double special = (trial % 4 == 0) ? 0.5 : 0.1;
        for (double& x : c) x = testdata::value(rng, special);
        if (trial % 3 == 0) c[0] = 0.0;
        if (trial % 9 == 0) c[1] = 0.0;
        double got[4] = {-7, -7, -7, -7}, want[4] = {-7, -7, -7, -7};
        const int32_t n = polynomial_real_roots(c[0], c[1], c[2], c[3], c[4], got);
        const int32_t m = reference::roots(c[0], c[1], c[2], c[3], c[4], want);
        ASSERT_EQ(n, m) << trial;
        for (int i = 0; i < 4; ++i) ASSERT_EQ(bits(got[i]), bits(want[i])) << trial << " " << i;
    }
}

TEST(Differential, CircleSearchMatchesOnOrdinaryAndAwkwardData) {
    std::mt19937_64 rng(1234);
    for (int trial = 0; trial < 3000; ++trial) {
        const size_t terms = rng() % 40;
        const double special = (trial % 3 == 0) ? 0.0 : (trial % 3 == 1 ? 0.05 : 0.3);
        std::vector<double> cc, cs;
        if (trial % 4 == 0) {
            cc = coarse(rng, terms);
            cs = coarse(rng, terms);
        } else {
            cc = testdata::values(rng, terms, special);
            cs = testdata::values(rng, terms, special);
        }
        double f[6];
        for (double& x : f) x = testdata::value(rng, special);
        if (trial % 5 == 0) f[5] = 0.0;
        expect_same_search(cc, cs, f, "search", trial);
    }
}

TEST(Differential, CircleSearchMatchesOnLargerTermCounts) {
    std::mt19937_64 rng(77);
    for (int trial = 0; trial < 40; ++trial) {
        const size_t terms = 100 + rng() % 300;
        const auto cc = testdata::values(rng, terms, trial % 2 ? 0.02 : 0.0);
        const auto cs = testdata::values(rng, terms, trial % 2 ? 0.02 : 0.0);
        double f[6];
        for (double& x : f) x = testdata::value(rng, 0.0);
        f[5] = std::fabs(f[5]);
        expect_same_search(cc, cs, f, "large", trial);
    }
}

TEST(Differential, SolverMatchesBitForBit) {
    std::mt19937_64 rng(4321);
    for (int trial = 0; trial < 3000; ++trial) {
        const int32_t n = static_cast<int32_t>(rng() % 25) - 3;
        const double special = (trial % 2) ? 0.0 : 0.2;
        testdata::Subproblem p = testdata::subproblem(rng, n, special);
        if (trial % 7 == 0) {  // an unsymmetric Q: only its upper triangle counts
            for (double& x : p.Q) x = testdata::value(rng, special);
        }
        double got[4], want[4];
        solve_orthogonal_2x2(p.Q.data(), p.G.data(), p.lambda, p.z1.data(), p.z2.data(), n, got);
        reference::solve(p.Q.data(), p.G.data(), p.lambda, p.z1.data(), p.z2.data(), n, want);
        for (int i = 0; i < 4; ++i) ASSERT_EQ(bits(got[i]), bits(want[i])) << trial << " " << i;
    }
}

}  // namespace

namespace {

// Data where every pair is retained and every term has a breakpoint, as in
// real use, at the sizes the solver is tuned for; and the same sizes built
// from a handful of distinct values, so that breakpoints coincide.
TEST(Differential, SolverMatchesAtWorkingSizes) {
    std::mt19937_64 rng(555);
    for (int32_t n : {5, 50, 500, 1200}) {
        for (int shape = 0; shape < 2; ++shape) {
            testdata::Subproblem p = testdata::subproblem(rng, n, 0.0);
            if (shape == 1) {
                for (int32_t k = 0; k < n; ++k) {
                    p.z1[k] = static_cast<double>(1 + static_cast<int>(rng() % 3)) * ((rng() & 1) ? 1 : -1);
                    p.z2[k] = static_cast<double>(1 + static_cast<int>(rng() % 3)) * ((rng() & 1) ? 1 : -1);
                }
            }
            double got[4], want[4];
            solve_orthogonal_2x2(p.Q.data(), p.G.data(), p.lambda, p.z1.data(), p.z2.data(), n, got);
            reference::solve(p.Q.data(), p.G.data(), p.lambda, p.z1.data(), p.z2.data(), n, want);
            for (int i = 0; i < 4; ++i) ASSERT_EQ(bits(got[i]), bits(want[i])) << n << " " << shape;
        }
    }
}

}  // namespace
