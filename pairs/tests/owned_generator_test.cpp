#include <cstdlib>
#include <random>
#include <vector>

#include <gtest/gtest.h>

#include "pair_select_with.h"
#include "test_support.h"

// The selectors handed a generator object of the caller's, as the solver's
// runs hand theirs: the draws come from that object only, in the order the
// C runtime's rand() would have supplied them to the public entries.

namespace {

// Hands out a recorded sequence: the values rand() gives after srand(seed).
// The object keeps its own position; std::rand() is not called once it is
// built.
class Replay {
public:
    static constexpr int max = RAND_MAX;
    Replay(unsigned seed, size_t count) : values_(count) {
        std::srand(seed);
        for (int& v : values_) v = std::rand();
    }
    int next() { return values_.at(position_++); }
    int64_t position() const { return static_cast<int64_t>(position_); }

private:
    std::vector<int> values_;
    size_t position_ = 0;
};

using WithFn = ColumnPair (*)(Replay&, const double*, const double*, int32_t, int32_t,
                              int32_t);

struct OwnedCase {
    const char* name;
    reference::Rule rule;
    void (*select)(const double*, const double*, int32_t, int32_t, int32_t, double*);
    WithFn select_with;
};

const OwnedCase kOwned[] = {
    {"max_violation", reference::Rule::max_violation, select_pair_max_violation,
     select_pair_with<pair_rules::MaxViolationRule, Replay>},
    {"max_reduction", reference::Rule::max_reduction, select_pair_max_reduction,
     select_pair_with<pair_rules::MaxReductionRule, Replay>},
};

}  // namespace

// On generated problems (small integers for ties, and ordinary values), a
// call with the replayed sequence gives the bits of the public entry after
// srand(seed), consumes the values the literal reference counts, and leaves
// the process's rand() where it stood.
TEST(OwnedGenerator, MatchesPublicEntryAndLeavesRandAlone) {
    std::mt19937_64 gen(2024);
    auto uniform = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(gen); };
    for (int trial = 0; trial < 400; ++trial) {
        const int32_t n_cols = uniform(1, 40);
        const int32_t n_rows = uniform(0, 6);
        const int32_t n_trials = uniform(0, 2) == 0 ? n_cols : uniform(-1, 50);
        const bool ties = uniform(0, 1) == 0;
        std::vector<double> A(size_t(n_cols) * n_rows), B(A.size());
        for (double* x : {A.data(), B.data()}) {
            for (size_t k = 0; k < A.size(); ++k) {
                x[k] = ties ? double(uniform(-2, 2))
                            : std::uniform_real_distribution<double>(-5.0, 5.0)(gen);
            }
        }
        const unsigned seed = static_cast<unsigned>(gen());
        for (const OwnedCase& c : kOwned) {
            double want[2] = {-1.0, -1.0};
            std::srand(seed);
            c.select(A.data(), B.data(), n_cols, n_rows, n_trials, want);

            double reference_out[2];
            std::srand(seed);
            const int64_t draws = reference::select(c.rule, A.data(), B.data(), n_cols, n_rows,
                                                    n_trials, reference_out);

            Replay replay(seed, 20000);
            const unsigned elsewhere = seed ^ 0x5a5a5a5au;
            std::srand(elsewhere);
            const ColumnPair got =
                c.select_with(replay, A.data(), B.data(), n_cols, n_rows, n_trials);
            const std::vector<int> after = next_values();

            // The same pair, counted from 0 instead of from 1.
            ASSERT_EQ(bits(double(got.i) + 1.0), bits(want[0])) << c.name << " trial " << trial;
            ASSERT_EQ(bits(double(got.j) + 1.0), bits(want[1])) << c.name << " trial " << trial;
            ASSERT_EQ(replay.position(), draws) << c.name << " trial " << trial;
            ASSERT_EQ(after, values_after(elsewhere, 0)) << c.name << " trial " << trial;
        }
    }
}
