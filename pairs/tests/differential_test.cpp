#include <climits>
#include <cmath>
#include <limits>
#include <random>

#include <gtest/gtest.h>

#include "test_support.h"

namespace {

// Random problems meant to hit the delicate spots: small integers make exact
// ties common, signed zeros test the +0 start of the sums, huge values make
// squares overflow, and NaN and ±∞ flow through the scores.
struct Problem {
    int32_t n_cols, n_rows, n_trials;
    std::vector<double> A, B;
};

double draw_value(std::mt19937_64& gen, int palette) {
    const double inf = std::numeric_limits<double>::infinity();
    const int p = std::uniform_int_distribution<int>(0, 199)(gen);
    if (palette == 0) {  // ties everywhere
        return static_cast<double>(p % 5) - 2.0;
    }
    if (palette == 2 && p < 6) {  // rare non-finite values
        return p < 2 ? std::numeric_limits<double>::quiet_NaN() : (p < 4 ? inf : -inf);
    }
    if (p < 20) return p % 2 ? 0.0 : -0.0;
    if (p < 28) return (p % 2 ? 1.0 : -1.0) * 1e160;  // squares overflow
    if (p < 31) return 4.9e-324;
    return std::uniform_real_distribution<double>(-10.0, 10.0)(gen);
}

Problem make_problem(std::mt19937_64& gen) {
    auto uniform = [&](int lo, int hi) {
        return std::uniform_int_distribution<int>(lo, hi)(gen);
    };
    Problem p;
    p.n_cols = uniform(2, 50);
    p.n_rows = uniform(0, 40);
    switch (uniform(0, 5)) {
        case 0: p.n_trials = uniform(-2, 2); break;
        case 1: p.n_trials = INT32_MAX; break;
        case 2: p.n_trials = p.n_cols; break;
        default: p.n_trials = uniform(1, 60); break;
    }
    if (uniform(0, 19) == 0) p.n_cols = uniform(-1, 1);
    if (uniform(0, 19) == 0) p.n_rows = -uniform(1, 5);
    const int palette = uniform(0, 2);  // per problem
    const int64_t size = std::max(p.n_cols, 0) * int64_t{std::max(p.n_rows, 0)};
    for (int64_t k = 0; k < size; ++k) {
        p.A.push_back(draw_value(gen, palette));
        p.B.push_back(draw_value(gen, palette));
    }
    return p;
}

}  // namespace

// Production against the literal reference: same output bits and the
// generator left at the same position, which the replay confirms.
TEST(Differential, MatchesReferenceOnGeneratedProblems) {
    std::mt19937_64 gen(2024);
    for (int trial = 0; trial < 4000; ++trial) {
        const Problem p = make_problem(gen);
        const unsigned seed = static_cast<unsigned>(gen());
        for (const Selector& s : kSelectors) {
            double got[2] = {-1.0, -1.0};
            std::srand(seed);
            s.select(p.A.data(), p.B.data(), p.n_cols, p.n_rows, p.n_trials, got);
            const std::vector<int> got_next = next_values();

            double want[2] = {-1.0, -1.0};
            std::srand(seed);
            const int64_t draws = reference::select(s.rule, p.A.data(), p.B.data(),
                                                    p.n_cols, p.n_rows, p.n_trials, want);
            ASSERT_EQ(bits(got[0]), bits(want[0])) << s.name << " trial " << trial;
            ASSERT_EQ(bits(got[1]), bits(want[1])) << s.name << " trial " << trial;
            ASSERT_EQ(got_next, values_after(seed, draws)) << s.name << " trial " << trial;
        }
    }
}

// Each score against the reference's, bit for bit, pair by pair: this sees
// last-bit differences that would only rarely change a winner.
TEST(Differential, ScoresMatchReference) {
    std::mt19937_64 gen(7);
    for (int trial = 0; trial < 4000; ++trial) {
        const Problem p = make_problem(gen);
        if (p.n_cols < 1 || p.n_rows < 0) continue;
        const int64_t n = p.n_rows;
        const double* A = p.A.data();
        const double* B = p.B.data();
        for (int k = 0; k < 5; ++k) {
            const int i = static_cast<int>(gen() % p.n_cols);
            const int j = static_cast<int>(gen() % p.n_cols);
            const double* a_i = A + i * n;
            const double* a_j = A + j * n;
            const double* b_i = B + i * n;
            const double* b_j = B + j * n;
            ASSERT_TRUE(same_score(
                max_violation_score(a_i, a_j, b_i, b_j, n),
                reference::score(reference::Rule::max_violation, A, B, i, j, n)))
                << trial;
            ASSERT_TRUE(same_score(
                max_reduction_score(a_i, a_j, b_i, b_j, n),
                reference::score(reference::Rule::max_reduction, A, B, i, j, n)))
                << trial;
        }
    }
}

// Both scores are symmetric in the pair, bit for bit.
TEST(Differential, ScoresAreSymmetricInThePair) {
    std::mt19937_64 gen(99);
    for (int trial = 0; trial < 2000; ++trial) {
        const Problem p = make_problem(gen);
        if (p.n_cols < 2 || p.n_rows < 0) continue;
        const int64_t n = p.n_rows;
        const double* A = p.A.data();
        const double* B = p.B.data();
        const int i = static_cast<int>(gen() % p.n_cols);
        const int j = static_cast<int>(gen() % p.n_cols);
        for (auto fn : {max_violation_score, max_reduction_score}) {
            const double ij = fn(A + i * n, A + j * n, B + i * n, B + j * n, n);
            const double ji = fn(A + j * n, A + i * n, B + j * n, B + i * n, n);
            EXPECT_TRUE(same_score(ij, ji)) << trial;
        }
    }
}
