#include "manifold.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace method {

void smooth_gradient(const Problem& p, const double* AXt, double* Gt)
{
    const size_t total = static_cast<size_t>(p.n) * p.r;
    if (p.Et.empty()) {
        std::copy(AXt, AXt + total, Gt);
    } else {
        for (size_t k = 0; k < total; ++k) Gt[k] = AXt[k] + p.Et[k];
    }
}

void multiply(const Problem& p, const double* Xt, double* AXt) { multiply(p.A, p.r, Xt, AXt); }

double objective(const Problem& p, const double* Xt, const double* AXt)
{
    const int32_t n = p.n, r = p.r;
    double quad = 0, lin = 0, l1 = 0;
    for (int32_t i = 0; i < n; ++i) {
        const double* x = Xt + static_cast<size_t>(r) * i;
        const double* ax = AXt + static_cast<size_t>(r) * i;
        for (int32_t c = 0; c < r; ++c) {
            quad += x[c] * ax[c];
            l1 += p.lambda[c] * std::fabs(x[c]);
        }
        if (!p.Et.empty()) {
            const double* e = p.Et.data() + static_cast<size_t>(r) * i;
            for (int32_t c = 0; c < r; ++c) lin += e[c] * x[c];
        }
    }
    return (0.5 * quad + lin) + l1;
}

double objective(const Problem& p, const double* Xt, Products& AX)
{
    const int32_t n = p.n, r = p.r;
    double lin = 0, l1 = 0;
    for (int32_t i = 0; i < n; ++i) {
        const double* x = Xt + static_cast<size_t>(r) * i;
        for (int32_t c = 0; c < r; ++c) l1 += p.lambda[c] * std::fabs(x[c]);
        if (!p.Et.empty()) {
            const double* e = p.Et.data() + static_cast<size_t>(r) * i;
            for (int32_t c = 0; c < r; ++c) lin += e[c] * x[c];
        }
    }
    return (0.5 * AX.quadratic(Xt) + lin) + l1;
}

double spectral_bound(const Problem& p) { return spectral_norm_bound(p.A); }

}  // namespace method
