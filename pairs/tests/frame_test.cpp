#include <algorithm>
#include <climits>

#include <gtest/gtest.h>

#include "test_support.h"

namespace {

// Three columns of two rows with distinct scores under both rules.
const double kA[] = {1, 0, 0, 1, 1, 1};
const double kB[] = {1, 2, 3, 4, 0, 1};

}  // namespace

// When nothing can be scored the answer is [1; 2] and the generator is not
// touched: limit ≤ 0, and a single column, which admits no pair of distinct
// indices and would otherwise keep drawing forever.
TEST(Frame, NothingToScoreLeavesGeneratorUntouched) {
    struct Case { int32_t n_cols, n_trials; };
    const Case cases[] = {
        {3, 0},  {3, -1}, {3, INT32_MIN}, {0, 5},        {-1, 5},
        {INT32_MIN, 5},   {0, 0},         {1, 1},        {1, 5},
        {1, INT32_MAX},   {1, 0},         {1, -3},
    };
    for (const Selector& s : kSelectors) {
        for (const Case& c : cases) {
            const unsigned seed = 77;
            EXPECT_EQ(run(s, seed, kA, kB, c.n_cols, 2, c.n_trials), Pair(1, 2))
                << s.name << " n_cols=" << c.n_cols << " n_trials=" << c.n_trials;
            const std::vector<int> next = next_values();
            EXPECT_EQ(next, values_after(seed, 0))
                << s.name << " n_cols=" << c.n_cols << " n_trials=" << c.n_trials;
        }
    }
}

// Two values per attempt, discarded attempts (i = j) included. Two columns
// discard about half the attempts, so the count is sensitive to them.
TEST(Frame, ConsumesTwoDrawsPerAttemptIncludingDiscarded) {
    for (const Selector& s : kSelectors) {
        int seeds_with_discards = 0;
        for (unsigned seed = 1; seed <= 200; ++seed) {
            for (int32_t n_cols : {2, 3}) {
                const int32_t n_trials = 1 + seed % 4;
                const int32_t limit = std::min(n_trials, n_cols);
                const DrawPlan plan = plan_draws(seed, n_cols, limit);
                seeds_with_discards += plan.discarded > 0;
                run(s, seed, kA, kB, n_cols, 2, n_trials);
                const std::vector<int> next = next_values();
                EXPECT_EQ(next, values_after(seed, plan.draws))
                    << s.name << " seed=" << seed << " n_cols=" << n_cols;
                EXPECT_EQ(plan.draws,
                          2 * (int64_t(plan.evaluated.size()) + plan.discarded));
            }
        }
        EXPECT_GT(seeds_with_discards, 20);
    }
}

// n_cols = 2, n_trials = 5: the limit is 2, so exactly two pairs are scored.
// Both are (0, 1) or (1, 0) with equal scores, so the first one stays.
TEST(Frame, TrialsBeyondColumnCountAreCapped) {
    for (const Selector& s : kSelectors) {
        for (unsigned seed = 1; seed <= 50; ++seed) {
            const DrawPlan plan = plan_draws(seed, 2, 2);
            EXPECT_EQ(run(s, seed, kA, kB, 2, 2, 5), one_based(plan.evaluated[0]))
                << s.name << " seed=" << seed;
            const std::vector<int> next = next_values();
            EXPECT_EQ(next, values_after(seed, plan.draws))
                << s.name << " seed=" << seed;
        }
    }
}

// Offsets of columns far beyond 2³¹ elements stay exact.
TEST(Frame, ColumnOffsetsAreFormedIn64Bits) {
    EXPECT_EQ(column_offset(1 << 30, 3), int64_t{3} << 30);
    EXPECT_EQ(column_offset(INT32_MAX, INT32_MAX - 1),
              int64_t{INT32_MAX} * (INT32_MAX - 1));
    EXPECT_EQ(column_offset(65536, 32768), int64_t{1} << 31);
}
