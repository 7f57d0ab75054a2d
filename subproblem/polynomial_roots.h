#pragma once

#include <cstdint>

// Candidate roots of polynomials of degree up to four, in closed form.
//
// The result is a list of candidate values, not a certified set of roots: it
// may hold the real part of a complex pair, 1.0 for a polynomial that is zero
// everywhere, or NaN where a square root of a negative number was taken. The
// circle search filters every value through an interval test and scores it,
// so a spurious value costs one evaluation and nothing else.

// Roots of c4·t⁴ + c3·t³ + c2·t² + c1·t + c0. Leading coefficients with
// |c| < DEGENERACY_EPS are skipped. Writes up to four values to out and
// returns how many of the leading values are results (0 to 4).
int32_t polynomial_real_roots(double c4, double c3, double c2, double c1, double c0,
                              double* out);

// Roots of the monic cubic x³ + a·x² + b·x + c. Always writes out[0..2];
// returns 1, 2 or 3. With 1, out[1] and out[2] hold the real and imaginary
// part of the complex pair.
int32_t cubic_roots(double* out, double a, double b, double c);

// Roots of the monic quartic x⁴ + a·x³ + b·x² + c·x + d, by factoring it into
// two quadratics through a resolvent cubic. Returns 2, 3 or 4.
int32_t quartic_roots(double a, double b, double c, double d, double* out);
