// One certificate pass at a sparse stationary point, timed, with the pairs it
// looks at one by one; beside it, for comparison, the pass that bounds every
// pair on its own. Not a test: run by hand, on a quiet machine for numbers
// worth quoting.
//
//   method_bench_certificate_pass n r rows_per_column [plain]
//
// A = −2·BᵀB with B 50×n standard normal, columns centred and scaled to unit
// norm (formed densely). X: column c is a random unit vector on its own
// rows_per_column rows; E is chosen so that X is first-order stationary with
// multiplier Λ = −σ·I, σ = 2·(largest eigenvalue scale n/50), and every zero
// entry of X strictly inside its kink (|∇f| ≤ 0.95·λ there), λ = 0.8.

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <vector>

#include "pass_screen.h"
#include "test_support.h"

namespace {

double seconds_since(std::chrono::steady_clock::time_point t0)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 4) {
        std::fprintf(stderr, "usage: %s n r rows_per_column [plain]\n", argv[0]);
        return 2;
    }
    const int32_t n = std::atoi(argv[1]), r = std::atoi(argv[2]), per = std::atoi(argv[3]), m = 50;
    const bool plain = argc > 4;
    const double lambda = 0.8;
    std::mt19937_64 rng(7);
    std::normal_distribution<double> normal;
    std::uniform_real_distribution<double> inside(-0.95, 0.95);
    const std::vector<double> B = method_test::standardized_columns(m, n, rng);
    std::vector<double> A(static_cast<size_t>(n) * n);
    for (int32_t j = 0; j < n; ++j) {
        for (int32_t i = 0; i <= j; ++i) {
            double s = 0;
            for (int32_t k = 0; k < m; ++k) s += B[k + static_cast<size_t>(m) * i] * B[k + static_cast<size_t>(m) * j];
            A[i + static_cast<size_t>(n) * j] = A[j + static_cast<size_t>(n) * i] = -2 * s;
        }
    }
    std::vector<int32_t> order(n);
    for (int32_t i = 0; i < n; ++i) order[i] = i;
    std::shuffle(order.begin(), order.end(), rng);
    std::vector<double> Xt(static_cast<size_t>(r) * n, 0.0);
    for (int32_t c = 0; c < r; ++c) {
        double norm = 0;
        for (int32_t k = 0; k < per; ++k) norm += std::pow(Xt[c + static_cast<size_t>(r) * order[c * per + k]] = normal(rng), 2);
        for (int32_t k = 0; k < per; ++k) Xt[c + static_cast<size_t>(r) * order[c * per + k]] /= std::sqrt(norm);
    }
    method::Problem p;
    p.n = n;
    p.r = r;
    p.A = method::dense_operator(n, A.data());
    p.lambda.assign(r, lambda);
    std::vector<double> AXt(Xt.size());
    method::multiply(p, Xt.data(), AXt.data());
    const double sigma = 2.0 * n / m;
    p.Et.resize(Xt.size());
    for (size_t q = 0; q < Xt.size(); ++q) {
        const double x = Xt[q], sign = x > 0 ? 1.0 : (x < 0 ? -1.0 : inside(rng));
        p.Et[q] = (-sigma * x - AXt[q]) - lambda * sign;
    }
    const double f = method::objective(p, Xt.data(), AXt.data());
    const double threshold = 1e-10 * std::max(1.0, std::fabs(f));

    int64_t solved = 0;
    double largest = 0;
    auto one_pair = [&](int32_t i, int32_t j) {
        method::PairModel model;
        method::pair_model(p, Xt.data(), AXt.data(), i, j, model);
        const double bound = method::pair_bound(model, threshold);
        if (bound <= threshold) return bound;
        std::vector<double> rows(2 * static_cast<size_t>(r));
        double floor = 0;
        ++solved;
        return -method::pair_step(p, Xt.data(), AXt.data(), i, j, model, rows.data(), &floor);
    };

    auto t0 = std::chrono::steady_clock::now();
    method::PassScreen screen(p);
    method::PassHooks hooks;
    hooks.product_row = [&](int32_t row) { return AXt.data() + static_cast<size_t>(r) * row; };
    hooks.threshold = [&] { return threshold; };
    hooks.visit = [&](int32_t i, int32_t j) {
        method::PairVisit v;
        v.gain = one_pair(i, j);
        return v;
    };
    hooks.stopped = [](int64_t) { return false; };
    const method::PassTally tally = screen.pass(Xt, hooks);
    const double pass_time = seconds_since(t0);
    const int64_t all = static_cast<int64_t>(n) * (n - 1) / 2;
    std::printf("n %d r %d nonzero rows %d: pass %.3f s, touched %lld of %lld pairs (%.2g), solved %lld, "
                "largest %.3g (relative %.3g)\n",
                n, r, r * per, pass_time, static_cast<long long>(tally.touched), static_cast<long long>(all),
                static_cast<double>(tally.touched) / all, static_cast<long long>(solved), tally.largest,
                tally.largest / std::max(1.0, std::fabs(f)));
    if (plain) {
        t0 = std::chrono::steady_clock::now();
        for (int32_t i = 0; i < n; ++i) {
            for (int32_t j = i + 1; j < n; ++j) largest = std::max(largest, one_pair(i, j));
        }
        std::printf("  every pair on its own bound: %.3f s, largest %.3g\n", seconds_since(t0), largest);
    }
    return 0;
}
