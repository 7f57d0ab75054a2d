#include "prox_subproblem.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "multiplier.h"

namespace method {
namespace {

double sign_of(double x) { return x > 0 ? 1.0 : (x < 0 ? -1.0 : 0.0); }

}  // namespace

bool orthonormalize_on_pattern(int32_t n, int32_t r, double* Xt, const unsigned char* free)
{
    const size_t rr = static_cast<size_t>(r) * r;
    const SymIndex ix(r);
    const int32_t m = ix.size();
    std::vector<double> D(rr), g(m), k(m), K(rr), step(r);
    for (int it = 0; it < 10; ++it) {
        cross(n, r, Xt, Xt, D.data());
        double defect = 0;
        for (int32_t a = 0; a < r; ++a) {
            D[a + r * a] -= 1;
            for (int32_t b = 0; b < r; ++b) defect += D[a + r * b] * D[a + r * b];
        }
        defect = std::sqrt(defect);
        // The rounding floor of ‖XᵀX − I‖_F grows with r (r² entries, each
        // a sum of n products): 1e-15 at small r, 1e-14 at r = 50.
        if (defect <= std::max(1e-15, 2e-16 * r)) return true;
        if (it == 9 || !(defect < 1e-2)) return false;
        // XᵀΔ + ΔᵀX = −D for Δ = W∘(X·K) reads H·k = −½⟨D, basis⟩. The
        // quadratic term ΔᵀΔ is of the order of defect², so a relative
        // residual of 1e-10 in the linear solve keeps the convergence
        // quadratic down to the rounding level within a few steps.
        basis_pairing(ix, D.data(), g.data());
        for (double& v : g) v = -0.5 * v;
        MultiplierSystem H(ix, n, Xt, free, 1.0, 0.0);
        H.set_shift(1e-12 * std::max(H.mean_diagonal(), 1e-300) + 1e-300);
        conjugate_gradients(H, g.data(), k.data(), 1e-10);
        move_multiplier(ix, nullptr, k.data(), 1.0, K.data());
        for (int32_t i = 0; i < n; ++i) {
            double* x = Xt + static_cast<size_t>(r) * i;
            const unsigned char* w = free + static_cast<size_t>(r) * i;
            std::fill(step.begin(), step.end(), 0.0);
            for (int32_t c = 0; c < r; ++c) {
                const double xc = x[c];
                if (xc == 0) continue;
                const double* Kc = K.data() + static_cast<size_t>(r) * c;
                for (int32_t b = 0; b < r; ++b) step[b] += xc * Kc[b];
            }
            for (int32_t b = 0; b < r; ++b) {
                if (w[b]) x[b] += step[b];
            }
        }
    }
    return false;
}

double prox_direction(const Problem& p, const double* Xt, const double* Gt, double t,
                      double* Lambda, double* Vt, double defect_tol, ProxReport* report)
{
    const int32_t n = p.n, r = p.r;
    const size_t total = static_cast<size_t>(n) * r, rr = static_cast<size_t>(r) * r;
    const SymIndex ix(r);
    const int32_t m = ix.size();
    std::vector<double> Bt(total), Vtrial(total), XV(rr), Em(rr), Etrial(rr), trial(rr), g(m),
        delta(m), lx(r);
    std::vector<unsigned char> W(total), Wtrial(total);
    for (size_t k = 0; k < total; ++k) Bt[k] = Xt[k] - t * Gt[k];

    // V(Λ) = soft(X − t·∇f + 2t·XΛ, t·λ) − X, and the tangency defect
    // E(Λ) = XᵀV + VᵀX; mask marks the entries that pass the threshold.
    auto defect = [&](const double* Lam, double* V, unsigned char* mask, double* Eout) {
        for (int32_t i = 0; i < n; ++i) {
            const double* x = Xt + static_cast<size_t>(r) * i;
            const double* bi = Bt.data() + static_cast<size_t>(r) * i;
            double* vi = V + static_cast<size_t>(r) * i;
            unsigned char* wi = mask + static_cast<size_t>(r) * i;
            multiplier_row(r, Lam, x, lx.data());
            for (int32_t b = 0; b < r; ++b) {
                const double y = bi[b] + 2 * t * lx[b];
                const double thr = t * p.lambda[b];
                double u;
                if (std::fabs(y) > thr) {
                    u = y - thr * sign_of(y);
                    wi[b] = 1;
                } else {
                    u = 0;
                    wi[b] = 0;
                }
                vi[b] = u - x[b];
            }
        }
        cross(n, r, Xt, V, XV.data());
        double sum = 0;
        for (int32_t b = 0; b < r; ++b) {
            for (int32_t a = 0; a < r; ++a) {
                const double e = XV[a + r * b] + XV[b + r * a];
                Eout[a + r * b] = e;
                sum += e * e;
            }
        }
        return sum;
    };

    // The defect need only be small against what the retraction corrects
    // anyway, ‖V‖² (XᵀX − I after X + V is XᵀV + VᵀX + VᵀV); near
    // convergence that is tight.
    auto tolerance = [&] {
        if (defect_tol > 0) return defect_tol;
        double v2 = 0;
        for (size_t k = 0; k < total; ++k) v2 += Vt[k] * Vt[k];
        return std::max(1e-13, 1e-3 * v2);
    };
    ProxReport rep;
    double merit = defect(Lambda, Vt, W.data(), Em.data());
    for (int it = 0; it < 40; ++it) {
        if (std::sqrt(merit) <= tolerance()) break;
        basis_pairing(ix, Em.data(), g.data());
        double gnorm = 0;
        for (int32_t u = 0; u < m; ++u) {
            g[u] = -g[u];
            gnorm += g[u] * g[u];
        }
        gnorm = std::sqrt(gnorm);
        // The Jacobian of E is 4t·H. Levenberg–Marquardt: a shift that grows
        // with the residual keeps the step bounded where a column of the
        // mask is empty (H singular), and fades near the solution, where
        // the iteration becomes Newton's. The forcing term min(1e-2, ‖E‖)
        // of the inexact solve keeps the local convergence superlinear.
        MultiplierSystem H(ix, n, Xt, W.data(), 4 * t, 0.0);
        H.set_shift(1e-12 * std::max(4 * t * H.mean_diagonal(), 1e-300) + 1e-300 + 4 * t * gnorm);
        const double eta = std::max(1e-12, std::min(1e-2, std::sqrt(merit)));
        rep.cg += conjugate_gradients(H, g.data(), delta.data(), eta, 200).iterations;
        ++rep.newton;
        double s = 1;
        bool accepted = false;
        double next = merit;
        for (int k = 0; k < 40; ++k, s *= 0.5) {
            move_multiplier(ix, Lambda, delta.data(), s, trial.data());
            next = defect(trial.data(), Vtrial.data(), Wtrial.data(), Etrial.data());
            if (next <= (1 - 1e-4 * s) * merit) {
                accepted = true;
                break;
            }
        }
        if (!accepted) break;
        std::copy(trial.begin(), trial.end(), Lambda);
        std::copy(Vtrial.begin(), Vtrial.end(), Vt);
        W.swap(Wtrial);
        Em.swap(Etrial);
        const double gain = merit - next;
        merit = next;
        if (gain <= 1e-14 * merit) break;
    }
    rep.defect = std::sqrt(merit);
    rep.tolerance = tolerance();
    rep.converged = rep.defect <= rep.tolerance;
    if (report) *report = rep;
    return rep.defect;
}

}  // namespace method
