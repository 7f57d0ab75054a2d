#include "stationarity.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "manifold.h"
#include "multiplier.h"

namespace method {
namespace {

double sign_of(double x) { return x > 0 ? 1.0 : (x < 0 ? -1.0 : 0.0); }

}  // namespace

StationarityReport stationarity_measure(const Problem& p, const double* Xt, const double* AXt)
{
    const int32_t n = p.n, r = p.r;
    const size_t total = static_cast<size_t>(n) * r, rr = static_cast<size_t>(r) * r;
    const SymIndex ix(r);
    const int32_t m = ix.size();
    std::vector<double> Gt(total), Rt(total), Rtrial(total), XR(rr), Lambda(rr), trial(rr), g(m),
        delta(m), lx(r);
    std::vector<unsigned char> W(total), Wtrial(total);
    smooth_gradient(p, AXt, Gt.data());
    double g2 = 0;
    for (double v : Gt) g2 += v * v;
    const double scale = std::max(1.0, std::sqrt(g2));

    // ψ(Λ), with R and the mask of the entries on a sloped piece of R.
    auto psi = [&](const double* Lam, double* R, unsigned char* mask) {
        double sum = 0;
        for (int32_t i = 0; i < n; ++i) {
            const double* x = Xt + static_cast<size_t>(r) * i;
            const double* gi = Gt.data() + static_cast<size_t>(r) * i;
            double* ri = R + static_cast<size_t>(r) * i;
            unsigned char* wi = mask + static_cast<size_t>(r) * i;
            multiplier_row(r, Lam, x, lx.data());
            for (int32_t b = 0; b < r; ++b) {
                const double y = gi[b] - lx[b];
                const double lam = p.lambda[b];
                double v;
                if (x[b] != 0) {
                    v = y + lam * sign_of(x[b]);
                    wi[b] = 1;
                } else if (std::fabs(y) > lam) {
                    v = y - lam * sign_of(y);
                    wi[b] = 1;
                } else {
                    v = 0;
                    wi[b] = 0;
                }
                ri[b] = v;
                sum += v * v;
            }
        }
        return sum;
    };
    // g = ⟨XᵀR, basis⟩ = −½∇ψ in coordinates; returns ‖sym(XᵀR)‖_F.
    auto gradient = [&] {
        cross(n, r, Xt, Rt.data(), XR.data());
        basis_pairing(ix, XR.data(), g.data());
        double s = 0;
        for (int32_t b = 0; b < r; ++b) {
            for (int32_t a = 0; a < r; ++a) {
                const double v = 0.5 * (XR[a + r * b] + XR[b + r * a]);
                s += v * v;
            }
        }
        return std::sqrt(s);
    };

    // Start from the multiplier of the smooth problem, sym(XᵀG).
    cross(n, r, Xt, Gt.data(), XR.data());
    for (int32_t b = 0; b < r; ++b) {
        for (int32_t a = 0; a < r; ++a) Lambda[a + r * b] = 0.5 * (XR[a + r * b] + XR[b + r * a]);
    }
    StationarityReport rep;
    double value = psi(Lambda.data(), Rt.data(), W.data());
    // Converged when the gradient is negligible against the measure itself
    // or against the scale it is judged on (max(1, ‖∇f‖), where rounding
    // in forming ∇f − X·Λ sets a floor). Semismooth Newton usually ends by
    // landing on the minimiser of the quadratic piece that holds it, with
    // the gradient at the rounding level.
    auto small = [&](double gn) { return gn <= std::max(1e-9 * std::sqrt(value), 1e-13 * scale); };
    double gn = gradient();
    for (int it = 0; it < 100 && !small(gn); ++it) {
        // Newton: H·δ = g (the generalized Hessian of ψ is 2·H). Directions
        // that the mask leaves flat carry no gradient (R vanishes where the
        // mask does), so the tiny shift only guards the rounding.
        MultiplierSystem H(ix, n, Xt, W.data(), 1.0, 0.0);
        H.set_shift(1e-12 * std::max(H.mean_diagonal(), 1e-300) + 1e-300);
        rep.cg += conjugate_gradients(H, g.data(), delta.data(), 1e-8).iterations;
        ++rep.newton;
        double slope = 0;  // ∇ψ·δ
        for (int32_t u = 0; u < m; ++u) slope -= 2 * g[u] * delta[u];
        if (!(slope < 0)) break;
        double s = 1, next = value;
        bool accepted = false;
        for (int k = 0; k < 60; ++k, s *= 0.5) {
            move_multiplier(ix, Lambda.data(), delta.data(), s, trial.data());
            next = psi(trial.data(), Rtrial.data(), Wtrial.data());
            if (next <= value + 1e-4 * s * slope) {
                accepted = true;
                break;
            }
        }
        if (!accepted) break;
        Lambda.swap(trial);
        Rt.swap(Rtrial);
        W.swap(Wtrial);
        value = next;
        gn = gradient();
    }
    rep.value = std::sqrt(value);
    rep.gradient = gn;
    rep.converged = small(gn);
    return rep;
}

double stationarity(const Problem& p, const double* Xt, const double* AXt)
{
    return stationarity_measure(p, Xt, AXt).value;
}

}  // namespace method
