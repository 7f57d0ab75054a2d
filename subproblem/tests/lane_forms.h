#pragma once

// The lane kernels of the circle search by name, for the tests: every path
// the library has, plus "vector512", the AVX-512 lane source (its vector
// width and lane group) compiled for the processor's baseline, so that the
// shape of that code is checked on processors without AVX-512 too.

#include <string>
#include <vector>

#include "circle_lanes.h"

namespace lane_forms {

// "scalar", "vector", "vector512", "avx2", "avx512".
const std::vector<std::string>& names();

// The kernels of a form, or nullptr when this build lacks it or this
// processor cannot run it.
const circle_lanes::Kernels* find(const std::string& name);

// The mids of the intervals that the search sweeps for the terms (cc, cs),
// formed as the search forms them; empty when a breakpoint is NaN (then the
// search's order of the magnitudes is not an ascending sort).
std::vector<double> interval_mids(const std::vector<double>& cc, const std::vector<double>& cs);

}  // namespace lane_forms
