#include "pass_screen.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "tolerances.h"

namespace method {
namespace {

namespace tl = tolerances;

// Row i of A·X + E is row i of A·X plus Et(:, i); Et may be absent (E = 0).
const double* linear_row(const Problem& p, int32_t i)
{
    return p.Et.empty() ? nullptr : p.Et.data() + static_cast<size_t>(p.r) * i;
}

}  // namespace

double diagonal_entry(const Problem& p, int32_t i) { return p.A.diag[i]; }

double largest_offdiagonal(const Problem& p, int32_t i)
{
    // Any upper bound serves; O(n) once per row and run at most.
    const Operator& A = p.A;
    double largest = 0;
    switch (A.kind) {
    case OperatorKind::dense: {
        // A is symmetric: column i is row i, and contiguous.
        const double* column = A.dense + static_cast<size_t>(p.n) * i;
        for (int32_t l = 0; l < p.n; ++l) {
            if (l != i) largest = std::max(largest, std::fabs(column[l]));
        }
        break;
    }
    case OperatorKind::sparse:
        for (int64_t k = A.col_start[i]; k < A.col_start[i + 1]; ++k) {
            if (A.row_index[k] != i) largest = std::max(largest, std::fabs(A.value[k]));
        }
        break;
    case OperatorKind::gram: {
        // A = scale·DᵀD: by Cauchy–Schwarz |A(i, l)| ≤ sqrt(|A(i, i)|·|A(l, l)|).
        double top = 0;
        for (int32_t l = 0; l < p.n; ++l) {
            if (l != i) top = std::max(top, std::fabs(A.diag[l]));
        }
        largest = std::sqrt(std::fabs(A.diag[i]) * top) * (1 + tl::cauchy_schwarz_margin);
        break;
    }
    }
    return largest;
}

ZeroRowGroup zero_row_group(const Problem& p, const double* Xt, const double* ax_i, int32_t i,
                            double alpha, double beta)
{
    const int32_t r = p.r;
    const double* z = Xt + static_cast<size_t>(r) * i;
    const double* mi = ax_i;
    const double* ei = linear_row(p, i);
    ZeroRowGroup g;
    double a_size = 0;
    for (int32_t k = 0; k < r; ++k) {
        const double m = ei ? mi[k] + ei[k] : mi[k];
        g.a += z[k] * m;
        a_size += std::fabs(z[k] * m);
        g.q += z[k] * z[k];
        g.l1 += p.lambda[k] * std::fabs(z[k]);
    }
    g.aii = diagonal_entry(p, i);
    g.alpha = alpha;
    g.beta = beta;
    g.r = r;
    g.size = (a_size + g.l1) + g.q * ((std::fabs(g.aii) + alpha) + std::fabs(beta));
    return g;
}

double zero_row_bound(const ZeroRowGroup& g, double B)
{
    // G_B on the quarter circle s ≥ 0, σ·c ≥ 0, where |c| = σ·c, written as
    // qcc·c² + qcs·c·s + qss·s² + lc·c + ls·s with the constant
    // C0 = a − ½q·A_ii + ℓ carried by c² + s² = 1:
    //   u·a               = a − a·c
    //   −½q·A_ii·u²       = −½q·A_ii + q·A_ii·c − ½q·A_ii·c²
    //   s·(q·u·α + B)     = (q·α + B)·s − q·α·c·s
    //   ½q·β·s²
    //   −(σ·c + s − 1)·ℓ  = ℓ − σ·ℓ·c − ℓ·s
    // (At c = 1, s = 0 the value is 0: the identity gains nothing.)
    const double half_q_aii = 0.5 * g.q * g.aii;
    const double c0 = (g.a - half_q_aii) + g.l1;
    const double qcc = c0 - half_q_aii;
    const double qcs = -g.q * g.alpha;
    const double qss = c0 + 0.5 * g.q * g.beta;
    const double ls = (g.q * g.alpha + B) - g.l1;
    double largest = 0;
    for (double sigma : {1.0, -1.0}) {
        const double lc = (g.q * g.aii - g.a) - sigma * g.l1;
        largest = std::max(largest, -circle_minimum(-qcc, -qcs, -qss, -lc, -ls, sigma, 1.0));
    }
    // Each coefficient sums a few terms of at most size + B, each with the
    // rounding of an r-term sum; the margin covers them and the root finder.
    const double margin = tl::group_margin * (g.r + 8) * (g.size + B);
    return largest + margin;
}

double zero_row_key(const Problem& p, const double* Xt, int32_t i, const double* ax_j, int32_t j)
{
    const int32_t r = p.r;
    const double* z = Xt + static_cast<size_t>(r) * i;
    const double* mj = ax_j;
    const double* ej = linear_row(p, j);
    double b = 0, size = 0;
    for (int32_t k = 0; k < r; ++k) {
        const double t = z[k] * (ej ? mj[k] + ej[k] : mj[k]);
        b += t;
        size += std::fabs(t);
    }
    // |fl(Σ t_k) − Σ t_k| ≤ (r + 1)·eps·Σ|t_k| for the products and the sum.
    return std::fabs(b) + tl::key_margin * (r + 2) * size;
}

PassScreen::PassScreen(const Problem& p) : p_(p)
{
    alpha_.assign(static_cast<size_t>(p.n), std::numeric_limits<double>::quiet_NaN());
    beta_ = -std::numeric_limits<double>::infinity();
    for (int32_t j = 0; j < p.n; ++j) beta_ = std::max(beta_, -diagonal_entry(p, j));
    groups_.resize(static_cast<size_t>(p.n));
}

bool PassScreen::row_is_zero(const std::vector<double>& Xt, int32_t i) const
{
    const double* z = Xt.data() + static_cast<size_t>(p_.r) * i;
    for (int32_t k = 0; k < p_.r; ++k) {
        if (z[k] != 0) return false;
    }
    return true;
}

void PassScreen::classify(const std::vector<double>& Xt)
{
    const int32_t n = p_.n;
    zero_.resize(static_cast<size_t>(n));
    nonzero_.clear();
    for (int32_t i = 0; i < n; ++i) {
        zero_[i] = row_is_zero(Xt, i);
        if (!zero_[i]) nonzero_.push_back(i);
    }
}

PassTally PassScreen::pass(const std::vector<double>& Xt, const PassHooks& hooks)
{
    const int32_t n = p_.n;
    PassTally tally;
    stop_ = false;
    ++epoch_;
    classify(Xt);
    for (int32_t i = 0; i + 1 < n; ++i) {
        if (hooks.stopped(tally.touched + tally.settled)) return tally;
        int32_t j = i + 1;
        while (j < n && !stop_) {
            if (!zero_[i]) {
                if (!zero_[j] || !settle(Xt, i, j, hooks, tally)) visit(i, j, Xt, hooks, tally);
                ++j;
                continue;
            }
            // Row i is zero: the zero rows up to the next nonzero one pair
            // with it for a gain of exactly 0.
            const auto next_it = std::lower_bound(nonzero_.begin(), nonzero_.end(), j);
            const int32_t next = next_it == nonzero_.end() ? n : *next_it;
            tally.settled += next - j;
            if (next >= n) break;
            if (!settle(Xt, next, i, hooks, tally)) visit(i, next, Xt, hooks, tally);
            j = next + 1;
        }
        if (stop_) return tally;
    }
    tally.complete = true;
    return tally;
}

bool PassScreen::settle(const std::vector<double>& Xt, int32_t i, int32_t j,
                        const PassHooks& hooks, PassTally& tally)
{
    Group& g = groups_[i];
    if (g.epoch != epoch_) {
        if (std::isnan(alpha_[i])) alpha_[i] = largest_offdiagonal(p_, i);
        g.data = zero_row_group(p_, Xt.data(), hooks.product_row(i), i, alpha_[i], beta_);
        g.epoch = epoch_;
        g.settled = -1;
        g.bound = 0;
        g.refused = std::numeric_limits<double>::infinity();
    }
    // The bound grows with the key, so one evaluation settles every smaller
    // key and one refusal every larger one.
    const double key = zero_row_key(p_, Xt.data(), i, hooks.product_row(j), j);
    if (key <= g.settled) {
        ++tally.settled;
        tally.largest = std::max(tally.largest, g.bound);
        return true;
    }
    if (key >= g.refused) return false;
    const double bound = zero_row_bound(g.data, key);
    if (bound <= hooks.threshold()) {
        g.settled = key;
        g.bound = bound;
        ++tally.settled;
        tally.largest = std::max(tally.largest, bound);
        return true;
    }
    g.refused = key;
    return false;
}

void PassScreen::visit(int32_t i, int32_t j, const std::vector<double>& Xt,
                       const PassHooks& hooks, PassTally& tally)
{
    const PairVisit v = hooks.visit(i, j);
    ++tally.touched;
    tally.largest = std::max(tally.largest, v.gain);
    if (v.moved) {
        // X and A·X changed: every group's data is void. Rows i and j may
        // have become zero or nonzero, and so may others when the step
        // brought a refresh of X; the flags are taken again (O(n·r), the
        // order of the step itself).
        ++epoch_;
        ++tally.moves;
        classify(Xt);
    }
    if (v.stop) stop_ = true;
}

}  // namespace method
