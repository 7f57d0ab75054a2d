#pragma once

// Geometry of the Stiefel manifold {X : XᵀX = I} that the whole-matrix steps
// need: the polar retraction, the small symmetric eigenproblem behind it,
// the feasibility defect (those three are declared in method_internal.h
// with the other building blocks) and the rounding of residues to exact
// zeros.

#include <cstdint>

#include "method_internal.h"

namespace method {

// Sets to exact zeros the entries of Xt that are below the rounding level
// 8·eps in columns whose weight λⱼ is positive. Returns how many changed.
int64_t snap_small(const Problem& p, double* Xt);

}  // namespace method
