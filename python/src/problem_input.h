#pragma once

// The problem of one Python call, F(X) = ½·tr(XᵀAX) + ⟨E, X⟩ + Σⱼ λⱼ·‖X(:, j)‖₁,
// checked and laid out as the engine takes it. This is the one place where
// Python's A, E and λ become a method::Problem: a new form of A changes
// read_problem and nothing else.

#include "call_args.h"
#include "method.h"

#include <cstdint>
#include <vector>

namespace problem_input {

namespace py = pybind11;

// A method::Problem and the memory it points into.
struct ProblemInput {
    method::Problem problem;
    std::vector<double> A;  // the symmetric part of A, n×n column-major
};

// The order n that A gives (square, at least 2×2, real float64, finite,
// symmetric up to 1e-12 of its largest entry), checked; A is argument 1.
int32_t read_order(const call_args::Checks& checks, py::handle A);

// Fills input from A (n×n, as read_order accepts), E (None, an empty array or
// n×r float64 in any memory order, argument 2) and lambda (one weight or r,
// finite and >= 0, argument 3). The engine works on the exactly symmetric
// ½(A + Aᵀ), formed element by element as the MEX-file forms it.
void read_problem(const call_args::Checks& checks, py::handle A, py::handle E,
                  py::handle lambda, int32_t n, int32_t r, ProblemInput& input);

}  // namespace problem_input
