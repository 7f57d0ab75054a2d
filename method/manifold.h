#pragma once

// Steps and measures that move or look at all rows of X at once: the
// proximal-gradient direction on the Stiefel manifold, the first-order
// stationarity measure and the polar retraction. Both the direction and the
// measure reduce to a small problem in a symmetric r×r multiplier Λ, solved
// by semi-smooth Newton over the r(r+1)/2 entries of its upper triangle.

#include <cstdint>
#include <vector>

#include "method.h"

namespace method {

// Largest r for the Newton solves over symmetric r×r multipliers (the prox
// direction, the restoration of XᵀX = I on a pattern, and the exact
// stationarity measure): their dense systems have r(r+1)/2 unknowns. Above
// it the run uses pair steps only, and the measure falls back to a
// diagonally scaled descent, which gives an upper bound (still a valid
// certificate, but a weaker one).
constexpr int32_t MAX_NEWTON_RANK = 20;

// Gradient of the smooth part, transposed: Gt = AXt + Et (r×n).
void smooth_gradient(const Problem& p, const double* AXt, double* Gt);

// The ManPG direction at Xt for step size t: V = prox_{t·h}(X − t·(∇f − 2·X·Λ)) − X
// with the symmetric Λ that makes V tangent (XᵀV + VᵀX = 0). Lambda (r×r) is
// the start value on entry (a warm start) and the multiplier found on return.
// Vt (r×n) receives Vᵀ. Returns ‖XᵀV + VᵀX‖_F at the end.
double prox_direction(const Problem& p, const double* Xt, const double* Gt, double t,
                      double* Lambda, double* Vt);

// Restores XᵀX = I (to 1e-15) by changing only the entries marked in free
// (r×n, transposed like Xt): Newton steps Δ = W∘(X·K), K symmetric, on the
// constraint, so that exact zeros stay exact. Returns false, with Xt in an
// undefined state, when it does not converge or r > MAX_NEWTON_RANK.
bool orthonormalize_on_pattern(int32_t n, int32_t r, double* Xt, const unsigned char* free);

// Largest |eigenvalue| of A, from above: a few power iterations and a margin.
double spectral_bound(const Problem& p);

// Sets to exact zeros the entries of Xt that are below the rounding level
// 8·eps in columns whose weight λⱼ is positive. Returns how many changed.
int64_t snap_small(const Problem& p, double* Xt);

}  // namespace method
