#pragma once

// The generator of random pairs that each run owns.
//
// A run draws its pairs from its own generator, seeded from the run's seed
// option, and never from the C runtime's rand(): that generator is shared by
// every MEX-file and library in the process, so drawing from it would make a
// run depend on what was called before it and would move what tolmiv and
// zandrel draw next.
//
// The recurrence is the additive lagged-Fibonacci generator of BSD random()
// with 31 words of state, seeded as glibc's srandom() seeds it. On glibc,
// where rand() is random(), a run with seed k therefore draws exactly the
// values that srand(k) followed by rand() gives, and results computed when
// runs drew from rand() after srand(k) are reproduced to the last bit; on
// every other platform the run draws the same values as on glibc.
//
// The state advances by
//   s[k] = s[k − 31] + s[k − 3]  (mod 2³²)
// and each output is s[k] >> 1, a value in 0 … 2³¹ − 1.

#include <cstdint>

namespace method {

class RunGenerator {
public:
    static constexpr int max = 2147483647;  // outputs lie in 0 … max

    // Seed 0 is taken as 1, as srandom does: the all-zero state would be a
    // fixed point. The first word is the seed as a 32-bit signed integer, the
    // next thirty the Lehmer sequence s[i] = 16807·s[i − 1] mod (2³¹ − 1),
    // and the first 310 outputs are discarded so that the state forgets how
    // regular it started.
    explicit RunGenerator(uint32_t seed)
    {
        if (seed == 0) seed = 1;
        int32_t word = static_cast<int32_t>(seed);
        state_[0] = static_cast<uint32_t>(word);
        for (int i = 1; i < DEGREE; ++i) {
            // Schrage's method: 16807·word mod (2³¹ − 1) without overflowing
            // 32 bits, with 2³¹ − 1 = 16807·127773 + 2836. Division truncates
            // toward zero, which for a first word at or above 2³¹ (negative
            // as int32) gives the same values as srandom's.
            const int64_t hi = word / 127773;
            const int64_t lo = word % 127773;
            int64_t next = 16807 * lo - 2836 * hi;
            if (next < 0) next += 2147483647;
            word = static_cast<int32_t>(next);
            state_[i] = static_cast<uint32_t>(word);
        }
        front_ = SEPARATION;
        rear_ = 0;
        for (int k = 0; k < 10 * DEGREE; ++k) next();
    }

    // The next value in 0 … max.
    int next()
    {
        const uint32_t value = state_[front_] + state_[rear_];
        state_[front_] = value;
        front_ = front_ + 1 == DEGREE ? 0 : front_ + 1;
        rear_ = rear_ + 1 == DEGREE ? 0 : rear_ + 1;
        return static_cast<int>(value >> 1);
    }

private:
    static constexpr int DEGREE = 31;     // words of state
    static constexpr int SEPARATION = 3;  // lag between the two words added

    uint32_t state_[DEGREE];
    int front_;
    int rear_;
};

}  // namespace method
