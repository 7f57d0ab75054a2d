#pragma once

// Numerical constants shared by the subproblem solver and the pair selectors.

// The one absolute threshold below which a value counts as negligible in the
// subproblem solver. It is the double nearest to 2.2204e-16, a hair below the
// machine epsilon 2^-52, and it is never scaled by the size of the data.
constexpr double DEGENERACY_EPS = 2.2204e-16;

// Start value of every circle search and the outer ends of its slope axis;
// also the initial best score (with either sign) of the pair selectors.
constexpr double SENTINEL = 1e100;
