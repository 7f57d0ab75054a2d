#pragma once

// Symmetric r×r multipliers and the linear systems of their Newton steps.
//
// The prox direction, the restoration of XᵀX = I on a pattern and the
// stationarity measure all solve for a symmetric r×r matrix K. Their Newton
// systems share one operator, the generalized Hessian
//
//   H·K = sym(Xᵀ·(W∘(X·K))),
//
// with W a 0/1 mask (the entries where a piecewise-linear map is on its
// sloped piece). It is positive semidefinite, and one product costs two
// n×r by r×r products, O(n·r²), so the systems are solved matrix-free by
// conjugate gradients instead of assembling and factoring a dense matrix of
// r(r+1)/2 unknowns (O(n·r⁴) to assemble, O(r⁶) to factor).
//
// Coordinates: element u of the basis is the pair (c, d), c ≤ d, standing for
// E_cd + E_dc when c < d and E_cc when c = d. In these coordinates the
// Hessian's matrix is H[u][v] = ⟨W∘(X·basis v), X·basis u⟩, which is what
// basis_pairing(Xᵀ·(W∘(X·K))) returns for K = Σ k_v·basis v.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "tolerances.h"

namespace method {

struct SymIndex {
    int32_t r;
    std::vector<int32_t> c, d;
    explicit SymIndex(int32_t r_);
    int32_t size() const { return static_cast<int32_t>(c.size()); }
};

// out = Λ·x (r doubles) for a symmetric r×r Λ and a row x of X: the columns
// of Λ over the nonzeros of x, in order (row i of X·Λ, which both the prox
// direction and the stationarity measure need for every row).
inline void multiplier_row(int32_t r, const double* Lam, const double* x, double* out)
{
    for (int32_t b = 0; b < r; ++b) out[b] = 0.0;
    for (int32_t k = 0; k < r; ++k) {
        const double xk = x[k];
        if (xk == 0) continue;
        const double* Lk = Lam + static_cast<size_t>(r) * k;
        for (int32_t b = 0; b < r; ++b) out[b] += Lk[b] * xk;
    }
}

// g[u] = ⟨S, basis u⟩ for an r×r matrix S.
void basis_pairing(const SymIndex& ix, const double* S, double* g);

// L = base + s·Σ delta[u]·(basis u); base may be null for zero.
void move_multiplier(const SymIndex& ix, const double* base, const double* delta, double s,
                     double* L);

// (XᵀY)_ab = Σ_i X_ia·Y_ib for two r×n transposed arrays; out r×r.
void cross(int32_t n, int32_t r, const double* Xt, const double* Yt, double* out);

// The operator scale·H + shift·I of one Newton system, with scratch for its
// products. Xt (r×n) and W (r×n, transposed like Xt) must outlive it.
class MultiplierSystem {
public:
    MultiplierSystem(const SymIndex& ix, int32_t n, const double* Xt, const unsigned char* W,
                     double scale, double shift);

    // out = (scale·H + shift·I)·k, both of size ix.size().
    void apply(const double* k, double* out);
    // The diagonal of scale·H + shift·I.
    const std::vector<double>& diagonal() const { return diag_; }
    // Mean diagonal entry of H alone (the scale that shifts are set against).
    double mean_diagonal() const { return mean_; }
    void set_shift(double shift);

private:
    const SymIndex& ix_;
    int32_t n_;
    const double* Xt_;
    const unsigned char* W_;
    double scale_, shift_, mean_ = 0;
    std::vector<double> K_, Yt_, M_, diag_, hdiag_;
};

struct CgReport {
    int32_t iterations = 0;
    double residual = 0;     // ‖rhs − A·x‖ at the end
    bool converged = false;  // residual ≤ rel_tol·‖rhs‖
};

// Solves A·x = rhs by conjugate gradients preconditioned with A's diagonal,
// from x = 0, until ‖rhs − A·x‖ ≤ rel_tol·‖rhs‖ or max_iter iterations
// (0: twice the number of unknowns, plus 10). A must be positive definite;
// the callers make it so by a shift where the mask leaves H singular.
CgReport conjugate_gradients(MultiplierSystem& A, const double* rhs, double* x, double rel_tol,
                             int32_t max_iter = 0);

// The sign of x, and 0 at 0.
inline double sign_of(double x) { return x > 0 ? 1.0 : (x < 0 ? -1.0 : 0.0); }

// For every row x_i of X (r×n, transposed): lx = Λ·x_i, then row(offset of
// row i in the transposed arrays, x_i).
template <class Row>
void for_each_multiplier_row(int32_t n, int32_t r, const double* Xt, const double* Lam,
                             double* lx, Row row)
{
    for (int32_t i = 0; i < n; ++i) {
        const size_t at = static_cast<size_t>(r) * i;
        multiplier_row(r, Lam, Xt + at, lx);
        row(at, Xt + at);
    }
}

// The work arrays of a semismooth Newton iteration on a symmetric multiplier
// Λ at an n×r point: the basis, the trial Λ, the gradient and the step in
// basis coordinates, a row Λ·x, and the masks at Λ and at the trial.
struct NewtonWork {
    NewtonWork(int32_t n, int32_t r)
        : ix(r), m(ix.size()), total(static_cast<size_t>(n) * r),
          trial(static_cast<size_t>(r) * r), g(m), delta(m), lx(r), W(total), Wtrial(total)
    {
    }
    SymIndex ix;
    int32_t m;
    size_t total;
    std::vector<double> trial, g, delta, lx;
    std::vector<unsigned char> W, Wtrial;
};

// Backtracking along Λ(s) = base + s·δ (δ = work.delta) for s = 1, ½, ¼, …,
// `steps` tries at most: Λ(s) is written to work.trial, its merit is
// value(Λ(s)), and the first s for which accept(merit, s) holds is taken,
// its merit left in next. Returns false when none is.
template <class Value, class Accept>
bool backtrack_multiplier(NewtonWork& work, const double* base, int steps, Value value,
                          Accept accept, double& next)
{
    double s = 1;
    for (int k = 0; k < steps; ++k, s *= tolerances::backtrack) {
        move_multiplier(work.ix, base, work.delta.data(), s, work.trial.data());
        next = value(work.trial.data());
        if (accept(next, s)) return true;
    }
    return false;
}

}  // namespace method
