#pragma once

// Two independent double sums carried side by side, internal to pairs/.
//
// A Lanes2 value holds two doubles, its low and high lane. Addition and
// multiplication act on each lane alone and round as the scalar operations
// do, so a lane that is only ever updated as s = s + x·y in ascending row
// order has the bits of the plain running sum. Only independent sums share a
// value; nothing ever adds one lane into the other.
//
// With GCC or Clang a Lanes2 is a 16-byte vector: one SSE2 register on every
// x86-64 processor, with no instruction beyond the baseline. Elsewhere, or
// when ORTHOPAIR_PORTABLE_LANES is defined (the tests build that form too),
// it is a pair of doubles with the same operations written out.

#include <cstring>

#if (defined(__GNUC__) || defined(__clang__)) && !defined(ORTHOPAIR_PORTABLE_LANES)

namespace pair_lanes {

typedef double Lanes2 __attribute__((vector_size(16)));

inline Lanes2 lanes(double lo, double hi) { return Lanes2{lo, hi}; }

// The two consecutive doubles at p, p[0] in the low lane.
inline Lanes2 load_lanes(const double* p) {
    Lanes2 v;
    std::memcpy(&v, p, sizeof v);  // columns need not be 16-byte aligned
    return v;
}

inline double low(Lanes2 v) { return v[0]; }
inline double high(Lanes2 v) { return v[1]; }

// {x.low, y.low} and {x.high, y.high}.
inline Lanes2 lows(Lanes2 x, Lanes2 y) { return Lanes2{x[0], y[0]}; }
inline Lanes2 highs(Lanes2 x, Lanes2 y) { return Lanes2{x[1], y[1]}; }

}  // namespace pair_lanes

#else

namespace pair_lanes {

struct Lanes2 {
    double lo;
    double hi;
};

inline Lanes2 lanes(double lo, double hi) { return Lanes2{lo, hi}; }
inline Lanes2 load_lanes(const double* p) { return Lanes2{p[0], p[1]}; }
inline double low(Lanes2 v) { return v.lo; }
inline double high(Lanes2 v) { return v.hi; }
inline Lanes2 lows(Lanes2 x, Lanes2 y) { return Lanes2{x.lo, y.lo}; }
inline Lanes2 highs(Lanes2 x, Lanes2 y) { return Lanes2{x.hi, y.hi}; }

inline Lanes2 operator+(Lanes2 x, Lanes2 y) { return Lanes2{x.lo + y.lo, x.hi + y.hi}; }
inline Lanes2 operator*(Lanes2 x, Lanes2 y) { return Lanes2{x.lo * y.lo, x.hi * y.hi}; }

}  // namespace pair_lanes

#endif
