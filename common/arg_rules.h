#pragma once

// The rules by which the gateways accept numbers from the host, as plain
// functions of doubles: no host header is needed, so they are tested on
// their own. Only the gateways use them; the kernels take what they are
// given and never see a count that broke these rules.

#include <cmath>
#include <cstdint>

namespace mex_args {

// What is wrong with a count, if anything.
enum class CountFault { none, not_finite, out_of_range, negative };

struct Count {
    int32_t value = 0;  // the truncated count; meaningful when fault is none
    CountFault fault = CountFault::none;
};

// Whether a count may be negative. Where a negative count has a documented
// meaning (no pairs, nothing to score) it is taken; where it can only be a
// mistake (a number of rows or columns) it is refused.
enum class Sign { any, non_negative };

// A count arriving from the host as a double: truncated toward zero to a
// 32-bit signed integer, so 3.9 gives 3 and −0.5 gives 0. NaN and ±∞ are no
// count at all; a finite value whose truncation lies outside −2³¹ … 2³¹ − 1
// does not fit. The open interval (−2³¹ − 1, 2³¹) holds exactly the finite
// doubles whose truncation fits: both ends are exact doubles, and the cast
// below only ever sees a value it can hold.
inline Count convert_count(double value, Sign sign)
{
    Count count;
    if (std::isnan(value) || std::isinf(value)) {
        count.fault = CountFault::not_finite;
    } else if (!(value > -2147483649.0 && value < 2147483648.0)) {
        count.fault = CountFault::out_of_range;
    } else {
        count.value = static_cast<int32_t>(value);
        if (sign == Sign::non_negative && count.value < 0) {
            count.fault = CountFault::negative;
        }
    }
    return count;
}

// Index of the first NaN or infinity among x[0 … count − 1] in order, or −1
// when all are finite (also when count ≤ 0). One pass, nothing else read.
inline int64_t first_non_finite(const double* x, int64_t count)
{
    for (int64_t k = 0; k < count; ++k) {
        if (!std::isfinite(x[k])) {
            return k;
        }
    }
    return -1;
}

// The elements of a 4×4 column-major matrix on and above its diagonal, in
// column order: the only ones that the 2×2 solver reads of Q.
constexpr int UPPER_TRIANGLE_4X4[10] = {0, 4, 5, 8, 9, 10, 12, 13, 14, 15};

// Index (into the 16 doubles) of the first NaN or infinity on or above the
// diagonal of the 4×4 matrix Q, in column order, or −1. The strict lower
// triangle is never read.
inline int first_non_finite_upper(const double* Q)
{
    for (const int k : UPPER_TRIANGLE_4X4) {
        if (!std::isfinite(Q[k])) {
            return k;
        }
    }
    return -1;
}

}  // namespace mex_args
