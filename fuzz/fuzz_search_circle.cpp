// search_circle on arbitrary problems of up to 48 terms, and sort_ascending
// on arbitrary arrays.
//
// search_circle: the result is exactly the start point (1, 0, SENTINEL), or a
// value below SENTINEL that is, bit for bit, circle_objective at the returned
// point; that point is finite and on the unit circle up to rounding; no
// axis point scores lower; the term arrays are read only within term_count;
// a repeated call gives the same bits.
//
// sort_ascending: the values come out as a permutation of the values that
// went in, in ascending order when there is no NaN among them.

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <memory>
#include <vector>

#include "circle_search.h"
#include "common/constants.h"
#include "fuzz_input.h"

namespace {

using fuzz::bits;

// c² + s² of a point (r, r·t) with r = 1/√(t² + 1) is 1 to within a few
// roundings.
constexpr double CIRCLE_TOLERANCE = 8 * std::numeric_limits<double>::epsilon();

void check_search(fuzz::Input& in) {
    CircleProblem p;
    p.lin_c = in.real();
    p.lin_s = in.real();
    p.quad_cc = in.real();
    p.quad_cs = in.real();
    p.quad_ss = in.real();
    p.lambda = in.real();
    const int32_t terms = static_cast<int32_t>(in.byte() % 49);

    // Exactly term_count doubles each, so a read past them is caught; no
    // array at all for an empty problem.
    std::unique_ptr<double[]> cc, cs;
    if (terms > 0) {
        cc.reset(new double[terms]);
        cs.reset(new double[terms]);
        for (int32_t k = 0; k < terms; ++k) {
            cc[k] = in.real();
            cs[k] = in.real();
        }
    }
    p.coef_c = cc.get();
    p.coef_s = cs.get();
    p.term_count = terms;

    const CircleResult r = search_circle(p);

    FUZZ_CHECK(!(r.value > SENTINEL) && !std::isnan(r.value));
    if (bits(r.value) == bits(SENTINEL)) {
        FUZZ_CHECK(bits(r.c) == bits(1.0) && bits(r.s) == bits(0.0));
    } else {
        FUZZ_CHECK(r.value < SENTINEL);
        FUZZ_CHECK(bits(r.value) == bits(circle_objective(r.c, r.s, p)));
        FUZZ_CHECK(std::isfinite(r.c) && std::isfinite(r.s));
        FUZZ_CHECK(std::fabs((r.c * r.c + r.s * r.s) - 1.0) <= CIRCLE_TOLERANCE);
    }

    // The four axis points are always candidates: the result is no worse
    // than any of them that could be taken.
    const double axis[4][2] = {{1.0, 0.0}, {0.0, 1.0}, {0.0, -1.0}, {-1.0, 0.0}};
    for (const auto& point : axis) {
        const double f = circle_objective(point[0], point[1], p);
        if (f < SENTINEL) FUZZ_CHECK(r.value <= f);
    }

    const CircleResult again = search_circle(p);
    FUZZ_CHECK(bits(again.c) == bits(r.c) && bits(again.s) == bits(r.s) &&
               bits(again.value) == bits(r.value));
}

void check_sort(fuzz::Input& in) {
    const int32_t count = static_cast<int32_t>(in.byte() % 65);
    std::unique_ptr<double[]> values(new double[count]);
    std::vector<uint64_t> before;
    bool any_nan = false;
    for (int32_t k = 0; k < count; ++k) {
        values[k] = in.real();
        before.push_back(bits(values[k]));
        any_nan = any_nan || std::isnan(values[k]);
    }

    sort_ascending(values.get(), count);

    std::vector<uint64_t> after;
    for (int32_t k = 0; k < count; ++k) after.push_back(bits(values[k]));
    std::sort(before.begin(), before.end());
    std::sort(after.begin(), after.end());
    FUZZ_CHECK(before == after);
    if (!any_nan) {
        for (int32_t k = 1; k < count; ++k) FUZZ_CHECK(!(values[k - 1] > values[k]));
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::Input in(data, size);
    if (in.byte() % 8 == 0) {
        check_sort(in);
    } else {
        check_search(in);
    }
    return 0;
}
