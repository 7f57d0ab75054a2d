#include "problem_input.h"

#include <cmath>
#include <string>

namespace problem_input {

namespace {

// A two-dimensional float64 array, in any memory order (read through its
// strides, never copied here).
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

}  // namespace

int32_t read_order(const call_args::Checks& checks, py::handle h)
{
    const py::array a = matrix(checks, h, 1, "A");
    const auto n = static_cast<size_t>(a.shape(0));
    if (static_cast<size_t>(a.shape(1)) != n || n < 2 || n > 2147483647u) {
        checks.fail("sizes", "argument 1 (A) must be square and at least 2x2, got %llux%llu.",
                    static_cast<unsigned long long>(a.shape(0)),
                    static_cast<unsigned long long>(a.shape(1)));
    }
    const auto A = a.unchecked<double, 2>();
    double amax = 0;
    for (size_t j = 0; j < n; ++j) {
        for (size_t i = 0; i < n; ++i) {
            if (!std::isfinite(A(i, j))) {
                checks.fail("notFinite", "argument 1 (A) has NaN or Inf entries.");
            }
            amax = std::fmax(amax, std::fabs(A(i, j)));
        }
    }
    for (size_t j = 0; j < n; ++j) {
        for (size_t i = 0; i < j; ++i) {
            if (std::fabs(A(i, j) - A(j, i)) > 1e-12 * amax) {
                checks.fail("notSymmetric",
                            "argument 1 (A) must be symmetric: A[%llu,%llu] and A[%llu,%llu] "
                            "differ by %g.",
                            static_cast<unsigned long long>(i), static_cast<unsigned long long>(j),
                            static_cast<unsigned long long>(j), static_cast<unsigned long long>(i),
                            A(i, j) - A(j, i));
            }
        }
    }
    return static_cast<int32_t>(n);
}

void read_problem(const call_args::Checks& checks, py::handle A_handle, py::handle E_handle,
                  py::handle lambda_handle, int32_t n, int32_t r, ProblemInput& input)
{
    const size_t nn = static_cast<size_t>(n);
    const size_t nr = nn * static_cast<size_t>(r);
    method::Problem& p = input.problem;
    p.n = n;
    p.r = r;

    // E: none, or n×r; the engine holds Eᵀ (r×n column-major), which is a
    // C-ordered n×r array as it lies.
    const bool no_E = E_handle.is_none() ||
                      (py::isinstance<py::array>(E_handle) &&
                       py::reinterpret_borrow<py::array>(E_handle).size() == 0);
    if (!no_E) {
        const py::array e = matrix(checks, E_handle, 2, "E");
        if (e.shape(0) != n || e.shape(1) != r) {
            checks.fail("sizes", "argument 2 (E) must be None or %d-by-%d like X0, got %llux%llu.",
                        n, r, static_cast<unsigned long long>(e.shape(0)),
                        static_cast<unsigned long long>(e.shape(1)));
        }
        const auto E = e.unchecked<double, 2>();
        p.Et.resize(nr);
        for (size_t i = 0; i < nn; ++i) {
            for (int32_t c = 0; c < r; ++c) {
                const double v = E(i, c);
                if (!std::isfinite(v)) checks.fail("notFinite", "argument 2 (E) has NaN or Inf entries.");
                p.Et[c + static_cast<size_t>(r) * i] = v;
            }
        }
    }

    // lambda: one weight for every column or one per column.
    if (!py::isinstance<py::array>(lambda_handle) || !call_args::is_double_array(lambda_handle)) {
        checks.fail("notRealDouble", "argument 3 (lambda) must be a real float64 scalar or vector.");
    }
    const auto lam = py::reinterpret_borrow<py::array>(lambda_handle);
    const auto count = static_cast<size_t>(lam.size());
    int long_dims = 0;  // a vector has at most one dimension longer than 1
    for (py::ssize_t d = 0; d < lam.ndim(); ++d) long_dims += lam.shape(d) != 1;
    const bool vector_shape = long_dims <= 1;
    if (!(count == 1 || (count == static_cast<size_t>(r) && vector_shape))) {
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

    // The checks allowed A to be symmetric up to rounding; the pair models
    // read A(i, j) and A(j, i) as one number, so the engine gets the exactly
    // symmetric part. ½(a + b) does not depend on the order of a and b, so
    // a C-ordered A gives the same matrix as its column-ordered copy.
    const auto A = py::reinterpret_borrow<py::array>(A_handle).unchecked<double, 2>();
    input.A.resize(nn * nn);
    for (size_t j = 0; j < nn; ++j) {
        for (size_t i = 0; i < nn; ++i) input.A[i + nn * j] = A(i, j);
    }
    for (size_t j = 0; j < nn; ++j) {
        for (size_t i = 0; i < j; ++i) {
            const double v = 0.5 * (input.A[i + nn * j] + input.A[j + nn * i]);
            input.A[i + nn * j] = v;
            input.A[j + nn * i] = v;
        }
    }
    p.A = input.A.data();
}

}  // namespace problem_input
