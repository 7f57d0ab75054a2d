// search_circle on arbitrary problems of up to 48 terms, and sort_ascending
// on arbitrary arrays, both against their literal references bit for bit.
//
// search_circle: the result has the bits of the literal search, on the path
// this process chose and on every other lane path this processor runs (the
// AVX-512 lane source also as generic vectors). Some inputs add terms without
// a breakpoint whose linear form vanishes exactly at an interval's mid, the
// case where the fast sign sums must hand a block back. Invariants besides:
// the result is exactly the start point (1, 0, SENTINEL), or a
// value below SENTINEL that is, bit for bit, circle_objective at the returned
// point; that point is finite and on the unit circle up to rounding; no
// axis point scores lower; the term arrays are read only within term_count;
// a repeated call gives the same bits.
//
// sort_ascending: the bits of the literal exchange sort, NaN included; a
// permutation of the values that went in, ascending when there is no NaN.
// On magnitudes (no sign bit) without NaN, std::sort gives the same bits,
// which is what lets the search use it there.

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "circle_lanes.h"
#include "circle_search.h"
#include "common/constants.h"
#include "fuzz_input.h"
#include "lane_forms.h"
#include "reference_subproblem.h"

namespace {

using fuzz::bits;

// c² + s² of a point (r, r·t) with r = 1/√(t² + 1) is 1 to within a few
// roundings.
constexpr double CIRCLE_TOLERANCE = 8 * std::numeric_limits<double>::epsilon();

bool same_result(const CircleResult& got, const reference::Result& want) {
    return bits(got.c) == bits(want.c) && bits(got.s) == bits(want.s) &&
           bits(got.value) == bits(want.value);
}

void check_search(fuzz::Input& in) {
    CircleProblem p;
    p.lin_c = in.real();
    p.lin_s = in.real();
    p.quad_cc = in.real();
    p.quad_cs = in.real();
    p.quad_ss = in.real();
    p.lambda = in.real();
    const uint8_t shape = in.byte();
    std::vector<double> coef_c, coef_s;
    for (int k = shape % 49; k > 0; --k) {
        coef_c.push_back(in.real());
        coef_s.push_back(in.real());
    }
    // Up to three terms without a breakpoint (|coef_s| ≤ DEGENERACY_EPS),
    // each vanishing exactly at a chosen interval mid.
    const std::vector<double> mids = (shape & 0xc0) ? lane_forms::interval_mids(coef_c, coef_s)
                                                    : std::vector<double>{};
    for (int extra = (shape >> 6); extra > 0 && !mids.empty(); --extra) {
        const double mid = mids[in.byte() % mids.size()];
        double cs = in.real();
        if (!(std::fabs(cs) <= DEGENERACY_EPS)) cs = DEGENERACY_EPS * ((in.byte() & 1) ? 1 : -1);
        const size_t at = in.byte() % (coef_c.size() + 1);
        coef_c.insert(coef_c.begin() + at, -(cs * mid));
        coef_s.insert(coef_s.begin() + at, cs);
    }
    const int32_t terms = static_cast<int32_t>(coef_c.size());

    // Exactly term_count doubles each, so a read past them is caught; no
    // array at all for an empty problem.
    std::unique_ptr<double[]> cc, cs;
    if (terms > 0) {
        cc.reset(new double[terms]);
        cs.reset(new double[terms]);
        for (int32_t k = 0; k < terms; ++k) {
            cc[k] = coef_c[k];
            cs[k] = coef_s[k];
        }
    }
    p.coef_c = cc.get();
    p.coef_s = cs.get();
    p.term_count = terms;

    const reference::Problem rp{p.lin_c,   p.lin_s,  p.quad_cc, p.quad_cs, p.quad_ss,
                                p.lambda,  cc.get(), cs.get(),  terms};
    const reference::Result want = reference::search(rp);
    const CircleResult r = search_circle(p);
    FUZZ_CHECK(same_result(r, want));
    for (const std::string& name : lane_forms::names()) {
        const circle_lanes::Kernels* lanes = lane_forms::find(name);
        if (lanes != nullptr) FUZZ_CHECK(same_result(circle_lanes::search_with(p, *lanes), want));
    }

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

    std::vector<double> literal(values.get(), values.get() + count);
    reference::sort(literal.data(), count);

    sort_ascending(values.get(), count);

    std::vector<uint64_t> after;
    for (int32_t k = 0; k < count; ++k) {
        after.push_back(bits(values[k]));
        FUZZ_CHECK(bits(values[k]) == bits(literal[k]));
    }
    std::sort(before.begin(), before.end());
    std::sort(after.begin(), after.end());
    FUZZ_CHECK(before == after);
    if (!any_nan) {
        for (int32_t k = 1; k < count; ++k) FUZZ_CHECK(!(values[k - 1] > values[k]));

        // The magnitudes of breakpoints: std::sort gives the literal bits.
        std::vector<double> magnitudes(count), by_std(count);
        for (int32_t k = 0; k < count; ++k) magnitudes[k] = by_std[k] = std::fabs(literal[k]);
        reference::sort(magnitudes.data(), count);
        std::sort(by_std.begin(), by_std.end());
        for (int32_t k = 0; k < count; ++k) FUZZ_CHECK(bits(by_std[k]) == bits(magnitudes[k]));
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
