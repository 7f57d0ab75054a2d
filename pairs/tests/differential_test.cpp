#include <algorithm>
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

// One call of a selector after srand(seed), against the literal reference
// after the same seed: the same output bits, and the generator left at the
// same position, which a replay of the reference's draw count confirms.
::testing::AssertionResult same_as_reference(const Selector& s, const double* A,
                                             const double* B, int32_t n_cols,
                                             int32_t n_rows, int32_t n_trials,
                                             unsigned seed) {
    double got[2] = {-1.0, -1.0};
    std::srand(seed);
    s.select(A, B, n_cols, n_rows, n_trials, got);
    const std::vector<int> got_next = next_values();

    double want[2] = {-1.0, -1.0};
    std::srand(seed);
    const int64_t draws = reference::select(s.rule, A, B, n_cols, n_rows, n_trials, want);
    const std::vector<int> want_next = values_after(seed, draws);

    if (bits(got[0]) == bits(want[0]) && bits(got[1]) == bits(want[1]) &&
        got_next == want_next) {
        return ::testing::AssertionSuccess();
    }
    return ::testing::AssertionFailure()
           << s.name << " n_cols=" << n_cols << " n_rows=" << n_rows
           << " n_trials=" << n_trials << " seed=" << seed << ": got [" << got[0]
           << "; " << got[1] << "], want [" << want[0] << "; " << want[1] << "]"
           << (got_next == want_next ? "" : ", generator left elsewhere");
}

// A pool of values from which matrices of any shape up to 1100 × 600 are cut,
// A and B at different offsets, so that large problems need no fresh data.
//   ties:        small integers, so that many scores tie exactly and the pair
//                drawn first must win;
//   wide:        finite values with runs of +0 and −0 long enough to fill whole
//                columns, and rare huge values whose squares overflow and
//                subnormals;
//   nonfinite:   as wide, with rare NaN, +∞ and −∞, so that some columns of a
//                thousand rows hold one and most do not.
enum class Palette { ties, wide, nonfinite };

std::vector<double> make_pool(std::mt19937_64& gen, Palette palette, size_t size) {
    const double inf = std::numeric_limits<double>::infinity();
    const double nan = std::numeric_limits<double>::quiet_NaN();
    std::uniform_int_distribution<int> per_million(0, 999999);
    std::uniform_real_distribution<double> uniform(-10.0, 10.0);
    std::vector<double> pool(size);
    for (size_t k = 0; k < size; ++k) {
        const int p = per_million(gen);
        if (palette == Palette::ties) {
            pool[k] = static_cast<double>(p % 5) - 2.0;
            if (pool[k] == 0.0 && p % 2) pool[k] = -0.0;
            continue;
        }
        if (p < 300) {  // a run of one signed zero, up to 2500 long
            const double zero = p % 2 ? 0.0 : -0.0;
            const size_t run = 1 + static_cast<size_t>(per_million(gen)) % 2500;
            for (size_t r = 0; r < run && k < size; ++r, ++k) pool[k] = zero;
            --k;
            continue;
        }
        if (palette == Palette::nonfinite && p >= 999900) {
            pool[k] = p % 3 == 0 ? nan : (p % 3 == 1 ? inf : -inf);
        } else if (p >= 999850) {
            pool[k] = (p % 2 ? 1.0 : -1.0) * 1e160;
        } else if (p >= 999800) {
            pool[k] = (p % 2 ? 1.0 : -1.0) * 4.9e-324;
        } else if (p < 20000) {
            pool[k] = p % 2 ? 0.0 : -0.0;
        } else {
            pool[k] = uniform(gen);
        }
    }
    return pool;
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
            for (const Selector& s : kSelectors) {
                ASSERT_TRUE(same_score(s.score(a_i, a_j, b_i, b_j, n),
                                       reference::score(s.rule, A, B, i, j, n)))
                    << s.name << " trial " << trial;
            }
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
        for (const Selector& s : kSelectors) {
            const double ij = s.score(A + i * n, A + j * n, B + i * n, B + j * n, n);
            const double ji = s.score(A + j * n, A + i * n, B + j * n, B + i * n, n);
            EXPECT_TRUE(same_score(ij, ji)) << s.name << " trial " << trial;
        }
    }
}

// Shapes up to 1100 rows and 600 columns, where the selectors score several
// drawn pairs in one pass: limits of every residue modulo small group sizes,
// long and odd columns, discarded attempts (few columns), and data with ties,
// signed zeros, overflowing squares, NaN and infinities.
TEST(Differential, MatchesReferenceOnLargeShapes) {
    constexpr int32_t kMaxRows = 1100, kMaxCols = 600;
    const size_t pool_size = size_t{kMaxRows} * kMaxCols + 100000;
    std::mt19937_64 gen(31337);
    const std::vector<double> pools[] = {make_pool(gen, Palette::ties, pool_size),
                                         make_pool(gen, Palette::wide, pool_size),
                                         make_pool(gen, Palette::nonfinite, pool_size)};
    auto uniform = [&](int lo, int hi) {
        return std::uniform_int_distribution<int>(lo, hi)(gen);
    };
    const int32_t row_choices[] = {0, 1, 2, 3, 999, 1000, 1001, 1100};
    for (int trial = 0; trial < 240; ++trial) {
        const int32_t n_cols = uniform(0, 3) == 0 ? uniform(2, 6) : uniform(2, kMaxCols);
        const int32_t n_rows =
            uniform(0, 1) ? row_choices[uniform(0, 7)] : uniform(0, kMaxRows);
        int32_t n_trials;
        switch (uniform(0, 4)) {
            case 0: n_trials = 1 + trial % 13; break;  // every small limit
            case 1: n_trials = INT32_MAX; break;
            case 2: n_trials = n_cols + uniform(-1, 1); break;
            default: n_trials = uniform(1, 700); break;
        }
        const std::vector<double>& pool = pools[trial % 3];
        const size_t size = size_t(n_rows) * size_t(n_cols);
        const double* A = pool.data() + uniform(0, int(pool.size() - size));
        const double* B = uniform(0, 15) == 0 ? A  // A = B: every violation is +0
                                              : pool.data() + uniform(0, int(pool.size() - size));
        const unsigned seed = static_cast<unsigned>(gen());
        for (const Selector& s : kSelectors) {
            ASSERT_TRUE(same_as_reference(s, A, B, n_cols, n_rows, n_trials, seed))
                << "trial " << trial;
        }
    }
}

// Scores that differ only in their last bits, so that the winner depends on
// every sum being taken in exactly the reference's order. B is all ones and
// every column of A is a shuffle of one set of values of widely different
// magnitudes: the exact column sums are all equal, and their rounded values,
// which make up every score, differ only through the order of the additions.
TEST(Differential, LastBitDifferencesDecideTheWinner) {
    std::mt19937_64 gen(4242);
    for (int32_t n_rows : {5, 64, 999, 1000}) {
        const int32_t n_cols = 120;
        std::vector<double> column(n_rows);
        for (int32_t r = 0; r < n_rows; ++r) {
            const double magnitude = std::ldexp(1.0, static_cast<int>(gen() % 60) - 5);
            column[r] = (gen() % 2 ? 1.0 : -1.0) * magnitude * (1.0 + (gen() % 1000) / 1000.0);
        }
        std::vector<double> A, B(size_t(n_rows) * n_cols, 1.0);
        for (int32_t c = 0; c < n_cols; ++c) {
            std::shuffle(column.begin(), column.end(), gen);
            A.insert(A.end(), column.begin(), column.end());
        }
        // The sums must really disagree, or the test would show nothing.
        int distinct = 0;
        for (int32_t c = 1; c < n_cols; ++c) {
            distinct += reference::column_dot(&A[0], &B[0], n_rows) !=
                        reference::column_dot(&A[size_t(c) * n_rows], &B[0], n_rows);
        }
        if (n_rows >= 64) {
            EXPECT_GT(distinct, n_cols / 2) << n_rows;
        }
        for (int32_t n_trials = 1; n_trials <= 40; ++n_trials) {
            for (const Selector& s : kSelectors) {
                ASSERT_TRUE(same_as_reference(s, A.data(), B.data(), n_cols, n_rows,
                                              n_trials, 1000u + unsigned(n_trials)));
            }
        }
    }
}
