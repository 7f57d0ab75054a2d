#pragma once

// The pair selectors drawing from a generator the caller owns, for the
// solver's runs, internal to this project (the installed entries in
// pair_select.h draw from the C runtime's rand()). A generator is an object
// with next(), the next value in 0 … max, and max a constant of its type
// (pair_frame.h). Apart from where the draws come from, these are the
// selectors of pair_select.h: the same draws from the same values, the same
// scores on the path the process has chosen, the same pair.

#include <cstdint>

#include "max_reduction_rule.h"
#include "max_violation_rule.h"
#include "pair_frame.h"
#include "pair_select.h"

// A chosen pair of distinct columns, counted from 0.
struct ColumnPair {
    int32_t i;
    int32_t j;
};

// Rule: pair_rules::MaxViolationRule (as select_pair_max_violation) or
// pair_rules::MaxReductionRule (as select_pair_max_reduction). The frame
// reports the pair 1-based, as the MEX-files return it; here it is turned
// into the 0-based columns the solver indexes with.
template <typename Rule, typename Generator>
ColumnPair select_pair_with(Generator& gen, const double* A, const double* B, int32_t n_cols,
                            int32_t n_rows, int32_t n_trials) {
    double out[2];
    pair_frame::select_pair_on<Rule>(chosen_pair_lanes(), A, B, n_cols, n_rows, n_trials, out,
                                     gen);
    return {static_cast<int32_t>(out[0]) - 1, static_cast<int32_t>(out[1]) - 1};
}
