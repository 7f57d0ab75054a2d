#include "orthogonal_2x2.h"

#include <cmath>

#include "circle_search.h"
#include "common/constants.h"

// Each family is parametrised by a point (c, s) of the unit circle through
// vec(V) = c·a + s·b:
//   rotations   V = [[c, s], [−s, c]]:  a = (1, 0, 0, 1),  b = (0, −1, 1, 0)
//   reflections V = [[−c, s], [s, c]]:  a = (−1, 0, 0, 1), b = (0, 1, 1, 0)
// Then ½·vec(V)ᵀQ·vec(V) = ½aᵀQa·c² + aᵀQb·c·s + ½bᵀQb·s², ⟨G, V⟩ = ⟨G, a⟩·c +
// ⟨G, b⟩·s, and column k of V·[z1; z2] gives two terms |c·coef_c + s·coef_s|:
// the first row in the first half of the term arrays, the second row in the
// second half. Q is read through its diagonal and upper triangle only.

int32_t retain_pairs(const double* z1, const double* z2, int32_t n, double* kept1,
                     double* kept2) {
    int32_t j = 0;
    for (int32_t k = 0; k < n; ++k) {
        if (std::fabs(z1[k]) > DEGENERACY_EPS || std::fabs(z2[k]) > DEGENERACY_EPS) {
            kept1[j] = z1[k];
            kept2[j] = z2[k];
            ++j;
        }
    }
    return j;
}

CircleProblem family_problem(Family family, const double* Q, const double* G, double lambda,
                             const double* kept1, const double* kept2, int32_t j,
                             double* coef_c, double* coef_s) {
    CircleProblem problem;
    problem.lambda = lambda;
    problem.coef_c = coef_c;
    problem.coef_s = coef_s;
    problem.term_count = 2 * j;
    if (family == Family::rotation) {
        for (int32_t k = 0; k < j; ++k) {
            coef_c[k] = kept1[k];
            coef_c[j + k] = kept2[k];
            coef_s[k] = kept2[k];
            coef_s[j + k] = -kept1[k];
        }
        problem.lin_c = G[0] + G[3];
        problem.lin_s = G[2] - G[1];
        problem.quad_cc = ((Q[0] * 0.5) + Q[12]) + (Q[15] * 0.5);
        problem.quad_cs = ((Q[8] - Q[4]) - Q[13]) + Q[14];
        problem.quad_ss = ((Q[5] * 0.5) - Q[9]) + (Q[10] * 0.5);
    } else {
        for (int32_t k = 0; k < j; ++k) {
            coef_c[k] = -kept1[k];
            coef_c[j + k] = kept2[k];
            coef_s[k] = kept2[k];
            coef_s[j + k] = kept1[k];
        }
        problem.lin_c = G[3] - G[0];
        problem.lin_s = G[2] + G[1];
        problem.quad_cc = ((Q[0] * 0.5) - Q[12]) + (Q[15] * 0.5);
        problem.quad_cs = (Q[13] - (Q[8] + Q[4])) + Q[14];
        problem.quad_ss = ((Q[5] * 0.5) + Q[9]) + (Q[10] * 0.5);
    }
    return problem;
}

void solve_orthogonal_2x2(const double* Q, const double* G, double lambda,
                          const double* z1, const double* z2, int32_t n, double* V,
                          double* value, const ScratchHeap& heap) {
    // Pairs that are negligible in both components cannot change the L1 term
    // by more than rounding; they are left out. NaN components never count as
    // significant, infinite ones do.
    const ScratchArray kept1(heap, n);
    const ScratchArray kept2(heap, n);
    const int32_t j = retain_pairs(z1, z2, n, kept1.get(), kept2.get());

    // One pair of term arrays serves both families: the reflection's fill
    // overwrites the rotation's after its search has returned.
    const ScratchArray coef_c(heap, 2 * int64_t{j});
    const ScratchArray coef_s(heap, 2 * int64_t{j});

    CircleProblem problem = family_problem(Family::rotation, Q, G, lambda, kept1.get(),
                                           kept2.get(), j, coef_c.get(), coef_s.get());
    problem.heap = &heap;
    const CircleResult rotation = search_circle(problem);
    problem = family_problem(Family::reflection, Q, G, lambda, kept1.get(), kept2.get(), j,
                             coef_c.get(), coef_s.get());
    problem.heap = &heap;
    const CircleResult reflection = search_circle(problem);

    // The rotation only when it is strictly better; equality and NaN values
    // go to the reflection.
    const bool take_rotation = reflection.value > rotation.value;
    if (take_rotation) {
        V[0] = rotation.c;
        V[1] = -rotation.s;
        V[2] = rotation.s;
        V[3] = rotation.c;
    } else {
        V[0] = -reflection.c;
        V[1] = reflection.s;
        V[2] = reflection.s;
        V[3] = reflection.c;
    }
    if (value != nullptr) {
        *value = take_rotation ? rotation.value : reflection.value;
    }
}
