#pragma once

// The maximum-violation rule of the pair selectors, internal to pairs/: its scores
// and its slots in the sampling frame (pair_frame.h).

#include <cmath>
#include <cstdint>

#include "common/constants.h"
#include "column_pointers.h"
#include "pair_frame.h"
#include "pair_lanes.h"

// Maximum violation: the magnitude of entry (i, j) of the skew-symmetric
// matrix AᵀB − BᵀA, |⟨Aᵢ, Bⱼ⟩ − ⟨Bᵢ, Aⱼ⟩|. The difference is rounded and then
// its sign bit cleared, so (j, i) scores exactly as (i, j).

namespace pair_rules {

using pair_frame::PairColumns;

struct MaxViolationRule {
    static constexpr double initial_best = -SENTINEL;
    static bool improves(double score, double best) { return score > best; }

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
    static void scores(const PairColumns* pairs, int64_t n_rows, double* out) {
        using V = typename L::V;
        const ColumnPointers<C> col(pairs);
        V sums[C];
        for (int k = 0; k < C; ++k) {
            sums[k] = L::make(0.0, 0.0);
        }
        int64_t r = 0;
        for (; r + 1 < n_rows; r += 2) {
            pair_frame::unrolled<C>([&](auto k) {
                const V p = L::mul(L::load(col.a_i[k] + r), L::load(col.b_j[k] + r));
                const V q = L::mul(L::load(col.b_i[k] + r), L::load(col.a_j[k] + r));
                sums[k] = L::add(sums[k], L::lows(p, q));   // row r
                sums[k] = L::add(sums[k], L::highs(p, q));  // row r + 1
            });
        }
        if (r < n_rows) {  // the last row of an odd count
            pair_frame::unrolled<C>([&](auto k) {
                const V x = L::make(col.a_i[k][r], col.b_i[k][r]);
                const V y = L::make(col.b_j[k][r], col.a_j[k][r]);
                sums[k] = L::add(sums[k], L::mul(x, y));
            });
        }
        for (int k = 0; k < C; ++k) {
            const double p = L::low(sums[k]);
            const double q = L::high(sums[k]);
            out[k] = std::fabs(p - q);
        }
    }
};

}  // namespace pair_rules
