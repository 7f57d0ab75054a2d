#pragma once

// The first-order stationarity measure behind certificate (b):
//
//   min over symmetric Λ and ξ ∈ ∂h(X) of ‖∇f + ξ − X·Λ‖_F,
//
// the norm of the least-norm element of the projected subdifferential. For a
// fixed Λ the best ξ is entrywise, so the measure is min_Λ √ψ(Λ) with
// ψ(Λ) = ‖R(∇f − X·Λ)‖², R the least-norm shift by ∂h: y + λ·sign(x) where
// x ≠ 0, the soft threshold of y by λ where x = 0. ψ is convex and
// continuously differentiable with a piecewise-constant generalized Hessian
// 2·H (multiplier.h), so semismooth Newton with a line search finds its
// minimum; the linear systems are solved by conjugate gradients.

#include <cstdint>

#include "method_internal.h"

namespace method {

struct StationarityReport {
    double value = 0;         // √ψ at the multiplier reached
    double gradient = 0;      // ‖sym(Xᵀ·R)‖_F there (½‖∇ψ‖ in matrix form)
    int32_t newton = 0;       // Newton steps taken
    int64_t cg = 0;           // conjugate-gradient iterations over all of them
    // The gradient reached its tolerance: value is the minimum to that
    // accuracy. Otherwise value is only an upper bound, and a certificate
    // must not rest on it.
    bool converged = false;
};

StationarityReport stationarity_measure(const Problem& p, const double* Xt, const double* AXt);

}  // namespace method
