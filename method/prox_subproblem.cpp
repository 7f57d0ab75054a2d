#include "prox_subproblem.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "multiplier.h"
#include "tolerances.h"

namespace method {
namespace {

namespace tl = tolerances;

// ‖XᵀX − I‖_F, with D = XᵀX − I left in D.
double orthonormality_defect(int32_t n, int32_t r, const double* Xt, double* D)
{
    cross(n, r, Xt, Xt, D);
    double defect = 0;
    for (int32_t a = 0; a < r; ++a) {
        D[a + r * a] -= 1;
        for (int32_t b = 0; b < r; ++b) defect += D[a + r * b] * D[a + r * b];
    }
    return std::sqrt(defect);
}

// The state of the semismooth Newton iteration for the proximal direction:
// B = X − t·∇f, and V(Λ), its mask and the tangency defect E(Λ) at the
// current Λ (in Vt, work.W, E) and at a trial.
class ProxNewton {
public:
    ProxNewton(const Problem& p, const double* Xt, const double* Gt, double t)
        : p_(p), Xt_(Xt), t_(t), work_(p.n, p.r), Bt_(work_.total), Vtrial_(work_.total),
          XV_(static_cast<size_t>(p.r) * p.r), E_(XV_.size()), Etrial_(XV_.size())
    {
        for (size_t k = 0; k < work_.total; ++k) Bt_[k] = Xt[k] - t * Gt[k];
    }

    // ‖E‖² at the start value Λ, with V(Λ) in Vt.
    double start(const double* multiplier, double* Vt)
    {
        return defect(multiplier, Vt, work_.W.data(), E_.data());
    }

    // One damped Newton step from Λ, whose V is in Vt and whose ‖E‖² is
    // merit; both are updated. Returns false when the iteration should end
    // (the line search failed or the step gained next to nothing).
    bool step(double* multiplier, double* Vt, double& merit, ProxReport& rep)
    {
        const int32_t m = work_.m;
        std::vector<double>& g = work_.g;
        basis_pairing(work_.ix, E_.data(), g.data());
        double gnorm = 0;
        for (int32_t u = 0; u < m; ++u) {
            g[u] = -g[u];
            gnorm += g[u] * g[u];
        }
        gnorm = std::sqrt(gnorm);
        // The Jacobian of E is 4t·H. Levenberg–Marquardt: a shift that grows
        // with the residual keeps the step bounded where a column of the
        // mask is empty (H singular), and fades near the solution, where
        // the iteration becomes Newton's. The forcing term min(forcing_max, ‖E‖)
        // of the inexact solve keeps the local convergence superlinear.
        MultiplierSystem H(work_.ix, p_.n, Xt_, work_.W.data(), 4 * t_, 0.0);
        H.set_shift(tl::guard_shift(4 * t_ * H.mean_diagonal()) + 4 * t_ * gnorm);
        const double eta = std::max(tl::forcing_min, std::min(tl::forcing_max, std::sqrt(merit)));
        rep.cg += conjugate_gradients(H, g.data(), work_.delta.data(), eta, tl::defect_cg_steps)
                      .iterations;
        ++rep.newton;
        double next = merit;
        const bool accepted = backtrack_multiplier(
            work_, multiplier, tl::defect_backtracks,
            [&](const double* L) {
                return defect(L, Vtrial_.data(), work_.Wtrial.data(), Etrial_.data());
            },
            [&](double value, double s) { return value <= (1 - tl::armijo * s) * merit; }, next);
        if (!accepted) return false;
        std::copy(work_.trial.begin(), work_.trial.end(), multiplier);
        std::copy(Vtrial_.begin(), Vtrial_.end(), Vt);
        work_.W.swap(work_.Wtrial);
        E_.swap(Etrial_);
        const double gain = merit - next;
        merit = next;
        return !(gain <= tl::defect_stall * merit);
    }

private:
    // V(Λ) = soft(X − t·∇f + 2t·XΛ, t·λ) − X, and the tangency defect
    // E(Λ) = XᵀV + VᵀX; mask marks the entries that pass the threshold.
    // Returns ‖E‖².
    double defect(const double* Lam, double* V, unsigned char* mask, double* E)
    {
        const int32_t r = p_.r;
        double* lx = work_.lx.data();
        for_each_multiplier_row(p_.n, r, Xt_, Lam, lx, [&](size_t at, const double* x) {
            for (int32_t b = 0; b < r; ++b) {
                const double y = Bt_[at + b] + 2 * t_ * lx[b];
                const double thr = t_ * p_.lambda[b];
                const bool passes = std::fabs(y) > thr;
                const double u = passes ? y - thr * sign_of(y) : 0;
                mask[at + b] = passes ? 1 : 0;
                V[at + b] = u - x[b];
            }
        });
        cross(p_.n, r, Xt_, V, XV_.data());
        double sum = 0;
        for (int32_t b = 0; b < r; ++b) {
            for (int32_t a = 0; a < r; ++a) {
                const double e = XV_[a + r * b] + XV_[b + r * a];
                E[a + r * b] = e;
                sum += e * e;
            }
        }
        return sum;
    }

    const Problem& p_;
    const double* Xt_;
    double t_;
    NewtonWork work_;
    std::vector<double> Bt_, Vtrial_, XV_, E_, Etrial_;
};

// What the tangency defect must reach: defect_tol when given, else a
// fraction of what the retraction corrects anyway, ‖V‖² (XᵀX − I after
// X + V is XᵀV + VᵀX + VᵀV); near convergence that is tight.
double defect_tolerance(double defect_tol, const double* Vt, size_t total)
{
    if (defect_tol > 0) return defect_tol;
    double v2 = 0;
    for (size_t k = 0; k < total; ++k) v2 += Vt[k] * Vt[k];
    return std::max(tl::defect_floor, tl::defect_ratio * v2);
}

}  // namespace

bool orthonormalize_on_pattern(int32_t n, int32_t r, double* Xt, const unsigned char* free)
{
    const size_t rr = static_cast<size_t>(r) * r;
    const SymIndex ix(r);
    const int32_t m = ix.size();
    std::vector<double> D(rr), g(m), k(m), K(rr), step(r);
    for (int it = 0; it < tl::orthonormal_steps; ++it) {
        const double defect = orthonormality_defect(n, r, Xt, D.data());
        // The rounding floor of ‖XᵀX − I‖_F grows with r (r² entries, each
        // a sum of n products).
        if (defect <= std::max(tl::orthonormal_floor, tl::orthonormal_floor_per_column * r)) {
            return true;
        }
        if (it == tl::orthonormal_steps - 1 || !(defect < tl::orthonormal_reach)) return false;
        // XᵀΔ + ΔᵀX = −D for Δ = W∘(X·K) reads H·k = −½⟨D, basis⟩. The
        // quadratic term ΔᵀΔ is of the order of defect², so a small relative
        // residual in the linear solve keeps the convergence quadratic down
        // to the rounding level within a few steps.
        basis_pairing(ix, D.data(), g.data());
        for (double& v : g) v = -0.5 * v;
        MultiplierSystem H(ix, n, Xt, free, 1.0, 0.0);
        H.set_shift(tl::guard_shift(H.mean_diagonal()));
        conjugate_gradients(H, g.data(), k.data(), tl::orthonormal_cg);
        move_multiplier(ix, nullptr, k.data(), 1.0, K.data());
        for (int32_t i = 0; i < n; ++i) {
            double* x = Xt + static_cast<size_t>(r) * i;
            const unsigned char* w = free + static_cast<size_t>(r) * i;
            multiplier_row(r, K.data(), x, step.data());
            for (int32_t b = 0; b < r; ++b) {
                if (w[b]) x[b] += step[b];
            }
        }
    }
    return false;
}

double prox_direction(const Problem& p, const double* Xt, const double* Gt, double t,
                      double* multiplier, double* Vt, double defect_tol, ProxReport* report)
{
    const size_t total = static_cast<size_t>(p.n) * p.r;
    ProxNewton newton(p, Xt, Gt, t);
    ProxReport rep;
    double merit = newton.start(multiplier, Vt);
    for (int it = 0; it < tl::defect_newton_steps; ++it) {
        if (std::sqrt(merit) <= defect_tolerance(defect_tol, Vt, total)) break;
        if (!newton.step(multiplier, Vt, merit, rep)) break;
    }
    rep.defect = std::sqrt(merit);
    rep.tolerance = defect_tolerance(defect_tol, Vt, total);
    rep.converged = rep.defect <= rep.tolerance;
    if (report) *report = rep;
    return rep.defect;
}

}  // namespace method
