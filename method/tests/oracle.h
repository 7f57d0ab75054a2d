#pragma once

// The certificate's questions answered from their definitions alone, for small
// problems: the best gain of a pair step by scanning both families of O(2)
// and evaluating F from scratch, and the least-norm subgradient's norm by a
// generic minimisation over symmetric multipliers. Plus the points the tests
// ask them about: sparse X with exact zero rows, and points made stationary
// by construction.

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

#include "test_support.h"

namespace method_test {

// (A·X)ᵀ entry by entry.
inline std::vector<double> plain_product(const Instance& inst, const std::vector<double>& Xt)
{
    const int32_t n = inst.n, r = inst.r;
    std::vector<double> AXt(Xt.size(), 0.0);
    for (int32_t i = 0; i < n; ++i) {
        for (int32_t c = 0; c < r; ++c) {
            double v = 0;
            for (int32_t l = 0; l < n; ++l) v += inst.A[i + static_cast<size_t>(n) * l] * Xt[c + static_cast<size_t>(r) * l];
            AXt[c + static_cast<size_t>(r) * i] = v;
        }
    }
    return AXt;
}

// F(X) − F(X') for X' = X with rows i, j replaced by V·X(P, :); V given by a
// family (0: rotation [[c, s], [−s, c]], 1: reflection [[−c, s], [s, c]]) and
// an angle.
inline double literal_gain(const Instance& inst, const std::vector<double>& Xt, double f0,
                           int32_t i, int32_t j, int family, double angle)
{
    const int32_t r = inst.r;
    const double c = std::cos(angle), s = std::sin(angle);
    const double V[4] = {family ? -c : c, family ? s : -s, s, c};  // column-major
    std::vector<double> Y = Xt;
    for (int32_t k = 0; k < r; ++k) {
        const double a = Xt[k + static_cast<size_t>(r) * i], b = Xt[k + static_cast<size_t>(r) * j];
        Y[k + static_cast<size_t>(r) * i] = V[0] * a + V[2] * b;
        Y[k + static_cast<size_t>(r) * j] = V[1] * a + V[3] * b;
    }
    return f0 - literal_objective(inst, Y);
}

// The best gain of a step on the pair (i, j): the largest over `samples`
// angles per family, refined by a golden-section search around the best
// sample of each family, and the gain of the method's own 2×2 solve.
inline double best_pair_gain(const Instance& inst, const std::vector<double>& Xt, int32_t i,
                             int32_t j, int samples)
{
    const double f0 = literal_objective(inst, Xt);
    double best = 0;
    for (int family = 0; family < 2; ++family) {
        double best_t = 0, best_g = -INFINITY;
        for (int k = 0; k < samples; ++k) {
            const double t = 2 * M_PI * k / samples;
            const double g = literal_gain(inst, Xt, f0, i, j, family, t);
            if (g > best_g) {
                best_g = g;
                best_t = t;
            }
        }
        const double h = 2 * M_PI / samples, phi = (std::sqrt(5.0) - 1) / 2;
        double lo = best_t - h, hi = best_t + h;
        for (int it = 0; it < 60; ++it) {
            const double a = hi - phi * (hi - lo), b = lo + phi * (hi - lo);
            const double ga = literal_gain(inst, Xt, f0, i, j, family, a);
            const double gb = literal_gain(inst, Xt, f0, i, j, family, b);
            best_g = std::max(best_g, std::max(ga, gb));
            if (ga > gb) {
                hi = b;
            } else {
                lo = a;
            }
        }
        best = std::max(best, best_g);
    }
    const std::vector<double> AXt = literal_product(inst, Xt);
    std::vector<double> rows(2 * static_cast<size_t>(inst.r)), Y = Xt;
    double floor = 0;
    method::pair_step(inst.problem, Xt.data(), AXt.data(), i, j, rows.data(), &floor);
    for (int32_t k = 0; k < inst.r; ++k) {
        Y[k + static_cast<size_t>(inst.r) * i] = rows[k];
        Y[k + static_cast<size_t>(inst.r) * j] = rows[inst.r + k];
    }
    return std::max(best, f0 - literal_objective(inst, Y));
}

// min over symmetric Λ of ‖R(∇f − XΛ)‖_F, R(v) = v + λ·sign(x) where x ≠ 0 and
// the shrinkage of v by λ where x = 0 (the least-norm element of the
// subdifferential). ψ(Λ) = ‖R(∇f − XΛ)‖² is convex with gradient
// −2·sym(Xᵀ·R(∇f − XΛ)), Lipschitz with constant 2 (XᵀX = I): accelerated
// gradient descent with restarts, step ½.
inline double literal_stationarity(const Instance& inst, const std::vector<double>& Xt,
                                   int iterations = 20000)
{
    const int32_t n = inst.n, r = inst.r;
    const std::vector<double> AXt = plain_product(inst, Xt);
    std::vector<double> G(AXt);
    if (!inst.problem.Et.empty()) {
        for (size_t q = 0; q < G.size(); ++q) G[q] += inst.problem.Et[q];
    }
    std::vector<double> R(G.size());
    auto residual = [&](const std::vector<double>& L) {
        double sum = 0;
        for (int32_t i = 0; i < n; ++i) {
            for (int32_t b = 0; b < r; ++b) {
                double v = G[b + static_cast<size_t>(r) * i];
                for (int32_t a = 0; a < r; ++a) v -= Xt[a + static_cast<size_t>(r) * i] * L[a + r * b];
                const double x = Xt[b + static_cast<size_t>(r) * i], lam = inst.problem.lambda[b];
                if (x > 0) {
                    v += lam;
                } else if (x < 0) {
                    v -= lam;
                } else {
                    v = std::fabs(v) > lam ? v - std::copysign(lam, v) : 0.0;
                }
                R[b + static_cast<size_t>(r) * i] = v;
                sum += v * v;
            }
        }
        return sum;
    };
    std::vector<double> L(static_cast<size_t>(r) * r, 0.0), Y = L, prev = L, grad(L.size());
    double best = residual(L), theta = 1, last = best;
    for (int it = 0; it < iterations; ++it) {
        const double value = residual(Y);
        best = std::min(best, value);
        for (int32_t a = 0; a < r; ++a) {
            for (int32_t b = 0; b < r; ++b) {
                double s = 0;
                for (int32_t i = 0; i < n; ++i) {
                    s += Xt[a + static_cast<size_t>(r) * i] * R[b + static_cast<size_t>(r) * i];
                }
                grad[a + r * b] = -2 * s;
            }
        }
        for (int32_t a = 0; a < r; ++a) {
            for (int32_t b = 0; b < r; ++b) {
                const double g = 0.5 * (grad[a + r * b] + grad[b + r * a]);
                prev[a + r * b] = L[a + r * b];
                L[a + r * b] = Y[a + r * b] - 0.5 * g;
            }
        }
        const double now = residual(L);
        best = std::min(best, now);
        if (now > last) theta = 1;  // restart the momentum
        last = now;
        const double next = (1 + std::sqrt(1 + 4 * theta * theta)) / 2;
        for (size_t q = 0; q < L.size(); ++q) Y[q] = L[q] + (theta - 1) / next * (L[q] - prev[q]);
        theta = next;
    }
    return std::sqrt(best);
}

// ---- points -----------------------------------------------------------------

// A symmetric n×n matrix: dense standard normal (indefinite) when m = 0, else
// −2·BᵀB for a standard normal m×n B (negative semidefinite, as sparse PCA).
inline std::vector<double> random_symmetric(int32_t n, int32_t m, std::mt19937_64& rng)
{
    std::normal_distribution<double> normal;
    std::vector<double> A(static_cast<size_t>(n) * n);
    std::vector<double> B(static_cast<size_t>(std::max(m, 1)) * n);
    for (double& b : B) b = normal(rng);
    for (int32_t j = 0; j < n; ++j) {
        for (int32_t i = 0; i <= j; ++i) {
            double v = 0;
            if (m == 0) {
                v = normal(rng);
            } else {
                for (int32_t k = 0; k < m; ++k) v += B[k + static_cast<size_t>(m) * i] * B[k + static_cast<size_t>(m) * j];
                v *= -2.0 / m;
            }
            A[i + static_cast<size_t>(n) * j] = A[j + static_cast<size_t>(n) * i] = v;
        }
    }
    return A;
}

// Orthonormal X whose rows outside `support` are exactly zero; with
// disjoint set, column c lives on its own share of the support (exact zeros
// inside the nonzero rows too).
inline std::vector<double> sparse_feasible(int32_t n, int32_t r, const std::vector<int32_t>& support,
                                           bool disjoint, std::mt19937_64& rng)
{
    std::vector<double> Xt(static_cast<size_t>(n) * r, 0.0);
    const int32_t s = static_cast<int32_t>(support.size());
    if (disjoint) {
        std::normal_distribution<double> normal;
        for (int32_t c = 0; c < r; ++c) {
            double norm = 0;
            for (int32_t k = c; k < s; k += r) {
                const double v = normal(rng);
                Xt[c + static_cast<size_t>(r) * support[k]] = v;
                norm += v * v;
            }
            for (int32_t k = c; k < s; k += r) Xt[c + static_cast<size_t>(r) * support[k]] /= std::sqrt(norm);
        }
        return Xt;
    }
    const std::vector<double> small = random_feasible(s, r, rng);
    for (int32_t k = 0; k < s; ++k) {
        for (int32_t c = 0; c < r; ++c) Xt[c + static_cast<size_t>(r) * support[k]] = small[c + static_cast<size_t>(r) * k];
    }
    return Xt;
}

// Makes the instance's X first-order stationary by choosing E: with a
// symmetric Λ and σ = sign(X) on nonzeros, any value in [−1, 1] on zeros,
// E = −A·X + X·Λ − λ∘σ gives ∇f + λ∘σ − X·Λ = 0. Λ = −shift·I + noise; a
// large shift makes X a strict local minimiser, a small or negative one
// leaves pairs that still gain. edge puts some σ at exactly ±1.
inline void make_stationary(Instance& inst, double shift, bool edge, std::mt19937_64& rng)
{
    const int32_t n = inst.n, r = inst.r;
    std::normal_distribution<double> normal;
    std::uniform_real_distribution<double> uniform(-1, 1);
    std::vector<double> L(static_cast<size_t>(r) * r);
    for (int32_t a = 0; a < r; ++a) {
        for (int32_t b = 0; b <= a; ++b) L[a + r * b] = L[b + r * a] = 0.3 * normal(rng) - (a == b ? shift : 0.0);
    }
    inst.problem.Et.assign(static_cast<size_t>(n) * r, 0.0);
    const std::vector<double> AXt = plain_product(inst, inst.Xt);
    for (int32_t i = 0; i < n; ++i) {
        for (int32_t b = 0; b < r; ++b) {
            const size_t q = b + static_cast<size_t>(r) * i;
            const double x = inst.Xt[q];
            double sigma = x > 0 ? 1.0 : (x < 0 ? -1.0 : uniform(rng));
            if (x == 0 && edge && (i + b) % 3 == 0) sigma = sigma > 0 ? 1.0 : -1.0;
            double xl = 0;
            for (int32_t a = 0; a < r; ++a) xl += inst.Xt[a + static_cast<size_t>(r) * i] * L[a + r * b];
            inst.problem.Et[q] = (xl - AXt[q]) - inst.problem.lambda[b] * sigma;
        }
    }
}

// Rows of X that are exactly zero.
inline int32_t zero_rows(const Instance& inst, const std::vector<double>& Xt)
{
    int32_t count = 0;
    for (int32_t i = 0; i < inst.n; ++i) {
        bool zero = true;
        for (int32_t c = 0; c < inst.r; ++c) zero = zero && Xt[c + static_cast<size_t>(inst.r) * i] == 0;
        count += zero;
    }
    return count;
}

}  // namespace method_test
