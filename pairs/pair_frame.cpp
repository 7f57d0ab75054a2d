#include "common/lane_choice.h"
#include "pair_lanes.h"
#include "pair_select.h"

bool pair_lanes_built(PairLanes lanes) {
    return lanes == PairLanes::scalar || (lanes == PairLanes::vector && PAIR_LANES_HAVE_VECTOR);
}

// The vector path needs nothing beyond the baseline instruction set, so it is
// taken whenever the build has it, unless ORTHOPAIR_LANES=scalar asks for the
// plain form. avx2 and avx512 fall back to it: a wider register holds no more
// of these sums, whose terms arrive one row of a pair at a time (README,
// Speed).
PairLanes chosen_pair_lanes() {
    static const PairLanes chosen =
        PAIR_LANES_HAVE_VECTOR && orthopair::lane_path_allowed(orthopair::LanePath::vector)
            ? PairLanes::vector
            : PairLanes::scalar;
    return chosen;
}
