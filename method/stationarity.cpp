#include "stationarity.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "manifold.h"
#include "multiplier.h"
#include "tolerances.h"

namespace method {
namespace {

namespace tl = tolerances;

// The semismooth Newton iteration of the stationarity measure: ψ(Λ) = ‖R(Λ)‖²,
// R the least-norm element of ∇f − X·Λ + λ·∂‖X‖₁, minimised over symmetric Λ.
// The current Λ, R and mask are held with a trial of each.
class MeasureNewton {
public:
    MeasureNewton(const Problem& p, const double* Xt, const double* AXt)
        : p_(p), Xt_(Xt), work_(p.n, p.r), Gt_(work_.total), Rt_(work_.total),
          Rtrial_(work_.total), XR_(static_cast<size_t>(p.r) * p.r), multiplier_(XR_.size())
    {
        smooth_gradient(p, AXt, Gt_.data());
        double g2 = 0;
        for (double v : Gt_) g2 += v * v;
        scale_ = std::max(1.0, std::sqrt(g2));
        // Start from the multiplier of the smooth problem, sym(XᵀG).
        const int32_t r = p.r;
        cross(p.n, r, Xt, Gt_.data(), XR_.data());
        for (int32_t b = 0; b < r; ++b) {
            for (int32_t a = 0; a < r; ++a) {
                multiplier_[a + r * b] = 0.5 * (XR_[a + r * b] + XR_[b + r * a]);
            }
        }
        value_ = psi(multiplier_.data(), Rt_.data(), work_.W.data());
        gradient_ = gradient();
    }

    double value() const { return value_; }
    double gradient_norm() const { return gradient_; }

    // Converged when the gradient is negligible against the measure itself
    // or against the scale it is judged on (max(1, ‖∇f‖), where rounding
    // in forming ∇f − X·Λ sets a floor). Semismooth Newton usually ends by
    // landing on the minimiser of the quadratic piece that holds it, with
    // the gradient at the rounding level.
    bool converged() const
    {
        return gradient_ <= std::max(tl::measure_relative * std::sqrt(value_),
                                     tl::measure_floor * scale_);
    }

    // One damped Newton step. Returns false when the iteration should end
    // (no descent direction, or the line search failed).
    bool step(StationarityReport& rep)
    {
        // Newton: H·δ = g (the generalized Hessian of ψ is 2·H). Directions
        // that the mask leaves flat carry no gradient (R vanishes where the
        // mask does), so the tiny shift only guards the rounding.
        std::vector<double>& g = work_.g;
        std::vector<double>& delta = work_.delta;
        MultiplierSystem H(work_.ix, p_.n, Xt_, work_.W.data(), 1.0, 0.0);
        H.set_shift(tl::guard_shift(H.mean_diagonal()));
        rep.cg += conjugate_gradients(H, g.data(), delta.data(), tl::measure_cg).iterations;
        ++rep.newton;
        double slope = 0;  // ∇ψ·δ
        for (int32_t u = 0; u < work_.m; ++u) slope -= 2 * g[u] * delta[u];
        if (!(slope < 0)) return false;
        double next = value_;
        const bool accepted = backtrack_multiplier(
            work_, multiplier_.data(), tl::measure_backtracks,
            [&](const double* L) { return psi(L, Rtrial_.data(), work_.Wtrial.data()); },
            [&](double v, double s) { return v <= value_ + tl::armijo * s * slope; }, next);
        if (!accepted) return false;
        multiplier_.swap(work_.trial);
        Rt_.swap(Rtrial_);
        work_.W.swap(work_.Wtrial);
        value_ = next;
        gradient_ = gradient();
        return true;
    }

private:
    // ψ(Λ), with R and the mask of the entries on a sloped piece of R.
    double psi(const double* Lam, double* R, unsigned char* mask)
    {
        const int32_t r = p_.r;
        double sum = 0;
        double* lx = work_.lx.data();
        for_each_multiplier_row(p_.n, r, Xt_, Lam, lx, [&](size_t at, const double* x) {
            for (int32_t b = 0; b < r; ++b) {
                const double y = Gt_[at + b] - lx[b];
                const double lam = p_.lambda[b];
                double v;
                if (x[b] != 0) {
                    v = y + lam * sign_of(x[b]);
                    mask[at + b] = 1;
                } else if (std::fabs(y) > lam) {
                    v = y - lam * sign_of(y);
                    mask[at + b] = 1;
                } else {
                    v = 0;
                    mask[at + b] = 0;
                }
                R[at + b] = v;
                sum += v * v;
            }
        });
        return sum;
    }

    // g = ⟨XᵀR, basis⟩ = −½∇ψ in coordinates; returns ‖sym(XᵀR)‖_F.
    double gradient()
    {
        const int32_t r = p_.r;
        cross(p_.n, r, Xt_, Rt_.data(), XR_.data());
        basis_pairing(work_.ix, XR_.data(), work_.g.data());
        double s = 0;
        for (int32_t b = 0; b < r; ++b) {
            for (int32_t a = 0; a < r; ++a) {
                const double v = 0.5 * (XR_[a + r * b] + XR_[b + r * a]);
                s += v * v;
            }
        }
        return std::sqrt(s);
    }

    const Problem& p_;
    const double* Xt_;
    NewtonWork work_;
    std::vector<double> Gt_, Rt_, Rtrial_, XR_, multiplier_;
    double scale_ = 1, value_ = 0, gradient_ = 0;
};

}  // namespace

StationarityReport stationarity_measure(const Problem& p, const double* Xt, const double* AXt)
{
    MeasureNewton newton(p, Xt, AXt);
    StationarityReport rep;
    for (int it = 0; it < tl::measure_newton_steps && !newton.converged(); ++it) {
        if (!newton.step(rep)) break;
    }
    rep.value = std::sqrt(newton.value());
    rep.gradient = newton.gradient_norm();
    rep.converged = newton.converged();
    return rep;
}

double stationarity(const Problem& p, const double* Xt, const double* AXt)
{
    return stationarity_measure(p, Xt, AXt).value;
}

}  // namespace method
