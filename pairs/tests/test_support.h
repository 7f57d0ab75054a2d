#pragma once

// Helpers shared by the pair-selection tests: bit-exact comparison, the two
// selectors side by side, and replay of the C runtime generator so a test
// knows which pairs a call draws and where it leaves the generator.

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "pair_select.h"
#include "reference_pairs.h"

inline uint64_t bits(double x) {
    uint64_t b;
    std::memcpy(&b, &x, sizeof b);
    return b;
}

// Equal to the last bit, except that NaNs count as equal whatever their sign
// and payload: a NaN score never wins, so only its NaN-ness is observable.
inline bool same_score(double a, double b) {
    return (a != a && b != b) || bits(a) == bits(b);
}

using SelectOnFn = void (*)(PairLanes, const double*, const double*, int32_t, int32_t,
                            int32_t, double*);

// One rule on one lane path.
struct Selector {
    std::string name;
    SelectOnFn select_on;
    reference::Rule rule;
    PairLanes lanes;

    void select(const double* A, const double* B, int32_t n_cols, int32_t n_rows,
                int32_t n_trials, double* out) const {
        select_on(lanes, A, B, n_cols, n_rows, n_trials, out);
    }
    double score(const double* a_i, const double* a_j, const double* b_i,
                 const double* b_j, int64_t n_rows) const {
        return rule == reference::Rule::max_violation
                   ? max_violation_score(lanes, a_i, a_j, b_i, b_j, n_rows)
                   : max_reduction_score(lanes, a_i, a_j, b_i, b_j, n_rows);
    }
};

inline const char* lanes_name(PairLanes lanes) {
    switch (lanes) {
        case PairLanes::scalar: return "scalar";
        case PairLanes::vector: return "vector";
        case PairLanes::avx2: return "avx2";
        default: return "?";
    }
}

// Both rules on every lane path this build and processor have, the maximum-violation rule
// first on each; then both public entries, which take the path chosen for
// the process.
inline std::vector<Selector> all_selectors() {
    std::vector<Selector> all;
    for (PairLanes lanes : {PairLanes::scalar, PairLanes::vector, PairLanes::avx2}) {
        if (!pair_lanes_available(lanes)) continue;
        const std::string path = lanes_name(lanes);
        all.push_back({"max_violation/" + path, select_pair_max_violation_on,
                       reference::Rule::max_violation, lanes});
        all.push_back({"max_reduction/" + path, select_pair_max_reduction_on,
                       reference::Rule::max_reduction, lanes});
    }
    all.push_back({"max_violation/chosen",
                   [](PairLanes, const double* A, const double* B, int32_t c, int32_t r,
                      int32_t t, double* out) { select_pair_max_violation(A, B, c, r, t, out); },
                   reference::Rule::max_violation, chosen_pair_lanes()});
    all.push_back({"max_reduction/chosen",
                   [](PairLanes, const double* A, const double* B, int32_t c, int32_t r,
                      int32_t t, double* out) { select_pair_max_reduction(A, B, c, r, t, out); },
                   reference::Rule::max_reduction, chosen_pair_lanes()});
    return all;
}

inline const std::vector<Selector> kSelectors = all_selectors();

using Pair = std::pair<int, int>;  // 0-based (i, j), i from the first draw

// What a call with this limit draws after srand(seed), by replaying rand().
struct DrawPlan {
    std::vector<Pair> evaluated;  // attempts with i ≠ j, in order
    int discarded = 0;            // attempts with i = j
    int64_t draws = 0;            // rand() values consumed
};

inline DrawPlan plan_draws(unsigned seed, int32_t n_cols, int32_t limit) {
    std::srand(seed);
    DrawPlan plan;
    while (static_cast<int32_t>(plan.evaluated.size()) < limit) {
        const int i = std::rand() % n_cols;
        const int j = std::rand() % n_cols;
        plan.draws += 2;
        if (i == j) {
            plan.discarded++;
        } else {
            plan.evaluated.push_back({i, j});
        }
    }
    return plan;
}

// The first seed whose draws evaluate exactly `wanted`, with limit equal to
// its length; 0 when none is found.
inline unsigned seed_drawing(int32_t n_cols, const std::vector<Pair>& wanted) {
    for (unsigned seed = 1; seed < 1000000; ++seed) {
        if (plan_draws(seed, n_cols, static_cast<int32_t>(wanted.size()))
                .evaluated == wanted) {
            return seed;
        }
    }
    return 0;
}

// The next few generator values: a fingerprint of its position. Take it in
// its own statement before calling values_after, which reseeds.
inline std::vector<int> next_values() {
    std::vector<int> v(4);
    for (int& x : v) x = std::rand();
    return v;
}

// The fingerprint expected after `draws` values have been taken from `seed`.
inline std::vector<int> values_after(unsigned seed, int64_t draws) {
    std::srand(seed);
    for (int64_t k = 0; k < draws; ++k) std::rand();
    return next_values();
}

// Output of a call as a 1-based pair, after srand(seed).
inline Pair run(const Selector& s, unsigned seed, const double* A,
                const double* B, int32_t n_cols, int32_t n_rows,
                int32_t n_trials) {
    double out[2] = {-7.0, -7.0};
    std::srand(seed);
    s.select(A, B, n_cols, n_rows, n_trials, out);
    return {static_cast<int>(out[0]), static_cast<int>(out[1])};
}

inline Pair one_based(Pair p) { return {p.first + 1, p.second + 1}; }
