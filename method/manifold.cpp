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

void multiply(const Problem& p, const double* Xt, double* AXt)
{
    // One column of A·X at a time, as a sum of columns of A over l
    // ascending: the inner loop runs down a contiguous column, and the zero
    // entries of the (typically sparse) X cost nothing.
    const int32_t n = p.n, r = p.r;
    std::vector<double> y(n);
    for (int32_t c = 0; c < r; ++c) {
        std::fill(y.begin(), y.end(), 0.0);
        for (int32_t l = 0; l < n; ++l) {
            const double x = Xt[c + static_cast<size_t>(r) * l];
            if (x == 0) continue;
            const double* a = p.A + static_cast<size_t>(n) * l;
            for (int32_t k = 0; k < n; ++k) y[k] += a[k] * x;
        }
        for (int32_t k = 0; k < n; ++k) AXt[c + static_cast<size_t>(r) * k] = y[k];
    }
}

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

double spectral_bound(const Problem& p)
{
    const int32_t n = p.n;
    std::vector<double> v(n), w(n);
    for (int32_t i = 0; i < n; ++i) v[i] = 1.0 + 0.5 * std::sin(1.0 + i);
    double estimate = 0;
    for (int it = 0; it < 60; ++it) {
        double norm = 0;
        for (double x : v) norm += x * x;
        norm = std::sqrt(norm);
        if (!(norm > 0)) break;
        for (double& x : v) x /= norm;
        for (int32_t k = 0; k < n; ++k) {
            const double* a = p.A + static_cast<size_t>(n) * k;
            double s = 0;
            for (int32_t l = 0; l < n; ++l) s += a[l] * v[l];
            w[k] = s;
        }
        double wn = 0;
        for (double x : w) wn += x * x;
        estimate = std::sqrt(wn);
        v.swap(w);
    }
    return 1.02 * estimate + 1e-300;
}

}  // namespace method
