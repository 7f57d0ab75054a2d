// polynomial_real_roots, cubic_roots and quartic_roots on arbitrary
// coefficients. Each must give the count and the bits of the literal
// version. Every call must stay inside its output array, fill exactly
// the slots it reports (all three for the cubic), give a count that belongs
// to the path the leading coefficients select, and give the same bits when
// repeated.

#include <cmath>
#include <cstdint>
#include <memory>

#include "common/constants.h"
#include "fuzz_input.h"
#include "polynomial_roots.h"
#include "reference_subproblem.h"

namespace {

using fuzz::bits;
using fuzz::is_unwritten;

bool negligible(double c) { return std::fabs(c) < DEGENERACY_EPS; }

// A heap array of exactly n doubles, so that any access past it is caught.
std::unique_ptr<double[]> marked(int n) {
    std::unique_ptr<double[]> a(new double[n]);
    for (int i = 0; i < n; ++i) a[i] = fuzz::unwritten_marker();
    return a;
}

void check_general(fuzz::Input& in) {
    double c[5];
    for (double& x : c) x = in.real();
    // Leading zeros make the lower-degree paths reachable.
    const int zeros = in.byte() % 5;
    for (int k = 0; k < zeros; ++k) c[k] = (in.byte() & 1) ? 0.0 : -0.0;

    auto out = marked(4);
    const int32_t count = polynomial_real_roots(c[0], c[1], c[2], c[3], c[4], out.get());
    FUZZ_CHECK(count >= 0 && count <= 4);
    double literal[4];
    FUZZ_CHECK(reference::roots(c[0], c[1], c[2], c[3], c[4], literal) == count);
    for (int32_t i = 0; i < count; ++i) FUZZ_CHECK(bits(out[i]) == bits(literal[i]));

    // The count belongs to the path the first non-negligible coefficient
    // selects (a NaN is never negligible).
    if (!negligible(c[0])) {
        FUZZ_CHECK(count >= 2 && count <= 4);
    } else if (!negligible(c[1])) {
        FUZZ_CHECK(count >= 1 && count <= 3);
    } else if (negligible(c[2])) {
        if (!negligible(c[3])) {
            FUZZ_CHECK(count == 1);
        } else if (negligible(c[4])) {
            FUZZ_CHECK(count == 1 && bits(out[0]) == bits(1.0));
        } else {
            FUZZ_CHECK(count == 0);
        }
    } else {
        FUZZ_CHECK(count == 0 || count == 2);
    }
    for (int32_t i = 0; i < count; ++i) FUZZ_CHECK(!is_unwritten(out[i]));

    auto again = marked(4);
    FUZZ_CHECK(polynomial_real_roots(c[0], c[1], c[2], c[3], c[4], again.get()) == count);
    for (int32_t i = 0; i < count; ++i) FUZZ_CHECK(bits(again[i]) == bits(out[i]));
}

void check_cubic(fuzz::Input& in) {
    const double a = in.real(), b = in.real(), c = in.real();
    auto out = marked(3);
    const int32_t count = cubic_roots(out.get(), a, b, c);
    FUZZ_CHECK(count >= 1 && count <= 3);
    for (int i = 0; i < 3; ++i) FUZZ_CHECK(!is_unwritten(out[i]));
    double literal[3];
    FUZZ_CHECK(reference::cubic(literal, a, b, c) == count);
    for (int i = 0; i < 3; ++i) FUZZ_CHECK(bits(out[i]) == bits(literal[i]));
    if (count == 2) FUZZ_CHECK(bits(out[2]) == bits(out[1]));  // the double root, twice

    auto again = marked(3);
    FUZZ_CHECK(cubic_roots(again.get(), a, b, c) == count);
    for (int i = 0; i < 3; ++i) FUZZ_CHECK(bits(again[i]) == bits(out[i]));
}

void check_quartic(fuzz::Input& in) {
    const double a = in.real(), b = in.real(), c = in.real(), d = in.real();
    auto out = marked(4);
    const int32_t count = quartic_roots(a, b, c, d, out.get());
    FUZZ_CHECK(count >= 2 && count <= 4);
    for (int32_t i = 0; i < count; ++i) FUZZ_CHECK(!is_unwritten(out[i]));
    double literal[4];
    FUZZ_CHECK(reference::quartic(a, b, c, d, literal) == count);
    for (int32_t i = 0; i < count; ++i) FUZZ_CHECK(bits(out[i]) == bits(literal[i]));

    auto again = marked(4);
    FUZZ_CHECK(quartic_roots(a, b, c, d, again.get()) == count);
    for (int32_t i = 0; i < count; ++i) FUZZ_CHECK(bits(again[i]) == bits(out[i]));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::Input in(data, size);
    switch (in.byte() % 4) {
        case 0:
            check_cubic(in);
            break;
        case 1:
            check_quartic(in);
            break;
        default:
            check_general(in);
            break;
    }
    return 0;
}
