#include <algorithm>
#include <climits>
#include <random>

#include <gtest/gtest.h>

#include "max_reduction_rule.h"
#include "max_violation_rule.h"
#include "pair_frame.h"
#include "test_support.h"

// Columns beyond the generator's range. With a 15-bit rand() (RAND_MAX =
// 32767, the Windows C runtime) one value mod n_cols can never reach the
// columns past 32768, so there each index is formed from several values. A
// 15-bit generator is simulated from the low bits of rand(), so srand seeds it
// and the tests can replay it.

namespace {

struct Rand15 {
    static constexpr int max = 32767;
    static int next() { return std::rand() & 0x7fff; }
};

using pair_frame::CRand;
using pair_frame::draws_per_index;

template <typename Rule, typename Lanes, typename Generator>
void frame(const double* A, const double* B, int32_t n_cols, int32_t n_rows,
           int32_t n_trials, double* out) {
    Generator gen;
    pair_frame::select_pair<Rule, Lanes>(A, B, n_cols, n_rows, n_trials, out, gen);
}

struct WideCase {
    const char* name;
    reference::Rule rule;
    void (*select)(const double*, const double*, int32_t, int32_t, int32_t, double*);
};

// Every rule on every path, with the generator G.
template <typename G>
std::vector<WideCase> frames() {
    using pair_rules::MaxReductionRule;
    using pair_rules::MaxViolationRule;
    std::vector<WideCase> all = {
        {"max_violation/scalar", reference::Rule::max_violation,
         frame<MaxViolationRule, pair_lanes::ScalarLanes, G>},
        {"max_reduction/scalar", reference::Rule::max_reduction,
         frame<MaxReductionRule, pair_lanes::ScalarLanes, G>},
    };
#if PAIR_LANES_HAVE_VECTOR
    all.push_back({"max_violation/vector", reference::Rule::max_violation,
                   frame<MaxViolationRule, pair_lanes::VectorLanes, G>});
    all.push_back({"max_reduction/vector", reference::Rule::max_reduction,
                   frame<MaxReductionRule, pair_lanes::VectorLanes, G>});
#endif
    return all;
}

// The frame against the literal reference with the same generator: the same
// output bits and the generator left at the same position.
template <typename G>
void expect_same_as_reference(const double* A, const double* B, int32_t n_cols,
                              int32_t n_rows, int32_t n_trials, unsigned seed) {
    for (const WideCase& c : frames<G>()) {
        double got[2] = {-1.0, -1.0};
        std::srand(seed);
        c.select(A, B, n_cols, n_rows, n_trials, got);
        const std::vector<int> got_next = next_values();

        double want[2] = {-1.0, -1.0};
        std::srand(seed);
        const int64_t draws =
            reference::select<G>(c.rule, A, B, n_cols, n_rows, n_trials, want);
        ASSERT_EQ(bits(got[0]), bits(want[0])) << c.name << " n_cols=" << n_cols << " seed=" << seed;
        ASSERT_EQ(bits(got[1]), bits(want[1])) << c.name << " n_cols=" << n_cols << " seed=" << seed;
        ASSERT_EQ(got_next, values_after(seed, draws)) << c.name << " n_cols=" << n_cols;
    }
}

}  // namespace

// One value per index while the generator covers the columns; then two up to
// 2³⁰ columns, and three beyond, for a 15-bit generator.
TEST(WideDraws, ValuesPerIndex) {
    EXPECT_EQ(draws_per_index<Rand15>(2), 1);
    EXPECT_EQ(draws_per_index<Rand15>(32768), 1);
    EXPECT_EQ(draws_per_index<Rand15>(32769), 2);
    EXPECT_EQ(draws_per_index<Rand15>(1 << 30), 2);
    EXPECT_EQ(draws_per_index<Rand15>((1 << 30) + 1), 3);
    EXPECT_EQ(draws_per_index<Rand15>(INT32_MAX), 3);
    if (RAND_MAX >= INT32_MAX - 1) {  // glibc, macOS: one value, whatever n_cols
        EXPECT_EQ(draws_per_index<CRand>(INT32_MAX), 1);
    }
}

// Up to 32768 columns a 15-bit generator gives exactly rand15() % n_cols, two
// values per attempt; beyond, four, and every column can come up.
TEST(WideDraws, MatchReferenceAroundTheGeneratorsRange) {
    std::mt19937_64 gen(15);
    std::normal_distribution<double> normal(0.0, 1.0);
    for (int32_t n_cols : {2, 3, 32767, 32768, 32769, 40000, 100000}) {
        for (int32_t n_rows : {1, 3}) {
            std::vector<double> A(size_t(n_cols) * n_rows), B(A.size());
            for (double& x : A) x = normal(gen);
            for (double& x : B) x = normal(gen);
            for (int32_t n_trials : {1, 2, 7, 500}) {
                const unsigned seed = static_cast<unsigned>(gen());
                expect_same_as_reference<Rand15>(A.data(), B.data(), n_cols, n_rows, n_trials, seed);
                expect_same_as_reference<CRand>(A.data(), B.data(), n_cols, n_rows, n_trials, seed);
            }
        }
    }
}

// The columns past the 15-bit range are reached, up to the largest n_cols.
// With n_rows = 0 every score ties and the first drawn pair is returned.
TEST(WideDraws, ColumnsPastTheRangeAreDrawn) {
    const auto first_pair = frames<Rand15>()[0].select;
    for (int32_t n_cols : {100000, (1 << 30) + 7, INT32_MAX}) {
        int64_t largest = 0;
        for (unsigned seed = 1; seed <= 40; ++seed) {
            expect_same_as_reference<Rand15>(nullptr, nullptr, n_cols, 0, 3, seed);
            double out[2];
            std::srand(seed);
            first_pair(nullptr, nullptr, n_cols, 0, 3, out);
            largest = std::max({largest, int64_t(out[0]), int64_t(out[1])});
            ASSERT_LE(out[0], n_cols);
            ASSERT_LE(out[1], n_cols);
        }
        // 80 indices drawn evenly: the largest lies in the top tenth.
        EXPECT_GT(largest, n_cols - n_cols / 10) << n_cols;
    }
}

