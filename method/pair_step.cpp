#include <algorithm>
#include <cmath>

#include "method_internal.h"
#include "orthogonal_2x2.h"
#include "pass_screen.h"
#include "polynomial_roots.h"
#include "tolerances.h"

namespace method {
namespace {

namespace tl = tolerances;

// a² + b² − 1 to about eps²: each square is split exactly into a head and a
// tail (Veltkamp's splitting; no fused multiply-add is needed or allowed),
// the heads are combined first (p − 1 is exact for p in [½, 2]) and the
// tails added after.
double unit_defect(double a, double b)
{
    constexpr double split = 134217729.0;  // 2^27 + 1
    const double pa = a * a;
    double t = split * a;
    const double ah = t - (t - a), al = a - ah;
    const double ea = ((ah * ah - pa) + 2 * ah * al) + al * al;
    const double pb = b * b;
    t = split * b;
    const double bh = t - (t - b), bl = b - bh;
    const double eb = ((bh * bh - pb) + 2 * bh * bl) + bl * bl;
    return ((pa - 1) + pb) + (ea + eb);
}

// Rows i and j of X, of A·X and of E (null when E = 0), each r contiguous
// doubles of the transposed arrays.
struct PairRows {
    const double *zi, *zj, *ai, *aj, *ei, *ej;
};

PairRows pair_rows(const Problem& p, const double* Xt, const double* ai, const double* aj,
                   int32_t i, int32_t j)
{
    const size_t r = static_cast<size_t>(p.r);
    const double* Et = p.Et.empty() ? nullptr : p.Et.data();
    return {Xt + r * i, Xt + r * j, ai, aj, Et ? Et + r * i : nullptr, Et ? Et + r * j : nullptr};
}

PairRows pair_rows(const Problem& p, const double* Xt, const double* AXt, int32_t i, int32_t j)
{
    const size_t r = static_cast<size_t>(p.r);
    return pair_rows(p, Xt, AXt + r * i, AXt + r * j, i, j);
}

PairRows pair_rows(const Problem& p, const double* Xt, Products& AX, int32_t i, int32_t j)
{
    const double* ai = AX.row(i);
    const double* aj = AX.row(j);
    return pair_rows(p, Xt, ai, aj, i, j);
}

// The sums over the columns that the pair model is built from: S = Z·Zᵀ,
// M·Zᵀ, the linearised L1 term W (and O, its part over the columns where
// both rows are nonzero), the L1 mass of the columns where only one row is
// nonzero, and the L1 and L2 sizes.
struct ModelSums {
    double s11 = 0, s12 = 0, s22 = 0, m11 = 0, m12 = 0, m21 = 0, m22 = 0;
    double w11 = 0, w12 = 0, w21 = 0, w22 = 0, l1 = 0, l2 = 0;
    double o11 = 0, o12 = 0, o21 = 0, o22 = 0, only_i = 0, only_j = 0;
};

ModelSums model_sums(const Problem& p, const PairRows& rows_ij)
{
    const int32_t r = p.r;
    const double *zi = rows_ij.zi, *zj = rows_ij.zj, *ai = rows_ij.ai, *aj = rows_ij.aj;
    const double *ei = rows_ij.ei, *ej = rows_ij.ej;

    // M = (A·X + E)(P, :), S = Z·Zᵀ and M·Zᵀ, with Z = X(P, :). W is the
    // linearisation of the L1 term: for any σ_k with |σ_k| ≤ 1 entrywise,
    // ‖V·Z_k‖₁ ≥ ⟨σ_k, V·Z_k⟩ for every V, with equality at V = I when σ_k is
    // the sign of Z_k where Z_k ≠ 0. Where Z_k is zero σ is free; the choice
    // clip(−m/λ, −1, 1) (the least-norm subgradient) makes the bound tight to
    // first order, so a first-order stationary pair gets a small bound.
    ModelSums t;
    // Entries below tl::residue_zero in size (the polar retraction leaves
    // such residues where the proximal step made zeros) are treated as
    // zeros: that costs the bound at most 2·λ·|z| at V = I, which it accounts
    // for, and keeps it from seeing a full kink of λ in an entry that cannot
    // carry it.
    auto sigma = [](double z, double m, double lam) {
        if (z > tl::residue_zero) return 1.0;
        if (z < -tl::residue_zero) return -1.0;
        const double q = -m / lam;
        return q > 1 ? 1.0 : (q < -1 ? -1.0 : q);
    };
    for (int32_t k = 0; k < r; ++k) {
        const double mi = ei ? ai[k] + ei[k] : ai[k];
        const double mj = ej ? aj[k] + ej[k] : aj[k];
        t.s11 += zi[k] * zi[k];
        t.s12 += zi[k] * zj[k];
        t.s22 += zj[k] * zj[k];
        t.m11 += mi * zi[k];
        t.m12 += mi * zj[k];
        t.m21 += mj * zi[k];
        t.m22 += mj * zj[k];
        const double lam = p.lambda[k];
        if (lam > 0 && zi[k] == 0 && zj[k] != 0) {
            t.only_j += lam * std::fabs(zj[k]);
        } else if (lam > 0 && zj[k] == 0 && zi[k] != 0) {
            t.only_i += lam * std::fabs(zi[k]);
        } else if (lam > 0 && zi[k] != 0 && zj[k] != 0) {
            const double si = lam * sigma(zi[k], mi, lam), sj = lam * sigma(zj[k], mj, lam);
            t.o11 += si * zi[k];
            t.o21 += sj * zi[k];
            t.o12 += si * zj[k];
            t.o22 += sj * zj[k];
        }
        if (lam > 0 && (zi[k] != 0 || zj[k] != 0)) {
            const double si = lam * sigma(zi[k], mi, lam), sj = lam * sigma(zj[k], mj, lam);
            t.w11 += si * zi[k];
            t.w21 += sj * zi[k];
            t.w12 += si * zj[k];
            t.w22 += sj * zj[k];
            t.l1 += lam * (std::fabs(zi[k]) + std::fabs(zj[k]));
            t.l2 += lam * std::sqrt(zi[k] * zi[k] + zj[k] * zj[k]);
        }
    }
    return t;
}

void model_of_rows(const Problem& p, const PairRows& rows_ij, int32_t i, int32_t j,
                   PairModel& model)
{
    const ModelSums t = model_sums(p, rows_ij);
    const double s11 = t.s11, s12 = t.s12, s22 = t.s22;
    const double m11 = t.m11, m12 = t.m12, m21 = t.m21, m22 = t.m22;
    const double kii = p.A.entry(i, i);
    const double kij = p.A.entry(i, j);
    const double kjj = p.A.entry(j, j);

    // For X(P, :) ← V·Z the smooth part changes by exactly
    //   ½·vec(V)ᵀ·kron(S, K)·vec(V) + ⟨M·Zᵀ − K·S, V⟩ − ⟨Z, M⟩ + ½·⟨K, S⟩,
    // K = A(P, P): with D = (V − I)·Z the change is ⟨D, M⟩ + ½⟨D, K·D⟩, and
    // ⟨(V − I)Z, K(V − I)Z⟩ = tr(VᵀKVS) − 2⟨V, KS⟩ + ⟨K, S⟩ for symmetric K, S.
    const double K[4] = {kii, kij, kij, kjj};
    const double S[4] = {s11, s12, s12, s22};
    for (int b = 0; b < 2; ++b) {
        for (int d = 0; d < 2; ++d) {
            for (int a = 0; a < 2; ++a) {
                for (int c = 0; c < 2; ++c) {
                    model.Q[(a + 2 * b) + 4 * (c + 2 * d)] = S[b + 2 * d] * K[a + 2 * c];
                }
            }
        }
    }
    model.G[0] = m11 - (kii * s11 + kij * s12);
    model.G[1] = m21 - (kij * s11 + kjj * s12);
    model.G[2] = m12 - (kii * s12 + kij * s22);
    model.G[3] = m22 - (kij * s12 + kjj * s22);
    const double zm = m11 + m22;
    const double ks = 0.5 * ((kii * s11 + 2 * kij * s12) + kjj * s22);
    model.offset = ks - zm;
    model.size = (std::fabs(zm) + std::fabs(ks)) + (std::fabs(model.G[0]) + std::fabs(model.G[1]) +
                                                   std::fabs(model.G[2]) + std::fabs(model.G[3]));
    for (double q : model.Q) model.size += std::fabs(q);
    model.W[0] = t.w11;
    model.W[1] = t.w21;
    model.W[2] = t.w12;
    model.W[3] = t.w22;
    model.l1 = t.l1;
    model.O[0] = t.o11;
    model.O[1] = t.o21;
    model.O[2] = t.o12;
    model.O[3] = t.o22;
    model.only_i = t.only_i;
    model.only_j = t.only_j;
    model.l2 = t.l2;
    model.kii = kii;
    model.kij = kij;
    model.kjj = kjj;
}

}  // namespace

// Least value over the unit circle of qcc·c² + qcs·c·s + qss·s² + lc·c + ls·s.
// The stationary points are the roots in t = tan(θ/2) of
//   (qcs − ls)·t⁴ − (4·(qss − qcc) + 2·lc)·t³ − 6·qcs·t² + (4·(qss − qcc) − 2·lc)·t + (qcs + ls),
// the derivative times (1 + t²)²; θ = π (t = ∞) and the axis points are
// added. The polynomial is scaled to unit size first, so that the root
// finder's absolute test for negligible leading terms acts relatively.
// With quadrant = (γ, ς) ≠ (0, 0) only the points with γ·c ≥ 0 and ς·s ≥ 0
// count.
double circle_minimum(double qcc, double qcs, double qss, double lc, double ls, double gc,
                      double gs)
{
    auto value = [&](double c, double s) { return ((qcc * c * c + qcs * c * s) + qss * s * s) + (lc * c + ls * s); };
    const bool arc = gc != 0;
    double best = arc ? std::min(value(gc, 0), value(0, gs))
                      : std::min(std::min(value(1, 0), value(-1, 0)), std::min(value(0, 1), value(0, -1)));
    double coef[5] = {qcs - ls, -(4 * (qss - qcc) + 2 * lc), -6 * qcs, 4 * (qss - qcc) - 2 * lc,
                      qcs + ls};
    double big = 0;
    for (double c : coef) big = std::max(big, std::fabs(c));
    if (!(big > 0)) return best;
    for (double& c : coef) c /= big;
    double roots[4];
    const int32_t count = polynomial_real_roots(coef[0], coef[1], coef[2], coef[3], coef[4], roots);
    for (int32_t k = 0; k < count; ++k) {
        const double t = roots[k];
        if (!std::isfinite(t)) continue;
        const double d = 1 + t * t;
        const double c = (1 - t * t) / d, sn = 2 * t / d;
        if (arc && (gc * c < 0 || gs * sn < 0)) continue;
        best = std::min(best, value(c, sn));
    }
    return best;
}

// A lower bound, in closed form, of the least value over the unit circle of
//   q(c, s) = qcc·c² + qcs·c·s + qss·s² + lc·c + ls·s,
// measured from the point (1, 0), where q = qcc + lc. With c = cos θ,
// s = sin θ, u = sin θ and v = 1 − cos θ (so u² = v·(2 − v) ≤ 2·v):
//   q(θ) − q(0) = g·u − 2·b·u² − qcs·u·v − lc·v,
// g = qcs + ls (the derivative at θ = 0), b = (qcc − qss)/2. Bounding
// −2·b·u² ≥ −4·max(b, 0)·v and −qcs·u·v ≥ −|qcs|·v gives
//   q(θ) − q(0) ≥ g·u + κ·v,   κ = −lc − 4·max(b, 0) − |qcs|.
// Over the whole circle, g·u ≥ −|g|·|u|; for κ > 0 the right side is least
// at |u| = √(2v), where it is −g²/(2κ) (and never below −|g|, since κ·v ≥ 0
// and |u| ≤ 1); otherwise v ≤ 2 gives −|g| + 2κ. So near a strict local
// minimum at (1, 0) the bound is of second order in the derivative there,
// as the true drop is.
// On the arc gc·c ≥ 0, gs·s ≥ 0 (gc, gs = ±1): for gc = 1 the arc starts at
// θ = 0 with v ≤ 1 and u of the sign of gs, so g·u = gs·g·|u| is no loss
// when gs·g ≥ 0 (the one-sided derivative along the arc is not negative:
// the bound is min(κ, 0)) and as above otherwise, with v ≤ 1; for gc = −1
// the arc has v ≥ 1, where g·u + κ·v ≥ −|g| + κ for κ ≥ 0 (−|g| + 2κ
// otherwise).
// Rounding: g is raised and κ lowered by 4·eps of the sums of the sizes of
// their terms, so that the computed drop is not below the exact one of the
// given coefficients beyond a few eps of itself; the caller adds a margin
// of 16·eps of the coefficient sizes for the rest (q(0), the quotient, the
// final subtraction).
double circle_minimum_floor(double qcc, double qcs, double qss, double lc, double ls, double gc,
                            double gs)
{
    const double at_one = qcc + lc;
    const double slope = qcs + ls;
    const double slack = tl::circle_slack * (std::fabs(qcs) + std::fabs(ls));
    const double g = std::fabs(slope) + slack;
    const double b = 0.5 * (qcc - qss);
    const double kappa = (-lc - 4 * std::max(b, 0.0)) - std::fabs(qcs);
    const double k = kappa - tl::circle_slack * ((std::fabs(lc) + 4 * (std::fabs(qcc) + std::fabs(qss))) +
                                        std::fabs(qcs));
    double drop;
    if (gc == 0) {
        drop = k > 0 ? std::min(g, (g * g) / (2 * k)) : g - 2 * k;
    } else if (gc > 0) {
        // Along the arc the slope is gs·slope; it is no loss when that is
        // surely not negative.
        if (gs * slope - slack >= 0) {
            drop = k > 0 ? 0.0 : -k;
        } else {
            drop = k > 0 ? std::min(g, (g * g) / (2 * k)) : g - k;
        }
    } else {
        drop = k >= 0 ? g - k : g - 2 * k;
    }
    return at_one - drop;
}

namespace {

// The circle problem of one family on one quadrant (gc, gs) of (c, s): in a
// column where only one of the two rows is nonzero, both new entries are c
// or s times that entry, so their signs are fixed within the quadrant and
// the L1 term there is exactly linear; the columns where both rows are
// nonzero keep the linearisation.
struct QuadrantProblem {
    CircleProblem c;
    double gc, gs;
};

void quadrant_problems(const PairModel& model, double* coef, QuadrantProblem out[8])
{
    int k = 0;
    for (Family family : {Family::rotation, Family::reflection}) {
        const double f = family == Family::rotation ? 1.0 : -1.0;
        for (double gc : {1.0, -1.0}) {
            for (double gs : {1.0, -1.0}) {
                const double Gq[4] = {model.G[0] + model.O[0] + f * gc * model.only_i,
                                      model.G[1] + model.O[1] - f * gs * model.only_i,
                                      model.G[2] + model.O[2] + gs * model.only_j,
                                      model.G[3] + model.O[3] + gc * model.only_j};
                out[k++] = {family_problem(family, model.Q, Gq, 0.0, coef, coef, 0, coef, coef),
                            gc, gs};
            }
        }
    }
}

}  // namespace

namespace {

// The sizes of a circle problem's coefficients, against which its rounding
// margins are set.
double coefficient_size(const CircleProblem& c)
{
    return ((std::fabs(c.quad_cc) + std::fabs(c.quad_cs)) + std::fabs(c.quad_ss)) +
           (std::fabs(c.lin_c) + std::fabs(c.lin_s));
}

// The decrease bound of F from the least value of the circle problems.
double decrease_bound(const PairModel& model, double least, double l1, double margin)
{
    return -((least + model.offset) - l1) + margin;
}

// The closed-form stages, without roots: the linearised problem bounded
// below in closed form around (c, s) = (1, 0) of each family, that is around
// V = I for the rotations and V = diag(1, −1) for the reflections. At a
// certified point V = I is a strict local minimum for most pairs and the
// bound is then of second order in the first-order residual; when it settles
// the pair the quartic roots are not needed. It is never below the
// linearised bound (a lower bound of the same minimum), so settling here
// settles no pair that the root-based stages would not. Returns true, with
// the bound in settled, when a stage settles the pair; otherwise quadrant
// holds the eight quadrant problems for the root-based stages.
bool closed_form_settles(const PairModel& model, const CircleProblem& rot,
                         const CircleProblem& ref, double margin, double threshold,
                         double* coef, QuadrantProblem quadrant[8], double& settled)
{
    auto floor_of = [](const CircleProblem& c, double gc = 0, double gs = 0) {
        return circle_minimum_floor(c.quad_cc, c.quad_cs, c.quad_ss, c.lin_c, c.lin_s, gc, gs);
    };
    const double floor_rot = floor_of(rot), floor_ref = floor_of(ref);
    const double closed_margin =
        tl::closed_margin * (coefficient_size(rot) + coefficient_size(ref));
    settled = -((std::min(floor_rot, floor_ref) + model.offset) - model.l1) +
              (margin + closed_margin);
    if (settled <= threshold) return true;

    // The same per quadrant, still in closed form: where only one row of a
    // column is nonzero the L1 term keeps its kink at V = I, which shows as
    // a one-sided slope of the right sign along each arc that starts at
    // (1, 0).
    quadrant_problems(model, coef, quadrant);
    double floor_q = INFINITY, size_q = 0;
    for (int k = 0; k < 8; ++k) {
        floor_q = std::min(floor_q, floor_of(quadrant[k].c, quadrant[k].gc, quadrant[k].gs));
        size_q = std::max(size_q, coefficient_size(quadrant[k].c));
    }
    settled = -((floor_q + model.offset) - model.l1) + (margin + tl::quadrant_margin * size_q);
    return settled <= threshold;
}

// The bound from the plain ‖V·Z_k‖₁ ≥ ‖Z_k‖₂ in place of the linearisation:
// the smooth part over both families, and the L1 term lowered by l1 − l2.
double plain_bound(const PairModel& model, double* coef, double margin)
{
    double least_smooth = INFINITY;
    for (Family family : {Family::rotation, Family::reflection}) {
        const CircleProblem c =
            family_problem(family, model.Q, model.G, 0.0, coef, coef, 0, coef, coef);
        least_smooth = std::min(
            least_smooth, circle_minimum(c.quad_cc, c.quad_cs, c.quad_ss, c.lin_c, c.lin_s));
    }
    return decrease_bound(model, least_smooth, model.l1 - model.l2, margin);
}

}  // namespace

double pair_bound(const PairModel& model, double threshold)
{
    // F changes by at least the smooth part plus the linearised L1 term,
    // ⟨V, W⟩ − ‖Z‖₁, minimised exactly over both families of O(2).
    const double G[4] = {model.G[0] + model.W[0], model.G[1] + model.W[1],
                         model.G[2] + model.W[2], model.G[3] + model.W[3]};
    // The linearisation is exact at V = I but loose far from it, where the
    // plain bound ‖V·Z_k‖₁ ≥ ‖Z_k‖₂ is often better; F's change is above
    // both, so the smaller of the two decrease bounds holds.
    double coef[2] = {0, 0};
    const double w = std::fabs(model.W[0]) + std::fabs(model.W[1]) + std::fabs(model.W[2]) +
                     std::fabs(model.W[3]);
    const double margin = tl::bound_margin * ((model.size + model.l1) + w);
    const CircleProblem rot = family_problem(Family::rotation, model.Q, G, 0.0, coef, coef, 0, coef, coef);
    const CircleProblem ref = family_problem(Family::reflection, model.Q, G, 0.0, coef, coef, 0, coef, coef);
    QuadrantProblem quadrant[8];
    double settled = 0;
    if (closed_form_settles(model, rot, ref, margin, threshold, coef, quadrant, settled)) {
        return settled;
    }
    double least = INFINITY;
    for (const CircleProblem* c : {&rot, &ref}) {
        least = std::min(least, circle_minimum(c->quad_cc, c->quad_cs, c->quad_ss, c->lin_c, c->lin_s));
    }
    const double linearised = decrease_bound(model, least, model.l1, margin);
    if (!(model.l2 > 0) || linearised <= threshold) return linearised;

    // Per quadrant of (c, s): in a column where only one of the two rows is
    // nonzero, both new entries are c or s times that entry, so their signs
    // are fixed within the quadrant and the L1 term there is exactly linear.
    // Only the columns where both rows are nonzero keep the linearisation.
    double least_q = INFINITY;
    for (const QuadrantProblem& q : quadrant) {
        const CircleProblem& c = q.c;
        least_q = std::min(least_q, circle_minimum(c.quad_cc, c.quad_cs, c.quad_ss, c.lin_c,
                                                   c.lin_s, q.gc, q.gs));
    }
    const double quadrants = decrease_bound(model, least_q, model.l1, margin);
    if (quadrants <= threshold) return quadrants;
    return std::min(std::min(linearised, quadrants), plain_bound(model, coef, margin));
}

double pair_step(const Problem& p, const double* Xt, const double* AXt, int32_t i, int32_t j,
                 double* rows, double* floor)
{
    PairModel model;
    pair_model(p, Xt, AXt, i, j, model);
    return pair_step(p, Xt, AXt, i, j, model, rows, floor);
}

namespace {

double step_of_rows(const Problem& p, const PairRows& rows_ij, const PairModel& model,
                    double* rows, double* floor)
{
    const int32_t r = p.r;
    const double *zi = rows_ij.zi, *zj = rows_ij.zj, *ai = rows_ij.ai, *aj = rows_ij.aj;
    const double *ei = rows_ij.ei, *ej = rows_ij.ej;
    const double kii = model.kii, kij = model.kij, kjj = model.kjj;

    // The L1 term Σ_k λ_k·(|row i| + |row j|) is ‖V·[z1; z2]‖₁ with the
    // entries scaled by their column's weight: the solver's lambda is 1.
    double* z1 = rows;
    double* z2 = rows + r;
    for (int32_t k = 0; k < r; ++k) {
        z1[k] = p.lambda[k] * zi[k];
        z2[k] = p.lambda[k] * zj[k];
    }
    double V[4];
    solve_orthogonal_2x2(model.Q, model.G, 1.0, z1, z2, r, V);

    // V is orthogonal only to the rounding of its cosine and sine, with a
    // bias that would let XᵀX − I grow with the number of steps; one Newton
    // step V ← V·(1 − δ/2), δ = c² + s² − 1 formed to eps², removes it.
    const double delta = unit_defect(V[0], V[1]);
    if (delta != 0) {
        for (double& v : V) v = v - v * (0.5 * delta);
    }

    // New rows; entries below the rounding level of their own formation
    // (8·eps·(|z1k| + |z2k|)) are exact zeros, the kinks of the L1 term that
    // the solver aims at. So are entries below 8·eps: the columns of X have
    // unit norm, so such an entry is below the rounding level of every sum
    // it enters, yet as a nonzero it would carry a full kink.
    double df = 0, dh = 0, level = 0;
    double dii = 0, dij = 0, djj = 0;
    for (int32_t k = 0; k < r; ++k) {
        double yi = V[0] * zi[k] + V[2] * zj[k];
        double yj = V[1] * zi[k] + V[3] * zj[k];
        if (p.lambda[k] > 0) {
            const double snap = tl::rounding_zero * std::max(1.0, std::fabs(zi[k]) + std::fabs(zj[k]));
            if (std::fabs(yi) <= snap) yi = 0;
            if (std::fabs(yj) <= snap) yj = 0;
        }
        const double di = yi - zi[k], dj = yj - zj[k];
        const double mi = ei ? ai[k] + ei[k] : ai[k];
        const double mj = ej ? aj[k] + ej[k] : aj[k];
        df += di * mi + dj * mj;
        dii += di * di;
        dij += di * dj;
        djj += dj * dj;
        const double hk = (std::fabs(yi) - std::fabs(zi[k])) + (std::fabs(yj) - std::fabs(zj[k]));
        dh += p.lambda[k] * hk;
        level += std::fabs(di * mi) + std::fabs(dj * mj) +
                 p.lambda[k] * (std::fabs(di) + std::fabs(dj));
        rows[k] = yi;
        rows[r + k] = yj;
    }
    const double curvature = 0.5 * ((kii * dii + 2 * kij * dij) + kjj * djj);
    level += 0.5 * ((std::fabs(kii) * dii + 2 * std::fabs(kij * dij)) + std::fabs(kjj) * djj);
    *floor = tl::step_floor * level;
    return (df + curvature) + dh;
}

}  // namespace

void pair_model(const Problem& p, const double* Xt, const double* AXt, int32_t i, int32_t j,
                PairModel& model)
{
    model_of_rows(p, pair_rows(p, Xt, AXt, i, j), i, j, model);
}

void pair_model(const Problem& p, const double* Xt, Products& AX, int32_t i, int32_t j,
                PairModel& model)
{
    model_of_rows(p, pair_rows(p, Xt, AX, i, j), i, j, model);
}

double pair_step(const Problem& p, const double* Xt, const double* AXt, int32_t i, int32_t j,
                 const PairModel& model, double* rows, double* floor)
{
    return step_of_rows(p, pair_rows(p, Xt, AXt, i, j), model, rows, floor);
}

double pair_step(const Problem& p, const double* Xt, Products& AX, int32_t i, int32_t j,
                 const PairModel& model, double* rows, double* floor)
{
    return step_of_rows(p, pair_rows(p, Xt, AX, i, j), model, rows, floor);
}

}  // namespace method
