#pragma once

// A plain, literal version of the subproblem solver: straightforward loops in
// the order the algorithm states them, nothing hoisted, nothing vectorised.
// The production kernels are compared with it bit for bit, so it must stay
// this simple: speed work changes the production code, never this file.

#include <cmath>
#include <cstdint>
#include <cstdlib>

#include "common/constants.h"

namespace reference {

struct Problem {
    double lin_c, lin_s, quad_cc, quad_cs, quad_ss, lambda;
    const double* coef_c;
    const double* coef_s;
    int32_t term_count;
};

struct Result {
    double c, s, value;
};

inline int32_t cubic(double* out, double a, double b, double c) {
    double Q = ((a * a) - (3.0 * b)) / 9.0;
    double R = ((((a * a) * 2.0) - (9.0 * b)) * a + (27.0 * c)) / 54.0;
    double Q3 = (Q * Q) * Q;
    double R2 = R * R;
    double s = a / 3.0;
    if (Q3 > R2) {
        double x = R / std::sqrt(Q3);
        if (x < -1.0) x = -1.0;
        else if (x > 1.0) x = 1.0;
        double theta = std::acos(x);
        double m = -2.0 * std::sqrt(Q);
        out[0] = m * std::cos(theta / 3.0) - s;
        out[1] = m * std::cos((theta + 6.283185307179586) / 3.0) - s;
        out[2] = m * std::cos((theta - 6.283185307179586) / 3.0) - s;
        return 3;
    }
    double P = std::pow(std::sqrt(R2 - Q3) + std::fabs(R), 0.3333333333333333);
    double A;
    if (R < 0.0) A = P;
    else A = -P;
    double B;
    if (A == 0.0) B = 0.0;
    else B = Q / A;
    out[0] = (A + B) - s;
    out[1] = (-0.5 * (A + B)) - s;
    double im = (std::sqrt(3.0) * 0.5) * (A - B);
    out[2] = im;
    if (std::fabs(im) < DEGENERACY_EPS) {
        out[2] = out[1];
        return 2;
    }
    return 1;
}

inline int32_t quartic(double a, double b, double c, double d, double* out) {
    double u = 4.0 * d;
    double v[3];
    int32_t n = cubic(v, -b, (a * c) - u, ((4.0 * b) * d) - (((a * a) * d) + (c * c)));
    double y = v[0];
    if (n != 1) {
        for (int k = 1; k <= 2; k++) {
            if (std::fabs(v[k]) > std::fabs(y)) y = v[k];
        }
    }
    double g = (y * y) - u;
    double p1, p2, q1, q2;
    if (std::fabs(g) < DEGENERACY_EPS) {
        q1 = 0.5 * y;
        q2 = 0.5 * y;
        double h = (a * a) - (4.0 * (b - y));
        if (std::fabs(h) < DEGENERACY_EPS) {
            p1 = 0.5 * a;
            p2 = 0.5 * a;
        } else {
            double k = std::sqrt(h);
            p1 = 0.5 * (k + a);
            p2 = 0.5 * (a - k);
        }
    } else {
        double o = std::sqrt(g);
        q1 = 0.5 * (o + y);
        q2 = 0.5 * (y - o);
        double w = q1 - q2;
        p1 = ((q1 * a) - c) / w;
        p2 = (c - (q2 * a)) / w;
    }
    int32_t count = 0;
    double ps[2] = {p1, p2};
    double qs[2] = {q1, q2};
    for (int f = 0; f < 2; f++) {
        double D = (ps[f] * ps[f]) - (4.0 * qs[f]);
        if (D < 0.0) {
            out[count] = -0.5 * ps[f];
            count = count + 1;
        } else {
            double r = std::sqrt(D);
            out[count] = 0.5 * (r - ps[f]);
            out[count + 1] = 0.5 * (-ps[f] - r);
            count = count + 2;
        }
    }
    return count;
}

inline int32_t roots(double c4, double c3, double c2, double c1, double c0, double* out) {
    if (!(std::fabs(c4) < DEGENERACY_EPS)) return quartic(c3 / c4, c2 / c4, c1 / c4, c0 / c4, out);
    if (!(std::fabs(c3) < DEGENERACY_EPS)) return cubic(out, c2 / c3, c1 / c3, c0 / c3);
    if (std::fabs(c2) < DEGENERACY_EPS) {
        if (!(std::fabs(c1) < DEGENERACY_EPS)) {
            out[0] = -(c0 / c1);
            return 1;
        }
        if (std::fabs(c0) < DEGENERACY_EPS) {
            out[0] = 1.0;
            return 1;
        }
        return 0;
    }
    double D = (c1 * c1) - ((4.0 * c2) * c0);
    if (D < 0.0) return 0;
    double r = std::sqrt(D);
    double w = 2.0 * c2;
    out[0] = (r - c1) / w;
    out[1] = (-c1 - r) / w;
    return 2;
}

inline double objective(double c, double s, const Problem& p) {
    double sum = 0.0;
    for (int32_t k = 0; k < p.term_count; k++) {
        double u = (c * p.coef_c[k]) + (s * p.coef_s[k]);
        if (u > 0.0) sum = sum + u;
        else sum = sum - u;
    }
    double X = ((p.lin_c * c) + (p.lambda * sum)) + (p.lin_s * s);
    return ((((p.quad_cc * c) * c) + X) + ((p.quad_cs * c) * s)) + ((p.quad_ss * s) * s);
}

inline void exchange(double* values, int32_t last_parent, int32_t size) {
    if (last_parent < 0) return;
    for (int32_t p = last_parent; p >= 0; p--) {
        int32_t left = 2 * p + 1;
        int32_t right = 2 * p + 2;
        int32_t child = left;
        if (right < size && !(values[left] > values[right])) child = right;
        if (values[child] > values[p]) {
            double t = values[child];
            values[child] = values[p];
            values[p] = t;
        }
    }
}

inline void sort(double* values, int32_t count) {
    exchange(values, count / 2 - 1, count);
    for (int32_t i = count - 1; i >= 0; i--) {
        double t = values[0];
        values[0] = values[i];
        values[i] = t;
        exchange(values, i / 2 - 1, i);
    }
}

// 1/sqrt(t·t + 1), except that a finite t whose square overflows takes 1/|t|
// so that the candidate stays on the circle.
inline double inv_secant(double t) {
    if (std::isinf(t * t) && std::isfinite(t)) return 1.0 / std::fabs(t);
    return 1.0 / std::sqrt((t * t) + 1.0);
}

inline void accept(const Problem& p, Result& best, double c, double s) {
    double F = objective(c, s, p);
    if (F < best.value) {
        best.c = c;
        best.s = s;
        best.value = F;
    }
}

inline Result search(const Problem& p) {
    int32_t tc = p.term_count;
    double* bp = (double*)std::malloc(sizeof(double) * (tc > 0 ? tc : 1));
    double* mag = (double*)std::malloc(sizeof(double) * (tc > 0 ? tc : 1));
    double* ends = (double*)std::malloc(sizeof(double) * (2 * (tc > 0 ? tc : 0) + 2));
    int32_t m = 0;
    for (int32_t k = 0; k < tc; k++) {
        double a = p.coef_s[k];
        if (p.coef_s[k] < 0.0) a = -p.coef_s[k];
        if (a > DEGENERACY_EPS) {
            double t = -(p.coef_c[k] / p.coef_s[k]);
            bp[m] = t;
            mag[m] = std::fabs(t);
            m++;
        }
    }
    sort(mag, m);
    ends[0] = -SENTINEL;
    for (int32_t j = 0; j < m; j++) ends[1 + j] = -mag[m - 1 - j];
    for (int32_t j = 0; j < m; j++) ends[1 + m + j] = mag[j];
    ends[2 * m + 1] = SENTINEL;

    Result best = {1.0, 0.0, SENTINEL};
    accept(p, best, 1.0, 0.0);
    accept(p, best, 0.0, 1.0);
    accept(p, best, 0.0, -1.0);
    accept(p, best, -1.0, 0.0);
    for (int32_t k = 0; k < m; k++) {
        double t = bp[k];
        double r = inv_secant(t);
        double w = r * t;
        accept(p, best, r, w);
        accept(p, best, -r, -w);
    }

    double d = p.quad_cs;
    double g = (p.quad_cc - p.quad_ss) * (-2.0);
    double d2 = d * d;
    double dg2 = (2.0 * d) * g;
    double dd2 = (2.0 * d) * d;
    double g2 = g * g;
    for (int32_t v = 0; v <= 2 * m; v++) {
        double lo = ends[v];
        double hi = ends[v + 1];
        double mid = (lo + hi) * 0.5;
        double sum_s = 0.0;
        double sum_c = 0.0;
        for (int32_t k = 0; k < tc; k++) {
            double u = (p.coef_s[k] * mid) + p.coef_c[k];
            double sigma;
            if (u > 0.0) sigma = 1.0;
            else if (u == 0.0) sigma = 0.0;
            else sigma = -1.0;
            sum_s = sum_s + p.coef_s[k] * sigma;
            sum_c = sum_c + p.coef_c[k] * sigma;
        }
        for (int half = 0; half < 2; half++) {
            double alpha, beta;
            if (half == 0) {
                alpha = (sum_c * p.lambda) + p.lin_c;
                beta = -(sum_s * p.lambda) - p.lin_s;
            } else {
                alpha = (sum_c * p.lambda) - p.lin_c;
                beta = p.lin_s - (sum_s * p.lambda);
            }
            double P = (2.0 * beta) * alpha;
            double c4 = (alpha * alpha) - d2;
            double c3 = P + dg2;
            double c2 = (((alpha * alpha) + (beta * beta)) + dd2) - g2;
            double c1 = P - dg2;
            double c0 = (beta * beta) - d2;
            double root[4];
            int32_t count = roots(c4, c3, c2, c1, c0, root);
            for (int32_t i = 0; i < count; i++) {
                double t = root[i];
                if (lo <= t && t <= hi) {
                    double r = inv_secant(t);
                    if (half == 1) r = -r;
                    accept(p, best, r, r * t);
                }
            }
        }
    }
    std::free(bp);
    std::free(mag);
    std::free(ends);
    return best;
}

inline void solve(const double* Q, const double* G, double lambda, const double* z1,
                  const double* z2, int32_t n, double* V) {
    int32_t room = n > 0 ? n : 1;
    double* k1 = (double*)std::malloc(sizeof(double) * room);
    double* k2 = (double*)std::malloc(sizeof(double) * room);
    int32_t j = 0;
    for (int32_t k = 0; k < n; k++) {
        if (std::fabs(z1[k]) > DEGENERACY_EPS || std::fabs(z2[k]) > DEGENERACY_EPS) {
            k1[j] = z1[k];
            k2[j] = z2[k];
            j++;
        }
    }
    double* cc = (double*)std::malloc(sizeof(double) * (j > 0 ? 2 * j : 1));
    double* cs = (double*)std::malloc(sizeof(double) * (j > 0 ? 2 * j : 1));
    for (int32_t k = 0; k < j; k++) {
        cc[k] = k1[k];
        cc[j + k] = k2[k];
        cs[k] = k2[k];
        cs[j + k] = -k1[k];
    }
    Problem rot = {G[0] + G[3],
                   G[2] - G[1],
                   ((Q[0] * 0.5) + Q[12]) + (Q[15] * 0.5),
                   ((Q[8] - Q[4]) - Q[13]) + Q[14],
                   ((Q[5] * 0.5) - Q[9]) + (Q[10] * 0.5),
                   lambda, cc, cs, 2 * j};
    Result r = search(rot);
    for (int32_t k = 0; k < j; k++) {
        cc[k] = -k1[k];
        cc[j + k] = k2[k];
        cs[k] = k2[k];
        cs[j + k] = k1[k];
    }
    Problem ref = {G[3] - G[0],
                   G[2] + G[1],
                   ((Q[0] * 0.5) - Q[12]) + (Q[15] * 0.5),
                   (Q[13] - (Q[8] + Q[4])) + Q[14],
                   ((Q[5] * 0.5) + Q[9]) + (Q[10] * 0.5),
                   lambda, cc, cs, 2 * j};
    Result f = search(ref);
    if (f.value > r.value) {
        V[0] = r.c;
        V[1] = -r.s;
        V[2] = r.s;
        V[3] = r.c;
    } else {
        V[0] = -f.c;
        V[1] = f.s;
        V[2] = f.s;
        V[3] = f.c;
    }
    std::free(k1);
    std::free(k2);
    std::free(cc);
    std::free(cs);
}

}  // namespace reference
