// One look-only certificate pass at a point the engine certified, for the data
// form A = −2·BᵀB (B 50×n standard normal, columns centred and scaled to unit
// norm), lambda 0.8: the time per pair and how the pairs were settled (by the
// closed-form stage of pair_bound, by its later root-based stages, or by the
// exact solve). Not a test: run by hand, on a quiet machine for numbers worth
// quoting.
//
//   method_bench_data_pass n r [time_limit_seconds]

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <vector>

#include "method_internal.h"
#include "orthogonal_2x2.h"
#include "pass_screen.h"
#include "test_support.h"

int main(int argc, char** argv)
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s n r [time_limit_seconds]\n", argv[0]);
        return 2;
    }
    const int32_t n = std::atoi(argv[1]), r = std::atoi(argv[2]), m = 50;
    const double limit = argc > 3 ? std::atof(argv[3]) : 600.0;
    std::mt19937_64 rng(11);
    const std::vector<double> B = method_test::standardized_columns(m, n, rng);
    method::Problem p;
    p.n = n;
    p.r = r;
    p.A = method::gram_operator(m, n, B.data(), -2.0);
    p.lambda.assign(r, 0.8);
    // Start: orthonormal columns by Gram–Schmidt (twice) of a random matrix.
    std::vector<double> Xt = method_test::random_feasible(n, r, rng);
    method::Options o;
    o.time_limit = limit;
    o.print_interval = 0;
    const method::Info info = method::run(p, o, Xt, nullptr);
    int32_t zero = 0;
    for (int32_t i = 0; i < n; ++i) {
        bool all = true;
        for (int32_t c = 0; c < r; ++c) all = all && Xt[c + static_cast<size_t>(r) * i] == 0;
        zero += all;
    }
    std::printf("n %d r %d: run %s in %.1f s, F %.10g, %d zero rows\n", n, r, info.stop.c_str(), info.time,
                info.f, zero);

    std::vector<double> AXt(Xt.size());
    method::multiply(p, Xt.data(), AXt.data());
    const double f = method::objective(p, Xt.data(), AXt.data());
    const double threshold = 1e-10 * std::max(1.0, std::fabs(f));
    std::vector<double> rows(2 * static_cast<size_t>(r));
    int64_t solved = 0, pairs = 0;
    double largest = 0;
    auto t0 = std::chrono::steady_clock::now();
    for (int32_t i = 0; i < n; ++i) {
        for (int32_t j = i + 1; j < n; ++j) {
            method::PairModel model;
            method::pair_model(p, Xt.data(), AXt.data(), i, j, model);
            double gain = method::pair_bound(model, threshold);
            if (gain > threshold) {
                double floor = 0;
                ++solved;
                gain = -method::pair_step(p, Xt.data(), AXt.data(), i, j, model, rows.data(), &floor);
            }
            largest = std::max(largest, gain);
            ++pairs;
        }
    }
    const double pass = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();

    // How the pairs were settled, counted apart from the timing: pair_bound
    // at an infinite threshold returns its first stage's value.
    // The closed-form per-quadrant stage, recomputed here (without its
    // rounding margin, which only makes it settle fewer pairs).
    auto quadrant_floor = [](const method::PairModel& m) {
        double coef[2] = {0, 0}, least = HUGE_VAL;
        for (Family family : {Family::rotation, Family::reflection}) {
            const double f = family == Family::rotation ? 1.0 : -1.0;
            for (double gc : {1.0, -1.0}) {
                for (double gs : {1.0, -1.0}) {
                    const double Gq[4] = {m.G[0] + m.O[0] + f * gc * m.only_i, m.G[1] + m.O[1] - f * gs * m.only_i,
                                          m.G[2] + m.O[2] + gs * m.only_j, m.G[3] + m.O[3] + gc * m.only_j};
                    const CircleProblem c = family_problem(family, m.Q, Gq, 0.0, coef, coef, 0, coef, coef);
                    least = std::min(least, method::circle_minimum_floor(c.quad_cc, c.quad_cs, c.quad_ss,
                                                                         c.lin_c, c.lin_s, gc, gs));
                }
            }
        }
        return -((least + m.offset) - m.l1);
    };
    int64_t closed = 0, closed_q = 0, roots = 0;
    for (int32_t i = 0; i < n; ++i) {
        for (int32_t j = i + 1; j < n; ++j) {
            method::PairModel model;
            method::pair_model(p, Xt.data(), AXt.data(), i, j, model);
            if (method::pair_bound(model, HUGE_VAL) <= threshold) {
                ++closed;
            } else if (quadrant_floor(model) <= threshold) {
                ++closed_q;
            } else if (method::pair_bound(model, threshold) <= threshold) {
                ++roots;
            }
        }
    }
    std::printf("  pass %.3f s, %.3f us per pair; pairs %lld: closed-form stages %.4f + %.4f, root stages %.4f, solved %.4f; "
                "largest gain or bound %.3g (relative %.3g)\n",
                pass, 1e6 * pass / pairs, static_cast<long long>(pairs), static_cast<double>(closed) / pairs,
                static_cast<double>(closed_q) / pairs, static_cast<double>(roots) / pairs, static_cast<double>(solved) / pairs, largest,
                largest / std::max(1.0, std::fabs(f)));
    return 0;
}
