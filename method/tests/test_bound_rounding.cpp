// The pair bounds against the best gain of the pair, found in long double
// straight from the change of F, on pairs where the bound is tight: a bound
// that leaves out its rounding margin falls below the true gain there.
//
// For rows P = (i, j) of X, Z = X(P, :), M = (A·X + E)(P, :) and
// K = A(P, P), the step X(P, :) ← V·Z changes F by exactly
//
//   ⟨D, M⟩ + ½·⟨D, K·D⟩ + Σ_k λ_k·(‖V·Z_k‖₁ − ‖Z_k‖₁),   D = (V − I)·Z,
//
// whatever the other rows of X are; the gain is the largest decrease over
// V ∈ O(2) (rotations and reflections by an angle θ). The reference scans θ
// and refines the best points, so it never exceeds the true gain by more
// than the long double rounding: any bound below it is wrong.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>
#include <vector>

#include "method_internal.h"
#include "pass_screen.h"

namespace {

using ld = long double;
constexpr double EPS = std::numeric_limits<double>::epsilon();

// The data of one pair, P = (0, 1): rows of X, rows of A·X + E, and K.
struct PairData {
    int32_t r = 0;
    std::vector<double> zi, zj, mi, mj, lambda;
    double kii = 0, kij = 0, kjj = 0;
};

// F's change under X(P, :) ← V·Z, V = [v11 v12; v21 v22].
ld change(const PairData& d, ld v11, ld v12, ld v21, ld v22)
{
    ld smooth = 0, l1 = 0;
    for (int32_t k = 0; k < d.r; ++k) {
        const ld zi = d.zi[k], zj = d.zj[k];
        const ld ni = v11 * zi + v12 * zj, nj = v21 * zi + v22 * zj;
        const ld di = ni - zi, dj = nj - zj;
        smooth += di * static_cast<ld>(d.mi[k]) + dj * static_cast<ld>(d.mj[k]);
        smooth += 0.5L * (di * (d.kii * di + d.kij * dj) + dj * (d.kij * di + d.kjj * dj));
        l1 += d.lambda[k] * ((std::fabs(ni) + std::fabs(nj)) - (std::fabs(zi) + std::fabs(zj)));
    }
    return smooth + l1;
}

ld gain_at(const PairData& d, bool reflection, ld theta)
{
    const ld c = std::cos(theta), s = std::sin(theta);
    return reflection ? -change(d, c, s, s, -c) : -change(d, c, -s, s, c);
}

// The best gain over O(2): a scan of both families, each best scan point
// refined by golden sections on its two neighbouring intervals. V = I
// (θ = 0 of the rotations, gain exactly 0) is one of the points.
ld best_gain(const PairData& d)
{
    constexpr int points = 180;
    const ld pi = std::acos(-1.0L), h = 2 * pi / points;
    ld best = 0;
    for (bool reflection : {false, true}) {
        std::vector<std::pair<ld, ld>> scan;
        for (int k = 0; k < points; ++k) {
            const ld theta = -pi + h * k;
            scan.push_back({gain_at(d, reflection, theta), theta});
        }
        std::partial_sort(scan.begin(), scan.begin() + 2, scan.end(),
                          [](const auto& a, const auto& b) { return a.first > b.first; });
        for (int top = 0; top < 2; ++top) {
            best = std::max(best, scan[top].first);
            for (ld side : {-1.0L, 1.0L}) {
                ld lo = scan[top].second, hi = scan[top].second + side * h;
                const ld ratio = (std::sqrt(5.0L) - 1) / 2;
                for (int it = 0; it < 64; ++it) {
                    const ld a = hi - ratio * (hi - lo), b = lo + ratio * (hi - lo);
                    const ld ga = gain_at(d, reflection, a), gb = gain_at(d, reflection, b);
                    best = std::max(best, std::max(ga, gb));
                    if (ga >= gb) {
                        hi = b;
                    } else {
                        lo = a;
                    }
                }
            }
        }
    }
    return best;
}

// The magnitude of the terms of the change, for the reference's own
// rounding (long double: 2048 times finer than double).
double term_size(const PairData& d)
{
    double s = 0;
    for (int32_t k = 0; k < d.r; ++k) {
        const double z = std::fabs(d.zi[k]) + std::fabs(d.zj[k]);
        s += z * ((std::fabs(d.mi[k]) + std::fabs(d.mj[k])) + d.lambda[k]) +
             z * z * (std::fabs(d.kii) + 2 * std::fabs(d.kij) + std::fabs(d.kjj));
    }
    return s;
}

// A problem on n rows with X's rows, the rows of A·X (as given, not
// recomputed: the bounds take them as they are) and a dense symmetric A.
struct PairProblem {
    int32_t n = 0, r = 0;
    std::vector<double> A, Xt, AXt;
    method::Problem p;

    void bind(const std::vector<double>& lambda)
    {
        p.n = n;
        p.r = r;
        p.A = method::dense_operator(n, A.data());
        p.lambda = lambda;
    }
};

double log_uniform(std::mt19937_64& rng, double lo, double hi)
{
    return std::pow(10.0, std::uniform_real_distribution<double>(lo, hi)(rng));
}

// A pair of 1 to 4 columns, to be filled.
PairData of_rank(std::mt19937_64& rng)
{
    PairData d;
    d.r = 1 + static_cast<int32_t>(rng() % 4);
    return d;
}

// K = A(P, P), entries of size sk.
void draw_k(PairData& d, double sk, std::normal_distribution<double>& normal, std::mt19937_64& rng)
{
    d.kii = sk * normal(rng);
    d.kij = sk * normal(rng);
    d.kjj = sk * normal(rng);
}

// A pair at which V = I is the best step: each column has its nonzero in one
// row only (so ‖V·Z_k‖₁ ≥ ‖Z_k‖₁, a kink at I), and M = −γ·Z with
// γ ≥ ‖K‖₂, which makes the smooth change ½·γ·‖D‖² + ½·⟨D, K·D⟩ ≥ 0. The
// true gain is 0 (up to the rounding of M), and the bounds' exact values are
// 0 as well: only the margins keep the computed ones from going below.
PairData stationary_pair(std::mt19937_64& rng)
{
    std::normal_distribution<double> normal;
    PairData d = of_rank(rng);
    const double sz = log_uniform(rng, -4, 4), sk = log_uniform(rng, -6, 6), sl = log_uniform(rng, -3, 3);
    draw_k(d, sk, normal, rng);
    const double gamma =
        (std::fabs(d.kii) + std::fabs(d.kjj) + 2 * std::fabs(d.kij)) * (1 + std::fabs(normal(rng)));
    for (int32_t k = 0; k < d.r; ++k) {
        const double z = sz * normal(rng);
        const bool in_i = rng() % 2;
        d.zi.push_back(in_i ? z : 0.0);
        d.zj.push_back(in_i ? 0.0 : z);
        d.mi.push_back(-gamma * d.zi.back());
        d.mj.push_back(-gamma * d.zj.back());
        d.lambda.push_back(sl * gamma * sz * (0.1 + std::fabs(normal(rng))));
    }
    return d;
}

// Any pair: both rows dense, M unrelated to Z; the bound is loose there but
// must hold as well.
PairData random_pair(std::mt19937_64& rng)
{
    std::normal_distribution<double> normal;
    PairData d = of_rank(rng);
    const double sz = log_uniform(rng, -3, 3), sm = log_uniform(rng, -3, 3), sk = log_uniform(rng, -3, 3);
    draw_k(d, sk, normal, rng);
    for (int32_t k = 0; k < d.r; ++k) {
        d.zi.push_back(rng() % 4 ? sz * normal(rng) : 0.0);
        d.zj.push_back(rng() % 4 ? sz * normal(rng) : 0.0);
        d.mi.push_back(sm * normal(rng));
        d.mj.push_back(sm * normal(rng));
        d.lambda.push_back(rng() % 3 ? std::fabs(normal(rng)) * sm * sz : 0.0);
    }
    return d;
}

// F's change when rows P become yi, yj (r doubles each), in long double.
ld change_to_rows(const PairData& d, const double* yi, const double* yj)
{
    ld smooth = 0, l1 = 0;
    for (int32_t k = 0; k < d.r; ++k) {
        const ld di = static_cast<ld>(yi[k]) - d.zi[k], dj = static_cast<ld>(yj[k]) - d.zj[k];
        smooth += di * static_cast<ld>(d.mi[k]) + dj * static_cast<ld>(d.mj[k]);
        smooth += 0.5L * (di * (d.kii * di + d.kij * dj) + dj * (d.kij * di + d.kjj * dj));
        l1 += d.lambda[k] * ((std::fabs(static_cast<ld>(yi[k])) + std::fabs(static_cast<ld>(yj[k]))) -
                             (std::fabs(static_cast<ld>(d.zi[k])) + std::fabs(static_cast<ld>(d.zj[k]))));
    }
    return smooth + l1;
}

// pair_bound at the pair, for a threshold: the stages stop at the first
// whose bound is at most the threshold, so each threshold reaches other
// stages.
PairProblem problem_of(const PairData& d)
{
    PairProblem s;
    s.n = 2;
    s.r = d.r;
    s.A = {d.kii, d.kij, d.kij, d.kjj};
    for (int32_t k = 0; k < d.r; ++k) s.Xt.push_back(d.zi[k]);
    for (int32_t k = 0; k < d.r; ++k) s.Xt.push_back(d.zj[k]);
    for (int32_t k = 0; k < d.r; ++k) s.AXt.push_back(d.mi[k]);
    for (int32_t k = 0; k < d.r; ++k) s.AXt.push_back(d.mj[k]);
    return s;
}

double bound_of(const PairData& d, double threshold)
{
    PairProblem s = problem_of(d);
    s.bind(d.lambda);
    method::PairModel model;
    method::pair_model(s.p, s.Xt.data(), s.AXt.data(), 0, 1, model);
    return method::pair_bound(model, threshold);
}

void expect_pair_bounds_hold(PairData (*make)(std::mt19937_64&), uint64_t seed, int cases)
{
    std::mt19937_64 rng(seed);
    int failures = 0;
    for (int c = 0; c < cases && failures < 5; ++c) {
        const PairData d = make(rng);
        const ld gain = best_gain(d);
        const double slack = 1e-3 * EPS * term_size(d);
        // −∞ runs every stage; 0 and the gain itself let the closed-form
        // stages end the bound where they already reach it.
        // The sharpest bound comes from every stage; a threshold at it lets
        // a closed-form stage end the bound wherever it already reaches it.
        const double sharpest = bound_of(d, -static_cast<double>(INFINITY));
        for (double threshold : {-static_cast<double>(INFINITY), 0.0, static_cast<double>(gain), sharpest}) {
            const double bound = bound_of(d, threshold);
            if (!(bound >= gain - slack)) {
                ++failures;
                ADD_FAILURE() << "case " << c << ", threshold " << threshold << ": bound " << bound
                              << " below the best gain " << static_cast<double>(gain)
                              << " (terms of size " << term_size(d) << ")";
            }
            // The closed-form stages bound the same least values from below
            // (their bound is never sharper), so they settle no pair that the
            // root-based stages would not.
            if (!(bound >= sharpest)) {
                ++failures;
                ADD_FAILURE() << "case " << c << ", threshold " << threshold << ": bound " << bound
                              << " below the sharpest bound " << sharpest;
            }
        }
    }
}

}  // namespace

TEST(BoundRounding, PairBoundNeverBelowTheGainWhereTheIdentityIsBest)
{
    expect_pair_bounds_hold(stationary_pair, 11, 3000);
}

TEST(BoundRounding, PairBoundNeverBelowTheGainOfAnyPair)
{
    expect_pair_bounds_hold(random_pair, 12, 1000);
}

// A nonzero row z = X(0, :) and zero rows 1 and 2. Row 1 is where the group
// bound is tight: ⟨z, m_1⟩ = −(1 + δ)·ℓ (ℓ = Σ λ_k·|z_k|) just beyond the
// kink, so the pair gains about (δ·ℓ)²/(4·κ) along s > 0 for a small δ, with
// A(1, 1) the least diagonal entry (the group's β) and a curvature κ > 0
// from a = ⟨z, m_0⟩ < q·A(1, 1) − ℓ. Gains from about the rounding level up
// to far above it.
TEST(BoundRounding, ZeroRowBoundNeverBelowTheGainOfItsPairs)
{
    std::mt19937_64 rng(13);
    std::normal_distribution<double> normal;
    int failures = 0;
    for (int c = 0; c < 3000 && failures < 5; ++c) {
        PairProblem s;
        s.n = 3;
        s.r = 1 + static_cast<int32_t>(rng() % 4);
        const int32_t r = s.r;
        const double sz = log_uniform(rng, -4, 4), sa = log_uniform(rng, -4, 4);
        std::vector<double> z(r), lambda(r);
        double q = 0, ell = 0;
        for (int32_t k = 0; k < r; ++k) {
            z[k] = sz * normal(rng);
            lambda[k] = sa * sz * std::fabs(normal(rng));
            q += z[k] * z[k];
            ell += lambda[k] * std::fabs(z[k]);
        }
        s.A.assign(9, 0.0);
        const double a11 = sa * normal(rng);
        auto set = [&](int32_t i, int32_t j, double v) { s.A[i + 3 * j] = s.A[j + 3 * i] = v; };
        set(1, 1, a11);
        set(0, 0, a11 + sa * std::fabs(normal(rng)));
        set(2, 2, a11 + sa * std::fabs(normal(rng)));
        set(0, 1, sa * normal(rng));
        set(0, 2, sa * normal(rng));
        set(1, 2, sa * normal(rng));
        const double a = (q * a11 - ell) - q * sa * (0.5 + std::fabs(normal(rng)));
        const double delta = log_uniform(rng, -9, -4);
        const double b1 = -(1 + delta) * ell, b2 = ell * normal(rng);
        s.Xt.assign(static_cast<size_t>(3) * r, 0.0);
        s.AXt.assign(static_cast<size_t>(3) * r, 0.0);
        for (int32_t k = 0; k < r; ++k) {
            s.Xt[k] = z[k];
            s.AXt[k] = (a / q) * z[k];
            s.AXt[r + k] = (b1 / q) * z[k];
            s.AXt[2 * r + k] = (b2 / q) * z[k];
        }
        s.bind(lambda);

        const double alpha = method::largest_offdiagonal(s.p, 0);
        double beta = -INFINITY;
        for (int32_t j = 0; j < 3; ++j) beta = std::max(beta, -method::diagonal_entry(s.p, j));
        const method::ZeroRowGroup group =
            method::zero_row_group(s.p, s.Xt.data(), s.AXt.data(), 0, alpha, beta);
        for (int32_t j = 1; j < 3; ++j) {
            PairData d;
            d.r = r;
            d.zi = z;
            d.zj.assign(r, 0.0);
            d.mi.assign(s.AXt.begin(), s.AXt.begin() + r);
            d.mj.assign(s.AXt.begin() + r * j, s.AXt.begin() + r * (j + 1));
            d.lambda = lambda;
            d.kii = s.A[0];
            d.kij = s.A[3 * j];
            d.kjj = s.A[4 * j];
            const ld gain = best_gain(d);
            const double key = method::zero_row_key(s.p, s.Xt.data(), 0, s.AXt.data() + r * j, j);
            const double bound = method::zero_row_bound(group, key);
            if (!(bound >= gain - 1e-3 * EPS * term_size(d))) {
                ++failures;
                ADD_FAILURE() << "case " << c << ", row " << j << ": group bound " << bound
                              << " below the best gain " << static_cast<double>(gain);
            }
        }
    }
}

// The solved step reports its change of F with a floor, the rounding level
// of that change: the engine takes the step only when the change is below
// −floor. The change of F at the rows it returns, in long double, must lie
// within the floor of the reported one.
TEST(BoundRounding, PairStepChangeWithinItsFloorOfTheTrueChange)
{
    std::mt19937_64 rng(14);
    int failures = 0;
    for (int c = 0; c < 4000 && failures < 5; ++c) {
        const PairData d = c % 2 ? stationary_pair(rng) : random_pair(rng);
        PairProblem s = problem_of(d);
        s.bind(d.lambda);
        std::vector<double> rows(2 * static_cast<size_t>(d.r));
        double floor = -1;
        const double change = method::pair_step(s.p, s.Xt.data(), s.AXt.data(), 0, 1, rows.data(), &floor);
        const ld exact = change_to_rows(d, rows.data(), rows.data() + d.r);
        const ld off = std::fabs(static_cast<ld>(change) - exact);
        if (!(off <= floor + 1e-3 * EPS * term_size(d))) {
            ++failures;
            ADD_FAILURE() << "case " << c << ": change " << change << ", true change "
                          << static_cast<double>(exact) << ", floor " << floor;
        }
    }
}
