#pragma once

// The engine's entry and its building blocks: the library's own sources, the
// hosts' gateways and the tests include this header; a C++ program calls
// orthopair_solver.h instead.
//
// X is held transposed (Xt, r×n, column k = row k of X) so that a row pair is
// two contiguous columns, and the products with A (AXt = (A·X)ᵀ, or D·X for
// A = scale·DᵀD) are kept up to date by rank-2 changes and recomputed from
// scratch every so often (Products in operator.h).

#include <cstdint>
#include <vector>

#include "method.h"
#include "operator.h"

namespace method {

struct Problem {
    int32_t n = 0;
    int32_t r = 0;
    Operator A;                      // the quadratic part, n×n symmetric
    std::vector<double> Et;          // Eᵀ, r×n, column-major; empty for E = 0
    std::vector<double> lambda;      // r weights, ≥ 0
};

// Runs the method from Xt (r×n, the transpose of a feasible X0), which holds
// the result on return. Throws std::bad_alloc when memory runs out.
Info run(const Problem& problem, const Options& options, std::vector<double>& Xt,
         const ProgressHook& hook);

// ---- building blocks ------------------------------------------------------

// F at Xt, given AXt = (A·X)ᵀ, or the products kept at Xt.
double objective(const Problem& p, const double* Xt, const double* AXt);
double objective(const Problem& p, const double* Xt, Products& AX);

// AXt = (A·X)ᵀ from scratch: column k of AXt is Σ_l A(l, k)·Xt(:, l).
void multiply(const Problem& p, const double* Xt, double* AXt);

// The exact best step on rows i ≠ j: fills rows (2·r doubles: new row i, then
// new row j) and returns the change of F that they bring (≤ 0 up to
// rounding; 0 when V = I). floor receives the rounding level of that change.
double pair_step(const Problem& p, const double* Xt, const double* AXt, int32_t i, int32_t j,
                 double* rows, double* floor);

// The exact change of the smooth part under X(P, :) ← V·Z is
// ½·vec(V)ᵀ·Q·vec(V) + ⟨G, V⟩ + offset; size is the magnitude of the terms
// (for rounding margins); ⟨V, W⟩ − l1 is a lower bound of the change of the
// L1 term that is exact at V = I, and l2 − l1 another one.
struct PairModel {
    double Q[16];
    double G[4];
    double offset;
    double size;
    double W[4];
    double l1;                       // Σ_k λ_k·‖Z_k‖₁
    double l2;                       // Σ_k λ_k·‖Z_k‖₂
    double O[4];                     // the part of W from columns where both rows are nonzero
    double only_i, only_j;           // Σ λ_k·|z| over columns where only row i (j) is nonzero
    double kii, kij, kjj;
};
void pair_model(const Problem& p, const double* Xt, const double* AXt, int32_t i, int32_t j,
                PairModel& model);
double pair_step(const Problem& p, const double* Xt, const double* AXt, int32_t i, int32_t j,
                 const PairModel& model, double* rows, double* floor);
// The same with rows i and j of A·X taken from the products kept at Xt.
void pair_model(const Problem& p, const double* Xt, Products& AX, int32_t i, int32_t j,
                PairModel& model);
double pair_step(const Problem& p, const double* Xt, Products& AX, int32_t i, int32_t j,
                 const PairModel& model, double* rows, double* floor);

// An upper bound on the decrease of F that any step on the pair can bring:
// the exact least value over O(2) of the smooth part plus the linearised L1
// term, refined per quadrant of O(2) where one row of a column is zero. The
// refinements stop once the bound is at most threshold (the pair needs no
// solve then); callers that want the sharpest bound pass −∞.
double pair_bound(const PairModel& model, double threshold);

// Stationarity measure (b): min over symmetric Λ and ξ ∈ ∂h(X) of
// ‖∇f + ξ − XΛ‖_F, with ∇f = A·X + E.
double stationarity(const Problem& p, const double* Xt, const double* AXt);

// ‖XᵀX − I‖_F.
double feasibility(const Problem& p, const double* Xt);

// Replaces the r×n Xt by the orthonormal polar factor of X. Returns false
// when XᵀX is singular.
bool polar(int32_t n, int32_t r, double* Xt);

// Eigen-decomposition of a symmetric r×r matrix by cyclic Jacobi rotations:
// S is overwritten, values gets the eigenvalues and vectors (column-major)
// the eigenvectors.
void symmetric_eigen(int32_t r, double* S, double* values, double* vectors);

}  // namespace method
