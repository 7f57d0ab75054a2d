#include "circle_search.h"

#include <algorithm>
#include <cmath>
#include <memory>

#include "common/constants.h"
#include "polynomial_roots.h"

namespace {

// ---------------------------------------------------------------------------
// Lane kernels. The search spends nearly all its time in two kinds of sums over
// all terms: the sign sums of every interval and the absolute-value sums of
// every candidate. Sums of different intervals or candidates are independent,
// so they run side by side in vector lanes; see circle_lanes.inc.

constexpr int LANE_BLOCK = 16;  // intervals or candidates per pass over the terms

using SignSumsFn = void (*)(const double*, const double*, int32_t, const double*, double*,
                            double*);
using SignSumsFiniteFn = bool (*)(const double*, const double*, int32_t, const double*, double*,
                                  double*);
using AbsSumsFn = void (*)(const double*, const double*, int32_t, const double*, const double*,
                           double*);

struct LaneKernels {
    SignSumsFn sign_sums;
    SignSumsFiniteFn sign_sums_finite;
    AbsSumsFn abs_sums;
};

#if defined(__GNUC__) || defined(__clang__)

typedef double v4d __attribute__((vector_size(32)));
typedef long long v4di __attribute__((vector_size(32)));

namespace portable {
#define LANES_TARGET
constexpr int LANE_GROUP = 4;
#include "circle_lanes.inc"
#undef LANES_TARGET
}  // namespace portable

#if defined(__x86_64__)
// AVX2 doubles the width of every lane operation. It is chosen at run time,
// so the MEX-file still loads on processors without it. AVX2 brings no fused
// multiply-add (that is a separate extension, never enabled here).
namespace avx2 {
#define LANES_TARGET __attribute__((target("avx2")))
constexpr int LANE_GROUP = 16;
#include "circle_lanes.inc"
#undef LANES_TARGET
}  // namespace avx2
#endif

LaneKernels lane_kernels(bool allow_wide) {
#if defined(__x86_64__)
    __builtin_cpu_init();
    if (allow_wide && __builtin_cpu_supports("avx2")) {
        return {avx2::sign_sums, avx2::sign_sums_finite, avx2::abs_sums};
    }
#endif
    return {portable::sign_sums, portable::sign_sums_finite, portable::abs_sums};
}

#else  // compilers without vector extensions: the same sums, one lane at a time

namespace portable {

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

}  // namespace portable

LaneKernels lane_kernels(bool) { return {portable::sign_sums, portable::sign_sums_finite, portable::abs_sums}; }

#endif

// ---------------------------------------------------------------------------

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

// Candidates are scored in batches, several per pass over the terms, and then
// taken in the order they were offered, so the outcome is that of scoring
// them one by one.
class Search {
public:
    Search(const CircleProblem& problem, LaneKernels lanes) : problem_(problem), lanes_(lanes) {}

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
    LaneKernels lanes_;
    CircleResult best_{1.0, 0.0, SENTINEL};
    double c_[LANE_BLOCK];
    double s_[LANE_BLOCK];
    bool opposite_[LANE_BLOCK];
    int count_ = 0;
};

}  // namespace

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
    return search_circle_lanes(problem, true);
}

CircleResult search_circle_lanes(const CircleProblem& problem, bool allow_wide_lanes) {
    const int32_t terms = problem.term_count > 0 ? problem.term_count : 0;
    const double* coef_c = problem.coef_c;
    const double* coef_s = problem.coef_s;
    const LaneKernels lanes = lane_kernels(allow_wide_lanes);

    Scratch breakpoints = make_scratch(*problem.heap, terms);
    Scratch magnitudes = make_scratch(*problem.heap, terms);
    Scratch endpoints = make_scratch(*problem.heap, 2 * int64_t{terms} + 2);

    // Each term whose s-coefficient is not negligible changes sign at the
    // slope t = s/c = −coef_c/coef_s.
    int32_t m = 0;
    bool any_nan = false;
    bool all_finite = true;
    for (int32_t k = 0; k < terms; ++k) {
        all_finite = all_finite && std::isfinite(coef_c[k]) && std::isfinite(coef_s[k]);
        const double a = (coef_s[k] < 0.0) ? -coef_s[k] : coef_s[k];
        if (a > DEGENERACY_EPS) {
            const double t = -(coef_c[k] / coef_s[k]);
            breakpoints[m] = t;
            magnitudes[m] = std::fabs(t);
            any_nan = any_nan || std::isnan(t);
            ++m;
        }
    }
    // Magnitudes carry no sign, so without NaN any correct sort gives the one
    // ascending order; the exchange sort fixes the order NaN values take.
    if (any_nan) {
        sort_ascending(magnitudes.get(), m);
    } else {
        std::sort(magnitudes.get(), magnitudes.get() + m);
    }

    // Symmetric interval ends: every signed breakpoint is among them, so no
    // breakpoint lies strictly inside an interval.
    endpoints[0] = -SENTINEL;
    for (int32_t j = 0; j < m; ++j) {
        endpoints[1 + j] = -magnitudes[m - 1 - j];
        endpoints[1 + m + j] = magnitudes[j];
    }
    endpoints[2 * m + 1] = SENTINEL;

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

    const double d = problem.quad_cs;
    const double g = (problem.quad_cc - problem.quad_ss) * (-2.0);
    const double d2 = d * d;
    const double two_dg = (2.0 * d) * g;
    const double two_d2 = (2.0 * d) * d;
    const double g2 = g * g;
    const double lambda = problem.lambda;

    // Intervals left to right, LANE_BLOCK at a time: first the sign sums of
    // the whole block, then each interval's stationary points in order.
    const int32_t intervals = 2 * m + 1;
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

    return search.result();
}
