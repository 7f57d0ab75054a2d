// The C++ entry: checks the caller's problem, holds it the way the engine
// works on it (X and E transposed, so that a row pair is two contiguous
// columns; A as an operator with exactly symmetric entries) and transposes
// the result back.
#include "orthopair_solver.h"

#include <cmath>
#include <cstddef>
#include <stdexcept>
#include <string>

#include "input_checks.h"
#include "method_internal.h"

namespace orthopair {

namespace {

Quadratic of_form(Quadratic::Form form, const double* values)
{
    Quadratic q;
    q.form = form;
    q.values = values;
    return q;
}

}  // namespace

Quadratic Quadratic::dense(const double* A) { return of_form(Form::dense, A); }

Quadratic Quadratic::sparse(const int64_t* col_start, const int64_t* row_index,
                            const double* values)
{
    Quadratic q = of_form(Form::sparse, values);
    q.col_start = col_start;
    q.row_index = row_index;
    return q;
}

Quadratic Quadratic::data(int32_t m, const double* D, double scale)
{
    Quadratic q = of_form(Form::data, D);
    q.m = m;
    q.scale = scale;
    return q;
}

namespace {

[[noreturn]] void fail(const std::string& message)
{
    throw std::invalid_argument("orthopair::solve: " + message);
}

void require_finite(const double* v, size_t count, const char* what)
{
    for (size_t k = 0; k < count; ++k) {
        if (!std::isfinite(v[k])) fail(std::string(what) + " has NaN or Inf entries");
    }
}

void check_sparse(const Problem& p)
{
    const Quadratic& A = p.A;
    if (!A.col_start || (!A.row_index && A.col_start[p.n] > 0) || (!A.values && A.col_start[p.n] > 0)) {
        fail("A (sparse) needs col_start, row_index and values");
    }
    if (A.col_start[0] != 0) fail("A.col_start[0] must be 0");
    for (int32_t k = 0; k < p.n; ++k) {
        if (A.col_start[k + 1] < A.col_start[k]) fail("A.col_start must not decrease");
    }
    const int64_t nnz = A.col_start[p.n];
    for (int64_t q = 0; q < nnz; ++q) {
        if (A.row_index[q] < 0 || A.row_index[q] >= p.n) {
            fail("A.row_index[" + std::to_string(q) + "] = " + std::to_string(A.row_index[q]) +
                 " is outside [0, n)");
        }
    }
    require_finite(A.values, static_cast<size_t>(nnz), "A.values");
}

void check(const Problem& p, const double* X0, const Options& o)
{
    if (p.n < 2) fail("n must be at least 2, got " + std::to_string(p.n));
    if (p.r < 1 || p.r > p.n) {
        fail("r must be in [1, n] = [1, " + std::to_string(p.n) + "], got " + std::to_string(p.r));
    }
    const size_t n = static_cast<size_t>(p.n), r = static_cast<size_t>(p.r);
    switch (p.A.form) {
    case Quadratic::Form::none:
        fail("A is not given (use Quadratic::dense, sparse or data)");
    case Quadratic::Form::dense:
        if (!p.A.values) fail("A (dense) is a null pointer");
        require_finite(p.A.values, n * n, "A");
        break;
    case Quadratic::Form::sparse:
        check_sparse(p);
        break;
    case Quadratic::Form::data:
        if (p.A.m < 1) fail("A.m (rows of D) must be at least 1, got " + std::to_string(p.A.m));
        if (!p.A.values) fail("A.D is a null pointer");
        require_finite(p.A.values, static_cast<size_t>(p.A.m) * n, "A.D");
        if (!std::isfinite(p.A.scale) || p.A.scale == 0) fail("A.scale must be finite and nonzero");
        break;
    }
    if (p.E) require_finite(p.E, n * r, "E");
    if (!p.lambda) fail("lambda is a null pointer");
    for (size_t c = 0; c < r; ++c) {
        if (!(p.lambda[c] >= 0) || !std::isfinite(p.lambda[c])) {
            fail("lambda[" + std::to_string(c) + "] must be finite and >= 0");
        }
    }
    if (!X0) fail("X0 is a null pointer");
    require_finite(X0, n * r, "X0");
    const double defect =
        method::orthonormality_defect(n, r, [X0, n](size_t i, size_t c) { return X0[i + n * c]; });
    if (!(defect <= method::tolerances::start_feasibility)) {
        fail("X0 must have orthonormal columns: ||X0'*X0 - I||_F = " + std::to_string(defect) +
             " > 1e-8");
    }
    if (!(o.tol >= 0) || !(o.tol_stat >= 0)) fail("options.tol and options.tol_stat must be >= 0");
    if (o.max_iter < 0 || o.n_trials < 0 || o.progress_every < 0) {
        fail("options.max_iter, n_trials and progress_every must be >= 0");
    }
}

}  // namespace

Result solve(const Problem& problem, const double* X0, const Options& options,
             const ProgressHook& progress)
{
    check(problem, X0, options);
    const int32_t n = problem.n, r = problem.r;
    const size_t nn = static_cast<size_t>(n), rr = static_cast<size_t>(r);

    method::Problem p;
    p.n = n;
    p.r = r;
    // The pair models read A(i, j) and A(j, i) as one number: a dense A
    // that is not exactly symmetric is replaced by a copy of its symmetric
    // part (the sparse operator symmetrises its own copy).
    std::vector<double> symmetric;
    const Quadratic& A = problem.A;
    switch (A.form) {
    case Quadratic::Form::dense: {
        bool exact = true;
        for (size_t j = 0; j < nn && exact; ++j) {
            for (size_t i = 0; i < j; ++i) {
                if (A.values[i + nn * j] != A.values[j + nn * i]) {
                    exact = false;
                    break;
                }
            }
        }
        if (exact) {
            p.A = method::dense_operator(n, A.values);
            break;
        }
        symmetric.assign(A.values, A.values + nn * nn);
        method::make_symmetric(nn, symmetric.data());
        p.A = method::dense_operator(n, symmetric.data());
        break;
    }
    case Quadratic::Form::sparse:
        p.A = method::sparse_operator(n, A.col_start, A.row_index, A.values);
        break;
    case Quadratic::Form::data:
        p.A = method::gram_operator(A.m, n, A.values, A.scale);
        break;
    case Quadratic::Form::none:  // refused by check
        break;
    }
    p.lambda.assign(problem.lambda, problem.lambda + rr);
    if (problem.E) {
        p.Et.resize(nn * rr);
        for (size_t i = 0; i < nn; ++i) {
            for (size_t c = 0; c < rr; ++c) p.Et[c + rr * i] = problem.E[i + nn * c];
        }
    }
    std::vector<double> Xt(nn * rr);
    for (size_t i = 0; i < nn; ++i) {
        for (size_t c = 0; c < rr; ++c) Xt[c + rr * i] = X0[i + nn * c];
    }

    Result result;
    result.info = method::run(p, options, Xt, progress);
    result.X.resize(nn * rr);
    for (size_t i = 0; i < nn; ++i) {
        for (size_t c = 0; c < rr; ++c) result.X[i + nn * c] = Xt[c + rr * i];
    }
    return result;
}

}  // namespace orthopair
