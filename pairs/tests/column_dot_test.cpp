#include <gtest/gtest.h>

#include "test_support.h"

// The literal column product of the reference, which every differential test
// of the selectors trusts: its documented cases.

// A single running sum in ascending order: 1e16 + 1 rounds back to 1e16, so
// only the last 1 survives. Partial sums or an exact sum would give 2.
TEST(ColumnDot, SumsInAscendingOrderInOneAccumulator) {
    const double x[] = {1e16, 1.0, -1e16, 1.0};
    const double y[] = {1.0, 1.0, 1.0, 1.0};
    EXPECT_EQ(reference::column_dot(x, y, 4), 1.0);
}

TEST(ColumnDot, ZeroSumsArePositiveZero) {
    const double minus_zero[] = {-0.0};
    const double one[] = {1.0};
    const double r = reference::column_dot(minus_zero, one, 1);
    EXPECT_EQ(bits(r), bits(0.0));

    // Empty and negative lengths read nothing, so null pointers are fine.
    for (int64_t n : {int64_t{0}, int64_t{-1}, int64_t{INT32_MIN}}) {
        EXPECT_EQ(bits(reference::column_dot(nullptr, nullptr, n)), bits(0.0)) << n;
    }
}
