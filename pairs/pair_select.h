#pragma once

#include <cstdint>

#include "common/lane_choice.h"

// Working-pair selection: among randomly drawn pairs of distinct column
// indices (i, j) of two n_rows × n_cols column-major matrices A and B, return
// the best-scoring pair as [i + 1; j + 1] in out[0], out[1].
//
// The draws come from the C runtime's rand(), which is never seeded here.
// Every attempt draws i first and then j; min(n_trials, n_cols) pairs with
// i ≠ j are scored; the output is [1; 2] when nothing was scored or nothing
// beat the initial best. Each index takes one rand() value reduced mod
// n_cols, except where RAND_MAX < n_cols − 1 (a 15-bit generator and more
// than 32768 columns): there it is formed from as many values as it takes to
// cover n_cols (pair_frame.h).

// Maximum-violation rule: largest |⟨Aᵢ, Bⱼ⟩ − ⟨Bᵢ, Aⱼ⟩|.
void select_pair_max_violation(const double* A, const double* B, int32_t n_cols,
                               int32_t n_rows, int32_t n_trials, double* out);

// Objective-reduction rule: smallest least linear change over all 2×2
// orthogonal recombinations of the pair's columns.
void select_pair_max_reduction(const double* A, const double* B, int32_t n_cols,
                               int32_t n_rows, int32_t n_trials, double* out);

// Building blocks of the two selectors, declared for the tests and the
// benchmark.

// The ways the column products can be run: the lane paths every kernel
// names (common/lane_choice.h), of which the selectors have three. Every
// path gives the same bits.
//   scalar  a plain pair of doubles per pair of sums
//   vector  the compiler's 16-byte vectors (SSE2 on x86-64), where it has them
//   avx2    the same 16-byte vectors in code compiled for AVX2, on x86
//           processors that have it
// avx512 and automatic name no path of the selectors: pair_lanes_available
// is false for them.
using PairLanes = orthopair::LanePath;

// The path the selectors take in this process: the widest that the build and
// the processor have and that ORTHOPAIR_LANES allows (common/lane_choice.h).
// Chosen on the first call and kept.
PairLanes chosen_pair_lanes();

// True when this build has the path and the processor can run it.
bool pair_lanes_available(PairLanes lanes);

// The selectors on a given path (one that is available).
void select_pair_max_violation_on(PairLanes lanes, const double* A, const double* B,
                                  int32_t n_cols, int32_t n_rows, int32_t n_trials,
                                  double* out);
void select_pair_max_reduction_on(PairLanes lanes, const double* A, const double* B,
                                  int32_t n_cols, int32_t n_rows, int32_t n_trials,
                                  double* out);

// Element offset n_rows·k of column k, formed in 64 bits: the 32-bit product
// would overflow for large columns, while every drawable column must be
// reachable. Inline: the frame forms two per drawn pair, and with short
// columns a call each is a noticeable part of a pair's cost.
inline int64_t column_offset(int32_t n_rows, int32_t k) {
    return static_cast<int64_t>(n_rows) * static_cast<int64_t>(k);
}

// Score of the drawn pair (i, j) under each rule on a given path, from the
// columns Aᵢ, Aⱼ, Bᵢ, Bⱼ of n_rows elements each.
double max_violation_score(PairLanes lanes, const double* a_i, const double* a_j,
                           const double* b_i, const double* b_j, int64_t n_rows);
double max_reduction_score(PairLanes lanes, const double* a_i, const double* a_j,
                           const double* b_i, const double* b_j, int64_t n_rows);
