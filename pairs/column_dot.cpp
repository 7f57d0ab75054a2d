#include "pair_select.h"

// Every score is built from column products, and the winner among nearly
// equal pairs depends on their last bits, so the product is one running sum
// taken strictly in ascending order: no partial sums, no reassociation, and
// each product rounded before it is added (the build forbids contraction).
// Starting from +0 makes a sum of zero terms +0 even when every product is
// −0, and makes column_dot(x, y, n) and column_dot(y, x, n) identical.
//
// The selectors' hot loops run several such sums side by side, one
// accumulator each; every one of them follows this loop's order exactly.
double column_dot(const double* x, const double* y, int64_t n) {
    double sum = 0.0;
    for (int64_t k = 0; k < n; ++k) {
        const double product = x[k] * y[k];
        sum = sum + product;
    }
    return sum;
}

int64_t column_offset(int32_t n_rows, int32_t k) {
    return static_cast<int64_t>(n_rows) * static_cast<int64_t>(k);
}
