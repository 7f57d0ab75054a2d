#pragma once

// The sampling frame shared by the two pair selectors, internal to pairs/.
// Each selector's source instantiates it with its own rule, so a MEX-file
// built from one selector carries the frame and that one rule only.

#include <cstdint>
#include <cstdlib>
#include <type_traits>
#include <utility>

#include "pair_lanes.h"
#include "pair_select.h"

namespace pair_frame {

// The four columns a drawn pair (i, j) reads: Aᵢ, Aⱼ, Bᵢ, Bⱼ.
struct PairColumns {
    const double* a_i;
    const double* a_j;
    const double* b_i;
    const double* b_j;
};

// A rule fills the frame's slots:
//
//   static constexpr double initial_best;   the best the first score meets
//   template <int C, typename Lanes>
//   static void scores(const PairColumns* pairs, int64_t n_rows, double* scores);
//   static bool improves(double score, double best);
//
// scores<C, Lanes> scores C pairs, 1 ≤ C ≤ GROUP_SIZE, into scores[0 … C − 1],
// with the lane type Lanes (pair_lanes.h). It may share passes over the rows
// between the pairs, as long as each column product stays one running sum in
// ascending row order, so that every score has the bits it would have on its
// own.
//
// improves must be strict: ties then keep the pair evaluated first, and a NaN
// score never becomes the best.

// The process's C generator, which the selectors' own entries draw from. A
// generator is an object whose next() gives the next value in 0 … max, with
// max a constant of its type; the frame takes it by reference, so that a
// caller can hand it a generator with state of its own (the solver's runs
// own one each), and the tests a narrower one.
struct CRand {
    static constexpr int max = RAND_MAX;
    static int next() { return std::rand(); }
};

// How many generator values form one index in 0 … n_cols − 1 (n_cols ≥ 2):
// one when the generator's range 0 … max covers the columns, as glibc's and
// macOS's 31-bit rand() always does; otherwise the least k with
// (max + 1)^k ≥ n_cols, for example two for 32768 < n_cols ≤ 2³⁰ and three
// above that with the 15-bit rand() of the Windows C runtime.
template <typename Generator>
int32_t draws_per_index(int32_t n_cols) {
    const uint64_t range = static_cast<uint64_t>(Generator::max) + 1;
    int32_t draws = 1;
    // covered < 2³¹ before each product and range ≤ 2³¹: no overflow.
    for (uint64_t covered = range; covered < static_cast<uint64_t>(n_cols); covered *= range) {
        ++draws;
    }
    return draws;
}

// The number whose digits in base max + 1 are `draws` generator values, the
// first drawn the most significant: uniform in 0 … (max + 1)^draws − 1.
template <typename Generator>
inline uint64_t draw_value(Generator& gen, int32_t draws) {
    const uint64_t range = static_cast<uint64_t>(Generator::max) + 1;
    uint64_t value = 0;
    for (int32_t d = 0; d < draws; ++d) {
        value = value * range + static_cast<uint64_t>(gen.next());
    }
    return value;
}

// One index in 0 … n_cols − 1 from `draws` generator values. With one value
// it is value mod n_cols, exactly as rand() % n_cols. With more, it is
// draw_value mod n_cols: every column can be drawn, and the residues that
// come up more often than others are as rare as with one value that covers
// the range.
template <typename Generator>
inline int32_t draw_index(Generator& gen, int32_t n_cols, int32_t draws) {
    if (Generator::max >= INT32_MAX - 1 || draws == 1) {
        return gen.next() % n_cols;
    }
    return static_cast<int32_t>(draw_value(gen, draws) % static_cast<uint64_t>(n_cols));
}

// A group kernel is written into the frame's loop, not called: with short
// columns the call, and the pointers it spills and reloads, cost as much as
// the scoring (about 12 % of a call at three rows). The frame in turn is
// written into each entry, so that the AVX2 entry compiles all of it for
// AVX2.
#if defined(__GNUC__) || defined(__clang__)
#define PAIR_KERNEL_INLINE __attribute__((always_inline)) inline
#elif defined(_MSC_VER)
#define PAIR_KERNEL_INLINE __forceinline
#else
#define PAIR_KERNEL_INLINE inline
#endif

// Pairs drawn and scored together: three pairs read twelve columns, as many
// pointers as the registers hold beside the accumulators.
constexpr int32_t GROUP_SIZE = 3;

template <typename Rule, typename Lanes>
void score_group(const PairColumns* pairs, int32_t count, int64_t n_rows, double* scores) {
    static_assert(GROUP_SIZE == 3, "score_group handles 1 to 3 pairs");
    switch (count) {
        case 1: Rule::template scores<1, Lanes>(pairs, n_rows, scores); break;
        case 2: Rule::template scores<2, Lanes>(pairs, n_rows, scores); break;
        default: Rule::template scores<3, Lanes>(pairs, n_rows, scores); break;
    }
}

// Scores min(n_trials, n_cols) random pairs of distinct columns and reports
// the best as [i + 1; j + 1] in out; [1; 2] when nothing was scored or nothing
// beat the rule's initial best.
//
// The draws come from gen: for the selectors' own entries the C runtime's
// rand(), which the rest of the process shares and which is never seeded
// here; for the solver the generator its run owns. Every attempt draws i
// first and then j (draw_index), and an attempt with i = j is discarded but
// has still used its values.
//
// The draws never depend on the scores, so the frame draws a group of pairs,
// scores the group in one pass over the rows, and then applies the
// improvement test pair by pair in draw order. The outcome is that of drawing
// and scoring one pair at a time. A group never draws past the limit, so the
// generator ends where the one-at-a-time loop would leave it.
template <typename Rule, typename Lanes, typename Generator>
PAIR_KERNEL_INLINE void select_pair(const double* A, const double* B, int32_t n_cols,
                 int32_t n_rows, int32_t n_trials, double* out, Generator& gen) {
    // The answer when nothing gets scored or nothing beats the initial best.
    out[0] = 1.0;
    out[1] = 2.0;

    const int32_t limit = n_trials < n_cols ? n_trials : n_cols;
    if (limit <= 0) {
        return;  // nothing to score, and the generator is left where it stands
    }
    // A single column admits no pair of distinct indices, so drawing could
    // never reach the limit. The sound answer is the one for "nothing
    // scored", without touching the generator.
    if (n_cols == 1) {
        return;
    }
    const int32_t draws = draws_per_index<Generator>(n_cols);

    // Columns start at n_rows·k, formed in 64 bits so that no drawable
    // column's offset can overflow. When n_rows ≤ 0 nothing is read at all,
    // and every column is addressed at the array's start rather than at an
    // offset before it.
    const int32_t stride = n_rows > 0 ? n_rows : 0;

    constexpr int32_t G = GROUP_SIZE;
    int32_t first[G];
    int32_t second[G];
    PairColumns columns[G];
    double scores[G];

    double best = Rule::initial_best;
    int32_t evaluated = 0;
    while (evaluated < limit) {
        const int32_t left = limit - evaluated;
        const int32_t wanted = left < G ? left : G;

        int32_t drawn = 0;
        while (drawn < wanted) {
            const int32_t i = draw_index(gen, n_cols, draws);
            const int32_t j = draw_index(gen, n_cols, draws);
            if (i == j) {
                continue;
            }
            first[drawn] = i;
            second[drawn] = j;
            const int64_t offset_i = column_offset(stride, i);
            const int64_t offset_j = column_offset(stride, j);
            columns[drawn] = {A + offset_i, A + offset_j, B + offset_i, B + offset_j};
            ++drawn;
        }

        score_group<Rule, Lanes>(columns, drawn, n_rows, scores);

        for (int32_t k = 0; k < drawn; ++k) {
            if (Rule::improves(scores[k], best)) {
                out[0] = static_cast<double>(first[k]) + 1.0;
                out[1] = static_cast<double>(second[k]) + 1.0;
                best = scores[k];
            }
        }
        evaluated += drawn;
    }
}

#if PAIR_LANES_HAVE_AVX2
// The frame and the rule's kernels compiled for AVX2: both are written into
// this function, and take its instruction set.
template <typename Rule, typename Generator>
__attribute__((target("avx2"))) void select_pair_avx2(const double* A, const double* B,
                                                     int32_t n_cols, int32_t n_rows,
                                                     int32_t n_trials, double* out,
                                                     Generator& gen) {
    select_pair<Rule, pair_lanes::Avx2Lanes>(A, B, n_cols, n_rows, n_trials, out, gen);
}

template <typename Rule>
__attribute__((target("avx2"))) double score_avx2(const PairColumns& pair, int64_t n_rows) {
    double score;
    Rule::template scores<1, pair_lanes::Avx2Lanes>(&pair, n_rows, &score);
    return score;
}
#endif

// The frame on the path `lanes`: the one switch between the paths, taken once
// per call; the choice of path itself is made once per process.
template <typename Rule, typename Generator>
void select_pair_on(PairLanes lanes, const double* A, const double* B, int32_t n_cols,
                    int32_t n_rows, int32_t n_trials, double* out, Generator& gen) {
#if PAIR_LANES_HAVE_AVX2
    if (lanes == PairLanes::avx2) {
        select_pair_avx2<Rule>(A, B, n_cols, n_rows, n_trials, out, gen);
        return;
    }
#endif
#if PAIR_LANES_HAVE_VECTOR
    if (lanes == PairLanes::vector) {
        select_pair<Rule, pair_lanes::VectorLanes>(A, B, n_cols, n_rows, n_trials, out, gen);
        return;
    }
#endif
    (void)lanes;
    select_pair<Rule, pair_lanes::ScalarLanes>(A, B, n_cols, n_rows, n_trials, out, gen);
}

// One score on the path `lanes`.
template <typename Rule>
double score_on(PairLanes lanes, const double* a_i, const double* a_j, const double* b_i,
                const double* b_j, int64_t n_rows) {
    const PairColumns pair = {a_i, a_j, b_i, b_j};
    double score;
#if PAIR_LANES_HAVE_AVX2
    if (lanes == PairLanes::avx2) {
        return score_avx2<Rule>(pair, n_rows);
    }
#endif
#if PAIR_LANES_HAVE_VECTOR
    if (lanes == PairLanes::vector) {
        Rule::template scores<1, pair_lanes::VectorLanes>(&pair, n_rows, &score);
        return score;
    }
#endif
    (void)lanes;
    Rule::template scores<1, pair_lanes::ScalarLanes>(&pair, n_rows, &score);
    return score;
}

// Runs body(k) for k = 0 … C − 1 with each k a compile-time constant, written
// out in full. A group kernel keeps its pointers and accumulators in small
// arrays indexed by k; with constant indices the compiler holds every element
// in a register instead of in memory.
template <typename Body, std::size_t... K>
inline void unrolled_impl(Body& body, std::index_sequence<K...>) {
    (body(std::integral_constant<std::size_t, K>{}), ...);
}

template <int C, typename Body>
inline void unrolled(Body&& body) {
    unrolled_impl(body, std::make_index_sequence<C>{});
}

}  // namespace pair_frame
