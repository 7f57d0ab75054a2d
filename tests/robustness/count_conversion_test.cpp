// The gateways' conversion of a count that arrives as a double: truncation
// toward zero to 32 bits, and −2³¹ for NaN and for every value whose
// truncation does not fit. A plain cast of such a value is undefined
// behaviour; built with -fsanitize=float-cast-overflow (part of the sanitizer
// build) any such cast on the way aborts the test.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <random>

#include "common/mex_args.h"

namespace {

using mex_args::truncate_count;

constexpr double Inf = std::numeric_limits<double>::infinity();
constexpr double NaN = std::numeric_limits<double>::quiet_NaN();
constexpr double TWO_31 = 2147483648.0;

double from_bits(uint64_t b) {
    double x;
    std::memcpy(&x, &b, sizeof x);
    return x;
}

TEST(CountConversion, TruncatesTowardZero) {
    EXPECT_EQ(truncate_count(3.9), 3);
    EXPECT_EQ(truncate_count(2.0), 2);
    EXPECT_EQ(truncate_count(10.2), 10);
    EXPECT_EQ(truncate_count(-0.5), 0);
    EXPECT_EQ(truncate_count(-2.7), -2);
    EXPECT_EQ(truncate_count(-3.7), -3);
    EXPECT_EQ(truncate_count(0.0), 0);
    EXPECT_EQ(truncate_count(-0.0), 0);
    EXPECT_EQ(truncate_count(std::numeric_limits<double>::denorm_min()), 0);
    EXPECT_EQ(truncate_count(-std::numeric_limits<double>::denorm_min()), 0);
    EXPECT_EQ(truncate_count(std::nextafter(1.0, 0.0)), 0);
}

TEST(CountConversion, NaNInfinitiesAndHugeValuesGiveTheLowestCount) {
    for (const double v : {NaN, -NaN, from_bits(0x7ff0'0000'0000'0001ULL),  // signalling NaN
                           from_bits(0xfff8'dead'beef'0000ULL), Inf, -Inf, 3e9, -3e9, 1e10,
                           -1e10, 1e300, -1e300, std::numeric_limits<double>::max(),
                           -std::numeric_limits<double>::max(), 9.2233720368547758e18,
                           1.8446744073709552e19}) {
        EXPECT_EQ(truncate_count(v), INT32_MIN) << v;
    }
}

TEST(CountConversion, EdgesOfTheThirtyTwoBitRange) {
    EXPECT_EQ(truncate_count(2147483647.0), INT32_MAX);
    EXPECT_EQ(truncate_count(2147483647.5), INT32_MAX);
    EXPECT_EQ(truncate_count(std::nextafter(TWO_31, 0.0)), INT32_MAX);
    EXPECT_EQ(truncate_count(TWO_31), INT32_MIN);
    EXPECT_EQ(truncate_count(std::nextafter(TWO_31, Inf)), INT32_MIN);
    EXPECT_EQ(truncate_count(-TWO_31), INT32_MIN);
    EXPECT_EQ(truncate_count(-2147483647.0), -2147483647);
    EXPECT_EQ(truncate_count(-2147483647.5), -2147483647);
    // Truncation toward zero brings these back to −2³¹ itself, in range.
    EXPECT_EQ(truncate_count(-2147483648.5), INT32_MIN);
    EXPECT_EQ(truncate_count(std::nextafter(-2147483649.0, 0.0)), INT32_MIN);
    EXPECT_EQ(truncate_count(-2147483649.0), INT32_MIN);
    EXPECT_EQ(truncate_count(-1e10), INT32_MIN);
    // The largest allowed pair count and its neighbours convert exactly.
    EXPECT_EQ(truncate_count(536870911.0), 536870911);
    EXPECT_EQ(truncate_count(536870912.0), 536870912);
}

// Every kind of bit pattern: each result is either the truncation, when it
// fits, or −2³¹. The expectation is computed in a wider type.
TEST(CountConversion, ArbitraryBitPatterns) {
    std::mt19937_64 rng(20240607);
    for (int trial = 0; trial < 2000000; ++trial) {
        uint64_t b = rng();
        if (trial % 2 == 0) {
            // Exponents near the 32-bit range, where the edges are.
            b = (b & 0x800f'ffff'ffff'ffffULL) | (uint64_t{1023 + 25 + rng() % 12} << 52);
        }
        const double v = from_bits(b);
        int64_t want = INT32_MIN;
        if (!std::isnan(v)) {
            const long double t = std::trunc(static_cast<long double>(v));
            if (t >= -2147483648.0L && t <= 2147483647.0L) want = static_cast<int64_t>(t);
        }
        ASSERT_EQ(truncate_count(v), want) << std::hexfloat << v;
    }
}

}  // namespace
