#pragma once

// Internal to the circle search and its tests: the lane kernels, one set per
// lane path, and the search run on a named set.
//
// The search spends nearly all its time in two kinds of sums over all terms:
// the sign sums of every interval and the sums of absolute values of every
// candidate. Each kernel computes LANE_BLOCK such sums that are independent of
// one another (different intervals, or different candidates); how it spreads
// them over vector lanes is its own affair, and every path gives the same
// bits (circle_search.cpp explains why).

#include <cstdint>

#include "circle_search.h"
#include "common/lane_choice.h"

namespace circle_lanes {

// Intervals, or candidates, handed to one kernel call.
constexpr int LANE_BLOCK = 16;

// sum_c[v] = Σₖ coef_c[k]·σₖ(mid[v]) and sum_s[v] = Σₖ coef_s[k]·σₖ(mid[v]) for
// v = 0 … LANE_BLOCK − 1, with σₖ(x) = +1, 0 or −1 as (coef_s[k]·x) + coef_c[k]
// is > 0, = 0 (either zero), or < 0 or NaN.
using SignSumsFn = void (*)(const double* coef_c, const double* coef_s, int32_t terms,
                            const double* mid, double* sum_c, double* sum_s);

// The same sums, allowed only when every coefficient and every mid is finite.
// Returns true when the sums it wrote may be wrong (some linear form was
// exactly zero, which the fast form does not weigh with σ = 0); the caller
// must then compute them again with SignSumsFn.
using SignSumsFiniteFn = bool (*)(const double* coef_c, const double* coef_s, int32_t terms,
                                  const double* mid, double* sum_c, double* sum_s);

// sum[v] = Σₖ |(c[v]·coef_c[k]) + (s[v]·coef_s[k])| for v = 0 … LANE_BLOCK − 1.
using AbsSumsFn = void (*)(const double* coef_c, const double* coef_s, int32_t terms,
                           const double* c, const double* s, double* sum);

struct Kernels {
    SignSumsFn sign_sums;
    SignSumsFiniteFn sign_sums_finite;
    AbsSumsFn abs_sums;
};

// The kernels of one path, or nullptr when this build has no such path or
// the processor cannot run it (LanePath::automatic names no path).
const Kernels* kernels_for(orthopair::LanePath path);

// The path that search_circle takes in this process: the widest one that is
// built, that the processor runs and that ORTHOPAIR_LANES allows. Chosen on
// the first call and kept.
orthopair::LanePath chosen_path();

// search_circle on the given kernels.
CircleResult search_with(const CircleProblem& problem, const Kernels& kernels);

}  // namespace circle_lanes
