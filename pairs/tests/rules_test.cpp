#include <cmath>
#include <limits>

#include <gtest/gtest.h>

#include "test_support.h"

namespace {

// The worked example: two rows, three columns.
//   A = [A₀ A₁ A₂] = [[1, 0, 1], [0, 1, 1]],  B = [[1, 3, 0], [2, 4, 1]].
const double kA[] = {1, 0, 0, 1, 1, 1};
const double kB[] = {1, 2, 3, 4, 0, 1};

double score_of(const Selector& s, const double* A, const double* B,
                int32_t n_rows, int i, int j) {
    return s.score(A + i * n_rows, A + j * n_rows, B + i * n_rows, B + j * n_rows,
                   n_rows);
}

const double kInf = std::numeric_limits<double>::infinity();
const double kNaN = std::numeric_limits<double>::quiet_NaN();

}  // namespace

TEST(Rules, WorkedExampleScores) {
    struct Row { int i, j; double violation, reduction; };
    const Row rows[] = {
        {0, 1, 1.0, -5.0 - std::sqrt(34.0)},  // reflection wins
        {0, 2, 3.0, -2.0 - std::sqrt(13.0)},  // rotation wins
        {1, 2, 6.0, -5.0 - std::sqrt(73.0)},  // reflection wins
    };
    for (const Selector& s : kSelectors) {
        for (const Row& r : rows) {
            for (bool mirrored : {false, true}) {
                const int i = mirrored ? r.j : r.i;
                const int j = mirrored ? r.i : r.j;
                const double want = s.rule == reference::Rule::max_violation ? r.violation
                                                                            : r.reduction;
                EXPECT_EQ(bits(score_of(s, kA, kB, 2, i, j)), bits(want))
                    << s.name << " " << i << "," << j;
            }
        }
    }
}

// Outputs for chosen draw orders. Evaluating (0, 2), (2, 1), (1, 2): the
// second pair wins under both rules and the third only ties with it.
// Evaluating (0, 1), (0, 2): the rules disagree. A mirrored pair is reported
// in the order it was drawn.
TEST(Rules, WorkedExampleDrawOrders) {
    struct Case { std::vector<Pair> draws; Pair violation, reduction; };
    const Case cases[] = {
        {{{0, 2}, {2, 1}, {1, 2}}, {3, 2}, {3, 2}},
        {{{0, 1}, {0, 2}}, {1, 3}, {1, 2}},
        {{{2, 0}, {1, 0}, {0, 1}}, {3, 1}, {2, 1}},
    };
    for (const Case& c : cases) {
        const int32_t n_trials = static_cast<int32_t>(c.draws.size());
        const unsigned seed = seed_drawing(3, c.draws);
        ASSERT_NE(seed, 0u);
        EXPECT_EQ(run(kSelectors[0], seed, kA, kB, 3, 2, n_trials), c.violation);
        EXPECT_EQ(run(kSelectors[1], seed, kA, kB, 3, 2, n_trials), c.reduction);
    }
}

// Equal scores keep the pair evaluated first: with no rows every score is
// ±0, and with A = B every violation is +0.
TEST(Rules, TiesKeepTheFirstEvaluatedPair) {
    for (const Selector& s : kSelectors) {
        for (int32_t n_rows : {0, -1, INT32_MIN}) {
            const double expected = s.rule == reference::Rule::max_violation ? 0.0 : -0.0;
            EXPECT_EQ(bits(score_of(s, nullptr, nullptr, 0, 0, 1)), bits(expected));
            for (unsigned seed = 1; seed <= 30; ++seed) {
                const DrawPlan plan = plan_draws(seed, 5, 5);
                EXPECT_EQ(run(s, seed, nullptr, nullptr, 5, n_rows, 9),
                          one_based(plan.evaluated[0])) << s.name << " " << n_rows;
            }
        }
    }
    for (unsigned seed = 1; seed <= 30; ++seed) {
        const DrawPlan plan = plan_draws(seed, 3, 3);
        EXPECT_EQ(run(kSelectors[0], seed, kA, kA, 3, 2, 3), one_based(plan.evaluated[0]));
    }
}

// A column holding a NaN makes every pair with it score NaN, which never
// wins; when every evaluated pair is NaN the answer stays [1; 2].
TEST(Rules, NaNScoresAreNeverChosen) {
    double A[6] = {1, 0, 0, 1, kNaN, 1};  // column 2 poisoned
    for (const Selector& s : kSelectors) {
        for (unsigned seed = 1; seed <= 200; ++seed) {
            const DrawPlan plan = plan_draws(seed, 3, 3);
            Pair expected(1, 2);
            for (const Pair& p : plan.evaluated) {
                if (p.first != 2 && p.second != 2) {
                    expected = one_based(p);
                    break;
                }
            }
            EXPECT_EQ(run(s, seed, A, kB, 3, 2, 3), expected) << s.name << " " << seed;
        }
        const double all_nan[] = {kNaN, kNaN, kNaN, kNaN, kNaN, kNaN};
        for (unsigned seed = 1; seed <= 20; ++seed) {
            EXPECT_EQ(run(s, seed, all_nan, kB, 3, 2, 3), Pair(1, 2));
            const std::vector<int> next = next_values();
            EXPECT_EQ(next, values_after(seed, plan_draws(seed, 3, 3).draws));
        }
    }
}

// Scores of −∞ (objective reduction, from an overflowing square of a finite
// value) and +∞ (violation) cannot be beaten later, not even by a tie.
TEST(Rules, InfiniteScoresAreFinal) {
    // Column 0 of A holds 1e200: for any pair with column 0, h or l is 1e200,
    // t² overflows although t is finite, and the score is −∞.
    const double A[] = {1e200, 0, 0, 1, 1, 1};
    const double B[] = {1, 0, 3, 4, 0, 1};
    const Selector& reduction = kSelectors[1];
    EXPECT_EQ(score_of(reduction, A, B, 2, 0, 1), -kInf);
    EXPECT_EQ(score_of(reduction, A, B, 2, 2, 0), -kInf);
    EXPECT_TRUE(std::isfinite(score_of(reduction, A, B, 2, 1, 2)));
    unsigned seed = seed_drawing(3, {{0, 1}, {2, 0}, {1, 2}});
    ASSERT_NE(seed, 0u);
    EXPECT_EQ(run(reduction, seed, A, B, 3, 2, 3), Pair(1, 2));
    seed = seed_drawing(3, {{2, 0}, {0, 1}, {1, 2}});
    ASSERT_NE(seed, 0u);
    EXPECT_EQ(run(reduction, seed, A, B, 3, 2, 3), Pair(3, 1));

    // An infinite element in column 1 of B: every pair with column 1 has one
    // product +∞ and the other finite, and scores +∞.
    const double Bv[] = {1, 2, kInf, 4, 0, 1};
    const Selector& violation = kSelectors[0];
    EXPECT_EQ(score_of(violation, kA, Bv, 2, 0, 1), kInf);
    EXPECT_EQ(score_of(violation, kA, Bv, 2, 2, 1), kInf);
    seed = seed_drawing(3, {{0, 2}, {2, 1}, {1, 0}});
    ASSERT_NE(seed, 0u);
    EXPECT_EQ(run(violation, seed, kA, Bv, 3, 2, 3), Pair(3, 2));
}
