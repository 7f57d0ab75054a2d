#pragma once

#include <cstdint>

// The 2×2 orthogonal matrix V (rotation or reflection) that minimises
//
//   ½·vec(V)ᵀ·Q·vec(V) + ⟨G, V⟩ + lambda·‖V·[z1; z2]‖₁,
//
// with vec stacking columns. Q: 16 doubles, column-major 4×4, of which only the
// diagonal and upper triangle are read. G: 4 doubles, column-major 2×2.
// z1, z2: the first n doubles are read (n ≤ 0 means no pairs). V: 4 doubles,
// written column-major once both families have been searched.
//
// n must not exceed MAX_PAIR_COUNT. Throws std::bad_alloc when scratch memory
// is unavailable; nothing leaks and V is then left untouched.
void solve_orthogonal_2x2(const double* Q, const double* G, double lambda,
                          const double* z1, const double* z2, int32_t n, double* V);

// Most retained pairs a call can hold: twice this is the circle search's
// largest term count.
constexpr int32_t MAX_PAIR_COUNT = (int32_t{1} << 29) - 1;
