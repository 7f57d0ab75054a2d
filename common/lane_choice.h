#pragma once

// Which lane path the optimised kernels run: chosen once per process.
//
// Every optimised kernel has several paths that give the same bits: one lane at
// a time (scalar), the compiler's generic vectors (vector), and wider paths that
// need a processor extension checked at run time (avx2, avx512). By default a
// kernel takes the widest path the processor has. The environment variable
// ORTHOPAIR_LANES=scalar|vector|avx2|avx512 forces one, so that the tests can
// run every path through the real entry points, MEX-files included. A path the
// processor or the build lacks falls back to the widest one below it that is
// there; an unknown value counts as unset.
//
// The variable is read on the first call only and the answer kept for the rest
// of the process, so a call never pays for getenv and a path never changes
// under a running computation.

#include <cstdlib>
#include <cstring>

namespace orthopair {

enum class LanePath { automatic, scalar, vector, avx2, avx512 };

inline LanePath parse_lane_path(const char* text) {
    if (text == nullptr) return LanePath::automatic;
    if (std::strcmp(text, "scalar") == 0) return LanePath::scalar;
    if (std::strcmp(text, "vector") == 0) return LanePath::vector;
    if (std::strcmp(text, "avx2") == 0) return LanePath::avx2;
    if (std::strcmp(text, "avx512") == 0) return LanePath::avx512;
    return LanePath::automatic;
}

// The path that ORTHOPAIR_LANES asks for, read once per process.
inline LanePath requested_lane_path() {
    static const LanePath path = parse_lane_path(std::getenv("ORTHOPAIR_LANES"));
    return path;
}

// True when a kernel may take `path`: nothing was forced, or what was forced
// is `path` or wider. A kernel tries its paths from the widest down and takes
// the first that is allowed and that the processor supports.
inline bool lane_path_allowed(LanePath path) {
    const LanePath wanted = requested_lane_path();
    return wanted == LanePath::automatic || static_cast<int>(path) <= static_cast<int>(wanted);
}

}  // namespace orthopair
