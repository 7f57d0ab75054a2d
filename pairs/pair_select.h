#pragma once

#include <cstdint>

// Working-pair selection: among randomly drawn pairs of distinct column
// indices (i, j) of two n_rows × n_cols column-major matrices A and B, return
// the best-scoring pair as [i + 1; j + 1] in out[0], out[1].
//
// The draws come from the C runtime's rand(), two values per attempt (first
// i, then j, each mod n_cols), which is never seeded here. min(n_trials,
// n_cols) pairs with i ≠ j are scored; the output is [1; 2] when nothing was
// scored or nothing beat the initial best.

// Σ x[k]·y[k] over k = 0 … n−1: one running sum from +0 in ascending order.
double column_dot(const double* x, const double* y, int64_t n);

// Maximum-violation rule: largest |⟨Aᵢ, Bⱼ⟩ − ⟨Bᵢ, Aⱼ⟩|.
void select_pair_max_violation(const double* A, const double* B, int32_t n_cols,
                               int32_t n_rows, int32_t n_trials, double* out);

// Objective-reduction rule: smallest least linear change over all 2×2
// orthogonal recombinations of the pair's columns.
void select_pair_max_reduction(const double* A, const double* B, int32_t n_cols,
                               int32_t n_rows, int32_t n_trials, double* out);

// Building blocks of the two selectors, declared for the tests.

// Element offset n_rows·k of column k, formed in 64 bits: the 32-bit product
// would overflow for large columns, while every drawable column must be
// reachable.
int64_t column_offset(int32_t n_rows, int32_t k);

// Score of the drawn pair (i, j) under each rule, from the columns Aᵢ, Aⱼ,
// Bᵢ, Bⱼ of n_rows elements each.
double max_violation_score(const double* a_i, const double* a_j,
                           const double* b_i, const double* b_j, int64_t n_rows);
double max_reduction_score(const double* a_i, const double* a_j,
                           const double* b_i, const double* b_j, int64_t n_rows);
