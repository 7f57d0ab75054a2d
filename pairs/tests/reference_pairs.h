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

// Σ x[k]·y[k] over k = 0 … n − 1: one running sum from +0, taken strictly in
// ascending order, each product rounded before it is added. Every score is
// built from such products, and the winner among nearly equal pairs depends
// on their last bits. Starting from +0 makes a sum of zero terms +0 even when
// every product is −0.
inline double column_dot(const double* x, const double* y, int64_t n) {
    double sum = 0.0;
    for (int64_t k = 0; k < n; k++) {
        double product = x[k] * y[k];
        sum = sum + product;
    }
    return sum;
}

// The product of column p of X with column q of Y.
inline double dot(const double* X, int64_t p, const double* Y, int64_t q,
                  int64_t n_rows) {
    if (n_rows <= 0) {
        return column_dot(X, Y, n_rows);
    }
    return column_dot(X + n_rows * p, Y + n_rows * q, n_rows);
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

// The C runtime's generator.
struct CRand {
    static constexpr int max = RAND_MAX;
    static int next() { return std::rand(); }
};

// One index in 0 … n_cols − 1. When the generator's values reach n_cols − 1,
// one value mod n_cols. Otherwise values are drawn, first most significant,
// as the digits of a number in base max + 1 until the digits can reach
// n_cols − 1, and the index is that number mod n_cols. Counts the values in
// draws.
template <typename Generator>
inline int32_t draw_index(int32_t n_cols, int64_t& draws) {
    if (Generator::max >= n_cols - 1) {
        draws += 1;
        return Generator::next() % n_cols;
    }
    uint64_t base = uint64_t(Generator::max) + 1;
    uint64_t value = 0;
    uint64_t reach = 1;
    while (reach < uint64_t(n_cols)) {
        value = value * base + uint64_t(Generator::next());
        reach = reach * base;
        draws += 1;
    }
    return int32_t(value % uint64_t(n_cols));
}

// The sampling frame with either rule. Returns how many generator values the
// call consumed.
template <typename Generator = CRand>
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
        int32_t i = draw_index<Generator>(n_cols, draws);
        int32_t j = draw_index<Generator>(n_cols, draws);
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
