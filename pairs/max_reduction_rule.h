#pragma once

// The objective-reduction rule of the pair selectors, internal to pairs/: its scores
// and its slots in the sampling frame (pair_frame.h).

#include <cmath>
#include <cstdint>

#include "common/constants.h"
#include "column_pointers.h"
#include "pair_frame.h"
#include "pair_lanes.h"

// Objective reduction: the least linear change ⟨Bᵢ, Aᵢ′ − Aᵢ⟩ + ⟨Bⱼ, Aⱼ′ − Aⱼ⟩
// over all recombinations [Aᵢ′, Aⱼ′] = [Aᵢ, Aⱼ]·V with V orthogonal 2×2.
// With h = ⟨Bᵢ, Aᵢ⟩, l = ⟨Bⱼ, Aⱼ⟩, m = ⟨Bᵢ, Aⱼ⟩, o = ⟨Bⱼ, Aᵢ⟩ and t = l + h the
// change is V₁₁h + V₂₁m + V₁₂o + V₂₂l − t, whose minimum is
//   −t − √((m − o)² + t²)          over the rotations  [[c, s], [−s, c]],
//   −t − √((o + m)² + (l − h)²)    over the reflections [[−c, s], [s, c]].
// The squares are not scaled: when one of them overflows, its root is +∞ and
// the score −∞, which no later pair can beat. Swapping i and j swaps h with l
// and m with o and leaves every rounded intermediate's magnitude as it was,
// so the score is symmetric bit for bit.

namespace pair_rules {

using pair_frame::PairColumns;

inline double reduction(double h, double l, double m, double o) {
    const double t = l + h;
    const double d = m - o;
    const double u = std::sqrt(d * d + t * t);
    const double e = o + m;
    const double f = l - h;
    const double w = std::sqrt(e * e + f * f);

    const double s1 = (-t) - u;  // best rotation
    const double s2 = (-t) - w;  // best reflection
    // On a tie, and whenever either value is NaN, the reflection's value stands.
    return s1 < s2 ? s1 : s2;
}

struct MaxReductionRule {
    static constexpr double initial_best = SENTINEL;
    static bool improves(double score, double best) { return score < best; }

    // The scores of C pairs from one pass over the rows.
    //
    // The four products of a pair read only the four columns Aᵢ, Aⱼ, Bᵢ, Bⱼ, and
    // each element is loaded once: with a = {Aᵢ[r], Aⱼ[r]}, row r adds Bᵢ[r]·a to
    // the lanes {h, m} and Bⱼ[r]·a to the lanes {o, l}. Each lane is one running
    // sum from +0 in ascending row order, as the literal product takes it; what
    // the pass gains is that the 4·C sums no longer wait on one another's
    // additions, and that each column is read once, not once per product.
    //
    // Three pairs are as many as fit in the registers of baseline x86-64: twelve
    // column pointers, six sums and the temporaries.
    template <int C, typename L>
    static void scores(const PairColumns* pairs, int64_t n_rows, double* out) {
        using V = typename L::V;
        const ColumnPointers<C> col(pairs);
        V hm[C];  // {h, m}: Bᵢ against Aᵢ and Aⱼ
        V ol[C];  // {o, l}: Bⱼ against Aᵢ and Aⱼ
        for (int k = 0; k < C; ++k) {
            hm[k] = L::make(0.0, 0.0);
            ol[k] = L::make(0.0, 0.0);
        }
        for (int64_t r = 0; r < n_rows; ++r) {
            pair_frame::unrolled<C>([&](auto k) {
                const V a = L::make(col.a_i[k][r], col.a_j[k][r]);
                const double bi = col.b_i[k][r];
                const double bj = col.b_j[k][r];
                hm[k] = L::add(hm[k], L::mul(L::make(bi, bi), a));
                ol[k] = L::add(ol[k], L::mul(L::make(bj, bj), a));
            });
        }
        for (int k = 0; k < C; ++k) {
            const double h = L::low(hm[k]);
            const double m = L::high(hm[k]);
            const double o = L::low(ol[k]);
            const double l = L::high(ol[k]);
            out[k] = reduction(h, l, m, o);
        }
    }
};

}  // namespace pair_rules
