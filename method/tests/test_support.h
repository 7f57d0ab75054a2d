#pragma once

// Random problems and plain literal references for the method's tests.

#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

#include "method_internal.h"

namespace method_test {

// A problem that owns its data.
struct Instance {
    int32_t n = 0, r = 0;
    std::vector<double> A;   // n×n, symmetric
    std::vector<double> Xt;  // r×n, transposed feasible point
    method::Problem problem;

    void bind()
    {
        problem.n = n;
        problem.r = r;
        problem.A = method::dense_operator(n, A.data());
    }
};

// Orthonormal columns by modified Gram–Schmidt (twice), returned transposed.
inline std::vector<double> random_feasible(int32_t n, int32_t r, std::mt19937_64& rng)
{
    std::normal_distribution<double> normal;
    std::vector<double> X(static_cast<size_t>(n) * r);
    for (double& x : X) x = normal(rng);
    for (int pass = 0; pass < 2; ++pass) {
        for (int32_t c = 0; c < r; ++c) {
            double* xc = X.data() + static_cast<size_t>(n) * c;
            for (int32_t b = 0; b < c; ++b) {
                const double* xb = X.data() + static_cast<size_t>(n) * b;
                double d = 0;
                for (int32_t i = 0; i < n; ++i) d += xb[i] * xc[i];
                for (int32_t i = 0; i < n; ++i) xc[i] -= d * xb[i];
            }
            double norm = 0;
            for (int32_t i = 0; i < n; ++i) norm += xc[i] * xc[i];
            norm = std::sqrt(norm);
            for (int32_t i = 0; i < n; ++i) xc[i] /= norm;
        }
    }
    std::vector<double> Xt(X.size());
    for (int32_t i = 0; i < n; ++i) {
        for (int32_t c = 0; c < r; ++c) Xt[c + static_cast<size_t>(r) * i] = X[i + static_cast<size_t>(n) * c];
    }
    return Xt;
}

// An m×n matrix of standard normal columns, each centred and scaled to unit
// norm: data for the benchmarks' sparse PCA problems.
inline std::vector<double> standardized_columns(int32_t m, int32_t n, std::mt19937_64& rng)
{
    std::normal_distribution<double> normal;
    std::vector<double> B(static_cast<size_t>(m) * n);
    for (double& b : B) b = normal(rng);
    for (int32_t j = 0; j < n; ++j) {
        double* col = B.data() + static_cast<size_t>(m) * j;
        double mean = 0, norm = 0;
        for (int32_t k = 0; k < m; ++k) mean += col[k] / m;
        for (int32_t k = 0; k < m; ++k) norm += (col[k] - mean) * (col[k] - mean);
        for (int32_t k = 0; k < m; ++k) col[k] = (col[k] - mean) / std::sqrt(norm);
    }
    return B;
}

// Sparse PCA: A = −2·BᵀB with B m×n standard normal (m = 20 unless given),
// columns centred and scaled to unit norm; optional E and per-column weights.
inline Instance random_instance(int32_t n, int32_t r, double lambda, uint64_t seed, bool with_e = false,
                                bool varied_weights = false, int32_t m = 20)
{
    std::mt19937_64 rng(seed);
    std::normal_distribution<double> normal;
    Instance inst;
    inst.n = n;
    inst.r = r;
    std::vector<double> B(static_cast<size_t>(m) * n);
    for (double& b : B) b = normal(rng);
    for (int32_t j = 0; j < n; ++j) {
        double* col = B.data() + static_cast<size_t>(m) * j;
        double mean = 0;
        for (int32_t k = 0; k < m; ++k) mean += col[k];
        mean /= m;
        double norm = 0;
        for (int32_t k = 0; k < m; ++k) {
            col[k] -= mean;
            norm += col[k] * col[k];
        }
        norm = std::sqrt(norm);
        for (int32_t k = 0; k < m; ++k) col[k] /= norm;
    }
    inst.A.assign(static_cast<size_t>(n) * n, 0.0);
    for (int32_t j = 0; j < n; ++j) {
        for (int32_t i = 0; i <= j; ++i) {
            double s = 0;
            for (int32_t k = 0; k < m; ++k) s += B[k + static_cast<size_t>(m) * i] * B[k + static_cast<size_t>(m) * j];
            inst.A[i + static_cast<size_t>(n) * j] = -2 * s;
            inst.A[j + static_cast<size_t>(n) * i] = -2 * s;
        }
    }
    inst.problem.lambda.assign(r, lambda);
    if (varied_weights) {
        for (int32_t c = 0; c < r; ++c) inst.problem.lambda[c] = lambda * (0.5 + c % 3 * 0.5);
    }
    if (with_e) {
        inst.problem.Et.resize(static_cast<size_t>(n) * r);
        for (double& e : inst.problem.Et) e = 0.3 * normal(rng);
    }
    inst.Xt = random_feasible(n, r, rng);
    inst.bind();
    return inst;
}

// F literally: ½·Σ_ik x_ik·(A·X)_ik + Σ e·x + Σ λ_k·|x_ik|, with A·X formed
// entry by entry.
inline double literal_objective(const Instance& inst, const std::vector<double>& Xt)
{
    const int32_t n = inst.n, r = inst.r;
    double quad = 0, lin = 0, l1 = 0;
    for (int32_t i = 0; i < n; ++i) {
        for (int32_t c = 0; c < r; ++c) {
            double ax = 0;
            for (int32_t l = 0; l < n; ++l) ax += inst.A[i + static_cast<size_t>(n) * l] * Xt[c + static_cast<size_t>(r) * l];
            const double x = Xt[c + static_cast<size_t>(r) * i];
            quad += x * ax;
            if (!inst.problem.Et.empty()) lin += inst.problem.Et[c + static_cast<size_t>(r) * i] * x;
            l1 += inst.problem.lambda[c] * std::fabs(x);
        }
    }
    return 0.5 * quad + lin + l1;
}

inline std::vector<double> literal_product(const Instance& inst, const std::vector<double>& Xt)
{
    std::vector<double> AXt(Xt.size());
    method::multiply(inst.problem, Xt.data(), AXt.data());
    return AXt;
}

}  // namespace method_test
