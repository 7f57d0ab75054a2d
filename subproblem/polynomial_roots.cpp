#include "polynomial_roots.h"

#include <cmath>

#include "common/constants.h"

namespace {

constexpr double TWO_PI = 6.283185307179586;
constexpr double ONE_THIRD = 0.3333333333333333;

// A coefficient is negligible only when it is strictly below the threshold in
// magnitude, so a NaN never is and the threshold itself is not.
inline bool negligible(double v) { return std::fabs(v) < DEGENERACY_EPS; }

// Roots of one monic quadratic factor x² + p·x + q, appended at out[k...].
// A factor without real roots contributes the real part −p/2 of its complex
// pair, which is also where the factor is smallest. Returns the new k.
inline int32_t factor_roots(double p, double q, double* out, int32_t k) {
    const double disc = (p * p) - (4.0 * q);
    if (disc < 0.0) {
        out[k] = -0.5 * p;
        return k + 1;
    }
    const double r = std::sqrt(disc);
    out[k] = 0.5 * (r - p);
    out[k + 1] = 0.5 * (-p - r);
    return k + 2;
}

}  // namespace

int32_t cubic_roots(double* out, double a, double b, double c) {
    const double Q = ((a * a) - (3.0 * b)) / 9.0;
    const double R = ((((a * a) * 2.0) - (9.0 * b)) * a + (27.0 * c)) / 54.0;
    const double Q3 = (Q * Q) * Q;
    const double R2 = R * R;
    const double s = a / 3.0;

    if (Q3 > R2) {
        // Three real roots: the trigonometric form.
        double x = R / std::sqrt(Q3);
        if (x < -1.0) {
            x = -1.0;
        } else if (x > 1.0) {
            x = 1.0;
        }
        const double theta = std::acos(x);
        const double m = -2.0 * std::sqrt(Q);
        out[0] = m * std::cos(theta / 3.0) - s;
        out[1] = m * std::cos((theta + TWO_PI) / 3.0) - s;
        out[2] = m * std::cos((theta - TWO_PI) / 3.0) - s;
        return 3;
    }

    // One real root and a pair: real cube roots. A general power with the
    // double nearest 1/3 as exponent, not cbrt, so the bits are those of pow.
    const double P = std::pow(std::sqrt(R2 - Q3) + std::fabs(R), ONE_THIRD);
    const double A = (R < 0.0) ? P : -P;
    const double B = (A == 0.0) ? 0.0 : Q / A;
    out[0] = (A + B) - s;
    out[1] = (-0.5 * (A + B)) - s;
    const double im = (std::sqrt(3.0) * 0.5) * (A - B);
    out[2] = im;
    if (negligible(im)) {
        // The pair is real and double.
        out[2] = out[1];
        return 2;
    }
    return 1;
}

int32_t quartic_roots(double a, double b, double c, double d, double* out) {
    const double u = 4.0 * d;

    // Resolvent cubic y³ − b·y² + (a·c − 4d)·y + (4b·d − a²·d − c²) = 0.
    double v[3];
    const int32_t n = cubic_roots(v, -b, (a * c) - u, ((4.0 * b) * d) - (((a * a) * d) + (c * c)));

    // The resolvent root of largest magnitude; strict tests keep the earlier
    // slot on ties and never let a NaN displace y.
    double y = v[0];
    if (n != 1) {
        if (std::fabs(v[1]) > std::fabs(y)) y = v[1];
        if (std::fabs(v[2]) > std::fabs(y)) y = v[2];
    }

    // Factor as (x² + p1·x + q1)·(x² + p2·x + q2).
    double p1;
    double p2;
    double q1;
    double q2;
    const double g = (y * y) - u;
    if (negligible(g)) {
        // The two constant terms coincide.
        q1 = 0.5 * y;
        q2 = q1;
        const double h = (a * a) - (4.0 * (b - y));
        if (negligible(h)) {
            p1 = 0.5 * a;
            p2 = p1;
        } else {
            const double k = std::sqrt(h);
            p1 = 0.5 * (k + a);
            p2 = 0.5 * (a - k);
        }
    } else {
        const double o = std::sqrt(g);
        q1 = 0.5 * (o + y);
        q2 = 0.5 * (y - o);
        const double w = q1 - q2;
        p1 = ((q1 * a) - c) / w;
        p2 = (c - (q2 * a)) / w;
    }

    int32_t k = factor_roots(p1, q1, out, 0);
    k = factor_roots(p2, q2, out, k);
    return k;
}

int32_t polynomial_real_roots(double c4, double c3, double c2, double c1, double c0,
                              double* out) {
    if (!negligible(c4)) {
        return quartic_roots(c3 / c4, c2 / c4, c1 / c4, c0 / c4, out);
    }
    if (!negligible(c3)) {
        return cubic_roots(out, c2 / c3, c1 / c3, c0 / c3);
    }
    if (negligible(c2)) {
        if (!negligible(c1)) {
            out[0] = -(c0 / c1);
            return 1;
        }
        if (negligible(c0)) {
            // Zero everywhere: any point is stationary; offer one.
            out[0] = 1.0;
            return 1;
        }
        return 0;  // a non-zero constant has no root
    }
    const double D = (c1 * c1) - ((4.0 * c2) * c0);
    if (D < 0.0) {
        return 0;
    }
    const double r = std::sqrt(D);
    const double w = 2.0 * c2;
    out[0] = (r - c1) / w;
    out[1] = (-c1 - r) / w;
    return 2;
}
