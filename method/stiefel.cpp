#include "stiefel.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "multiplier.h"
#include "tolerances.h"

// One thread: a parallel product would sum in an order that depends on the
// scheduling.
#define EIGEN_DONT_PARALLELIZE
#include <Eigen/Core>

namespace method {
namespace tl = tolerances;

double feasibility(const Problem& p, const double* Xt)
{
    const int32_t r = p.r;
    std::vector<double> S(static_cast<size_t>(r) * r);
    cross(p.n, r, Xt, Xt, S.data());
    double sum = 0;
    for (int32_t b = 0; b < r; ++b) {
        for (int32_t a = 0; a < r; ++a) {
            const double v = S[a + r * b] - (a == b ? 1.0 : 0.0);
            sum += v * v;
        }
    }
    return std::sqrt(sum);
}

void symmetric_eigen(int32_t r, double* S, double* values, double* vectors)
{
    for (int32_t b = 0; b < r; ++b) {
        for (int32_t a = 0; a < r; ++a) vectors[a + r * b] = (a == b) ? 1.0 : 0.0;
    }
    for (int sweep = 0; sweep < tl::jacobi_sweeps; ++sweep) {
        double off = 0, diag = 0;
        for (int32_t b = 0; b < r; ++b) {
            diag += S[b + r * b] * S[b + r * b];
            for (int32_t a = 0; a < b; ++a) off += S[a + r * b] * S[a + r * b];
        }
        if (!(off > tl::jacobi_off * diag) || off == 0) break;
        for (int32_t q = 1; q < r; ++q) {
            for (int32_t pp = 0; pp < q; ++pp) {
                const double apq = S[pp + r * q];
                if (apq == 0) continue;
                const double app = S[pp + r * pp], aqq = S[q + r * q];
                // The rotation that zeroes S(p, q): tan θ from the stable root.
                const double theta = (aqq - app) / (2 * apq);
                const double t = (theta >= 0 ? 1.0 : -1.0) /
                                 (std::fabs(theta) + std::sqrt(theta * theta + 1));
                const double c = 1 / std::sqrt(t * t + 1), s = t * c;
                for (int32_t k = 0; k < r; ++k) {
                    const double skp = S[k + r * pp], skq = S[k + r * q];
                    S[k + r * pp] = c * skp - s * skq;
                    S[k + r * q] = s * skp + c * skq;
                }
                for (int32_t k = 0; k < r; ++k) {
                    const double spk = S[pp + r * k], sqk = S[q + r * k];
                    S[pp + r * k] = c * spk - s * sqk;
                    S[q + r * k] = s * spk + c * sqk;
                }
                for (int32_t k = 0; k < r; ++k) {
                    const double vkp = vectors[k + r * pp], vkq = vectors[k + r * q];
                    vectors[k + r * pp] = c * vkp - s * vkq;
                    vectors[k + r * q] = s * vkp + c * vkq;
                }
            }
        }
    }
    for (int32_t a = 0; a < r; ++a) values[a] = S[a + r * a];
}

bool polar(int32_t n, int32_t r, double* Xt)
{
    // XᵀX and the product below are the O(n·r²) work; Eigen's blocked
    // kernels (one thread) do them at about 1.5 times the speed of plain
    // loops for r = 50.
    using Matrix = Eigen::Matrix<double, Eigen::Dynamic, Eigen::Dynamic>;
    Eigen::Map<Matrix> X(Xt, r, n);
    const size_t rr = static_cast<size_t>(r) * r;
    std::vector<double> Qv(rr), d(r);
    Matrix S = Matrix::Zero(r, r);
    S.selfadjointView<Eigen::Lower>().rankUpdate(X);
    S.triangularView<Eigen::StrictlyUpper>() = S.transpose();
    symmetric_eigen(r, S.data(), d.data(), Qv.data());
    for (int32_t k = 0; k < r; ++k) {
        if (!(d[k] > 0)) return false;
        d[k] = 1 / std::sqrt(d[k]);
    }
    // M = Q·D^(−1/2)·Qᵀ, symmetric; row i of X·M is (M·x_i)ᵀ, so Xt ← M·Xt,
    // a block of rows of X at a time.
    const Eigen::Map<const Matrix> Q(Qv.data(), r, r);
    const Matrix M = Q * Eigen::Map<const Eigen::VectorXd>(d.data(), r).asDiagonal() * Q.transpose();
    constexpr int32_t block = 512;
    Matrix Y(r, std::min(n, block));
    for (int32_t start = 0; start < n; start += block) {
        const int32_t count = std::min(block, n - start);
        Y.leftCols(count).noalias() = M * X.middleCols(start, count);
        X.middleCols(start, count) = Y.leftCols(count);
    }
    return true;
}

int64_t snap_small(const Problem& p, double* Xt)
{
    int64_t changed = 0;
    for (int32_t i = 0; i < p.n; ++i) {
        double* x = Xt + static_cast<size_t>(p.r) * i;
        for (int32_t c = 0; c < p.r; ++c) {
            if (p.lambda[c] > 0 && x[c] != 0 && std::fabs(x[c]) <= tl::rounding_zero) {
                x[c] = 0;
                ++changed;
            }
        }
    }
    return changed;
}

}  // namespace method
