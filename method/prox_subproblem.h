#pragma once

// The proximal-gradient subproblem on the Stiefel manifold and the
// restoration of XᵀX = I on a fixed pattern of entries. Both are Newton
// iterations in a symmetric r×r multiplier whose linear systems are solved
// matrix-free by conjugate gradients (multiplier.h), so a step costs a few
// O(n·r²) products for every r ≤ n.

#include <cstdint>

#include "method_internal.h"

namespace method {

struct ProxReport {
    double defect = 0;        // ‖XᵀV + VᵀX‖_F at the end
    double tolerance = 0;     // what the defect had to reach
    int32_t newton = 0;       // Newton steps taken
    int64_t cg = 0;           // conjugate-gradient iterations over all of them
    bool converged = false;   // defect ≤ tolerance
};

// The ManPG direction at Xt for step size t: V = prox_{t·h}(X − t·(∇f − 2·X·Λ)) − X
// with the symmetric Λ that makes V tangent (XᵀV + VᵀX = 0). multiplier (Λ, r×r) is
// the start value on entry (a warm start) and the one found on return.
// Vt (r×n) receives Vᵀ. The defect need only reach defect_tol; 0 asks for
// max(defect_floor, defect_ratio·‖V‖²) (tolerances.h), what the retraction
// corrects anyway. Returns ‖XᵀV + VᵀX‖_F at the end.
double prox_direction(const Problem& p, const double* Xt, const double* Gt, double t,
                      double* multiplier, double* Vt, double defect_tol = 0,
                      ProxReport* report = nullptr);

// Restores XᵀX = I (to the rounding level, orthonormal_floor in
// tolerances.h) by changing only the entries marked in free (r×n, transposed
// like Xt): Newton steps Δ = W∘(X·K), K symmetric, on the constraint, so
// that exact zeros stay exact. Returns false, with Xt in an undefined state,
// when it does not converge (it starts only from ‖XᵀX − I‖_F below
// orthonormal_reach).
bool orthonormalize_on_pattern(int32_t n, int32_t r, double* Xt, const unsigned char* free);

}  // namespace method
