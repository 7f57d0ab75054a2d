#pragma once

// Generators of test data for the subproblem solver: ordinary random values
// mixed with the values that break careless code (ties, signed zeros, values
// at the negligibility threshold, NaN, infinities, huge slopes).

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

#include "common/constants.h"

namespace testdata {

inline uint64_t bits(double x) {
    uint64_t b;
    std::memcpy(&b, &x, sizeof b);
    return b;
}

// Mix of value kinds; `special` is the probability of an awkward value.
inline double value(std::mt19937_64& rng, double special = 0.15) {
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    std::normal_distribution<double> normal(0.0, 1.0);
    if (unit(rng) >= special) {
        if (unit(rng) < 0.3) return static_cast<double>(static_cast<int>(rng() % 7) - 3);
        return normal(rng);
    }
    constexpr double inf = std::numeric_limits<double>::infinity();
    const double picks[] = {0.0,
                            -0.0,
                            DEGENERACY_EPS,
                            -DEGENERACY_EPS,
                            std::nextafter(DEGENERACY_EPS, 1.0),
                            1e-300,
                            1e200,
                            -1e200,
                            inf,
                            -inf,
                            std::numeric_limits<double>::quiet_NaN(),
                            0.5,
                            1.0};
    return picks[rng() % (sizeof picks / sizeof picks[0])];
}

inline std::vector<double> values(std::mt19937_64& rng, size_t n, double special) {
    std::vector<double> v(n);
    for (auto& x : v) x = value(rng, special);
    return v;
}

// A subproblem: Q (16, symmetric unless asked otherwise), G (4), lambda,
// z1, z2 (n each).
struct Subproblem {
    std::vector<double> Q, G, z1, z2;
    double lambda = 0.0;
    int32_t n = 0;
};

inline Subproblem subproblem(std::mt19937_64& rng, int32_t n, double special) {
    Subproblem p;
    p.Q.assign(16, 0.0);
    for (int col = 0; col < 4; ++col) {
        for (int row = 0; row <= col; ++row) {
            const double x = value(rng, special);
            p.Q[row + 4 * col] = x;
            p.Q[col + 4 * row] = x;
        }
    }
    p.G = values(rng, 4, special);
    p.lambda = std::fabs(value(rng, special));
    p.n = n;
    p.z1 = values(rng, static_cast<size_t>(n > 0 ? n : 0), special);
    p.z2 = values(rng, static_cast<size_t>(n > 0 ? n : 0), special);
    return p;
}

// Objective of the subproblem at a 2×2 matrix V (column-major).
inline double subproblem_objective(const Subproblem& p, const double* V) {
    double quad = 0.0;
    for (int r = 0; r < 4; ++r)
        for (int k = 0; k < 4; ++k) quad += V[r] * p.Q[r + 4 * k] * V[k];
    double lin = 0.0;
    for (int r = 0; r < 4; ++r) lin += p.G[r] * V[r];
    double l1 = 0.0;
    for (int32_t k = 0; k < p.n; ++k) {
        l1 += std::fabs(V[0] * p.z1[k] + V[2] * p.z2[k]);
        l1 += std::fabs(V[1] * p.z1[k] + V[3] * p.z2[k]);
    }
    return 0.5 * quad + lin + p.lambda * l1;
}

}  // namespace testdata
