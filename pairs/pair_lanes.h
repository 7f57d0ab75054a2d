#pragma once

// Two independent double sums carried side by side, internal to pairs/.
//
// A lane type L provides a value L::V that holds two doubles, its low and high
// lane, and the operations below. Addition and multiplication act on each
// lane alone and round as the scalar operations do, so a lane that is only
// ever updated as s = s + x·y in ascending row order has the bits of the
// plain running sum. Only independent sums share a value; nothing ever adds
// one lane into the other.
//
// The lane types, all built into every selector that the compiler can make:
//
//   ScalarLanes  a plain pair of doubles with every operation written out;
//                the form any C++ compiler takes.
//   VectorLanes  the compiler's generic 16-byte vector (GCC and Clang): one
//                SSE2 register on every x86-64 processor, with no instruction
//                beyond the baseline, and one NEON register on 64-bit ARM.
//   Avx2Lanes    the same vectors in code compiled for AVX2 (x86).
//
// Which one runs is chosen once per process (pair_frame.cpp).

#include <cstring>

namespace pair_lanes {

struct ScalarLanes {
    struct V {
        double lo;
        double hi;
    };
    static V make(double lo, double hi) { return V{lo, hi}; }
    // The two consecutive doubles at p, p[0] in the low lane.
    static V load(const double* p) { return V{p[0], p[1]}; }
    static double low(V v) { return v.lo; }
    static double high(V v) { return v.hi; }
    // {x.low, y.low} and {x.high, y.high}.
    static V lows(V x, V y) { return V{x.lo, y.lo}; }
    static V highs(V x, V y) { return V{x.hi, y.hi}; }
    static V add(V x, V y) { return V{x.lo + y.lo, x.hi + y.hi}; }
    static V mul(V x, V y) { return V{x.lo * y.lo, x.hi * y.hi}; }
};

#if defined(__GNUC__) || defined(__clang__)
#define PAIR_LANES_HAVE_VECTOR 1

struct VectorLanes {
    typedef double V __attribute__((vector_size(16)));
    static V make(double lo, double hi) { return V{lo, hi}; }
    static V load(const double* p) {
        V v;
        std::memcpy(&v, p, sizeof v);  // columns need not be 16-byte aligned
        return v;
    }
    static double low(V v) { return v[0]; }
    static double high(V v) { return v[1]; }
    static V lows(V x, V y) { return V{x[0], y[0]}; }
    static V highs(V x, V y) { return V{x[1], y[1]}; }
    static V add(V x, V y) { return x + y; }
    static V mul(V x, V y) { return x * y; }
};

// The same 16-byte vectors, for code compiled for AVX2 (pair_frame.h): a type
// of its own, so that its instantiations of the frame and the kernels are
// never merged with those of the baseline instruction set. AVX2's encoding
// takes three operands, so fewer register copies, and a broadcast loads an
// element straight into both lanes; the operations and their rounding are
// those of SSE2, and AVX2 brings no fused multiply-add.
#if defined(__x86_64__) || defined(__i386__)
#define PAIR_LANES_HAVE_AVX2 1
struct Avx2Lanes : VectorLanes {};
#else
#define PAIR_LANES_HAVE_AVX2 0
#endif

#else
#define PAIR_LANES_HAVE_VECTOR 0
#define PAIR_LANES_HAVE_AVX2 0
#endif

}  // namespace pair_lanes
