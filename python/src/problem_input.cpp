#include "problem_input.h"

#include "input_checks.h"

#include <algorithm>
#include <cmath>
#include <string>


namespace problem_input {

namespace {

// A two-dimensional float64 array, in any memory order (read through its
// strides).
py::array matrix(const call_args::Checks& checks, py::handle h, int pos, const char* name)
{
    if (!py::isinstance<py::array>(h) || !call_args::is_double_array(h)) {
        checks.fail("notRealDouble", "argument %d (%s) must be a real float64 array; got %s.",
                    pos, name, call_args::describe(h).c_str());
    }
    auto a = py::reinterpret_borrow<py::array>(h);
    if (a.ndim() != 2) {
        checks.fail("sizes", "argument %d (%s) must be a matrix; got %s.", pos, name,
                    call_args::describe(h).c_str());
    }
    return a;
}

// Indices 0-based, as Python counts.
[[noreturn]] void not_symmetric(const call_args::Checks& checks, const method::Asymmetry& bad)
{
    checks.fail("notSymmetric", "argument 1 (A) must be symmetric: A[%lld,%lld] and A[%lld,%lld] "
                                "differ by %g.",
                static_cast<long long>(bad.i), static_cast<long long>(bad.j),
                static_cast<long long>(bad.j), static_cast<long long>(bad.i), bad.difference);
}

int32_t read_dense(const call_args::Checks& checks, py::handle h, ProblemInput& input)
{
    const py::array a = matrix(checks, h, 1, "A");
    const auto n = static_cast<size_t>(a.shape(0));
    if (static_cast<size_t>(a.shape(1)) != n || n < 2 || n > 2147483647u) {
        checks.fail("sizes", "argument 1 (A) must be square and at least 2x2, got %llux%llu.",
                    static_cast<unsigned long long>(a.shape(0)),
                    static_cast<unsigned long long>(a.shape(1)));
    }
    const auto A = a.unchecked<double, 2>();
    for (size_t j = 0; j < n; ++j) {
        for (size_t i = 0; i < n; ++i) {
            if (!std::isfinite(A(i, j))) {
                checks.fail("notFinite", "argument 1 (A) has NaN or Inf entries.");
            }
        }
    }
    bool exact = true;
    const method::Asymmetry bad =
        method::dense_asymmetry(n, [&A](size_t i, size_t j) { return A(i, j); }, exact);
    if (bad.found) not_symmetric(checks, bad);
    // An exactly symmetric A laid out contiguously, in either order, is its
    // own column-major symmetric part: the engine reads it where it lies.
    input.form = Form::dense;
    input.A_array = a;
    input.A_symmetric = exact && (a.flags() & (py::array::c_style | py::array::f_style));
    return static_cast<int32_t>(n);
}

#if ORTHOPAIR_PY_OPERATOR

// A 1-D int64 array field of a sparse A.
py::array index_field(const call_args::Checks& checks, const py::dict& d, const char* key)
{
    const py::object v = d[key];
    if (!py::isinstance<py::array_t<int64_t>>(v) ||
        py::reinterpret_borrow<py::array>(v).ndim() != 1) {
        checks.fail("badA", "argument 1 (A['%s']) must be a one-dimensional int64 array.", key);
    }
    return py::array_t<int64_t, py::array::c_style>::ensure(v);
}

int32_t read_sparse(const call_args::Checks& checks, const py::dict& d, ProblemInput& input)
{
    const double order = checks.scalar(d["n"], 0, "A['n']");
    if (!(order >= 2 && order <= 2147483647.0) || order != std::floor(order)) {
        checks.fail("sizes", "argument 1 (A) must be square and at least 2x2, got n = %g.", order);
    }
    const auto n = static_cast<int64_t>(order);
    const py::array start = index_field(checks, d, "col_start");
    const py::array rows = index_field(checks, d, "row_index");
    const py::object v = d["value"];
    if (!call_args::is_double_array(v) || py::reinterpret_borrow<py::array>(v).ndim() != 1) {
        checks.fail("notRealDouble", "argument 1 (A['value']) must be a one-dimensional float64 array.");
    }
    const py::array values = py::array_t<double, py::array::c_style>::ensure(v);
    const auto* jc = static_cast<const int64_t*>(start.data());
    const auto* ir = static_cast<const int64_t*>(rows.data());
    const auto* x = static_cast<const double*>(values.data());
    const int64_t nnz = rows.size();
    if (start.size() != n + 1 || jc[0] != 0 || jc[n] != nnz || values.size() != nnz) {
        checks.fail("badA", "argument 1 (A) in compressed columns needs n + 1 column starts from 0 "
                            "to the number of entries, and one row index and value per entry.");
    }
    for (int64_t j = 0; j < n; ++j) {
        if (jc[j + 1] < jc[j]) checks.fail("badA", "argument 1 (A): column starts must not decrease.");
        for (int64_t q = jc[j]; q < jc[j + 1]; ++q) {
            if (ir[q] < 0 || ir[q] >= n || (q > jc[j] && ir[q] <= ir[q - 1])) {
                checks.fail("badA", "argument 1 (A): row indices must lie in 0 ... n-1, ascending "
                                    "in each column (column %lld).", static_cast<long long>(j));
            }
        }
    }
    if (mex_args::first_non_finite(x, nnz) >= 0) {
        checks.fail("notFinite", "argument 1 (A) has NaN or Inf entries.");
    }
    const method::Asymmetry bad = method::sparse_asymmetry(n, jc, ir, x);
    if (bad.found) not_symmetric(checks, bad);
    input.form = Form::sparse;
    input.col_start = start;
    input.row_index = rows;
    input.values = values;
    return static_cast<int32_t>(n);
}

int32_t read_gram(const call_args::Checks& checks, const py::dict& d, ProblemInput& input)
{
    const py::object D_arg = d["D"];
    if (!call_args::is_double_array(D_arg)) {
        checks.fail("notRealDouble", "argument 1 (A['D']) must be a real float64 matrix; got %s.",
                    call_args::describe(D_arg).c_str());
    }
    auto D = py::reinterpret_borrow<py::array>(D_arg);
    if (D.ndim() != 2 || D.shape(0) < 1 || D.shape(1) < 2 || D.shape(0) > 2147483647 ||
        D.shape(1) > 2147483647) {
        checks.fail("sizes", "argument 1 (A['D']) must be m-by-n with m >= 1 and n >= 2, got %s.",
                    call_args::describe(D_arg).c_str());
    }
    // The operator reads D column by column where it lies; any other
    // layout is copied once (m·n doubles, never n×n).
    if (!(D.flags() & py::array::f_style)) D = py::array_t<double, py::array::f_style>::ensure(D);
    const auto* data = static_cast<const double*>(D.data());
    if (mex_args::first_non_finite(data, D.size()) >= 0) {
        checks.fail("notFinite", "argument 1 (A['D']) has NaN or Inf entries.");
    }
    const py::object s = d["scale"];
    const bool number = PyFloat_Check(s.ptr()) || (PyLong_Check(s.ptr()) && !PyBool_Check(s.ptr()));
    const double scale = number ? py::cast<double>(s) : NAN;
    if (!number) checks.fail("badA", "argument 1 (A['scale']) must be a real number.");
    if (!std::isfinite(scale) || scale == 0) {
        checks.fail("badA", "argument 1 (A['scale']) must be finite and nonzero, got %g.", scale);
    }
    input.form = Form::gram;
    input.A_array = D;
    input.m = static_cast<int32_t>(D.shape(0));
    input.scale = scale;
    return static_cast<int32_t>(D.shape(1));
}

#endif

}  // namespace

int32_t read_quadratic(const call_args::Checks& checks, py::handle A, ProblemInput& input)
{
#if ORTHOPAIR_PY_OPERATOR
    if (PyDict_Check(A.ptr())) {
        const auto d = py::reinterpret_borrow<py::dict>(A);
        const bool gram = d.size() == 2 && d.contains("D") && d.contains("scale");
        const bool sparse = d.size() == 4 && d.contains("n") && d.contains("col_start") &&
                            d.contains("row_index") && d.contains("value");
        if (gram) return read_gram(checks, d, input);
        if (sparse) return read_sparse(checks, d, input);
        checks.fail("badA", "argument 1 (A) given as a dict must have exactly the keys D and "
                            "scale, for A = scale*D'*D, or n, col_start, row_index and value.");
    }
#endif
    return read_dense(checks, A, input);
}

namespace {

// E: none, or n×r; the engine holds Eᵀ (r×n column-major), which is a
// C-ordered n×r array as it lies.
void read_E(const call_args::Checks& checks, py::handle h, int32_t n, int32_t r, method::Problem& p)
{
    const bool none = h.is_none() ||
                      (py::isinstance<py::array>(h) && py::reinterpret_borrow<py::array>(h).size() == 0);
    if (none) return;
    const py::array e = matrix(checks, h, 2, "E");
    if (e.shape(0) != n || e.shape(1) != r) {
        checks.fail("sizes", "argument 2 (E) must be None or %d-by-%d like X0, got %llux%llu.", n, r,
                    static_cast<unsigned long long>(e.shape(0)),
                    static_cast<unsigned long long>(e.shape(1)));
    }
    const auto E = e.unchecked<double, 2>();
    p.Et.resize(static_cast<size_t>(n) * static_cast<size_t>(r));
    for (int32_t i = 0; i < n; ++i) {
        for (int32_t c = 0; c < r; ++c) {
            const double v = E(i, c);
            if (!std::isfinite(v)) checks.fail("notFinite", "argument 2 (E) has NaN or Inf entries.");
            p.Et[c + static_cast<size_t>(r) * i] = v;
        }
    }
}

// lambda: one weight for every column or one per column.
void read_lambda(const call_args::Checks& checks, py::handle h, int32_t r, method::Problem& p)
{
    if (!py::isinstance<py::array>(h) || !call_args::is_double_array(h)) {
        checks.fail("notRealDouble", "argument 3 (lambda) must be a real float64 scalar or vector.");
    }
    const auto lam = py::reinterpret_borrow<py::array>(h);
    const auto count = static_cast<size_t>(lam.size());
    int long_dims = 0;  // a vector has at most one dimension longer than 1
    for (py::ssize_t d = 0; d < lam.ndim(); ++d) long_dims += lam.shape(d) != 1;
    if (!(count == 1 || (count == static_cast<size_t>(r) && long_dims <= 1))) {
        checks.fail("sizes", "argument 3 (lambda) must be a scalar or a vector of %d weights.", r);
    }
    const py::array flat = lam.attr("ravel")();
    const auto weights = flat.unchecked<double, 1>();
    p.lambda.resize(static_cast<size_t>(r));
    for (size_t k = 0; k < count; ++k) {
        if (!std::isfinite(weights(k))) checks.fail("notFinite", "argument 3 (lambda) must be finite.");
        if (weights(k) < 0) checks.fail("negativeLambda", "argument 3 (lambda) must be >= 0.");
    }
    for (int32_t c = 0; c < r; ++c) p.lambda[c] = weights(count == 1 ? 0 : c);
}

// A dense A as the engine reads it. The checks allowed it to be symmetric
// up to rounding; the pair models read A(i, j) and A(j, i) as one number, so
// the engine gets the exactly symmetric part, formed as the MEX-file forms
// it (a C-ordered A gives the same matrix as its column-ordered copy).
const double* dense_matrix(ProblemInput& input, size_t n)
{
    if (input.A_symmetric) return static_cast<const double*>(input.A_array.data());
    const auto A = input.A_array.unchecked<double, 2>();
    input.A.resize(n * n);
    for (size_t j = 0; j < n; ++j) {
        for (size_t i = 0; i < n; ++i) input.A[i + n * j] = A(i, j);
    }
    method::make_symmetric(n, input.A.data());
    return input.A.data();
}

}  // namespace

void read_problem(const call_args::Checks& checks, py::handle E, py::handle lambda, int32_t n,
                  int32_t r, ProblemInput& input)
{
    method::Problem& p = input.problem;
    p.n = n;
    p.r = r;
    read_E(checks, E, n, r, p);
    read_lambda(checks, lambda, r, p);
#if ORTHOPAIR_PY_OPERATOR
    switch (input.form) {
    case Form::dense:
        p.A = method::dense_operator(n, dense_matrix(input, static_cast<size_t>(n)));
        break;
    case Form::sparse:
        // The operator copies the arrays, keeping the symmetric part.
        p.A = method::sparse_operator(n, static_cast<const int64_t*>(input.col_start.data()),
                                      static_cast<const int64_t*>(input.row_index.data()),
                                      static_cast<const double*>(input.values.data()));
        break;
    case Form::gram:
        p.A = method::gram_operator(input.m, n, static_cast<const double*>(input.A_array.data()),
                                    input.scale);
        break;
    }
#else
    p.A = dense_matrix(input, static_cast<size_t>(n));
#endif
}

}  // namespace problem_input
