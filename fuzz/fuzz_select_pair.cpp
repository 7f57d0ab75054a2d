// One of the two pair selectors (chosen when building: FUZZ_SELECT_MAX_VIOLATION
// or FUZZ_SELECT_MAX_REDUCTION) on arbitrary matrices and counts.
//
// A and B hold exactly the n_rows·n_cols doubles a caller must supply (none
// when n_rows ≤ 0 or n_cols ≤ 0, and then sometimes no array at all). The
// counts cover zero, negative and extreme values; n_cols goes up to 2³¹ − 1
// when no column has elements. n_trials is kept so that at most 4096 pairs
// are scored, to keep each run short.
//
// Checks, from the selectors' contract:
// - the output has the bits of the literal selector (pairs/tests/
//   reference_pairs.h) from the same generator state, and the call leaves
//   the generator where the literal one leaves it;
// - the output is [1; 2] or two distinct integral indices in
//   1 … min(n_cols, RAND_MAX + 1);
// - with min(n_trials, n_cols) ≤ 0 the output is [1; 2] and the generator
//   has not moved; with one column the output is [1; 2];
// - otherwise the call takes exactly the draws of the documented protocol
//   (two per attempt, i then j, each mod n_cols, attempts with i = j not
//   counted, until min(n_trials, n_cols) pairs are scored), and the output is
//   [1; 2] or one of the scored pairs in its drawn order;
// - columns without elements make every score equal: the first scored pair
//   wins; an A made of NaN makes every score NaN: the output stays [1; 2];
// - a repeated call from the same generator state gives the same bits.

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <utility>
#include <vector>

#include "fuzz_input.h"
#include "pair_select.h"
#include "reference_pairs.h"

#if defined(FUZZ_SELECT_MAX_VIOLATION)
#define SELECT select_pair_max_violation
#define LITERAL_RULE reference::Rule::max_violation
#elif defined(FUZZ_SELECT_MAX_REDUCTION)
#define SELECT select_pair_max_reduction
#define LITERAL_RULE reference::Rule::max_reduction
#else
#error "define FUZZ_SELECT_MAX_VIOLATION or FUZZ_SELECT_MAX_REDUCTION"
#endif

namespace {

using fuzz::bits;

constexpr int32_t MAX_SCORED = 4096;

bool is_pair(const double* out, double i, double j) {
    return bits(out[0]) == bits(i) && bits(out[1]) == bits(j);
}

struct Call {
    int32_t n_cols = 0, n_rows = 0, n_trials = 0;
    int64_t elements = 0;
    std::unique_ptr<double[]> A, B;
    bool all_nan_a = false;
};

Call decode(fuzz::Input& in) {
    Call call;
    const uint8_t mode = in.byte();
    if (mode % 4 == 0) {
        // Columns without elements: nothing is read, so any n_cols goes.
        const int32_t rows[] = {0, -1, -5, INT32_MIN};
        call.n_rows = rows[(mode >> 2) % 4];
        call.n_cols = static_cast<int32_t>(in.u32());
        call.n_trials = static_cast<int32_t>(in.u32());
    } else {
        call.n_rows = static_cast<int32_t>(in.in_range(1, 16));
        const uint8_t cols = in.byte();
        if (cols < 200) {
            call.n_cols = static_cast<int32_t>(cols % 70) - 3;
        } else {
            const int32_t wide[] = {INT32_MIN, 4096, 2048, 1000, 777};
            call.n_cols = wide[(cols - 200) % 5];
            call.n_rows = 1 + call.n_rows % 4;
        }
        const uint8_t trials = in.byte();
        if (trials < 160) {
            call.n_trials = static_cast<int32_t>(trials % 80) - 5;
        } else if (trials < 240) {
            call.n_trials = static_cast<int32_t>(in.u32());
        } else {
            call.n_trials = (trials & 1) ? INT32_MAX : INT32_MIN;
        }
    }
    if (call.n_trials > MAX_SCORED && call.n_cols > MAX_SCORED) call.n_trials = MAX_SCORED;

    // Exactly the elements a caller must supply: every column up to n_cols
    // can be drawn when n_cols ≤ RAND_MAX + 1.
    int64_t cols = call.n_cols;
    if (cols > int64_t{RAND_MAX} + 1) cols = int64_t{RAND_MAX} + 1;
    const int64_t elements = (call.n_rows > 0 && cols > 0) ? int64_t{call.n_rows} * cols : 0;
    call.elements = elements;
    if (elements > 0 || !(mode & 0x80)) {
        call.A.reset(new double[elements]);
        call.B.reset(new double[elements]);
    }

    // Values from a small pool, so that short inputs still give varied data.
    const int pool_size = 1 + in.byte() % 32;
    std::vector<double> pool(pool_size);
    for (double& x : pool) x = in.real();
    const int shift = in.byte();
    call.all_nan_a = elements > 0;
    for (int64_t k = 0; k < elements; ++k) {
        call.A[k] = pool[k % pool_size];
        call.B[k] = pool[(k + shift) % pool_size];
        call.all_nan_a = call.all_nan_a && std::isnan(call.A[k]);
    }
    return call;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::Input in(data, size);
    const Call call = decode(in);
    const unsigned seed = in.u32();

    if (std::getenv("FUZZ_VERBOSE")) {
        // The decoded call, for reading a finding.
        std::fprintf(stderr, "n_cols %d, n_rows %d, n_trials %d, seed %u\n", call.n_cols,
                     call.n_rows, call.n_trials, seed);
        const int64_t shown = std::min<int64_t>(call.elements, 64);
        for (int64_t k = 0; k < shown; ++k) {
            std::fprintf(stderr, "A[%lld] = %a, B[%lld] = %a\n", static_cast<long long>(k),
                         call.A[k], static_cast<long long>(k), call.B[k]);
        }
    }

    std::unique_ptr<double[]> out(new double[2]);
    std::srand(seed);
    SELECT(call.A.get(), call.B.get(), call.n_cols, call.n_rows, call.n_trials, out.get());
    const int next_after_call = std::rand();

    // The literal selector from the same generator state.
    double literal[2];
    std::srand(seed);
    reference::select(LITERAL_RULE, call.A.get(), call.B.get(), call.n_cols, call.n_rows,
                      call.n_trials, literal);
    FUZZ_CHECK(next_after_call == std::rand());
    FUZZ_CHECK(bits(out[0]) == bits(literal[0]) && bits(out[1]) == bits(literal[1]));

    // Valid output.
    const bool initial = is_pair(out.get(), 1.0, 2.0);
    if (!initial) {
        const double top =
            static_cast<double>(std::min<int64_t>(call.n_cols, int64_t{RAND_MAX} + 1));
        for (int k = 0; k < 2; ++k) {
            FUZZ_CHECK(out[k] >= 1.0 && out[k] <= top && out[k] == std::floor(out[k]));
        }
        FUZZ_CHECK(out[0] != out[1]);
    }

    // The documented draw protocol, replayed.
    const int32_t limit = call.n_trials < call.n_cols ? call.n_trials : call.n_cols;
    std::srand(seed);
    if (limit <= 0) {
        FUZZ_CHECK(initial);
        FUZZ_CHECK(next_after_call == std::rand());
    } else if (call.n_cols == 1) {
        FUZZ_CHECK(initial);
    } else {
        std::vector<std::pair<int32_t, int32_t>> scored;
        while (static_cast<int32_t>(scored.size()) < limit) {
            const int32_t i = std::rand() % call.n_cols;
            const int32_t j = std::rand() % call.n_cols;
            if (i != j) scored.emplace_back(i, j);
        }
        FUZZ_CHECK(next_after_call == std::rand());
        bool drawn = initial;
        for (const auto& [i, j] : scored) drawn = drawn || is_pair(out.get(), i + 1.0, j + 1.0);
        FUZZ_CHECK(drawn);
        if (call.n_rows <= 0) {
            FUZZ_CHECK(is_pair(out.get(), scored[0].first + 1.0, scored[0].second + 1.0));
        }
        if (call.all_nan_a) FUZZ_CHECK(initial);
    }

    std::unique_ptr<double[]> again(new double[2]);
    std::srand(seed);
    SELECT(call.A.get(), call.B.get(), call.n_cols, call.n_rows, call.n_trials, again.get());
    FUZZ_CHECK(bits(again[0]) == bits(out[0]) && bits(again[1]) == bits(out[1]));
    return 0;
}
