#pragma once

// The checks of a call's numbers that both hosts make before a run, on
// plain arrays: whether A is symmetric up to rounding and how far X0 is
// from having orthonormal columns. Each host reads its own arrays (through
// an accessor or as compressed columns) and words the error itself.

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>

#include "tolerances.h"

namespace method {

// The first pair (i, j) found whose entries A(i, j) and A(j, i) differ by
// more than the tolerance, and by how much (A(i, j) − A(j, i)).
struct Asymmetry {
    bool found = false;
    int64_t i = 0, j = 0;
    double difference = 0;
};

// A dense n×n A read as at(i, j), finite. exact tells whether every pair
// is equal to the bit.
template <class At>
Asymmetry dense_asymmetry(size_t n, At at, bool& exact)
{
    double amax = 0;
    for (size_t j = 0; j < n; ++j) {
        for (size_t i = 0; i < n; ++i) amax = std::fmax(amax, std::fabs(at(i, j)));
    }
    exact = true;
    for (size_t j = 0; j < n; ++j) {
        for (size_t i = 0; i < j; ++i) {
            const double d = at(i, j) - at(j, i);
            exact = exact && d == 0;
            if (std::fabs(d) > tolerances::symmetry * amax) {
                return {true, static_cast<int64_t>(i), static_cast<int64_t>(j), d};
            }
        }
    }
    return {};
}

// A sparse n×n A in compressed columns (column starts jc, row indices ir
// ascending in each column, finite values v). An entry without a stored
// partner is compared with zero.
template <class Index>
Asymmetry sparse_asymmetry(int64_t n, const Index* jc, const Index* ir, const double* v)
{
    double amax = 0;
    for (Index q = 0; q < jc[n]; ++q) amax = std::fmax(amax, std::fabs(v[q]));
    for (int64_t j = 0; j < n; ++j) {
        for (Index q = jc[j]; q < jc[j + 1]; ++q) {
            const Index i = ir[q];
            // A(j, i): row j in column i, by bisection over its sorted rows.
            const Index* first = ir + jc[i];
            const Index* last = ir + jc[i + 1];
            const Index* at = std::lower_bound(first, last, static_cast<Index>(j));
            const double partner = (at != last && *at == static_cast<Index>(j)) ? v[at - ir] : 0.0;
            if (std::fabs(v[q] - partner) > tolerances::symmetry * amax) {
                return {true, static_cast<int64_t>(i), j, v[q] - partner};
            }
        }
    }
    return {};
}

// The exactly symmetric part ½(A + Aᵀ) of a column-major n×n A, in place.
// ½(a + b) does not depend on the order of a and b, so A and Aᵀ give the
// same matrix.
inline void make_symmetric(size_t n, double* A)
{
    for (size_t j = 0; j < n; ++j) {
        for (size_t i = 0; i < j; ++i) {
            const double v = 0.5 * (A[i + n * j] + A[j + n * i]);
            A[i + n * j] = v;
            A[j + n * i] = v;
        }
    }
}

// ‖XᵀX − I‖_F for an n×r X read as at(i, c), from the upper triangle of
// XᵀX (the entries off the diagonal counted twice).
template <class At>
double orthonormality_defect(size_t n, size_t r, At at)
{
    double defect = 0;
    for (size_t b = 0; b < r; ++b) {
        for (size_t a = 0; a <= b; ++a) {
            double s = 0;
            for (size_t i = 0; i < n; ++i) s += at(i, a) * at(i, b);
            const double d = s - (a == b ? 1.0 : 0.0);
            defect += (a == b ? 1.0 : 2.0) * d * d;
        }
    }
    return std::sqrt(defect);
}

}  // namespace method
