#include "circle_search.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>

#include "circle_lanes.h"
#include "common/constants.h"
#include "polynomial_roots.h"

// ---------------------------------------------------------------------------
// How the fast search keeps the bits of the literal one
//
// The literal search evaluates one candidate at a time, each as one running
// sum of |c·coef_c[k] + s·coef_s[k]| over k ascending, and computes the two
// sign sums of one interval at a time, each again one running sum in term
// order. Here those sums are computed LANE_BLOCK at a time, in vector lanes,
// and a few forms are replaced by cheaper ones. The result is the same to the
// last bit because of these rules; any change to this file or to
// circle_lanes.inc must keep every one of them.
//
// 1. Each lane is one sum in term order. A lane holds the sum of one interval
//    or of one candidate, starts at +0 and adds term k's contribution for
//    k = 0, 1, … in turn, exactly as the literal loop does. Only sums that are
//    independent of one another share an instruction; no sum is ever split,
//    reassociated or reduced across lanes. A vector operation rounds each
//    lane as the scalar operation would, and nothing is contracted into a
//    fused multiply-add (the build forbids contraction; AVX2 and AVX-512F
//    code is checked for FMA instructions by a test).
//
// 2. Candidates are offered in the literal order. Sums are computed ahead of
//    time, a block of intervals or candidates at once, but the sums do not
//    depend on the best point found so far, so computing them early changes
//    nothing; the candidates are then taken one by one, in the order the
//    literal search evaluates them, with the same strict comparison. Ties
//    therefore keep the same (earlier) candidate, and NaN is never taken.
//
// 3. Mask forms equal the branching forms, also for ±0 and NaN.
//    - σ = +1, 0 or −1 as u > 0, u = 0 (either zero), or u < 0 or NaN: the
//      sign flip is set where !(u > 0), which includes NaN, and the
//      contribution is cleared where u == 0, which includes −0.
//    - coef·σ is formed as coef, coef with its sign bit flipped, or +0. The
//      first two are exactly the products coef·(±1). For σ = 0 the product is
//      ±0, while +0 is added instead: a sum that starts at +0 is never −0
//      under round-to-nearest (x + (−x) gives +0), so adding either zero
//      leaves it unchanged; and u = 0 implies both coefficients finite, so the
//      product is never the NaN of ∞·0.
//    - When every coefficient and mid is finite, u is never NaN, and the sign
//      bit of u is the flip for every u ≠ 0. That form cannot tell σ = 0, so
//      it reports whether any u was exactly zero, and the block is then
//      computed again with the full mask form. Dropping that report would
//      add ±coef where the literal adds 0: a term with no breakpoint
//      (|coef_s| ≤ DEGENERACY_EPS) can vanish exactly at an interval's mid.
//    - |u| is u with its sign bit cleared. The literal adds u when u > 0 and
//      subtracts it otherwise; sum − u equals sum + (−u) exactly, −u equals
//      |u| for u < 0 and for u = −0, and for u = +0 both add a zero to a sum
//      that is never −0. A NaN u makes both sums NaN (possibly with another
//      payload), and a NaN value is never taken, so its bits never show.
//
// 4. A point and its opposite share one sum of absolute values. For (−c, −s)
//    each product and the sum of the two products are the exact negations of
//    those for (c, s), because rounding to nearest is symmetric under
//    negation; so each |u| and the whole sum agree, and only the smooth part
//    of F is evaluated separately. This needs the default rounding mode,
//    which the kernels assume throughout.
//
// 5. Lanes beyond what a block needs are filled with harmless values; their
//    sums are computed and never read.
//
// Where the quartic comes from. On one half circle, with the signs σₖ fixed
// (they are the signs at the interval's mid, taken for the whole interval),
// the L1 part is linear in (c, s) and
//
//   F = A·c² + B·c·s + C·s² + p·c + q·s,  A, B, C = quad_cc, quad_cs, quad_ss,
//
// with p = lin_c ± lambda·sum_c and q = lin_s ± lambda·sum_s (+ on the right
// half c > 0, where c·coef_c + s·coef_s has the sign σ; − on the left half,
// where it has the sign −σ). With c = cos θ, s = sin θ:
//
//   dF/dθ = 2(C − A)·c·s + B·(c² − s²) + q·c − p·s.
//
// Write g = 2(C − A) = (A − C)·(−2) and d = B. For c ≠ 0 divide by c² and put
// t = s/c:  g·t + d·(1 − t²) = (p·t − q)/c.  Squaring, with 1/c² = 1 + t²:
//
//   (d·t² − g·t − d)² = (p·t − q)²·(1 + t²)
//
// and collecting powers of t:
//
//   (p² − d²)·t⁴ + (2dg − 2pq)·t³ + (p² + q² + 2d² − g²)·t²
//     − (2pq + 2dg)·t + (q² − d²) = 0.
//
// With (α, β) = (p, −q) on the right half and (−p, q) on the left, P = 2βα =
// −2pq and the coefficients read c4 = α² − d², c3 = P + 2dg, c2 = α² + β² + 2d²
// − g², c1 = P − 2dg, c0 = β² − d²; only α², β² and αβ enter, so both halves
// give the same polynomial. Squaring also admits the stationary points of the
// opposite half circle, and the root finder may return values that are no
// roots: each is only a candidate, scored like every other. Stationary points
// with c = 0 are the axis points (0, ±1), which are always candidates.

namespace {

// Scratch array of doubles, uninitialised, released on every path.
using Scratch = ScratchArray;

inline Scratch make_scratch(const ScratchHeap& heap, int64_t count) {
    return Scratch(heap, count);
}

// 1/√(t² + 1), the c of the circle point with slope t on the right half.
// When t is finite but t² overflows, the formula would give 0 and the point
// (0, 0), which is not on the circle; 1/|t| is then the same quantity to
// within rounding (t² + 1 = t² there) and keeps the point on the circle.
inline double slope_cos(double t) {
    const double tt = t * t;
    if (tt == HUGE_VAL && std::isfinite(t)) {
        return 1.0 / std::fabs(t);
    }
    return 1.0 / std::sqrt(tt + 1.0);
}

// The smooth part of F plus lambda times a given sum of absolute values.
inline double objective_from_sum(double c, double s, double sum, const CircleProblem& p) {
    const double x = ((p.lin_c * c) + (p.lambda * sum)) + (p.lin_s * s);
    return ((((p.quad_cc * c) * c) + x) + ((p.quad_cs * c) * s)) + ((p.quad_ss * s) * s);
}

}  // namespace

namespace circle_lanes {
namespace {

// ---------------------------------------------------------------------------
// Lane paths. The scalar path is plain C++ that every compiler builds; it is
// all that compilers without GNU vector extensions get (and all that a build
// with ORTHOPAIR_SCALAR_LANES gets, which the tests use to check that form).

namespace scalar {

void sign_sums(const double* coef_c, const double* coef_s, int32_t terms, const double* mid,
               double* sum_c, double* sum_s) {
    for (int v = 0; v < LANE_BLOCK; ++v) {
        double acc_c = 0.0;
        double acc_s = 0.0;
        for (int32_t k = 0; k < terms; ++k) {
            const double u = (coef_s[k] * mid[v]) + coef_c[k];
            const double sigma = (u > 0.0) ? 1.0 : ((u == 0.0) ? 0.0 : -1.0);
            acc_s = acc_s + coef_s[k] * sigma;
            acc_c = acc_c + coef_c[k] * sigma;
        }
        sum_c[v] = acc_c;
        sum_s[v] = acc_s;
    }
}

// The scalar sums are exact for any data, so they never ask to be redone.
bool sign_sums_finite(const double* coef_c, const double* coef_s, int32_t terms,
                      const double* mid, double* sum_c, double* sum_s) {
    sign_sums(coef_c, coef_s, terms, mid, sum_c, sum_s);
    return false;
}

void abs_sums(const double* coef_c, const double* coef_s, int32_t terms, const double* c,
              const double* s, double* sum) {
    for (int v = 0; v < LANE_BLOCK; ++v) {
        double acc = 0.0;
        for (int32_t k = 0; k < terms; ++k) {
            acc = acc + std::fabs((c[v] * coef_c[k]) + (s[v] * coef_s[k]));
        }
        sum[v] = acc;
    }
}

const Kernels KERNELS = {sign_sums, sign_sums_finite, abs_sums};

}  // namespace scalar

#if (defined(__GNUC__) || defined(__clang__)) && !defined(ORTHOPAIR_SCALAR_LANES)
#define ORTHOPAIR_VECTOR_LANES 1

// The compiler's generic vectors on the processor's baseline instruction set.
namespace vector {
#define LANES_TARGET
#define LANE_WIDTH 4
#define LANE_GROUP 4
#include "circle_lanes.inc"
#undef LANE_GROUP
#undef LANE_WIDTH
#undef LANES_TARGET
}  // namespace vector

#if defined(__x86_64__)
#define ORTHOPAIR_X86_LANES 1
// AVX2 and AVX-512F are chosen at run time, so the MEX-file still loads on
// processors without them. AVX2 brings no fused multiply-add (a separate
// extension, never enabled here); AVX-512F does include one, which the ban on
// contraction keeps out of the code.
namespace avx2 {
#define LANES_TARGET __attribute__((target("avx2")))
#define LANE_WIDTH 4
#define LANE_GROUP 16
#include "circle_lanes.inc"
#undef LANE_GROUP
#undef LANE_WIDTH
#undef LANES_TARGET
}  // namespace avx2

// Twice the width of AVX2 in half the instructions; the tests run this same
// source at this width on any processor (as generic vectors) and this
// compilation where the processor has AVX-512F.
namespace avx512 {
#define LANES_TARGET __attribute__((target("avx512f")))
#define LANE_WIDTH 8
#define LANE_GROUP 16
#include "circle_lanes.inc"
#undef LANE_GROUP
#undef LANE_WIDTH
#undef LANES_TARGET
}  // namespace avx512
#endif
#endif

#if defined(ORTHOPAIR_X86_LANES)
bool cpu_has(orthopair::LanePath path) {
    __builtin_cpu_init();
    if (path == orthopair::LanePath::avx2) return __builtin_cpu_supports("avx2");
    if (path == orthopair::LanePath::avx512) return __builtin_cpu_supports("avx512f");
    return true;
}
#endif

// The path taken and its kernels.
struct Choice {
    orthopair::LanePath path;
    const Kernels* kernels;
};

Choice choose() {
    using orthopair::LanePath;
    for (LanePath path : {LanePath::avx512, LanePath::avx2, LanePath::vector}) {
        const Kernels* kernels = kernels_for(path);
        if (kernels != nullptr && orthopair::lane_path_allowed(path)) return {path, kernels};
    }
    return {LanePath::scalar, &scalar::KERNELS};
}

// Made once per process, on first use, and never changed: every search of a
// process runs the same path.
const Choice& choice() {
    static const Choice chosen = choose();
    return chosen;
}

// Candidates are scored in batches, several per pass over the terms, and then
// taken in the order they were offered, so the outcome is that of scoring
// them one by one.
class Search {
public:
    Search(const CircleProblem& problem, const Kernels& lanes) : problem_(problem), lanes_(lanes) {}

    void offer(double c, double s) { push(c, s, false); }

    // Offers (c, s) and then (−c, −s). Each term's linear form changes sign
    // exactly between the two points (IEEE rounding is symmetric), so both
    // share one sum of absolute values and only their smooth parts differ.
    void offer_opposites(double c, double s) { push(c, s, true); }

    // The stationary-point candidates of one smooth piece on one half circle.
    // (alpha, beta) = (p, −q) on the right half and (−p, q) on the left, where
    // p·c + q·s is the piece's linear part; only α², β² and α·β enter.
    void offer_roots(double alpha, double beta, double d2, double two_dg, double two_d2,
                     double g2, double lo, double hi, bool left_half) {
        const double P = (2.0 * beta) * alpha;
        const double c4 = (alpha * alpha) - d2;
        const double c3 = P + two_dg;
        const double c2 = (((alpha * alpha) + (beta * beta)) + two_d2) - g2;
        const double c1 = P - two_dg;
        const double c0 = (beta * beta) - d2;
        double roots[4];
        const int32_t count = polynomial_real_roots(c4, c3, c2, c1, c0, roots);
        for (int32_t i = 0; i < count; ++i) {
            const double t = roots[i];
            if (lo <= t && t <= hi) {
                const double r = left_half ? -slope_cos(t) : slope_cos(t);
                offer(r, r * t);
            }
        }
    }

    // Scores what is pending and takes, in order, every candidate strictly
    // below the best so far: ties keep the earlier one, a NaN never wins.
    void flush() {
        if (count_ == 0) return;
        for (int i = count_; i < LANE_BLOCK; ++i) {
            c_[i] = 0.0;
            s_[i] = 0.0;
        }
        double sums[LANE_BLOCK];
        lanes_.abs_sums(problem_.coef_c, problem_.coef_s, problem_.term_count, c_, s_, sums);
        for (int i = 0; i < count_; ++i) {
            take(c_[i], s_[i], sums[i]);
            if (opposite_[i]) take(-c_[i], -s_[i], sums[i]);
        }
        count_ = 0;
    }

    CircleResult result() {
        flush();
        return best_;
    }

private:
    void push(double c, double s, bool opposite) {
        c_[count_] = c;
        s_[count_] = s;
        opposite_[count_] = opposite;
        if (++count_ == LANE_BLOCK) flush();
    }

    void take(double c, double s, double sum) {
        const double f = objective_from_sum(c, s, sum, problem_);
        if (f < best_.value) {
            best_.c = c;
            best_.s = s;
            best_.value = f;
        }
    }

    const CircleProblem& problem_;
    const Kernels& lanes_;
    CircleResult best_{1.0, 0.0, SENTINEL};
    double c_[LANE_BLOCK];
    double s_[LANE_BLOCK];
    bool opposite_[LANE_BLOCK];
    int count_ = 0;
};

}  // namespace

const Kernels* kernels_for(orthopair::LanePath path) {
    using orthopair::LanePath;
    switch (path) {
        case LanePath::scalar:
            return &scalar::KERNELS;
#if defined(ORTHOPAIR_VECTOR_LANES)
        case LanePath::vector:
            return &vector::KERNELS;
#endif
#if defined(ORTHOPAIR_X86_LANES)
        case LanePath::avx2:
            return cpu_has(path) ? &avx2::KERNELS : nullptr;
        case LanePath::avx512:
            return cpu_has(path) ? &avx512::KERNELS : nullptr;
#endif
        default:
            return nullptr;
    }
}

orthopair::LanePath chosen_path() { return choice().path; }

namespace {

// Collects the slope t = s/c = −coef_c/coef_s at which each term whose
// s-coefficient is not negligible changes sign, in term order, and their
// magnitudes sorted ascending. Returns how many there are; *all_finite says
// whether every coefficient is finite.
int32_t sign_changes(const double* coef_c, const double* coef_s, int32_t terms,
                     double* breakpoints, double* magnitudes, bool* all_finite) {
    int32_t m = 0;
    bool any_nan = false;
    bool finite = true;
    for (int32_t k = 0; k < terms; ++k) {
        finite = finite && std::isfinite(coef_c[k]) && std::isfinite(coef_s[k]);
        const double a = (coef_s[k] < 0.0) ? -coef_s[k] : coef_s[k];
        if (a > DEGENERACY_EPS) {
            const double t = -(coef_c[k] / coef_s[k]);
            breakpoints[m] = t;
            magnitudes[m] = std::fabs(t);
            any_nan = any_nan || std::isnan(t);
            ++m;
        }
    }
    *all_finite = finite;
    // Magnitudes carry no sign bit, so without NaN any correct sort gives the
    // one ascending order, bit for bit. With a NaN among them the exchange
    // passes leave an order of their own, not even ascending for the other
    // values ((2, NaN, 1, 3, 0.5) becomes (NaN, 0.5, 3, 1, 2)), and std::sort
    // may not be given NaN at all (it needs a strict weak order), so the
    // literal sort stays for that case. (A NaN breakpoint needs a NaN coef_c,
    // which makes every value NaN, or coef_c and coef_s both infinite, which
    // gives every interval's quartic infinite or NaN coefficients and so NaN
    // roots; the order then decides nothing, but keeping it literal costs
    // nothing outside such calls.)
    if (any_nan) {
        sort_ascending(magnitudes, m);
    } else {
        std::sort(magnitudes, magnitudes + m);
    }
    return m;
}

// Symmetric interval ends from the m sorted magnitudes (2·m + 2 of them):
// every signed breakpoint is among them, so no breakpoint lies strictly
// inside an interval.
void interval_ends(const double* magnitudes, int32_t m, double* endpoints) {
    endpoints[0] = -SENTINEL;
    for (int32_t j = 0; j < m; ++j) {
        endpoints[1 + j] = -magnitudes[m - 1 - j];
        endpoints[1 + m + j] = magnitudes[j];
    }
    endpoints[2 * m + 1] = SENTINEL;
}

// Offers the stationary points of every interval between the given ends,
// intervals left to right, LANE_BLOCK at a time: first the sign sums of the
// whole block, then each interval's stationary points in order.
void offer_stationary_points(const CircleProblem& problem, const Kernels& lanes,
                             const double* endpoints, int32_t intervals, bool all_finite,
                             Search& search) {
    const int32_t terms = problem.term_count > 0 ? problem.term_count : 0;
    const double* coef_c = problem.coef_c;
    const double* coef_s = problem.coef_s;
    const double d = problem.quad_cs;
    const double g = (problem.quad_cc - problem.quad_ss) * (-2.0);
    const double d2 = d * d;
    const double two_dg = (2.0 * d) * g;
    const double two_d2 = (2.0 * d) * d;
    const double g2 = g * g;
    const double lambda = problem.lambda;

    for (int32_t first = 0; first < intervals; first += LANE_BLOCK) {
        const int32_t block = std::min<int32_t>(LANE_BLOCK, intervals - first);
        double mid[LANE_BLOCK];
        for (int32_t i = 0; i < LANE_BLOCK; ++i) {
            mid[i] = (i < block) ? (endpoints[first + i] + endpoints[first + i + 1]) * 0.5 : 0.0;
        }
        double sum_c[LANE_BLOCK];
        double sum_s[LANE_BLOCK];
        bool finite = all_finite;
        for (int32_t i = 0; i < LANE_BLOCK; ++i) finite = finite && std::isfinite(mid[i]);
        if (!finite || lanes.sign_sums_finite(coef_c, coef_s, terms, mid, sum_c, sum_s)) {
            lanes.sign_sums(coef_c, coef_s, terms, mid, sum_c, sum_s);
        }

        for (int32_t i = 0; i < block; ++i) {
            const double lo = endpoints[first + i];
            const double hi = endpoints[first + i + 1];
            search.offer_roots((sum_c[i] * lambda) + problem.lin_c,
                               -(sum_s[i] * lambda) - problem.lin_s, d2, two_dg, two_d2, g2, lo,
                               hi, false);
            search.offer_roots((sum_c[i] * lambda) - problem.lin_c,
                               problem.lin_s - (sum_s[i] * lambda), d2, two_dg, two_d2, g2, lo, hi,
                               true);
        }
    }
}

}  // namespace

CircleResult search_with(const CircleProblem& problem, const Kernels& lanes) {
    const int32_t terms = problem.term_count > 0 ? problem.term_count : 0;

    Scratch breakpoints = make_scratch(*problem.heap, terms);
    Scratch magnitudes = make_scratch(*problem.heap, terms);
    Scratch endpoints = make_scratch(*problem.heap, 2 * int64_t{terms} + 2);

    bool all_finite = true;
    const int32_t m = sign_changes(problem.coef_c, problem.coef_s, terms, breakpoints.get(),
                                   magnitudes.get(), &all_finite);
    interval_ends(magnitudes.get(), m, endpoints.get());

    Search search(problem, lanes);

    search.offer(1.0, 0.0);
    search.offer(0.0, 1.0);
    search.offer(0.0, -1.0);
    search.offer(-1.0, 0.0);

    for (int32_t k = 0; k < m; ++k) {
        const double t = breakpoints[k];
        const double r = slope_cos(t);
        search.offer_opposites(r, r * t);
    }

    offer_stationary_points(problem, lanes, endpoints.get(), 2 * m + 1, all_finite, search);
    return search.result();
}
}  // namespace circle_lanes

double circle_objective(double c, double s, const CircleProblem& problem) {
    double sum = 0.0;
    for (int32_t k = 0; k < problem.term_count; ++k) {
        const double u = (c * problem.coef_c[k]) + (s * problem.coef_s[k]);
        if (u > 0.0) {
            sum = sum + u;
        } else {
            sum = sum - u;
        }
    }
    return objective_from_sum(c, s, sum, problem);
}

void exchange_pass(double* values, int32_t last_parent, int32_t size) {
    for (int32_t p = last_parent; p >= 0; --p) {
        const int32_t left = 2 * p + 1;
        const int32_t right = 2 * p + 2;
        const int32_t child = (right < size && !(values[left] > values[right])) ? right : left;
        if (values[child] > values[p]) {
            const double tmp = values[child];
            values[child] = values[p];
            values[p] = tmp;
        }
    }
}

void sort_ascending(double* values, int32_t count) {
    exchange_pass(values, count / 2 - 1, count);
    for (int32_t i = count - 1; i >= 0; --i) {
        const double tmp = values[0];
        values[0] = values[i];
        values[i] = tmp;
        exchange_pass(values, i / 2 - 1, i);
    }
}

CircleResult search_circle(const CircleProblem& problem) {
    return circle_lanes::search_with(problem, *circle_lanes::choice().kernels);
}
