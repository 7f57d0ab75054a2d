#include "multiplier.h"

#include <algorithm>
#include <cmath>

namespace method {

SymIndex::SymIndex(int32_t r_) : r(r_)
{
    for (int32_t dd = 0; dd < r; ++dd) {
        for (int32_t cc = 0; cc <= dd; ++cc) {
            c.push_back(cc);
            d.push_back(dd);
        }
    }
}

void basis_pairing(const SymIndex& ix, const double* S, double* g)
{
    const int32_t r = ix.r;
    for (int32_t u = 0; u < ix.size(); ++u) {
        const int32_t c = ix.c[u], d = ix.d[u];
        g[u] = (c == d) ? S[c + r * c] : S[c + r * d] + S[d + r * c];
    }
}

void move_multiplier(const SymIndex& ix, const double* base, const double* delta, double s,
                     double* L)
{
    const int32_t r = ix.r;
    for (int32_t u = 0; u < ix.size(); ++u) {
        const int32_t c = ix.c[u], d = ix.d[u];
        const double v = (base ? base[c + r * d] : 0.0) + s * delta[u];
        L[c + r * d] = v;
        L[d + r * c] = v;
    }
}

void cross(int32_t n, int32_t r, const double* Xt, const double* Yt, double* out)
{
    // A sum of outer products x_i·y_iᵀ over the rows; the zero entries of the
    // (typically sparse) rows cost nothing.
    std::fill(out, out + static_cast<size_t>(r) * r, 0.0);
    for (int32_t i = 0; i < n; ++i) {
        const double* x = Xt + static_cast<size_t>(r) * i;
        const double* y = Yt + static_cast<size_t>(r) * i;
        for (int32_t b = 0; b < r; ++b) {
            const double yb = y[b];
            if (yb == 0) continue;
            double* o = out + static_cast<size_t>(r) * b;
            for (int32_t a = 0; a < r; ++a) o[a] += x[a] * yb;
        }
    }
}

MultiplierSystem::MultiplierSystem(const SymIndex& ix, int32_t n, const double* Xt,
                                   const unsigned char* W, double scale, double shift)
    : ix_(ix), n_(n), Xt_(Xt), W_(W), scale_(scale), shift_(shift)
{
    const int32_t r = ix.r;
    const size_t rr = static_cast<size_t>(r) * r;
    K_.resize(rr);
    M_.resize(rr);
    Yt_.resize(static_cast<size_t>(n) * r);
    // D(a, b) = Σ_i W_ib·x_ia²: X·basis u places column c of X in column d
    // and column d in column c, so H[u][u] = D(c, d) + D(d, c) for c < d and
    // D(c, c) for c = d.
    std::vector<double> D(rr, 0.0);
    for (int32_t i = 0; i < n; ++i) {
        const double* x = Xt + static_cast<size_t>(r) * i;
        const unsigned char* w = W + static_cast<size_t>(r) * i;
        for (int32_t b = 0; b < r; ++b) {
            if (!w[b]) continue;
            double* Db = D.data() + static_cast<size_t>(r) * b;
            for (int32_t a = 0; a < r; ++a) Db[a] += x[a] * x[a];
        }
    }
    const int32_t m = ix.size();
    hdiag_.resize(m);
    double sum = 0;
    for (int32_t u = 0; u < m; ++u) {
        const int32_t c = ix.c[u], d = ix.d[u];
        hdiag_[u] = (c == d) ? D[c + r * c] : D[c + r * d] + D[d + r * c];
        sum += hdiag_[u];
    }
    mean_ = sum / std::max<int32_t>(m, 1);
    set_shift(shift);
}

void MultiplierSystem::set_shift(double shift)
{
    shift_ = shift;
    diag_.resize(hdiag_.size());
    for (size_t u = 0; u < hdiag_.size(); ++u) diag_[u] = scale_ * hdiag_[u] + shift_;
}

void MultiplierSystem::apply(const double* k, double* out)
{
    const int32_t r = ix_.r;
    move_multiplier(ix_, nullptr, k, 1.0, K_.data());
    // Row i of W∘(X·K) is w_i∘(K·x_i), K being symmetric: a sum of the
    // columns of K over the nonzero entries of x_i.
    for (int32_t i = 0; i < n_; ++i) {
        const double* x = Xt_ + static_cast<size_t>(r) * i;
        const unsigned char* w = W_ + static_cast<size_t>(r) * i;
        double* y = Yt_.data() + static_cast<size_t>(r) * i;
        multiplier_row(r, K_.data(), x, y);
        for (int32_t b = 0; b < r; ++b) {
            if (!w[b]) y[b] = 0;
        }
    }
    cross(n_, r, Xt_, Yt_.data(), M_.data());
    basis_pairing(ix_, M_.data(), out);
    const int32_t m = ix_.size();
    for (int32_t u = 0; u < m; ++u) out[u] = scale_ * out[u] + shift_ * k[u];
}

CgReport conjugate_gradients(MultiplierSystem& A, const double* rhs, double* x, double rel_tol,
                             int32_t max_iter)
{
    const std::vector<double>& diag = A.diagonal();
    const size_t m = diag.size();
    if (max_iter <= 0) {
        max_iter = static_cast<int32_t>(tolerances::cg_steps_per_unknown * m +
                                        tolerances::cg_steps_extra);
    }
    std::vector<double> res(rhs, rhs + m), z(m), p(m), q(m);
    std::fill(x, x + m, 0.0);
    auto dot = [m](const double* a, const double* b) {
        double s = 0;
        for (size_t u = 0; u < m; ++u) s += a[u] * b[u];
        return s;
    };
    // Jacobi preconditioner: the diagonal where it is positive. A zero
    // diagonal entry (an empty column of the mask and no shift) leaves that
    // coordinate unscaled.
    auto precondition = [&](const double* in, double* out) {
        for (size_t u = 0; u < m; ++u) out[u] = diag[u] > 0 ? in[u] / diag[u] : in[u];
    };
    CgReport report;
    const double target = rel_tol * std::sqrt(dot(rhs, rhs));
    double rnorm = std::sqrt(dot(res.data(), res.data()));
    report.residual = rnorm;
    if (rnorm <= target) {
        report.converged = true;
        return report;
    }
    precondition(res.data(), z.data());
    p = z;
    double rz = dot(res.data(), z.data());
    for (int32_t it = 0; it < max_iter; ++it) {
        A.apply(p.data(), q.data());
        const double pq = dot(p.data(), q.data());
        // A direction of non-positive curvature: A is not positive definite
        // to rounding. Stop with what has been found.
        if (!(pq > 0)) break;
        const double alpha = rz / pq;
        for (size_t u = 0; u < m; ++u) {
            x[u] += alpha * p[u];
            res[u] -= alpha * q[u];
        }
        report.iterations = it + 1;
        rnorm = std::sqrt(dot(res.data(), res.data()));
        report.residual = rnorm;
        if (rnorm <= target) {
            report.converged = true;
            return report;
        }
        precondition(res.data(), z.data());
        const double rz_next = dot(res.data(), z.data());
        const double beta = rz_next / rz;
        rz = rz_next;
        for (size_t u = 0; u < m; ++u) p[u] = z[u] + beta * p[u];
    }
    return report;
}

}  // namespace method
