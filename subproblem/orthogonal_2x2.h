#pragma once

#include <cstdint>

#include "circle_search.h"

// The 2×2 orthogonal matrix V (rotation or reflection) that minimises
//
//   ½·vec(V)ᵀ·Q·vec(V) + ⟨G, V⟩ + lambda·‖V·[z1; z2]‖₁,
//
// with vec stacking columns. Q: 16 doubles, column-major 4×4, of which only the
// diagonal and upper triangle are read. G: 4 doubles, column-major 2×2.
// z1, z2: the first n doubles are read (n ≤ 0 means no pairs). V: 4 doubles,
// written column-major once both families have been searched.
//
// When value is not null, *value receives the objective at V as the search
// of the chosen family computed it (the value it compared; SENTINEL when no
// point of that family scored below SENTINEL), written together with V.
//
// Every scratch array comes from heap and goes back to it before the call
// returns. n must not exceed MAX_PAIR_COUNT. Throws std::bad_alloc when
// scratch memory is unavailable (and whatever heap.allocate throws); nothing
// leaks and V and *value are then left untouched.
void solve_orthogonal_2x2(const double* Q, const double* G, double lambda,
                          const double* z1, const double* z2, int32_t n, double* V,
                          double* value = nullptr, const ScratchHeap& heap = C_HEAP);

// Most retained pairs a call can hold: twice this is the circle search's
// largest term count.
constexpr int32_t MAX_PAIR_COUNT = (int32_t{1} << 29) - 1;

// The building blocks of the solver, exposed for testing.


// Copies the pairs (z1[k], z2[k]) with a component above DEGENERACY_EPS in
// magnitude, in order, to kept1/kept2 (room for n each); returns their count.
int32_t retain_pairs(const double* z1, const double* z2, int32_t n, double* kept1,
                     double* kept2);

enum class Family { rotation, reflection };

// The circle problem of one family. Fills coef_c and coef_s (2·j doubles
// each: first row of V·[z1; z2] in the first half, second row in the second)
// and points the problem at them.
CircleProblem family_problem(Family family, const double* Q, const double* G, double lambda,
                             const double* kept1, const double* kept2, int32_t j,
                             double* coef_c, double* coef_s);
