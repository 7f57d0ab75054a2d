// The installed solver on problems whose minimum is known in closed form,
// each quadratic form once, X and E passed n×r column-major.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <stdexcept>
#include <vector>

#include "orthopair_solver.h"

namespace {

// Q = I − 2·v·vᵀ/(vᵀv): an orthogonal, symmetric n×n matrix whose columns
// are known exactly enough to build matrices with given eigenvectors.
std::vector<double> householder(int n)
{
    std::vector<double> v(n);
    double vv = 0;
    for (int i = 0; i < n; ++i) {
        v[i] = 1.0 + 0.37 * i - 0.05 * i * i;
        vv += v[i] * v[i];
    }
    std::vector<double> Q(static_cast<size_t>(n) * n);
    for (int j = 0; j < n; ++j) {
        for (int i = 0; i < n; ++i) Q[i + n * j] = (i == j ? 1.0 : 0.0) - 2.0 * v[i] * v[j] / vv;
    }
    return Q;
}

// F at X (n×r) computed from its definition with the dense A (or none).
double objective(int n, int r, const double* A, const double* E, const double* lambda,
                 const double* X)
{
    double f = 0;
    for (int c = 0; c < r; ++c) {
        for (int i = 0; i < n; ++i) {
            const double x = X[i + n * c];
            if (A) {
                double ax = 0;
                for (int k = 0; k < n; ++k) ax += A[i + n * k] * X[k + n * c];
                f += 0.5 * x * ax;
            }
            if (E) f += E[i + n * c] * x;
            f += lambda[c] * std::fabs(x);
        }
    }
    return f;
}

double orthonormality_defect(int n, int r, const double* X)
{
    double defect = 0;
    for (int a = 0; a < r; ++a) {
        for (int b = 0; b < r; ++b) {
            double s = 0;
            for (int i = 0; i < n; ++i) s += X[i + n * a] * X[i + n * b];
            defect = std::fmax(defect, std::fabs(s - (a == b ? 1.0 : 0.0)));
        }
    }
    return defect;
}

bool expect(bool ok, const char* what, double got, double want)
{
    if (!ok) std::printf("solver, %s: got %.17g, expected %.17g\n", what, got, want);
    return ok;
}

bool check_run(const char* what, const orthopair::Problem& problem, const orthopair::Result& result,
               double f_min)
{
    bool ok = expect(result.info.reason == orthopair::Stop::certified &&
                         result.info.stop == "certified",
                     what, result.info.reason == orthopair::Stop::certified, 1);
    ok = expect(std::fabs(result.info.f - f_min) <= 1e-8 * (1 + std::fabs(f_min)), what,
                result.info.f, f_min) && ok;
    const double defect = orthonormality_defect(problem.n, problem.r, result.X.data());
    ok = expect(defect <= 1e-12, what, defect, 0) && ok;
    return ok;
}

// First r columns of the identity: a feasible start that knows nothing of
// the answer.
std::vector<double> identity_start(int n, int r)
{
    std::vector<double> X0(static_cast<size_t>(n) * r, 0.0);
    for (int c = 0; c < r; ++c) X0[c + n * c] = 1.0;
    return X0;
}

constexpr int n = 8;

// Dense A = Q·diag(d)·Q with λ = 0, E = 0: the minimum is ½ times the sum
// of the r smallest eigenvalues.
bool dense_case(const std::vector<double>& Q)
{
    bool ok = true;
    {
        const double d[n] = {2.0, -3.0, 0.5, 4.0, -1.0, 5.0, -2.0, 1.0};
        std::vector<double> A(static_cast<size_t>(n) * n);
        for (int j = 0; j < n; ++j) {
            for (int i = 0; i < n; ++i) {
                double s = 0;
                for (int k = 0; k < n; ++k) s += Q[i + n * k] * d[k] * Q[j + n * k];
                A[i + n * j] = s;
            }
        }
        const int r = 3;
        const double lambda[r] = {0, 0, 0};
        orthopair::Problem p;
        p.n = n;
        p.r = r;
        p.A = orthopair::Quadratic::dense(A.data());
        p.lambda = lambda;
        const std::vector<double> X0 = identity_start(n, r);
        const orthopair::Result result = orthopair::solve(p, X0.data());
        ok = check_run("dense A", p, result, 0.5 * (-3.0 - 2.0 - 1.0)) && ok;
        const double f = objective(n, r, A.data(), nullptr, lambda, result.X.data());
        ok = expect(std::fabs(f - result.info.f) <= 1e-10, "dense A, F at the returned X", f,
                    result.info.f) && ok;
    }
    return ok;
}

// Sparse A, the Laplacian of a path of n nodes (eigenvalues
// 2 − 2·cos(kπ/n), k = 0..n−1), in compressed columns.
bool sparse_case(const std::vector<double>& Q)
{
    bool ok = true;
    {
        std::vector<int64_t> col_start{0}, row_index;
        std::vector<double> values;
        for (int j = 0; j < n; ++j) {
            if (j > 0) row_index.push_back(j - 1), values.push_back(-1.0);
            row_index.push_back(j), values.push_back(j == 0 || j == n - 1 ? 1.0 : 2.0);
            if (j < n - 1) row_index.push_back(j + 1), values.push_back(-1.0);
            col_start.push_back(static_cast<int64_t>(row_index.size()));
        }
        const int r = 2;
        const double lambda[r] = {0, 0};
        orthopair::Problem p;
        p.n = n;
        p.r = r;
        p.A = orthopair::Quadratic::sparse(col_start.data(), row_index.data(), values.data());
        p.lambda = lambda;
        // A start away from the constant vector, the bottom eigenvector.
        std::vector<double> X0(Q.begin() + n, Q.begin() + n * (1 + r));
        const orthopair::Result result = orthopair::solve(p, X0.data());
        const double pi = std::acos(-1.0);
        ok = check_run("sparse A", p, result, 0.5 * (2 - 2 * std::cos(pi / n))) && ok;
    }
    return ok;
}

// Data form A = scale·DᵀD with D = diag(s)·(rows 0..m−1 of Q) and a
// negative scale: the minimum takes the r largest s², F = ½·scale·Σ s².
bool data_case(const std::vector<double>& Q)
{
    bool ok = true;
    {
        const int m = 3, r = 2;
        const double s[m] = {1.5, 3.0, 0.5}, scale = -0.5;
        std::vector<double> D(static_cast<size_t>(m) * n);
        for (int j = 0; j < n; ++j) {
            for (int i = 0; i < m; ++i) D[i + m * j] = s[i] * Q[i + n * j];
        }
        const double lambda[r] = {0, 0};
        orthopair::Problem p;
        p.n = n;
        p.r = r;
        p.A = orthopair::Quadratic::data(m, D.data(), scale);
        p.lambda = lambda;
        const std::vector<double> X0 = identity_start(n, r);
        const orthopair::Result result = orthopair::solve(p, X0.data());
        ok = check_run("data form", p, result, 0.5 * scale * (3.0 * 3.0 + 1.5 * 1.5)) && ok;
    }
    return ok;
}

// A = 0 and E = −U·diag(σ) with U the first r columns of Q: the unique
// minimiser of ⟨E, X⟩ is X = U, F = −Σσ. Checks that E and X are read and
// returned n×r. And a bad X0 is refused with std::invalid_argument.
bool linear_case(const std::vector<double>& Q)
{
    bool ok = true;
    {
        const int r = 3;
        const double sigma[r] = {3.0, 2.0, 1.0};
        std::vector<double> E(static_cast<size_t>(n) * r), zero(static_cast<size_t>(n) * n, 0.0);
        for (int c = 0; c < r; ++c) {
            for (int i = 0; i < n; ++i) E[i + n * c] = -sigma[c] * Q[i + n * c];
        }
        const double lambda[r] = {0, 0, 0};
        orthopair::Problem p;
        p.n = n;
        p.r = r;
        p.A = orthopair::Quadratic::dense(zero.data());
        p.E = E.data();
        p.lambda = lambda;
        const std::vector<double> X0 = identity_start(n, r);
        const orthopair::Result result = orthopair::solve(p, X0.data());
        ok = check_run("linear term E", p, result, -6.0) && ok;
        double gap = 0;
        for (int k = 0; k < n * r; ++k) gap = std::fmax(gap, std::fabs(result.X[k] - Q[k]));
        ok = expect(gap <= 1e-6, "linear term E, X against U", gap, 0) && ok;
    }
    {
        const double A[4] = {1, 0, 0, 1}, lambda[1] = {0}, X0[2] = {1, 1};
        orthopair::Problem p;
        p.n = 2;
        p.r = 1;
        p.A = orthopair::Quadratic::dense(A);
        p.lambda = lambda;
        bool refused = false;
        try {
            orthopair::solve(p, X0);
        } catch (const std::invalid_argument&) {
            refused = true;
        }
        ok = expect(refused, "X0 not orthonormal refused", refused, 1) && ok;
    }
    return ok;
}

}  // namespace

bool check_solver()
{
    const std::vector<double> Q = householder(n);
    bool ok = dense_case(Q);
    ok = sparse_case(Q) && ok;
    ok = data_case(Q) && ok;
    return linear_case(Q) && ok;
}
