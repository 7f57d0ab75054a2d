#include "pair_select.h"

#include <cmath>
#include <cstdlib>

#include "common/constants.h"

// Every score is built from column products, and the winner among nearly
// equal pairs depends on their last bits, so the product is one running sum
// taken strictly in ascending order: no partial sums, no reassociation, and
// each product rounded before it is added (the build forbids contraction).
// Starting from +0 makes a sum of zero terms +0 even when every product is
// −0, and makes column_dot(x, y, n) and column_dot(y, x, n) identical.
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

// Maximum violation: the magnitude of entry (i, j) of the skew-symmetric
// matrix AᵀB − BᵀA, |⟨Aᵢ, Bⱼ⟩ − ⟨Bᵢ, Aⱼ⟩|. The difference is rounded and then
// its sign bit cleared, so (j, i) scores exactly as (i, j).
double max_violation_score(const double* a_i, const double* a_j,
                           const double* b_i, const double* b_j, int64_t n_rows) {
    const double p = column_dot(a_i, b_j, n_rows);
    const double q = column_dot(b_i, a_j, n_rows);
    return std::fabs(p - q);
}

// Objective reduction: the least linear change ⟨Bᵢ, Aᵢ′ − Aᵢ⟩ + ⟨Bⱼ, Aⱼ′ − Aⱼ⟩
// over all recombinations [Aᵢ′, Aⱼ′] = [Aᵢ, Aⱼ]·V with V orthogonal 2×2.
// With h = ⟨Bᵢ, Aᵢ⟩, l = ⟨Bⱼ, Aⱼ⟩, m = ⟨Bᵢ, Aⱼ⟩, o = ⟨Bⱼ, Aᵢ⟩ and t = l + h the
// change is V₁₁h + V₂₁m + V₁₂o + V₂₂l − t, whose minimum is
//   −t − √((m − o)² + t²)          over the rotations  [[c, s], [−s, c]],
//   −t − √((o + m)² + (l − h)²)    over the reflections [[−c, s], [s, c]].
// The squares are not scaled: when one of them overflows, its root is +∞ and
// the score −∞, which no later pair can beat. Swapping i and j swaps h with l
// and m with o and leaves every rounded intermediate's magnitude as it was,
// so the score is symmetric bit for bit.
double max_reduction_score(const double* a_i, const double* a_j,
                           const double* b_i, const double* b_j, int64_t n_rows) {
    const double h = column_dot(b_i, a_i, n_rows);
    const double l = column_dot(b_j, a_j, n_rows);
    const double m = column_dot(b_i, a_j, n_rows);
    const double o = column_dot(b_j, a_i, n_rows);

    const double t = l + h;
    const double d = m - o;
    const double u = std::sqrt(d * d + t * t);
    const double e = o + m;
    const double f = l - h;
    const double w = std::sqrt(e * e + f * f);

    const double s1 = (-t) - u;  // best rotation
    const double s2 = (-t) - w;  // best reflection
    // On a tie, and whenever either value is NaN, the reflection's value stands.
    return s1 < s2 ? s1 : s2;
}

namespace {

// The rules plug into the sampling frame through three slots: the best value
// the first scored pair is compared with, the score of a drawn pair, and the
// strict test by which a score replaces the best. Strictness makes ties keep
// the pair evaluated first and keeps a NaN score from ever winning.

struct MaxViolationRule {
    static constexpr double initial_best = -SENTINEL;
    static double score(const double* a_i, const double* a_j, const double* b_i,
                        const double* b_j, int64_t n_rows) {
        return max_violation_score(a_i, a_j, b_i, b_j, n_rows);
    }
    static bool improves(double score, double best) { return score > best; }
};

struct MaxReductionRule {
    static constexpr double initial_best = SENTINEL;
    static double score(const double* a_i, const double* a_j, const double* b_i,
                        const double* b_j, int64_t n_rows) {
        return max_reduction_score(a_i, a_j, b_i, b_j, n_rows);
    }
    static bool improves(double score, double best) { return score < best; }
};

// The sampling frame shared by both rules. It scores min(n_trials, n_cols)
// random pairs of distinct columns and reports the best as [i + 1; j + 1].
//
// The draws come from the C runtime's rand(), which is shared with the rest
// of the process and never seeded here: every attempt takes exactly two
// values, i first and then j, each reduced mod n_cols, and an attempt with
// i = j is discarded but has still used its two values.
template <typename Rule>
void select_pair(const double* A, const double* B, int32_t n_cols,
                 int32_t n_rows, int32_t n_trials, double* out) {
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

    // Columns start at n_rows·k, formed in 64 bits so that no drawable
    // column's offset can overflow. When n_rows ≤ 0 nothing is read at all,
    // and every column is addressed at the array's start rather than at an
    // offset before it.
    const int32_t stride = n_rows > 0 ? n_rows : 0;

    double best = Rule::initial_best;
    int32_t evaluated = 0;
    while (evaluated < limit) {
        const int32_t i = std::rand() % n_cols;
        const int32_t j = std::rand() % n_cols;
        if (i == j) {
            continue;
        }
        const double* a_i = A + column_offset(stride, i);
        const double* a_j = A + column_offset(stride, j);
        const double* b_i = B + column_offset(stride, i);
        const double* b_j = B + column_offset(stride, j);
        const double score = Rule::score(a_i, a_j, b_i, b_j, n_rows);
        if (Rule::improves(score, best)) {
            out[0] = static_cast<double>(i) + 1.0;
            out[1] = static_cast<double>(j) + 1.0;
            best = score;
        }
        ++evaluated;
    }
}

}  // namespace

void select_pair_max_violation(const double* A, const double* B, int32_t n_cols,
                               int32_t n_rows, int32_t n_trials, double* out) {
    select_pair<MaxViolationRule>(A, B, n_cols, n_rows, n_trials, out);
}

void select_pair_max_reduction(const double* A, const double* B, int32_t n_cols,
                               int32_t n_rows, int32_t n_trials, double* out) {
    select_pair<MaxReductionRule>(A, B, n_cols, n_rows, n_trials, out);
}
