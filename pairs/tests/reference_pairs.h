#pragma once

// A plain, literal version of the pair selectors, kept only as the yardstick
// the production code is checked against bit for bit. It follows the
// algorithm step by step with straightforward loops and indexes elements as
// r + n_rows·k directly. Leave it simple: any optimisation belongs in the
// production code, never here.

#include <cmath>
#include <cstdint>
#include <cstdlib>

#include "common/constants.h"

namespace reference {

enum class Rule { max_violation, max_reduction };

// Σ X[r, p]·Y[r, q] over r = 0 … n_rows − 1, one running sum from +0.
inline double dot(const double* X, int64_t p, const double* Y, int64_t q,
                  int64_t n_rows) {
    double s = 0.0;
    for (int64_t r = 0; r < n_rows; r++) {
        double product = X[r + n_rows * p] * Y[r + n_rows * q];
        s = s + product;
    }
    return s;
}

inline double score(Rule rule, const double* A, const double* B, int64_t i,
                    int64_t j, int64_t n_rows) {
    if (rule == Rule::max_violation) {
        double P = dot(A, i, B, j, n_rows);
        double Q = dot(B, i, A, j, n_rows);
        return std::fabs(P - Q);
    }
    double h = dot(B, i, A, i, n_rows);
    double l = dot(B, j, A, j, n_rows);
    double m = dot(B, i, A, j, n_rows);
    double o = dot(B, j, A, i, n_rows);
    double t = l + h;
    double d = m - o;
    double u = std::sqrt(d * d + t * t);
    double e = o + m;
    double f = l - h;
    double w = std::sqrt(e * e + f * f);
    double s1 = (-t) - u;
    double s2 = (-t) - w;
    if (s1 < s2) {
        return s1;
    }
    return s2;
}

// The sampling frame with either rule. Returns how many rand() values the
// call consumed.
inline int64_t select(Rule rule, const double* A, const double* B,
                      int32_t n_cols, int32_t n_rows, int32_t n_trials,
                      double* out) {
    out[0] = 1.0;
    out[1] = 2.0;
    int32_t limit = n_cols;
    if (n_trials < n_cols) {
        limit = n_trials;
    }
    if (limit <= 0 || n_cols == 1) {
        return 0;
    }
    double best = SENTINEL;
    if (rule == Rule::max_violation) {
        best = -SENTINEL;
    }
    int64_t draws = 0;
    int32_t evaluated = 0;
    while (evaluated < limit) {
        int32_t i = std::rand() % n_cols;
        int32_t j = std::rand() % n_cols;
        draws += 2;
        if (i == j) {
            continue;
        }
        double s = score(rule, A, B, i, j, n_rows);
        bool better = false;
        if (rule == Rule::max_violation) {
            better = s > best;
        } else {
            better = s < best;
        }
        if (better) {
            out[0] = i + 1;
            out[1] = j + 1;
            best = s;
        }
        evaluated++;
    }
    return draws;
}

}  // namespace reference
