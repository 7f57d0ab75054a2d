#include <cstdlib>
#include <cstring>

#include <gtest/gtest.h>

#include "pair_select.h"

// The path the process runs: ORTHOPAIR_LANES=scalar forces the plain form;
// vector, avx2, avx512, anything unknown, or nothing, take the vector path
// where the build has it (no wider path pays for these sums). CTest runs this
// under several values of the variable.
TEST(LaneChoice, FollowsTheEnvironment) {
    const char* forced = std::getenv("ORTHOPAIR_LANES");
    const bool scalar = forced != nullptr && std::strcmp(forced, "scalar") == 0;
    const PairLanes want =
        scalar || !pair_lanes_built(PairLanes::vector) ? PairLanes::scalar : PairLanes::vector;
    EXPECT_EQ(chosen_pair_lanes(), want);
    // Kept for the rest of the process, whatever the environment says later.
    setenv("ORTHOPAIR_LANES", scalar ? "vector" : "scalar", 1);
    EXPECT_EQ(chosen_pair_lanes(), want);
}
