#pragma once

#include <cstdint>

#include "scratch.h"

// One minimisation over the unit circle (c, s), c² + s² = 1, of
//
//   F(c, s) = quad_cc·c² + quad_cs·c·s + quad_ss·s² + lin_c·c + lin_s·s
//             + lambda·Σₖ |c·coef_c[k] + s·coef_s[k]|.
//
// The term arrays belong to the caller and are only read.
struct CircleProblem {
    double lin_c = 0.0;
    double lin_s = 0.0;
    double quad_cc = 0.0;
    double quad_cs = 0.0;
    double quad_ss = 0.0;
    double lambda = 0.0;
    const double* coef_c = nullptr;
    const double* coef_s = nullptr;
    int32_t term_count = 0;  // 0 … 2³⁰ − 2
    const ScratchHeap* heap = &C_HEAP;  // where the search takes its scratch arrays
};

// The best point found and its objective value.
struct CircleResult {
    double c = 1.0;
    double s = 0.0;
    double value = 0.0;
};

// Largest term count a search accepts: the endpoint array holds
// 2·term_count + 2 values, counted in 32 bits.
constexpr int32_t MAX_TERM_COUNT = (int32_t{1} << 30) - 2;

// F(c, s), with the absolute values summed in term order in one accumulator.
double circle_objective(double c, double s, const CircleProblem& problem);

// Exact direct search: evaluates the four axis points, both circle points of
// every breakpoint of the absolute-value terms and every stationary point of
// each smooth piece between breakpoints, and returns the first point with the
// lowest value. When nothing scores below SENTINEL the result is
// (1, 0, SENTINEL). Throws std::bad_alloc when scratch memory is unavailable.
// The sums over the terms run on the widest lane path that the processor
// offers (ORTHOPAIR_LANES may force a narrower one, see common/lane_choice.h);
// every path gives the same bits.
CircleResult search_circle(const CircleProblem& problem);

// In-place ascending sort of values[0 … count−1] by repeated parent/child
// exchange passes (quadratic, and deterministic also for NaN input).
void sort_ascending(double* values, int32_t count);

// One pass of parent/child exchanges over parents last_parent … 0 of the
// heap-shaped prefix values[0 … size−1].
void exchange_pass(double* values, int32_t last_parent, int32_t size);
