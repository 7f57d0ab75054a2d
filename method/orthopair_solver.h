#pragma once

// The solver for C++ programs: minimise
//
//   F(X) = ½·tr(XᵀAX) + ⟨E, X⟩ + Σⱼ λⱼ·‖X(:, j)‖₁   subject to XᵀX = I
//
// over n×r matrices X with orthonormal columns, from a feasible X0, until
// both certificates hold or a limit of the options is reached (method.h
// says what the certificates are and what each option does).
//
//   #include "orthopair_solver.h"
//
//   orthopair::Problem problem;
//   problem.n = n;
//   problem.r = r;
//   problem.A = orthopair::Quadratic::dense(A);   // n×n, column-major
//   problem.lambda = lambda;                      // r weights
//   orthopair::Result result = orthopair::solve(problem, X0);
//   // result.X: n×r, column-major; result.info.stop == "certified"
//
// Every matrix is column-major and is read, never kept: the arrays need to
// live only for the call. With CMake: find_package(orthopair) and link
// orthopair::solver.

#include <cstdint>
#include <vector>

#include "method.h"

namespace orthopair {

using Options = method::Options;
using Info = method::Info;
using Stop = method::Stop;
using Rule = method::Rule;
using HistoryPoint = method::HistoryPoint;
// Called at progress points (Options::print_interval, progress_every) with
// the state so far; returning true stops the run with Stop::callback.
using ProgressHook = method::ProgressHook;

// The quadratic part A (n×n, symmetric) in one of three forms. The method
// works on the symmetric part ½·(A + Aᵀ), which is A itself for a
// symmetric A; F depends on nothing else of A.
struct Quadratic {
    enum class Form { none, dense, sparse, data };
    Form form = Form::none;
    // dense: n×n
    const double* values = nullptr;
    // sparse, compressed columns: column k holds the rows
    // row_index[col_start[k] .. col_start[k+1]) (0-based, any order,
    // repeated entries adding up) with the values in values[...];
    // col_start has n + 1 entries, col_start[0] = 0
    const int64_t* col_start = nullptr;
    const int64_t* row_index = nullptr;
    // data: A = scale·DᵀD with D m×n (values); nothing n×n is formed
    int32_t m = 0;
    double scale = 1;

    static Quadratic dense(const double* A);
    static Quadratic sparse(const int64_t* col_start, const int64_t* row_index,
                            const double* values);
    static Quadratic data(int32_t m, const double* D, double scale);
};

struct Problem {
    int32_t n = 0;
    int32_t r = 0;                   // 1 ≤ r ≤ n
    Quadratic A;
    const double* E = nullptr;       // n×r; nullptr for E = 0
    const double* lambda = nullptr;  // r weights, finite and ≥ 0
};

struct Result {
    std::vector<double> X;           // n×r, column-major, orthonormal columns
    Info info;                       // F, info.stop (a word) and info.reason, iterations,
                                     // pair_gap, stationarity / stationarity_scale, time ...
};

// Runs the method from X0 (n×r, orthonormal columns: ‖X0ᵀX0 − I‖_F ≤ 1e-8).
// Throws std::invalid_argument, with a message that names the argument, for
// a bad problem or X0 (sizes, missing arrays, NaN or Inf, negative λ, index
// out of range, X0 not orthonormal), and std::bad_alloc when memory runs
// out. An exception thrown by the progress hook ends the run and passes on.
Result solve(const Problem& problem, const double* X0, const Options& options = Options(),
             const ProgressHook& progress = ProgressHook());

}  // namespace orthopair
