#pragma once

// The maximum-violation rule of the pair selectors, internal to pairs/: its scores
// and its slots in the sampling frame (pair_frame.h).

#include <cmath>
#include <cstdint>

#include "common/constants.h"
#include "pair_frame.h"
#include "pair_lanes.h"

// Maximum violation: the magnitude of entry (i, j) of the skew-symmetric
// matrix AᵀB − BᵀA, |⟨Aᵢ, Bⱼ⟩ − ⟨Bᵢ, Aⱼ⟩|. The difference is rounded and then
// its sign bit cleared, so (j, i) scores exactly as (i, j).

namespace pair_rules {

using pair_frame::PairColumns;

// The scores of C pairs from one pass over the rows.
//
// Pair k has two products, p = ⟨Aᵢ, Bⱼ⟩ and q = ⟨Bᵢ, Aⱼ⟩, carried as the low
// and high lane of sums[k]. The rows go two at a time: one load brings rows
// r and r + 1 of a column, one multiplication forms both rows' terms of p,
// another those of q, and the terms are regrouped by row, so that row r's
// terms {p, q} are added before row r + 1's. Each lane is therefore one
// running sum from +0 in ascending row order, as the literal product takes
// it; what the pass gains is that the 2·C sums no longer wait on one
// another's additions, and that every element is loaded once for two rows.
//
// Three pairs are as many as fit in the registers of baseline x86-64: twelve
// column pointers, three sums and the temporaries. A fourth pair would spill.
template <int C, typename L>
PAIR_KERNEL_INLINE void violation_scores(const PairColumns* pairs, int64_t n_rows, double* scores) {
    using V = typename L::V;
    const double* a_i[C];
    const double* a_j[C];
    const double* b_i[C];
    const double* b_j[C];
    V sums[C];
    for (int k = 0; k < C; ++k) {
        a_i[k] = pairs[k].a_i;
        a_j[k] = pairs[k].a_j;
        b_i[k] = pairs[k].b_i;
        b_j[k] = pairs[k].b_j;
        sums[k] = L::make(0.0, 0.0);
    }
    int64_t r = 0;
    for (; r + 1 < n_rows; r += 2) {
        pair_frame::unrolled<C>([&](auto k) {
            const V p = L::mul(L::load(a_i[k] + r), L::load(b_j[k] + r));
            const V q = L::mul(L::load(b_i[k] + r), L::load(a_j[k] + r));
            sums[k] = L::add(sums[k], L::lows(p, q));   // row r
            sums[k] = L::add(sums[k], L::highs(p, q));  // row r + 1
        });
    }
    if (r < n_rows) {  // the last row of an odd count
        pair_frame::unrolled<C>([&](auto k) {
            const V x = L::make(a_i[k][r], b_i[k][r]);
            const V y = L::make(b_j[k][r], a_j[k][r]);
            sums[k] = L::add(sums[k], L::mul(x, y));
        });
    }
    for (int k = 0; k < C; ++k) {
        const double p = L::low(sums[k]);
        const double q = L::high(sums[k]);
        scores[k] = std::fabs(p - q);
    }
}

struct MaxViolationRule {
    static constexpr double initial_best = -SENTINEL;
    template <int C, typename L>
    static void scores(const PairColumns* pairs, int64_t n_rows, double* scores) {
        violation_scores<C, L>(pairs, n_rows, scores);
    }
    static bool improves(double score, double best) { return score > best; }
};

}  // namespace pair_rules
