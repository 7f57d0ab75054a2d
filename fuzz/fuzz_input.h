#pragma once

// Turns a fuzzer's byte string into the doubles and counts of a kernel call.
//
// A double costs one tag byte and, depending on the tag, up to eight more:
// raw IEEE bits (any NaN payload, subnormals, infinities), one of the values
// that break careless numerical code (signed zeros, the negligibility
// threshold and its neighbours, the sentinel, squares that overflow), a small
// multiple of 1/4 (ties and repeated breakpoints), a power of ten, or a copy
// or negation of the previous value. Past the end of the input every read
// gives zero bytes, so any input decodes to a complete call.

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>

#include "common/constants.h"

namespace fuzz {

inline uint64_t bits(double x) {
    uint64_t b;
    std::memcpy(&b, &x, sizeof b);
    return b;
}

inline double from_bits(uint64_t b) {
    double x;
    std::memcpy(&x, &b, sizeof x);
    return x;
}

// A NaN that no arithmetic produces (arithmetic quiets a signalling NaN), so
// a slot still holding it after a call was not written by the call.
inline double unwritten_marker() { return from_bits(0x7ff4'0000'dead'beefULL); }
inline bool is_unwritten(double x) { return bits(x) == 0x7ff4'0000'dead'beefULL; }

// Reports a broken invariant and aborts, so the fuzzer keeps the input.
[[noreturn]] inline void violated(const char* what) {
    std::fprintf(stderr, "invariant violated: %s\n", what);
    std::fflush(stderr);
    std::abort();
}

#define FUZZ_STRING(x) #x
#define FUZZ_LINE(x) FUZZ_STRING(x)
#define FUZZ_CHECK(condition)                                                        \
    do {                                                                             \
        if (!(condition)) {                                                          \
            ::fuzz::violated(#condition " (" __FILE__ ":" FUZZ_LINE(__LINE__) ")"); \
        }                                                                            \
    } while (0)

class Input {
public:
    Input(const uint8_t* data, size_t size) : data_(data), size_(size) {}

    size_t remaining() const { return size_ - pos_; }

    uint8_t byte() { return pos_ < size_ ? data_[pos_++] : 0; }

    uint32_t u32() {
        uint32_t v = 0;
        for (int i = 0; i < 4; ++i) v |= static_cast<uint32_t>(byte()) << (8 * i);
        return v;
    }

    uint64_t u64() {
        uint64_t v = 0;
        for (int i = 0; i < 8; ++i) v |= static_cast<uint64_t>(byte()) << (8 * i);
        return v;
    }

    // A value in lo … hi (inclusive), hi − lo < 2³².
    int64_t in_range(int64_t lo, int64_t hi) {
        const uint64_t span = static_cast<uint64_t>(hi - lo) + 1;
        return lo + static_cast<int64_t>(u32() % span);
    }

    double real() {
        const uint8_t tag = byte();
        double x = 0.0;
        switch (tag % 8) {
            case 0:
            case 1:
            case 2:
                x = from_bits(u64());
                break;
            case 3:
                x = special(byte());
                break;
            case 4:
                x = static_cast<double>(static_cast<int8_t>(byte())) * 0.25;
                break;
            case 5: {
                const int exponent = static_cast<int>(byte() % 121) * 5 - 300;
                x = std::pow(10.0, exponent) * ((tag & 0x80) ? -1.0 : 1.0);
                break;
            }
            case 6:
                x = previous_;
                break;
            default:
                x = -previous_;
                break;
        }
        previous_ = x;
        return x;
    }

private:
    static double special(uint8_t pick) {
        constexpr double inf = std::numeric_limits<double>::infinity();
        const double values[] = {
            0.0,
            -0.0,
            1.0,
            -1.0,
            0.5,
            2.0,
            DEGENERACY_EPS,
            -DEGENERACY_EPS,
            std::nextafter(DEGENERACY_EPS, 0.0),
            std::nextafter(DEGENERACY_EPS, 1.0),
            std::numeric_limits<double>::epsilon(),
            std::numeric_limits<double>::denorm_min(),
            std::numeric_limits<double>::min(),
            std::numeric_limits<double>::max(),
            -std::numeric_limits<double>::max(),
            inf,
            -inf,
            std::numeric_limits<double>::quiet_NaN(),
            -std::numeric_limits<double>::quiet_NaN(),
            SENTINEL,
            -SENTINEL,
            std::nextafter(SENTINEL, 0.0),
            1.3407807929942596e154,  // about √DBL_MAX: its square overflows
            1e154,
            1e-154,
            1e-300,
            1e300,
            2147483648.0,
            -2147483649.0,
            0.1,
            3.0,
            1e16,
        };
        return values[pick % (sizeof values / sizeof values[0])];
    }

    const uint8_t* data_;
    size_t size_;
    size_t pos_ = 0;
    double previous_ = 0.0;
};

}  // namespace fuzz
