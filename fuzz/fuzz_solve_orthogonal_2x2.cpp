// solve_orthogonal_2x2 on arbitrary Q, G, lambda and up to 24 pairs, with n
// also zero or negative.
//
// V must have the bits of the literal solver, whatever the data. NaN and
// infinities included, V must also be a rotation
// [c s; −s c] or a reflection [−c s; s c] of a finite point (c, s) on the unit
// circle up to rounding: each family's search returns either its start point
// (1, 0) or a candidate whose objective value is finite, and every candidate
// is a point of the circle. The solver must read only the diagonal and upper
// triangle of Q (the lower triangle is set to NaN in a second call, which
// must give the same bits) and only the first n entries of z1 and z2 (the
// arrays hold exactly n doubles).

#include <cmath>
#include <cstdint>
#include <limits>
#include <memory>

#include "fuzz_input.h"
#include "orthogonal_2x2.h"
#include "reference_subproblem.h"

namespace {

using fuzz::bits;

constexpr double CIRCLE_TOLERANCE = 8 * std::numeric_limits<double>::epsilon();

bool negated(double a, double b) { return bits(a) == (bits(b) ^ 0x8000'0000'0000'0000ULL); }

void check_v(const double* V) {
    for (int i = 0; i < 4; ++i) FUZZ_CHECK(std::isfinite(V[i]));
    // V is column-major: rotation [c, −s, s, c], reflection [−c, s, s, c].
    const bool rotation = bits(V[0]) == bits(V[3]) && negated(V[1], V[2]);
    const bool reflection = negated(V[0], V[3]) && bits(V[1]) == bits(V[2]);
    FUZZ_CHECK(rotation || reflection);
    const double c = V[3], s = V[2];
    FUZZ_CHECK(std::fabs((c * c + s * s) - 1.0) <= CIRCLE_TOLERANCE);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::Input in(data, size);

    // Counts: mostly 0 … 24 pairs; sometimes a count of no pairs with no
    // arrays behind it, as when the host passes empty arrays.
    const uint8_t mode = in.byte();
    int32_t n = static_cast<int32_t>(mode % 25);
    bool no_arrays = false;
    if (mode > 250) {
        const int32_t none[] = {0, -1, -7, INT32_MIN, -2147483647};
        n = none[mode - 251];
        no_arrays = true;
    }

    double Q[16], G[4];
    for (double& x : Q) x = in.real();
    for (double& x : G) x = in.real();
    const double lambda = in.real();

    std::unique_ptr<double[]> z1, z2;
    if (!no_arrays) {
        z1.reset(new double[n > 0 ? n : 0]);
        z2.reset(new double[n > 0 ? n : 0]);
        for (int32_t k = 0; k < n; ++k) {
            z1[k] = in.real();
            z2[k] = in.real();
        }
    }

    std::unique_ptr<double[]> V(new double[4]);
    for (int i = 0; i < 4; ++i) V[i] = fuzz::unwritten_marker();
    solve_orthogonal_2x2(Q, G, lambda, z1.get(), z2.get(), n, V.get());
    double literal[4];
    reference::solve(Q, G, lambda, z1.get(), z2.get(), n, literal);
    for (int i = 0; i < 4; ++i) FUZZ_CHECK(bits(V[i]) == bits(literal[i]));
    check_v(V.get());

    // The strict lower triangle of Q is never read.
    for (int col = 0; col < 4; ++col) {
        for (int row = col + 1; row < 4; ++row) Q[row + 4 * col] = std::nan("");
    }
    std::unique_ptr<double[]> W(new double[4]);
    solve_orthogonal_2x2(Q, G, lambda, z1.get(), z2.get(), n, W.get());
    for (int i = 0; i < 4; ++i) FUZZ_CHECK(bits(W[i]) == bits(V[i]));
    return 0;
}
