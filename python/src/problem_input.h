#pragma once

// The problem of one Python call, F(X) = ½·tr(XᵀAX) + ⟨E, X⟩ + Σⱼ λⱼ·‖X(:, j)‖₁,
// checked and laid out as the engine takes it. This is the one place where
// Python's A, E and λ become a method::Problem.
//
// A comes as a float64 n×n array in any memory order, or, where the engine
// has the operator layer (method/operator.h), also as a dict: {"D": D,
// "scale": s} for A = s·DᵀD with D m×n, or {"n": n, "col_start": ...,
// "row_index": ..., "value": ...} for a sparse A in compressed columns
// (int64 arrays, rows ascending in each column; orthopair/_solver.py makes
// it from a scipy.sparse matrix). FORMS lists the forms this build takes.

#include "call_args.h"
#include "method_internal.h"

#include <cstdint>
#include <vector>

#if __has_include("operator.h")
#define ORTHOPAIR_PY_OPERATOR 1
#else
#define ORTHOPAIR_PY_OPERATOR 0
#endif

namespace problem_input {

namespace py = pybind11;

#if ORTHOPAIR_PY_OPERATOR
constexpr const char* FORMS[] = {"dense", "sparse", "gram"};
#else
constexpr const char* FORMS[] = {"dense"};
#endif

enum class Form { dense, sparse, gram };

// A method::Problem and the memory it reads: the arrays the operator uses
// in place are held here, so they outlive the run.
struct ProblemInput {
    method::Problem problem;
    Form form = Form::dense;
    py::array A_array;               // dense A as given, or D (column-major)
    bool A_symmetric = false;        // dense A exactly symmetric and contiguous
    std::vector<double> A;           // dense A's symmetric part, when it must be formed
    int32_t m = 0;                   // gram: rows of D
    double scale = 1;                // gram
    py::array col_start, row_index, values;  // sparse
};

// Checks A (argument 1) in any of its forms and returns the order n. The
// reasons are those of the MEX-file: notRealDouble, sizes, notFinite,
// notSymmetric, and badA for a malformed dict.
int32_t read_quadratic(const call_args::Checks& checks, py::handle A, ProblemInput& input);

// Checks E (None, an empty array or n×r float64 in any memory order,
// argument 2) and lambda (one weight or r, finite and >= 0, argument 3), and
// completes input.problem. The engine works on the exactly symmetric
// ½(A + Aᵀ), formed element by element as the MEX-file forms it.
void read_problem(const call_args::Checks& checks, py::handle E, py::handle lambda, int32_t n,
                  int32_t r, ProblemInput& input);

}  // namespace problem_input
