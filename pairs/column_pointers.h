#pragma once

// The columns of C pairs as four arrays of pointers, one each for Aᵢ, Aⱼ, Bᵢ
// and Bⱼ, indexed by pair: the form in which the scoring passes of the rules
// keep them while they walk the rows. Internal to pairs/.

#include "pair_frame.h"

namespace pair_rules {

template <int C>
struct ColumnPointers {
    const double* a_i[C];
    const double* a_j[C];
    const double* b_i[C];
    const double* b_j[C];

    explicit ColumnPointers(const pair_frame::PairColumns* pairs) {
        for (int k = 0; k < C; ++k) {
            a_i[k] = pairs[k].a_i;
            a_j[k] = pairs[k].a_j;
            b_i[k] = pairs[k].b_i;
            b_j[k] = pairs[k].b_j;
        }
    }
};

}  // namespace pair_rules
