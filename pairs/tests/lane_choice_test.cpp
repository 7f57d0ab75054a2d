#include <cstdio>
#include <cstdlib>
#include <string>
#include <cstring>

#include <gtest/gtest.h>

#include "pair_select.h"

// The path the process runs: the widest available that ORTHOPAIR_LANES
// allows. scalar and vector ask for those; avx2, avx512, anything unknown, or
// nothing take avx2 where the processor has it (the selectors have no wider
// path). CTest runs this under several values of the variable.
TEST(LaneChoice, FollowsTheEnvironment) {
    const char* forced = std::getenv("ORTHOPAIR_LANES");
    const std::string value = forced != nullptr ? forced : "";
    PairLanes want = PairLanes::scalar;
    if (value != "scalar" && pair_lanes_available(PairLanes::vector)) want = PairLanes::vector;
    if (value != "scalar" && value != "vector" && pair_lanes_available(PairLanes::avx2)) {
        want = PairLanes::avx2;
    }
    EXPECT_EQ(chosen_pair_lanes(), want);
    // Kept for the rest of the process, whatever the environment says later.
    setenv("ORTHOPAIR_LANES", value == "scalar" ? "avx2" : "scalar", 1);
    EXPECT_EQ(chosen_pair_lanes(), want);
}

// The paths this machine runs, in the log: a path the processor lacks is not
// tested here, and the summary should say so.
TEST(LaneChoice, ReportsTheAvailablePaths) {
    for (PairLanes lanes : {PairLanes::scalar, PairLanes::vector, PairLanes::avx2}) {
        std::printf("lane path %-6s %s\n", lanes == PairLanes::scalar   ? "scalar"
                                          : lanes == PairLanes::vector ? "vector"
                                                                       : "avx2",
                    pair_lanes_available(lanes) ? "available" : "not available here");
    }
    EXPECT_TRUE(pair_lanes_available(PairLanes::scalar));
}
