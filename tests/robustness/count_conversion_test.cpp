// The gateways' rules for numbers from the host: conversion of a count that
// arrives as a double (truncation toward zero to 32 bits; NaN, infinities,
// values whose truncation does not fit and, where asked, negative counts
// refused), and the scan for NaN and infinities among the values brevak
// reads. A plain cast of a value that does not fit is undefined behaviour;
// built with -fsanitize=float-cast-overflow (part of the sanitizer build) any
// such cast on the way aborts the test.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

#include "common/arg_rules.h"

namespace {

using mex_args::convert_count;
using mex_args::CountFault;
using mex_args::Sign;

constexpr double Inf = std::numeric_limits<double>::infinity();
constexpr double NaN = std::numeric_limits<double>::quiet_NaN();
constexpr double TWO_31 = 2147483648.0;

double from_bits(uint64_t b) {
    double x;
    std::memcpy(&x, &b, sizeof x);
    return x;
}

// The converted count, or the fault as a sentinel the expectations name.
int64_t convert(double v, Sign sign = Sign::any) {
    const mex_args::Count c = convert_count(v, sign);
    return c.fault == CountFault::none ? c.value : -(int64_t{1} << 40) - static_cast<int>(c.fault);
}
const int64_t NOT_FINITE = -(int64_t{1} << 40) - static_cast<int>(CountFault::not_finite);
const int64_t OUT_OF_RANGE = -(int64_t{1} << 40) - static_cast<int>(CountFault::out_of_range);
const int64_t NEGATIVE = -(int64_t{1} << 40) - static_cast<int>(CountFault::negative);

TEST(CountConversion, TruncatesTowardZero) {
    EXPECT_EQ(convert(3.9), 3);
    EXPECT_EQ(convert(2.0), 2);
    EXPECT_EQ(convert(10.2), 10);
    EXPECT_EQ(convert(-0.5), 0);
    EXPECT_EQ(convert(-2.7), -2);
    EXPECT_EQ(convert(-3.7), -3);
    EXPECT_EQ(convert(0.0), 0);
    EXPECT_EQ(convert(-0.0), 0);
    EXPECT_EQ(convert(std::numeric_limits<double>::denorm_min()), 0);
    EXPECT_EQ(convert(-std::numeric_limits<double>::denorm_min()), 0);
    EXPECT_EQ(convert(std::nextafter(1.0, 0.0)), 0);
}

TEST(CountConversion, NaNAndInfinitiesAreNoCount) {
    for (const double v : {NaN, -NaN, from_bits(0x7ff0'0000'0000'0001ULL),  // signalling NaN
                           from_bits(0xfff8'dead'beef'0000ULL), Inf, -Inf}) {
        EXPECT_EQ(convert(v), NOT_FINITE) << v;
        EXPECT_EQ(convert(v, Sign::non_negative), NOT_FINITE) << v;
    }
}

TEST(CountConversion, HugeValuesDoNotFit) {
    for (const double v : {3e9, -3e9, 1e10, -1e10, 1e300, -1e300,
                           std::numeric_limits<double>::max(), -std::numeric_limits<double>::max(),
                           9.2233720368547758e18, 1.8446744073709552e19}) {
        EXPECT_EQ(convert(v), OUT_OF_RANGE) << v;
        EXPECT_EQ(convert(v, Sign::non_negative), OUT_OF_RANGE) << v;
    }
}

TEST(CountConversion, EdgesOfTheThirtyTwoBitRange) {
    EXPECT_EQ(convert(2147483647.0), INT32_MAX);
    EXPECT_EQ(convert(2147483647.5), INT32_MAX);
    EXPECT_EQ(convert(std::nextafter(TWO_31, 0.0)), INT32_MAX);
    EXPECT_EQ(convert(TWO_31), OUT_OF_RANGE);
    EXPECT_EQ(convert(std::nextafter(TWO_31, Inf)), OUT_OF_RANGE);
    EXPECT_EQ(convert(-TWO_31), INT32_MIN);
    EXPECT_EQ(convert(-2147483647.0), -2147483647);
    EXPECT_EQ(convert(-2147483647.5), -2147483647);
    // Truncation toward zero brings these back to −2³¹ itself, in range.
    EXPECT_EQ(convert(-2147483648.5), INT32_MIN);
    EXPECT_EQ(convert(std::nextafter(-2147483649.0, 0.0)), INT32_MIN);
    EXPECT_EQ(convert(-2147483649.0), OUT_OF_RANGE);
    // The largest allowed pair count and its neighbours convert exactly.
    EXPECT_EQ(convert(536870911.0), 536870911);
    EXPECT_EQ(convert(536870912.0), 536870912);
}

TEST(CountConversion, NegativeCountsWhereTheyMeanNothing) {
    EXPECT_EQ(convert(-1.0, Sign::non_negative), NEGATIVE);
    EXPECT_EQ(convert(-2147483648.0, Sign::non_negative), NEGATIVE);
    EXPECT_EQ(convert(-1.0, Sign::any), -1);
    // A fraction that truncates to zero is zero, not negative.
    EXPECT_EQ(convert(-0.5, Sign::non_negative), 0);
    EXPECT_EQ(convert(-0.0, Sign::non_negative), 0);
    EXPECT_EQ(convert(std::nextafter(-1.0, 0.0), Sign::non_negative), 0);
    EXPECT_EQ(convert(0.0, Sign::non_negative), 0);
    EXPECT_EQ(convert(7.9, Sign::non_negative), 7);
}

// Every kind of bit pattern, under both signs: each result is the truncation
// when it fits (and, for non-negative counts, is at least 0), or the fault
// the value deserves. The expectation is computed in a wider type.
TEST(CountConversion, ArbitraryBitPatterns) {
    std::mt19937_64 rng(20240607);
    for (int trial = 0; trial < 2000000; ++trial) {
        uint64_t b = rng();
        if (trial % 2 == 0) {
            // Exponents near the 32-bit range, where the edges are.
            b = (b & 0x800f'ffff'ffff'ffffULL) | (uint64_t{1023 + 25 + rng() % 12} << 52);
        }
        const double v = from_bits(b);
        const Sign sign = trial % 3 == 0 ? Sign::non_negative : Sign::any;
        int64_t want = NOT_FINITE;
        if (std::isfinite(v)) {
            const long double t = std::trunc(static_cast<long double>(v));
            if (t >= -2147483648.0L && t <= 2147483647.0L) {
                want = static_cast<int64_t>(t);
                if (sign == Sign::non_negative && want < 0) want = NEGATIVE;
            } else {
                want = OUT_OF_RANGE;
            }
        }
        ASSERT_EQ(convert(v, sign), want) << std::hexfloat << v;
    }
}

// The scan for values brevak must refuse: the first NaN or infinity in
// order, and nothing past the count.
TEST(FiniteScan, FindsTheFirstNonFiniteValueWithinTheCount) {
    EXPECT_EQ(mex_args::first_non_finite(nullptr, 0), -1);
    EXPECT_EQ(mex_args::first_non_finite(nullptr, -5), -1);
    const double big = std::numeric_limits<double>::max();
    const double denorm = std::numeric_limits<double>::denorm_min();
    std::vector<double> x = {0.0, -0.0, big, -big, denorm, 1e-300};
    EXPECT_EQ(mex_args::first_non_finite(x.data(), 6), -1);
    for (const double bad : {NaN, -NaN, Inf, -Inf}) {
        for (int at = 0; at < 6; ++at) {
            std::vector<double> y = x;
            y[at] = bad;
            y.push_back(NaN);  // past the count: never looked at
            EXPECT_EQ(mex_args::first_non_finite(y.data(), 6), at);
            EXPECT_EQ(mex_args::first_non_finite(y.data(), at), -1);
            y[5] = Inf;
            EXPECT_EQ(mex_args::first_non_finite(y.data(), 6), at);
        }
    }
}

TEST(FiniteScan, OnlyTheDiagonalAndUpperTriangleOfQ) {
    double Q[16];
    for (int k = 0; k < 16; ++k) Q[k] = k;
    EXPECT_EQ(mex_args::first_non_finite_upper(Q), -1);
    for (const int lower : {1, 2, 3, 6, 7, 11}) Q[lower] = NaN;
    EXPECT_EQ(mex_args::first_non_finite_upper(Q), -1);
    // Each read element in turn, with a later one also bad: the first wins.
    for (int r = 0; r < 4; ++r) {
        for (int c = r; c < 4; ++c) {
            double P[16];
            std::memcpy(P, Q, sizeof P);
            P[r + 4 * c] = (r + c) % 2 ? Inf : -NaN;
            P[15] = -Inf;
            EXPECT_EQ(mex_args::first_non_finite_upper(P), r + 4 * c);
        }
    }
}

}  // namespace
