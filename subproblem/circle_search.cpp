#include "circle_search.h"

#include <cmath>
#include <memory>

#include "common/constants.h"
#include "polynomial_roots.h"

namespace {

// Scratch array of doubles, uninitialised, released on every path.
using Scratch = std::unique_ptr<double[]>;

inline Scratch make_scratch(int64_t count) {
    return Scratch(new double[count > 0 ? static_cast<size_t>(count) : 1]);
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

struct Search {
    const CircleProblem& problem;
    CircleResult best;

    // Take (c, s) when it scores strictly below the best so far: ties keep the
    // earlier candidate and a NaN never wins.
    void offer(double c, double s) {
        const double f = circle_objective(c, s, problem);
        if (f < best.value) {
            best.c = c;
            best.s = s;
            best.value = f;
        }
    }

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
    const double x = ((problem.lin_c * c) + (problem.lambda * sum)) + (problem.lin_s * s);
    return ((((problem.quad_cc * c) * c) + x) + ((problem.quad_cs * c) * s)) +
           ((problem.quad_ss * s) * s);
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
    const int32_t terms = problem.term_count;
    const double* coef_c = problem.coef_c;
    const double* coef_s = problem.coef_s;

    Scratch breakpoints = make_scratch(terms);
    Scratch magnitudes = make_scratch(terms);
    Scratch endpoints = make_scratch(2 * int64_t{terms > 0 ? terms : 0} + 2);

    // Each term whose s-coefficient is not negligible changes sign at the
    // slope t = s/c = −coef_c/coef_s.
    int32_t m = 0;
    for (int32_t k = 0; k < terms; ++k) {
        const double a = (coef_s[k] < 0.0) ? -coef_s[k] : coef_s[k];
        if (a > DEGENERACY_EPS) {
            const double t = -(coef_c[k] / coef_s[k]);
            breakpoints[m] = t;
            magnitudes[m] = std::fabs(t);
            ++m;
        }
    }
    sort_ascending(magnitudes.get(), m);

    // Symmetric interval ends: every signed breakpoint is among them, so no
    // breakpoint lies strictly inside an interval.
    endpoints[0] = -SENTINEL;
    for (int32_t j = 0; j < m; ++j) {
        endpoints[1 + j] = -magnitudes[m - 1 - j];
        endpoints[1 + m + j] = magnitudes[j];
    }
    endpoints[2 * m + 1] = SENTINEL;

    Search search{problem, CircleResult{1.0, 0.0, SENTINEL}};

    search.offer(1.0, 0.0);
    search.offer(0.0, 1.0);
    search.offer(0.0, -1.0);
    search.offer(-1.0, 0.0);

    for (int32_t k = 0; k < m; ++k) {
        const double t = breakpoints[k];
        const double r = slope_cos(t);
        const double w = r * t;
        search.offer(r, w);
        search.offer(-r, -w);
    }

    const double d = problem.quad_cs;
    const double g = (problem.quad_cc - problem.quad_ss) * (-2.0);
    const double d2 = d * d;
    const double two_dg = (2.0 * d) * g;
    const double two_d2 = (2.0 * d) * d;
    const double g2 = g * g;
    const double lambda = problem.lambda;

    for (int32_t v = 0; v <= 2 * m; ++v) {
        const double lo = endpoints[v];
        const double hi = endpoints[v + 1];
        const double mid = (lo + hi) * 0.5;

        // Inside the interval every term keeps the sign it has at mid.
        double sum_s = 0.0;
        double sum_c = 0.0;
        for (int32_t k = 0; k < terms; ++k) {
            const double u = (coef_s[k] * mid) + coef_c[k];
            const double sigma = (u > 0.0) ? 1.0 : ((u == 0.0) ? 0.0 : -1.0);
            sum_s = sum_s + coef_s[k] * sigma;
            sum_c = sum_c + coef_c[k] * sigma;
        }

        search.offer_roots((sum_c * lambda) + problem.lin_c, -(sum_s * lambda) - problem.lin_s,
                           d2, two_dg, two_d2, g2, lo, hi, false);
        search.offer_roots((sum_c * lambda) - problem.lin_c, problem.lin_s - (sum_s * lambda),
                           d2, two_dg, two_d2, g2, lo, hi, true);
    }

    return search.best;
}
