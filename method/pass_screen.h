#pragma once

// A certificate pass that settles pairs in groups.
//
// A pass shows, for every pair P = (i, j) of rows of X, that no step
// X(P, :) ← V·X(P, :), V ∈ O(2), lowers F by more than a threshold τ. Near a
// sparse stationary point most rows of X are zero, and the pairs fall into
// three kinds:
//
// - Both rows zero. V·0 = 0: X does not change, the gain is exactly 0. Such
//   pairs are counted, never looked at.
//
// - Row i = z nonzero, row j zero. The new rows are (V₁₁·z, V₂₁·z), and the
//   first column (c, s) = (V₁₁, V₂₁) runs over the whole unit circle in
//   either family of O(2), so the best step of the pair is the best point of
//   one circle. With D = (c − 1, s)ᵀ·z, m = rows of A·X + E, the smooth part
//   changes by ⟨D, M(P, :)⟩ + ½⟨D, A(P, P)·D⟩ and the L1 term by
//   (|c| + |s| − 1)·ℓ, ℓ = Σ_k λ_k·|z_k|; so with u = 1 − c the gain is
//
//     g(c, s) = u·a − ½q·u²·A_ii − s·b_j + q·u·s·A_ij − ½q·s²·A_jj − (|c| + |s| − 1)·ℓ,
//
//   a = ⟨z, m_i⟩, q = ‖z‖², b_j = ⟨z, m_j⟩. It depends on j only through
//   b_j, A_ij and A_jj. With |b_j| ≤ B, |A_ij| ≤ α_i, −A_jj ≤ β and u, q ≥ 0,
//   s·(q·u·A_ij − b_j) ≤ |s|·(q·u·α_i + B) and −½q·s²·A_jj ≤ ½q·s²·β, so
//
//     g(c, s) ≤ G_B(c, |s|) = u·a − ½q·u²·A_ii + |s|·(q·u·α_i + B) + ½q·s²·β − (|c| + |s| − 1)·ℓ
//
//   for every such j at once. G_B depends on |s| only, and on each quarter
//   circle s ≥ 0, sign(c) fixed, it is a quadratic form plus a linear form
//   in (c, s) (u² = 1 − 2c + c², s² = 1 − c², constants times c² + s²), whose
//   least and largest values are found exactly from the roots of a quartic.
//   G_B grows with B, so once G_B ≤ τ is shown, every zero row j whose key
//   (an upper bound of |b_j| with its rounding) is at most B is settled. Near
//   a stationary point |m_jk| ≤ λ_k on a zero row, so |b_j| ≤ ℓ and the
//   first-order term |s|·(B − ℓ) is not positive: most zero rows settle.
//
// - Both rows nonzero, and the few pairs above whose key is too large: one by
//   one, by their own bound and the 2×2 solve (the caller's visit).
//
// The pairs are visited in the order of the plain pass (i < j, row-major), and
// every decision reads X and A·X as they are at that moment: a step taken
// during the pass voids the group data (a counter of steps tells), which is
// rebuilt before its next use. So a pass that takes no step has shown the
// bound for every pair at the final point, and a pass that takes steps takes
// the same steps as a pass that solves every pair whose bound exceeds τ.

#include <cstdint>
#include <functional>
#include <vector>

#include "method_internal.h"

namespace method {

// Least value over the unit circle of qcc·c² + qcs·c·s + qss·s² + lc·c + ls·s;
// with (gc, gs) ≠ (0, 0) only over the arc gc·c ≥ 0, gs·s ≥ 0. The stationary
// points are found as roots of a quartic in tan(θ/2); the axis points (arc
// ends) are always candidates. Shared with pair_bound.
double circle_minimum(double qcc, double qcs, double qss, double lc, double ls, double gc = 0,
                      double gs = 0);

// A lower bound, in closed form (no roots), of the same least value (over the
// arc when (gc, gs) ≠ (0, 0)), tight to second order when (1, 0) is a strict
// local minimum. pair_bound's first stages.
double circle_minimum_floor(double qcc, double qcs, double qss, double lc, double ls,
                            double gc = 0, double gs = 0);

// What the gains of the pairs (i, j), row i = z nonzero and row j zero, share.
struct ZeroRowGroup {
    double a = 0;      // ⟨z, m_i⟩
    double q = 0;      // ‖z‖²
    double l1 = 0;     // Σ_k λ_k·|z_k|
    double aii = 0;    // A(i, i)
    double alpha = 0;  // ≥ |A(i, j)| for every j ≠ i
    double beta = 0;   // ≥ −A(j, j) for every j
    double size = 0;   // magnitude of the terms, for the rounding margin
    int32_t r = 0;
};

// The group of row i, from the current X and row i of A·X (ax_i, r doubles);
// alpha and beta come from the caller (they depend on A only).
ZeroRowGroup zero_row_group(const Problem& p, const double* Xt, const double* ax_i, int32_t i,
                            double alpha, double beta);

// An upper bound, rounding included, of the gain of every pair (i, j) with row
// j zero and |b_j| ≤ B: the largest value of G_B over the half circle plus a
// margin, and never below 0 (V = I gains nothing).
double zero_row_bound(const ZeroRowGroup& group, double B);

// An upper bound of |b_j| = |⟨X(i, :), (A·X + E)(j, :)⟩| that covers the
// rounding of its own computation; ax_j is row j of A·X (r doubles).
double zero_row_key(const Problem& p, const double* Xt, int32_t i, const double* ax_j, int32_t j);

// The reads of A that the bounds make (one place, for other storages of A).
double diagonal_entry(const Problem& p, int32_t i);
// Largest |A(i, j)| over j ≠ i.
double largest_offdiagonal(const Problem& p, int32_t i);

// What the pass asks of its caller for a pair it cannot settle in bulk: the
// caller bounds or solves it (and takes the step when it gains more than the
// threshold). gain is the pair's gain as solved, or the bound that settled it.
struct PairVisit {
    double gain = 0;
    bool moved = false;
    bool stop = false;   // the run must end now
};

struct PassHooks {
    std::function<const double*(int32_t)> product_row;   // row i of A·X as it is now
    std::function<double()> threshold;                   // τ, as it is now
    std::function<PairVisit(int32_t, int32_t)> visit;    // one pair, one by one
    std::function<bool(int64_t)> stopped;                // asked once per row, with the
                                                         // pairs dealt with so far
};

struct PassTally {
    int64_t touched = 0;     // pairs handed to visit
    int64_t settled = 0;     // pairs settled in bulk (zero rows)
    double largest = 0;      // largest gain solved or bound of a pair settled
    int64_t moves = 0;       // steps taken during the pass
    bool complete = false;   // every pair was looked at (no stop)
};

// Runs passes over all pairs with the data that lives across them: which rows
// of X are zero, the bounds on A (computed once: A does not change), and the
// group data of the nonzero rows.
class PassScreen {
public:
    explicit PassScreen(const Problem& p);

    // One pass. Xt is read through the vector at every use, since the caller
    // may swap its storage when it takes a step; rows of A·X come from
    // hooks.product_row.
    PassTally pass(const std::vector<double>& Xt, const PassHooks& hooks);

private:
    struct Group {
        ZeroRowGroup data;
        int64_t epoch = -1;     // the pass's step count when data was taken
        double settled = -1;    // largest key shown to settle (−1: none)
        double bound = 0;       // the bound shown for it
        double refused = 1e300; // least key shown not to settle
    };

    bool row_is_zero(const std::vector<double>& Xt, int32_t i) const;
    void classify(const std::vector<double>& Xt);
    // Settles (nonzero row i, zero row j) by its key, or hands it on.
    bool settle(const std::vector<double>& Xt, int32_t i, int32_t j, const PassHooks& hooks,
                PassTally& tally);
    void visit(int32_t i, int32_t j, const std::vector<double>& Xt, const PassHooks& hooks,
               PassTally& tally);

    const Problem& p_;
    std::vector<double> alpha_;          // largest_offdiagonal per row, NaN until read
    double beta_ = 0;
    std::vector<unsigned char> zero_;    // row of X zero (kept current through the pass)
    std::vector<int32_t> nonzero_;       // rows not zero, ascending
    std::vector<Group> groups_;
    int64_t epoch_ = 0;
    bool stop_ = false;
};

}  // namespace method
