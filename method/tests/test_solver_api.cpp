// The C++ entry orthopair::solve against the engine it wraps: the same run
// on the transposed data must give the same bits, in each form of A; bad
// arguments are refused by name.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "orthopair_solver.h"
#include "test_support.h"

namespace {

using method_test::random_feasible;

std::vector<double> transpose(const std::vector<double>& M, int32_t rows, int32_t cols)
{
    std::vector<double> T(M.size());
    for (int32_t j = 0; j < cols; ++j) {
        for (int32_t i = 0; i < rows; ++i) T[j + static_cast<size_t>(cols) * i] = M[i + static_cast<size_t>(rows) * j];
    }
    return T;
}

struct Case {
    int32_t n, r, m;
    std::vector<double> A, D, E, lambda, X0;     // A n×n symmetric, D m×n, E and X0 n×r
    std::vector<int64_t> col_start, row_index;   // A in compressed columns (its nonzeros)
    std::vector<double> values;
};

Case random_case(uint64_t seed)
{
    std::mt19937_64 rng(seed);
    std::normal_distribution<double> normal;
    std::uniform_int_distribution<int32_t> size(3, 9);
    Case c;
    c.n = size(rng);
    c.r = 1 + static_cast<int32_t>(rng() % static_cast<uint64_t>(c.n < 4 ? c.n : 4));
    c.m = 2 + static_cast<int32_t>(rng() % 4);
    const size_t n = static_cast<size_t>(c.n);
    c.A.assign(n * n, 0.0);
    for (size_t j = 0; j < n; ++j) {
        for (size_t i = 0; i <= j; ++i) {
            // About half the off-diagonal entries zero, so that the sparse
            // form differs from the dense one.
            const double v = (i == j || rng() % 2) ? normal(rng) : 0.0;
            c.A[i + n * j] = v;
            c.A[j + n * i] = v;
        }
    }
    c.col_start.push_back(0);
    for (size_t j = 0; j < n; ++j) {
        for (size_t i = 0; i < n; ++i) {
            if (c.A[i + n * j] != 0) {
                c.row_index.push_back(static_cast<int64_t>(i));
                c.values.push_back(c.A[i + n * j]);
            }
        }
        c.col_start.push_back(static_cast<int64_t>(c.row_index.size()));
    }
    c.D.resize(static_cast<size_t>(c.m) * n);
    for (double& d : c.D) d = normal(rng);
    c.E.resize(n * c.r);
    for (double& e : c.E) e = 0.3 * normal(rng);
    c.lambda.resize(c.r);
    for (double& l : c.lambda) l = 0.2 * std::fabs(normal(rng));
    c.X0 = transpose(random_feasible(c.n, c.r, rng), c.r, c.n);
    return c;
}

// The engine run by hand: the problem transposed as the engine holds it.
method::Info engine_run(const Case& c, const method::Operator& A, bool with_e,
                        const method::Options& o, std::vector<double>& X)
{
    method::Problem p;
    p.n = c.n;
    p.r = c.r;
    p.A = A;
    p.lambda = c.lambda;
    if (with_e) p.Et = transpose(c.E, c.n, c.r);
    std::vector<double> Xt = transpose(c.X0, c.n, c.r);
    const method::Info info = method::run(p, o, Xt, method::ProgressHook());
    X = transpose(Xt, c.r, c.n);
    return info;
}

void expect_same_run(const orthopair::Result& got, const method::Info& want_info,
                     const std::vector<double>& want_X, const std::string& what)
{
    ASSERT_EQ(got.X.size(), want_X.size()) << what;
    EXPECT_EQ(0, std::memcmp(got.X.data(), want_X.data(), want_X.size() * sizeof(double))) << what;
    EXPECT_EQ(got.info.f, want_info.f) << what;
    EXPECT_EQ(got.info.stop, want_info.stop) << what;
    EXPECT_EQ(got.info.iterations, want_info.iterations) << what;
    EXPECT_EQ(got.info.stationarity, want_info.stationarity) << what;
}

}  // namespace

TEST(SolverApi, SameBitsAsTheEngineOnTheTransposedProblemInEachForm)
{
    method::Options o;
    o.print_interval = 0;
    for (uint64_t seed = 1; seed <= 12; ++seed) {
        const Case c = random_case(seed);
        const bool with_e = seed % 3 != 0;
        orthopair::Problem p;
        p.n = c.n;
        p.r = c.r;
        p.E = with_e ? c.E.data() : nullptr;
        p.lambda = c.lambda.data();
        std::vector<double> X;

        p.A = orthopair::Quadratic::dense(c.A.data());
        method::Info info = engine_run(c, method::dense_operator(c.n, c.A.data()), with_e, o, X);
        expect_same_run(orthopair::solve(p, c.X0.data(), o), info, X, "dense, seed " + std::to_string(seed));

        p.A = orthopair::Quadratic::sparse(c.col_start.data(), c.row_index.data(), c.values.data());
        info = engine_run(c, method::sparse_operator(c.n, c.col_start.data(), c.row_index.data(), c.values.data()),
                          with_e, o, X);
        expect_same_run(orthopair::solve(p, c.X0.data(), o), info, X, "sparse, seed " + std::to_string(seed));

        p.A = orthopair::Quadratic::data(c.m, c.D.data(), -0.7);
        info = engine_run(c, method::gram_operator(c.m, c.n, c.D.data(), -0.7), with_e, o, X);
        expect_same_run(orthopair::solve(p, c.X0.data(), o), info, X, "data form, seed " + std::to_string(seed));
    }
}

// F depends on A only through ½·(A + Aᵀ): a dense A that is not symmetric
// must run as its symmetric part, formed here literally.
TEST(SolverApi, DenseAIsTakenByItsSymmetricPart)
{
    for (uint64_t seed = 20; seed < 26; ++seed) {
        const Case c = random_case(seed);
        const size_t n = static_cast<size_t>(c.n);
        std::vector<double> skewed = c.A, symmetric(n * n);
        for (size_t j = 0; j < n; ++j) {
            for (size_t i = 0; i < j; ++i) {
                skewed[i + n * j] += 0.25;
                skewed[j + n * i] -= 0.5;
            }
        }
        for (size_t j = 0; j < n; ++j) {
            for (size_t i = 0; i < n; ++i) {
                symmetric[i + n * j] = 0.5 * (skewed[i + n * j] + skewed[j + n * i]);
            }
        }
        orthopair::Problem p;
        p.n = c.n;
        p.r = c.r;
        p.E = c.E.data();
        p.lambda = c.lambda.data();
        p.A = orthopair::Quadratic::dense(skewed.data());
        const orthopair::Result got = orthopair::solve(p, c.X0.data());
        p.A = orthopair::Quadratic::dense(symmetric.data());
        const orthopair::Result want = orthopair::solve(p, c.X0.data());
        EXPECT_EQ(got.X, want.X) << "seed " << seed;
        EXPECT_EQ(got.info.f, want.info.f) << "seed " << seed;
    }
}

TEST(SolverApi, ProgressHookSeesTheRunAndCanStopIt)
{
    const Case c = random_case(7);
    orthopair::Problem p;
    p.n = c.n;
    p.r = c.r;
    p.A = orthopair::Quadratic::dense(c.A.data());
    p.lambda = c.lambda.data();
    orthopair::Options o;
    o.progress_every = 1;
    int calls = 0;
    const orthopair::Result result = orthopair::solve(p, c.X0.data(), o, [&](const orthopair::Info&) {
        ++calls;
        return true;
    });
    EXPECT_GE(calls, 1);
    EXPECT_EQ(result.info.reason, orthopair::Stop::callback);
    EXPECT_EQ(result.info.stop, "callback");
}

// Each bad argument is refused with std::invalid_argument naming it.
TEST(SolverApi, BadArgumentsAreRefusedByName)
{
    const Case c = random_case(3);
    auto good = [&] {
        orthopair::Problem p;
        p.n = c.n;
        p.r = c.r;
        p.A = orthopair::Quadratic::dense(c.A.data());
        p.E = c.E.data();
        p.lambda = c.lambda.data();
        return p;
    };
    auto refused = [&](const orthopair::Problem& p, const double* X0, const std::string& name,
                       const orthopair::Options& o = orthopair::Options()) {
        try {
            orthopair::solve(p, X0, o);
        } catch (const std::invalid_argument& e) {
            EXPECT_NE(std::string(e.what()).find(name), std::string::npos) << e.what();
            return;
        }
        ADD_FAILURE() << "not refused: " << name;
    };
    orthopair::Problem p = good();
    p.n = 1;
    refused(p, c.X0.data(), "n must");
    p = good();
    p.r = c.n + 1;
    refused(p, c.X0.data(), "r must");
    p = good();
    p.A = orthopair::Quadratic();
    refused(p, c.X0.data(), "A is not given");
    p = good();
    std::vector<double> bad_A = c.A;
    bad_A[1] = NAN;
    p.A = orthopair::Quadratic::dense(bad_A.data());
    refused(p, c.X0.data(), "A has NaN");
    p = good();
    std::vector<int64_t> rows = c.row_index;
    rows.back() = c.n;
    p.A = orthopair::Quadratic::sparse(c.col_start.data(), rows.data(), c.values.data());
    refused(p, c.X0.data(), "A.row_index");
    p = good();
    p.A = orthopair::Quadratic::data(c.m, c.D.data(), 0.0);
    refused(p, c.X0.data(), "A.scale");
    p = good();
    std::vector<double> lambda = c.lambda;
    lambda[0] = -1;
    p.lambda = lambda.data();
    refused(p, c.X0.data(), "lambda[0]");
    p = good();
    std::vector<double> E = c.E;
    E.back() = INFINITY;
    p.E = E.data();
    refused(p, c.X0.data(), "E has NaN");
    p = good();
    std::vector<double> X0 = c.X0;
    X0[0] += 1e-6;
    refused(p, X0.data(), "X0 must have orthonormal columns");
    refused(p, nullptr, "X0 is a null pointer");
    orthopair::Options o;
    o.tol = NAN;
    refused(good(), c.X0.data(), "options.tol", o);
}
