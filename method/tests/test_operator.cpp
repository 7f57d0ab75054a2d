// The three forms of A (dense, sparse, scale·DᵀD) against plain literal
// references and against each other: products, entries, the kept products
// under pair moves, the spectral bound, whole runs; and the data form at a
// size where anything n×n would not fit.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>

#include "manifold.h"
#include "test_support.h"

namespace {

// One A in all three forms, built from an m×n D: A = scale·DᵀD formed
// densely (exactly symmetric), and its compressed columns.
struct ThreeForms {
    int32_t n = 0, m = 0;
    double scale = 1;
    std::vector<double> D, A;
    std::vector<int64_t> col_start, row_index;
    std::vector<double> value;

    method::Operator dense() const { return method::dense_operator(n, A.data()); }
    method::Operator sparse() const
    {
        return method::sparse_operator(n, col_start.data(), row_index.data(), value.data());
    }
    method::Operator gram() const { return method::gram_operator(m, n, D.data(), scale); }
};

// CSC of a dense n×n array, zeros left out.
void compress(int32_t n, const std::vector<double>& A, std::vector<int64_t>& col_start,
              std::vector<int64_t>& row_index, std::vector<double>& value)
{
    col_start.assign(1, 0);
    row_index.clear();
    value.clear();
    for (int32_t j = 0; j < n; ++j) {
        for (int32_t i = 0; i < n; ++i) {
            const double a = A[i + static_cast<size_t>(n) * j];
            if (a != 0) {
                row_index.push_back(i);
                value.push_back(a);
            }
        }
        col_start.push_back(static_cast<int64_t>(row_index.size()));
    }
}

// D with some zero columns (so that the sparse form has empty columns and
// rows), scale of either sign.
ThreeForms three_forms(int32_t m, int32_t n, double scale, uint64_t seed)
{
    std::mt19937_64 rng(seed);
    std::normal_distribution<double> normal;
    ThreeForms t;
    t.n = n;
    t.m = m;
    t.scale = scale;
    t.D.resize(static_cast<size_t>(m) * n);
    for (double& d : t.D) d = normal(rng);
    for (int32_t j = 0; j < n; j += 5) {
        std::fill(t.D.begin() + static_cast<size_t>(m) * j, t.D.begin() + static_cast<size_t>(m) * (j + 1), 0.0);
    }
    t.A.assign(static_cast<size_t>(n) * n, 0.0);
    for (int32_t j = 0; j < n; ++j) {
        for (int32_t i = 0; i <= j; ++i) {
            double s = 0;
            for (int32_t k = 0; k < m; ++k) s += t.D[k + static_cast<size_t>(m) * i] * t.D[k + static_cast<size_t>(m) * j];
            t.A[i + static_cast<size_t>(n) * j] = scale * s;
            t.A[j + static_cast<size_t>(n) * i] = scale * s;
        }
    }
    compress(n, t.A, t.col_start, t.row_index, t.value);
    return t;
}

// (A·X)ᵀ literally: column k is Σ_l A(l, k)·Xt(:, l).
std::vector<double> literal_product(int32_t n, int32_t r, const std::vector<double>& A,
                                    const std::vector<double>& Xt)
{
    std::vector<double> AXt(Xt.size(), 0.0);
    for (int32_t k = 0; k < n; ++k) {
        for (int32_t l = 0; l < n; ++l) {
            for (int32_t c = 0; c < r; ++c) {
                AXt[c + static_cast<size_t>(r) * k] += A[l + static_cast<size_t>(n) * k] * Xt[c + static_cast<size_t>(r) * l];
            }
        }
    }
    return AXt;
}

double max_abs(const std::vector<double>& v)
{
    double m = 0;
    for (double x : v) m = std::max(m, std::fabs(x));
    return m;
}

// A random r×n Xt with every third row of X zero (the dense product takes a
// different route when many rows are zero) or dense.
std::vector<double> random_rows(int32_t n, int32_t r, bool sparse_rows, std::mt19937_64& rng)
{
    std::normal_distribution<double> normal;
    std::vector<double> Xt(static_cast<size_t>(n) * r);
    for (int32_t i = 0; i < n; ++i) {
        for (int32_t c = 0; c < r; ++c) {
            Xt[c + static_cast<size_t>(r) * i] = sparse_rows && i % 3 != 0 ? 0.0 : normal(rng);
        }
    }
    return Xt;
}

const char* kind_name(method::OperatorKind kind)
{
    return kind == method::OperatorKind::dense ? "dense" : kind == method::OperatorKind::sparse ? "sparse" : "gram";
}

}  // namespace

TEST(Operator, ProductsEntriesAndDiagonalMatchTheLiteralMatrix)
{
    for (uint64_t seed = 1; seed <= 6; ++seed) {
        const int32_t n = 7 + 6 * static_cast<int32_t>(seed), m = 1 + static_cast<int32_t>(seed % 4) * 3;
        const ThreeForms t = three_forms(m, n, seed % 2 ? -2.0 : 0.75, seed);
        std::mt19937_64 rng(100 + seed);
        for (const method::Operator& op : {t.dense(), t.sparse(), t.gram()}) {
            ASSERT_EQ(op.n, n);
            for (int32_t j = 0; j < n; ++j) {
                for (int32_t i = 0; i < n; ++i) {
                    EXPECT_NEAR(op.entry(i, j), t.A[i + static_cast<size_t>(n) * j], 1e-13 * (1 + std::fabs(t.A[i + static_cast<size_t>(n) * j])))
                        << kind_name(op.kind);
                }
            }
            std::vector<double> d(n);
            method::diagonal(op, d.data());
            for (int32_t i = 0; i < n; ++i) EXPECT_EQ(d[i], op.entry(i, i));
            for (int32_t r : {1, 3, 8}) {
                for (bool sparse_rows : {false, true}) {
                    const std::vector<double> Xt = random_rows(n, r, sparse_rows, rng);
                    const std::vector<double> want = literal_product(n, r, t.A, Xt);
                    std::vector<double> got(Xt.size());
                    method::multiply(op, r, Xt.data(), got.data());
                    const double tol = 1e-13 * (1 + max_abs(want)) * n;
                    for (size_t q = 0; q < got.size(); ++q) {
                        ASSERT_NEAR(got[q], want[q], tol) << kind_name(op.kind) << " r=" << r;
                    }
                }
            }
        }
    }
}

TEST(Operator, ProductsGatherManyBlocksOfLiveRows)
{
    // Large enough that the gathered rows of a sparse X fill several blocks,
    // the last one short.
    const int32_t n = 1500, m = 4, r = 3;
    const ThreeForms t = three_forms(m, n, -0.5, 61);
    std::mt19937_64 rng(62);
    const std::vector<double> Xt = random_rows(n, r, true, rng);
    const std::vector<double> want = literal_product(n, r, t.A, Xt);
    for (const method::Operator& op : {t.dense(), t.sparse(), t.gram()}) {
        std::vector<double> got(Xt.size());
        method::multiply(op, r, Xt.data(), got.data());
        for (size_t q = 0; q < got.size(); ++q) {
            ASSERT_NEAR(got[q], want[q], 1e-12 * (1 + max_abs(want))) << kind_name(op.kind) << " at " << q;
        }
    }
}

TEST(Operator, SparseFormKeepsTheSymmetricPartInSortedColumns)
{
    // A stored unsymmetrically: entries with a partner that differs by
    // rounding, entries without a partner (compared with zero), and an
    // entry whose symmetric part is zero.
    const int32_t n = 5;
    std::vector<double> A(25, 0.0);
    auto at = [&](int32_t i, int32_t j) -> double& { return A[i + static_cast<size_t>(n) * j]; };
    at(0, 0) = 2;
    at(1, 0) = 1 + 1e-15;
    at(0, 1) = 1;
    at(2, 4) = -3;
    at(4, 2) = -3;
    at(4, 4) = 5;
    at(1, 3) = 0.5;
    at(3, 1) = -0.5;  // the symmetric part is 0: not stored
    std::vector<int64_t> cs, ri;
    std::vector<double> v;
    compress(n, A, cs, ri, v);
    const method::Operator op = method::sparse_operator(n, cs.data(), ri.data(), v.data());
    for (int32_t j = 0; j < n; ++j) {
        for (int64_t q = op.col_start[j]; q + 1 < op.col_start[j + 1]; ++q) {
            EXPECT_LT(op.row_index[q], op.row_index[q + 1]);
        }
        for (int32_t i = 0; i < n; ++i) {
            EXPECT_EQ(op.entry(i, j), op.entry(j, i));
            EXPECT_EQ(op.entry(i, j), 0.5 * (at(i, j) + at(j, i)));
        }
    }
    EXPECT_EQ(op.col_start[n], 6);  // (0,0), (1,0), (0,1), (4,2), (2,4), (4,4)
}

TEST(Operator, SparseFormTakesColumnsInAnyOrderWithRepeats)
{
    // The same matrix as sorted compressed columns and as a shuffled list
    // with entries split into repeated parts: one operator.
    const ThreeForms t = three_forms(3, 12, -1.5, 77);
    std::mt19937_64 rng(78);
    std::vector<int64_t> cs(1, 0), ri;
    std::vector<double> v;
    for (int32_t j = 0; j < t.n; ++j) {
        std::vector<std::pair<int64_t, double>> column;
        for (int64_t q = t.col_start[j]; q < t.col_start[j + 1]; ++q) {
            const double part = 0.25 * t.value[q];
            column.emplace_back(t.row_index[q], part);
            column.emplace_back(t.row_index[q], t.value[q] - part);
        }
        std::shuffle(column.begin(), column.end(), rng);
        for (const auto& e : column) {
            ri.push_back(e.first);
            v.push_back(e.second);
        }
        cs.push_back(static_cast<int64_t>(ri.size()));
    }
    const method::Operator want = t.sparse();
    const method::Operator got = method::sparse_operator(t.n, cs.data(), ri.data(), v.data());
    EXPECT_EQ(got.col_start, want.col_start);
    EXPECT_EQ(got.row_index, want.row_index);
    for (size_t q = 0; q < want.value.size(); ++q) {
        EXPECT_NEAR(got.value[q], want.value[q], 1e-15 * std::fabs(want.value[q]));
    }
}

TEST(Operator, KeptProductsFollowPairMovesInEveryForm)
{
    // A chain of rank-2 changes on rows i ≠ j; after each, rows asked for
    // (some before the change, some after), the whole product and tr(XᵀAX)
    // must equal the literal ones at the new X.
    for (uint64_t seed = 1; seed <= 4; ++seed) {
        const int32_t n = 20 + 5 * static_cast<int32_t>(seed), m = 3 + static_cast<int32_t>(seed), r = 1 + static_cast<int32_t>(seed);
        const ThreeForms t = three_forms(m, n, seed % 2 ? -2.0 : 1.5, 10 + seed);
        for (const method::Operator& op : {t.dense(), t.sparse(), t.gram()}) {
            std::mt19937_64 rng(200 + seed);
            std::normal_distribution<double> normal;
            std::vector<double> Xt = random_rows(n, r, true, rng);
            method::Products AX(op, r);
            AX.compute(Xt.data());
            std::uniform_int_distribution<int32_t> pick(0, n - 1);
            std::vector<double> di(r), dj(r);
            for (int step = 0; step < 40; ++step) {
                const int32_t i = pick(rng);
                int32_t j = pick(rng);
                if (j == i) j = (i + 1) % n;
                // Rows asked for before the change must not be served stale after it.
                AX.row(i);
                AX.row((i + 7) % n);
                if (step % 5 == 0) AX.full();
                for (int32_t c = 0; c < r; ++c) {
                    di[c] = normal(rng);
                    dj[c] = step % 3 == 0 ? 0.0 : normal(rng);
                    Xt[c + static_cast<size_t>(r) * i] += di[c];
                    Xt[c + static_cast<size_t>(r) * j] += dj[c];
                }
                AX.update(i, j, di.data(), dj.data());
                const std::vector<double> want = literal_product(n, r, t.A, Xt);
                const double tol = 1e-12 * (1 + max_abs(want)) * (1 + step);
                for (int32_t k : {i, j, (i + 7) % n, pick(rng)}) {
                    const double* row = AX.row(k);
                    for (int32_t c = 0; c < r; ++c) {
                        ASSERT_NEAR(row[c], want[c + static_cast<size_t>(r) * k], tol)
                            << kind_name(op.kind) << " step " << step << " row " << k;
                    }
                }
                if (step % 4 == 3) {
                    const double* all = AX.full();
                    for (size_t q = 0; q < want.size(); ++q) ASSERT_NEAR(all[q], want[q], tol);
                }
                double quad = 0;
                for (size_t q = 0; q < want.size(); ++q) quad += Xt[q] * want[q];
                EXPECT_NEAR(AX.quadratic(Xt.data()), quad, 1e-12 * (1 + std::fabs(quad)) * (1 + step) * n);
            }
            // A swap moves everything, the cached rows included.
            method::Products other(op, r);
            other.compute(Xt.data());
            other.swap(AX);
            const std::vector<double> want = literal_product(n, r, t.A, Xt);
            for (size_t q = 0; q < want.size(); ++q) EXPECT_NEAR(other.full()[q], want[q], 1e-10 * (1 + max_abs(want)));
        }
    }
}

TEST(Operator, SpectralBoundIsAboveTheNormAndNotFarAbove)
{
    for (uint64_t seed = 1; seed <= 5; ++seed) {
        const ThreeForms t = three_forms(4 + static_cast<int32_t>(seed), 14, seed % 2 ? -1.0 : 3.0, 30 + seed);
        std::vector<double> S(t.A), values(14), vectors(196);
        method::symmetric_eigen(14, S.data(), values.data(), vectors.data());
        double norm = 0;
        for (double v : values) norm = std::max(norm, std::fabs(v));
        for (const method::Operator& op : {t.dense(), t.sparse(), t.gram()}) {
            const double bound = method::spectral_norm_bound(op);
            EXPECT_GE(bound, norm) << kind_name(op.kind);
            EXPECT_LE(bound, 1.05 * norm) << kind_name(op.kind);
        }
    }
}

TEST(Operator, RunsGiveTheSameCertifiedPointInEveryForm)
{
    // Sparse PCA (scale < 0) and a Procrustes-like problem (scale > 0, with
    // E), from the same start: the three forms differ only in rounding, so
    // the runs must end at the same certified F.
    int compared = 0;
    for (uint64_t seed = 1; seed <= 6; ++seed) {
        const bool pca = seed % 2 == 1;
        const int32_t n = 14 + 2 * static_cast<int32_t>(seed), r = 1 + static_cast<int32_t>(seed % 3);
        const ThreeForms t = three_forms(6, n, pca ? -2.0 : 1.0, 40 + seed);
        std::mt19937_64 rng(300 + seed);
        std::normal_distribution<double> normal;
        const std::vector<double> X0 = method_test::random_feasible(n, r, rng);
        std::vector<double> Et;
        if (!pca) {
            Et.resize(X0.size());
            for (double& e : Et) e = normal(rng);
        }
        double f[3];
        int k = 0;
        for (const method::Operator& op : {t.dense(), t.sparse(), t.gram()}) {
            method::Problem p;
            p.n = n;
            p.r = r;
            p.A = op;
            p.Et = Et;
            p.lambda.assign(r, pca ? 0.3 : 0.1);
            std::vector<double> Xt = X0;
            method::Options o;
            o.time_limit = 30;
            const method::Info info = method::run(p, o, Xt, nullptr);
            EXPECT_EQ(info.stop, "certified") << kind_name(op.kind) << " seed " << seed;
            // F from the literal dense A.
            const std::vector<double> AXt = literal_product(n, r, t.A, Xt);
            double quad = 0, rest = 0;
            for (size_t q = 0; q < Xt.size(); ++q) {
                quad += Xt[q] * AXt[q];
                rest += p.lambda[q % r] * std::fabs(Xt[q]) + (Et.empty() ? 0.0 : Et[q] * Xt[q]);
            }
            EXPECT_NEAR(info.f, 0.5 * quad + rest, 1e-12 * std::max(1.0, std::fabs(info.f)));
            f[k++] = info.f;
        }
        EXPECT_NEAR(f[1], f[0], 1e-12 * std::max(1.0, std::fabs(f[0]))) << "sparse, seed " << seed;
        EXPECT_NEAR(f[2], f[0], 1e-12 * std::max(1.0, std::fabs(f[0]))) << "gram, seed " << seed;
        ++compared;
    }
    EXPECT_EQ(compared, 6);
}

// Peak resident memory of this process in bytes (Linux), or -1.
long long peak_memory()
{
    std::FILE* f = std::fopen("/proc/self/status", "r");
    if (f == nullptr) return -1;
    char line[256];
    long long kb = -1;
    while (std::fgets(line, sizeof line, f)) {
        if (std::strncmp(line, "VmHWM:", 6) == 0) kb = std::atoll(line + 6);
    }
    std::fclose(f);
    return kb < 0 ? -1 : kb * 1024;
}

TEST(Operator, DataFormRunsWhereAnythingNByNWouldNotFit)
{
    // n = 20000: n×n doubles would take 3.2 GB. Prox steps, then pair
    // steps, in O(m·n + n·r) memory; F stays exact against D·X formed
    // literally.
    const int32_t m = 50, n = 20000, r = 5;
    std::mt19937_64 rng(9);
    std::normal_distribution<double> normal;
    std::vector<double> D(static_cast<size_t>(m) * n);
    for (double& d : D) d = normal(rng);
    method::Problem p;
    p.n = n;
    p.r = r;
    p.A = method::gram_operator(m, n, D.data(), -2.0 / n);
    p.lambda.assign(r, 0.002);
    std::vector<double> Xt = method_test::random_feasible(n, r, rng);
    for (method::Rule rule : {method::Rule::prox, method::Rule::sweep}) {
        method::Options o;
        o.rule = rule;
        o.max_iter = rule == method::Rule::prox ? 4 : 30000;
        const method::Info info = method::run(p, o, Xt, nullptr);
        EXPECT_EQ(info.stop, "max_iter");
        EXPECT_LT(info.f, info.f0);
        EXPECT_LE(info.feasibility, 1e-12);
        std::vector<double> DX(static_cast<size_t>(m) * r, 0.0);
        for (int32_t i = 0; i < n; ++i) {
            for (int32_t k = 0; k < m; ++k) {
                for (int32_t c = 0; c < r; ++c) DX[k + static_cast<size_t>(m) * c] += D[k + static_cast<size_t>(m) * i] * Xt[c + static_cast<size_t>(r) * i];
            }
        }
        double f = 0;
        for (double v : DX) f += v * v;
        f *= 0.5 * (-2.0 / n);
        for (size_t q = 0; q < Xt.size(); ++q) f += 0.002 * std::fabs(Xt[q]);
        EXPECT_NEAR(info.f, f, 1e-12 * std::fabs(f));
    }
    const long long peak = peak_memory();
    if (peak >= 0) {
        EXPECT_LT(peak, 400LL << 20) << "peak resident memory " << peak;
    }
}
