#include "common/lane_choice.h"
#include "pair_lanes.h"
#include "pair_select.h"

bool pair_lanes_built(PairLanes lanes) {
    return lanes == PairLanes::scalar || (lanes == PairLanes::vector && PAIR_LANES_HAVE_VECTOR);
}

// The vector path needs nothing beyond the baseline instruction set, so it is
// taken whenever the build has it, unless ORTHOPAIR_LANES=scalar asks for the
// plain form. There is no wider path: where the selectors spend their time
// (the generator, the L3 cache, main memory) a wider register has little to
// gain (README, Speed), so avx2 and avx512 take the vector path too.
PairLanes chosen_pair_lanes() {
    static const PairLanes chosen =
        PAIR_LANES_HAVE_VECTOR && orthopair::lane_path_allowed(orthopair::LanePath::vector)
            ? PairLanes::vector
            : PairLanes::scalar;
    return chosen;
}
