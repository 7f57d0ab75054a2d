#include <cmath>

#include "common/constants.h"
#include "lanes2.h"
#include "pair_frame.h"
#include "pair_select.h"

// Maximum violation: the magnitude of entry (i, j) of the skew-symmetric
// matrix AᵀB − BᵀA, |⟨Aᵢ, Bⱼ⟩ − ⟨Bᵢ, Aⱼ⟩|. The difference is rounded and then
// its sign bit cleared, so (j, i) scores exactly as (i, j).

namespace {

using pair_frame::PairColumns;
using pair_lanes::Lanes2;

// The scores of C pairs from one pass over the rows.
//
// Pair k has two products, p = ⟨Aᵢ, Bⱼ⟩ and q = ⟨Bᵢ, Aⱼ⟩, carried as the low
// and high lane of sums[k]. The rows go two at a time: one load brings rows
// r and r + 1 of a column, one multiplication forms both rows' terms of p,
// another those of q, and the terms are regrouped by row, so that row r's
// terms {p, q} are added before row r + 1's. Each lane is therefore one
// running sum from +0 in ascending row order, exactly as column_dot takes
// it; what the pass gains is that the 2·C sums no longer wait on one
// another's additions, and that every element is loaded once for two rows.
//
// Three pairs are as many as fit in the registers of baseline x86-64: twelve
// column pointers, three sums and the temporaries. A fourth pair would spill.
template <int C>
void violation_scores(const PairColumns* pairs, int64_t n_rows, double* scores) {
    const double* a_i[C];
    const double* a_j[C];
    const double* b_i[C];
    const double* b_j[C];
    Lanes2 sums[C];
    for (int k = 0; k < C; ++k) {
        a_i[k] = pairs[k].a_i;
        a_j[k] = pairs[k].a_j;
        b_i[k] = pairs[k].b_i;
        b_j[k] = pairs[k].b_j;
        sums[k] = pair_lanes::lanes(0.0, 0.0);
    }
    int64_t r = 0;
    for (; r + 1 < n_rows; r += 2) {
        pair_frame::unrolled<C>([&](auto k) {
            const Lanes2 p = pair_lanes::load_lanes(a_i[k] + r) * pair_lanes::load_lanes(b_j[k] + r);
            const Lanes2 q = pair_lanes::load_lanes(b_i[k] + r) * pair_lanes::load_lanes(a_j[k] + r);
            sums[k] = sums[k] + pair_lanes::lows(p, q);   // row r
            sums[k] = sums[k] + pair_lanes::highs(p, q);  // row r + 1
        });
    }
    if (r < n_rows) {  // the last row of an odd count
        pair_frame::unrolled<C>([&](auto k) {
            const Lanes2 x = pair_lanes::lanes(a_i[k][r], b_i[k][r]);
            const Lanes2 y = pair_lanes::lanes(b_j[k][r], a_j[k][r]);
            sums[k] = sums[k] + x * y;
        });
    }
    for (int k = 0; k < C; ++k) {
        const double p = pair_lanes::low(sums[k]);
        const double q = pair_lanes::high(sums[k]);
        scores[k] = std::fabs(p - q);
    }
}

struct MaxViolationRule {
    static constexpr double initial_best = -SENTINEL;
    template <int C>
    static void scores(const PairColumns* pairs, int64_t n_rows, double* scores) {
        violation_scores<C>(pairs, n_rows, scores);
    }
    static bool improves(double score, double best) { return score > best; }
};

}  // namespace

double max_violation_score(const double* a_i, const double* a_j,
                           const double* b_i, const double* b_j, int64_t n_rows) {
    const PairColumns pair = {a_i, a_j, b_i, b_j};
    double score;
    violation_scores<1>(&pair, n_rows, &score);
    return score;
}

void select_pair_max_violation(const double* A, const double* B, int32_t n_cols,
                               int32_t n_rows, int32_t n_trials, double* out) {
    pair_frame::select_pair<MaxViolationRule>(A, B, n_cols, n_rows, n_trials, out);
}
