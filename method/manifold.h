#pragma once

// Products with A and what is formed from them for the whole-matrix steps:
// the smooth part's gradient and a bound on A's spectrum (which sets the
// first proximal step size). The geometry of the manifold is in stiefel.h,
// the proximal subproblem in prox_subproblem.h and the stationarity measure
// in stationarity.h.

#include <cstdint>
#include <vector>

#include "method_internal.h"

namespace method {

// Gradient of the smooth part, transposed: Gt = AXt + Et (r×n).
void smooth_gradient(const Problem& p, const double* AXt, double* Gt);

// Largest |eigenvalue| of A, from above: a few power iterations and a margin.
double spectral_bound(const Problem& p);

}  // namespace method
