#include "common/lane_choice.h"
#include "pair_lanes.h"
#include "pair_select.h"

bool pair_lanes_available(PairLanes lanes) {
    switch (lanes) {
        case PairLanes::scalar: return true;
        case PairLanes::vector: return PAIR_LANES_HAVE_VECTOR != 0;
        case PairLanes::avx2:
#if PAIR_LANES_HAVE_AVX2
            return __builtin_cpu_supports("avx2") != 0;
#else
            return false;
#endif
        default: return false;  // avx512 and automatic: no path of the selectors
    }
}

// The widest path that is available and allowed: avx2 where the processor has
// it, else the vector path, which needs nothing beyond the baseline
// instruction set; ORTHOPAIR_LANES=vector or scalar asks for a narrower one,
// and avx512 takes avx2, the widest path the selectors have. Wider registers
// would hold more sums, but only at the price of a transpose per few rows to
// keep each sum in row order, and where the selectors spend their time (the
// generator, the L3 cache, main memory) the width of the arithmetic is not
// the limit (README, Speed).
PairLanes chosen_pair_lanes() {
    using orthopair::LanePath;
    static const PairLanes chosen =
        pair_lanes_available(PairLanes::avx2) && orthopair::lane_path_allowed(LanePath::avx2)
            ? PairLanes::avx2
        : pair_lanes_available(PairLanes::vector) && orthopair::lane_path_allowed(LanePath::vector)
            ? PairLanes::vector
            : PairLanes::scalar;
    return chosen;
}
