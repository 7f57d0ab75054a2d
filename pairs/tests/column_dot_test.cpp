#include <cmath>
#include <random>

#include <gtest/gtest.h>

#include "test_support.h"

// A single running sum in ascending order: 1e16 + 1 rounds back to 1e16, so
// only the last 1 survives. Partial sums or an exact sum would give 2.
TEST(ColumnDot, SumsInAscendingOrderInOneAccumulator) {
    const double x[] = {1e16, 1.0, -1e16, 1.0};
    const double y[] = {1.0, 1.0, 1.0, 1.0};
    EXPECT_EQ(column_dot(x, y, 4), 1.0);
}

TEST(ColumnDot, ZeroSumsArePositiveZero) {
    const double minus_zero[] = {-0.0};
    const double one[] = {1.0};
    const double r = column_dot(minus_zero, one, 1);
    EXPECT_EQ(bits(r), bits(0.0));

    // Empty and negative lengths read nothing, so null pointers are fine.
    for (int64_t n : {int64_t{0}, int64_t{-1}, int64_t{INT32_MIN}}) {
        EXPECT_EQ(bits(column_dot(nullptr, nullptr, n)), bits(0.0)) << n;
    }
}

// The rules rely on products being symmetric bit for bit, and on the sum
// being the literal one the reference computes.
TEST(ColumnDot, SymmetricAndEqualToLiteralSum) {
    std::mt19937_64 gen(11);
    std::uniform_real_distribution<double> value(-1e3, 1e3);
    std::uniform_int_distribution<int> length(0, 60);
    for (int trial = 0; trial < 500; ++trial) {
        const int n = length(gen);
        std::vector<double> x(n), y(n);
        for (int k = 0; k < n; ++k) {
            x[k] = value(gen) * std::pow(10.0, k % 7 - 3);
            y[k] = value(gen);
        }
        const double xy = column_dot(x.data(), y.data(), n);
        EXPECT_EQ(bits(xy), bits(column_dot(y.data(), x.data(), n)));
        EXPECT_EQ(bits(xy), bits(reference::dot(x.data(), 0, y.data(), 0, n)));
    }
}
