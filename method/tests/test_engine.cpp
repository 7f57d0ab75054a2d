// The whole run: what 'certified' promises, checked literally; known optima;
// monotone, feasible histories for every rule; the stops.

#include <gtest/gtest.h>

#include <cmath>
#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "test_support.h"

using method_test::Instance;
using method_test::literal_objective;
using method_test::random_instance;

namespace {

// Largest decrease of F over all pairs and a dense sample of both families
// of O(2) per pair, from scratch.
double literal_best_pair_gain(const Instance& inst)
{
    const int32_t n = inst.n, r = inst.r;
    const double f0 = literal_objective(inst, inst.Xt);
    double best = 0;
    std::vector<double> Xt;
    for (int32_t i = 0; i < n; ++i) {
        for (int32_t j = i + 1; j < n; ++j) {
            for (int k = 0; k < 360; ++k) {
                const double t = 2 * M_PI * k / 360;
                const double c = std::cos(t), s = std::sin(t);
                for (int family = 0; family < 2; ++family) {
                    const double V[4] = {family ? -c : c, family ? s : -s, s, c};
                    Xt = inst.Xt;
                    for (int32_t q = 0; q < r; ++q) {
                        const double a = inst.Xt[q + static_cast<size_t>(r) * i];
                        const double b = inst.Xt[q + static_cast<size_t>(r) * j];
                        Xt[q + static_cast<size_t>(r) * i] = V[0] * a + V[2] * b;
                        Xt[q + static_cast<size_t>(r) * j] = V[1] * a + V[3] * b;
                    }
                    best = std::max(best, f0 - literal_objective(inst, Xt));
                }
            }
        }
    }
    return best;
}

method::Options rule_options(method::Rule rule)
{
    method::Options o;
    o.rule = rule;
    o.time_limit = 30;
    return o;
}

const method::Rule ALL_RULES[] = {method::Rule::mixed,   method::Rule::zandrel, method::Rule::tolmiv,
                                  method::Rule::uniform, method::Rule::sweep,   method::Rule::prox};

}  // namespace

TEST(Engine, CertifiedPointsPassBothChecksLiterally)
{
    // 'mixed' must certify. Pair steps alone may end where no pair gains but
    // X is not first-order stationary; they must then say 'stalled' or
    // 'not_certified', and the measures must show exactly that.
    for (int32_t r : {1, 2, 3}) {
        for (method::Rule rule : {method::Rule::mixed, method::Rule::sweep, method::Rule::zandrel}) {
            Instance inst = random_instance(10, r, 0.25, 20 + r, r == 2);
            std::srand(1);
            const method::Info info = method::run(inst.problem, rule_options(rule), inst.Xt, nullptr);
            const double scale = std::max(1.0, std::fabs(info.f));
            // A dense angle sample can only find less than the exact
            // search; it must find nothing above the tolerance either.
            EXPECT_LE(literal_best_pair_gain(inst), 1e-10 * scale + 1e-12);
            const std::vector<double> AXt = method_test::literal_product(inst, inst.Xt);
            const double measure = method::stationarity(inst.problem, inst.Xt.data(), AXt.data());
            if (rule == method::Rule::mixed || info.stop == "certified") {
                EXPECT_EQ(info.stop, "certified") << "r=" << r;
                EXPECT_LE(measure, 1e-6 * info.stationarity_scale);
            } else {
                EXPECT_TRUE(info.stop == "stalled" || info.stop == "not_certified") << info.stop;
                EXPECT_GT(measure, 1e-6 * info.stationarity_scale);
            }
            EXPECT_EQ(measure, info.stationarity);
            EXPECT_NEAR(info.f, literal_objective(inst, inst.Xt), 1e-12 * scale);
            EXPECT_LE(info.feasibility, 1e-13);
            EXPECT_LE(info.f, info.f0);
        }
    }
}

TEST(Engine, PrincipalSubspaceWithoutL1)
{
    // λ = 0: the minimum of ½tr(XᵀAX) is half the sum of the r smallest
    // eigenvalues of A.
    for (int32_t r : {1, 3}) {
        Instance inst = random_instance(12, r, 0.0, 30 + r);
        std::vector<double> S(inst.A), values(12), vectors(144);
        method::symmetric_eigen(12, S.data(), values.data(), vectors.data());
        std::sort(values.begin(), values.end());
        double optimum = 0;
        for (int32_t k = 0; k < r; ++k) optimum += 0.5 * values[k];
        for (method::Rule rule : {method::Rule::mixed, method::Rule::sweep}) {
            Instance run = inst;
            run.bind();
            const method::Info info = method::run(run.problem, rule_options(rule), run.Xt, nullptr);
            EXPECT_EQ(info.stop, "certified");
            EXPECT_NEAR(info.f, optimum, 1e-9 * std::fabs(optimum)) << "rule " << int(rule);
        }
    }
}

TEST(Engine, ProcrustesWithIdentityGivesThePolarFactor)
{
    // min ½‖X − Y‖² over XᵀX = I is A = I, E = −Y: the orthonormal polar
    // factor of Y.
    std::mt19937_64 rng(4);
    std::normal_distribution<double> normal;
    const int32_t n = 9, r = 3;
    Instance inst;
    inst.n = n;
    inst.r = r;
    inst.A.assign(static_cast<size_t>(n) * n, 0.0);
    for (int32_t i = 0; i < n; ++i) inst.A[i + static_cast<size_t>(n) * i] = 1;
    std::vector<double> Yt(static_cast<size_t>(n) * r);
    for (double& y : Yt) y = normal(rng);
    inst.problem.Et.resize(Yt.size());
    for (size_t k = 0; k < Yt.size(); ++k) inst.problem.Et[k] = -Yt[k];
    inst.problem.lambda.assign(r, 0.0);
    inst.Xt = method_test::random_feasible(n, r, rng);
    inst.bind();
    const method::Info info = method::run(inst.problem, rule_options(method::Rule::mixed), inst.Xt, nullptr);
    EXPECT_EQ(info.stop, "certified");
    std::vector<double> U = Yt;
    ASSERT_TRUE(method::polar(n, r, U.data()));
    // F = const − ⟨Y, X⟩ curves by at least σ_min(Y) around its minimiser
    // on the manifold, so the certified measure bounds the distance to it.
    std::vector<double> S(static_cast<size_t>(r) * r, 0.0), values(r), vectors(S.size());
    for (int32_t a = 0; a < r; ++a) {
        for (int32_t b = 0; b < r; ++b) {
            for (int32_t i = 0; i < n; ++i) S[a + r * b] += Yt[a + static_cast<size_t>(r) * i] * Yt[b + static_cast<size_t>(r) * i];
        }
    }
    method::symmetric_eigen(r, S.data(), values.data(), vectors.data());
    const double sigma = std::sqrt(*std::min_element(values.begin(), values.end()));
    double dist = 0;
    for (size_t k = 0; k < U.size(); ++k) dist += (inst.Xt[k] - U[k]) * (inst.Xt[k] - U[k]);
    EXPECT_LE(std::sqrt(dist), 2 * info.stationarity / sigma + 1e-12);
}

TEST(Engine, EveryRuleDescendsAndStaysFeasible)
{
    for (method::Rule rule : ALL_RULES) {
        Instance inst = random_instance(14, 3, 0.3, 40, true, true);
        std::srand(2);
        method::Options o = rule_options(rule);
        o.progress_every = 50;
        const method::Info info = method::run(inst.problem, o, inst.Xt, nullptr);
        ASSERT_GE(info.history.size(), 2u);
        for (size_t k = 1; k < info.history.size(); ++k) {
            EXPECT_LE(info.history[k].f, info.history[k - 1].f + 1e-12 * std::fabs(info.history[k - 1].f))
                << "rule " << int(rule) << " at point " << k;
            EXPECT_GE(info.history[k].iteration, info.history[k - 1].iteration);
        }
        EXPECT_LE(info.feasibility, 1e-13) << "rule " << int(rule);
        EXPECT_NEAR(info.f, literal_objective(inst, inst.Xt), 1e-12 * std::fabs(info.f));
        EXPECT_EQ(info.iterations, info.pair_steps + info.prox_steps);
        EXPECT_LE(info.moves, info.pair_steps);
    }
}

TEST(Engine, StopsOnEachLimit)
{
    const Instance base = random_instance(12, 2, 0.3, 50);
    auto fresh = [&] {
        Instance inst = base;
        inst.bind();
        return inst;
    };
    {
        Instance inst = fresh();
        method::Options o = rule_options(method::Rule::uniform);
        o.max_iter = 10;
        const method::Info info = method::run(inst.problem, o, inst.Xt, nullptr);
        EXPECT_EQ(info.stop, "max_iter");
        EXPECT_EQ(info.iterations, 10);
    }
    {
        Instance inst = fresh();
        method::Options o = rule_options(method::Rule::sweep);
        o.time_limit = 0;
        EXPECT_EQ(method::run(inst.problem, o, inst.Xt, nullptr).stop, "time_limit");
    }
    {
        // A limit already spent before the run (the caller's set-up) stops
        // it before any step.
        Instance inst = fresh();
        method::Options o = rule_options(method::Rule::mixed);
        o.time_limit = 5;
        o.started = std::chrono::steady_clock::now() - std::chrono::seconds(10);
        const method::Info info = method::run(inst.problem, o, inst.Xt, nullptr);
        EXPECT_EQ(info.stop, "time_limit");
        EXPECT_EQ(info.iterations, 0);
    }
    {
        Instance inst = fresh();
        method::Options o = rule_options(method::Rule::mixed);
        o.certify = false;
        const method::Info info = method::run(inst.problem, o, inst.Xt, nullptr);
        EXPECT_EQ(info.stop, "not_certified");
        EXPECT_EQ(info.reason, method::Stop::not_certified);
    }
    {
        Instance inst = fresh();
        method::Options o = rule_options(method::Rule::mixed);
        o.target_f = 1e300;
        const method::Info info = method::run(inst.problem, o, inst.Xt, nullptr);
        EXPECT_EQ(info.stop, "target");
        EXPECT_EQ(info.iterations, 0);
    }
    {
        Instance inst = fresh();
        method::Options o = rule_options(method::Rule::zandrel);
        o.progress_every = 5;
        int calls = 0;
        const method::Info info = method::run(inst.problem, o, inst.Xt, [&](const method::Info& so_far) {
            ++calls;
            return so_far.iterations >= 20;
        });
        EXPECT_EQ(info.stop, "callback");
        EXPECT_EQ(info.iterations, 20);
        EXPECT_GE(calls, 4);
    }
}

TEST(Engine, SeededRunsRepeatBitForBit)
{
    for (method::Rule rule : {method::Rule::uniform, method::Rule::zandrel, method::Rule::mixed}) {
        Instance a = random_instance(12, 2, 0.3, 60), b = random_instance(12, 2, 0.3, 60);
        std::srand(7);
        method::Options o = rule_options(rule);
        o.max_iter = 3000;
        method::run(a.problem, o, a.Xt, nullptr);
        std::srand(7);
        method::run(b.problem, o, b.Xt, nullptr);
        EXPECT_EQ(0, std::memcmp(a.Xt.data(), b.Xt.data(), a.Xt.size() * sizeof(double)));
    }
}

TEST(Engine, PolishingACertifiedPointKeepsIt)
{
    Instance inst = random_instance(12, 2, 0.3, 70);
    const method::Info first = method::run(inst.problem, rule_options(method::Rule::mixed), inst.Xt, nullptr);
    ASSERT_EQ(first.stop, "certified");
    const std::vector<double> X1 = inst.Xt;
    const method::Info again = method::run(inst.problem, rule_options(method::Rule::mixed), inst.Xt, nullptr);
    EXPECT_EQ(again.stop, "certified");
    EXPECT_LE(again.f, first.f + 1e-14 * std::fabs(first.f));
    EXPECT_EQ(again.f0, first.f);
}

TEST(Engine, PureL1EndsCertifiedAtSignedCoordinateVectors)
{
    // A = 0: F = λ·Σ‖X(:, j)‖₁ ≥ λ·r, reached exactly by signed coordinate
    // vectors. Rounding leaves entries of a few ulps on the way, each a full
    // kink for the stationarity measure; the run must still certify.
    for (uint64_t seed = 1; seed <= 12; ++seed) {
        std::mt19937_64 rng(seed);
        Instance inst;
        inst.n = 7;
        inst.r = 3;
        inst.A.assign(49, 0.0);
        inst.problem.lambda.assign(3, 0.5);
        inst.Xt = method_test::random_feasible(7, 3, rng);
        inst.bind();
        for (method::Rule rule : {method::Rule::mixed, method::Rule::sweep}) {
            Instance run = inst;
            run.bind();
            const method::Info info = method::run(run.problem, rule_options(rule), run.Xt, nullptr);
            EXPECT_EQ(info.stop, "certified") << "seed " << seed << " rule " << int(rule);
            EXPECT_NEAR(info.f, 1.5, 1e-13);
        }
    }
}

TEST(Engine, ProxStepsLeaveExactZeros)
{
    // The soft threshold's zeros must survive the retraction: no entry of
    // the result lies strictly between 0 and 1e-10 in size.
    Instance inst = random_instance(30, 3, 0.6, 80);
    const method::Info info = method::run(inst.problem, rule_options(method::Rule::prox), inst.Xt, nullptr);
    EXPECT_GT(info.prox_steps, 0);
    int zeros = 0;
    for (double x : inst.Xt) {
        zeros += x == 0;
        EXPECT_FALSE(x != 0 && std::fabs(x) < 1e-10) << x;
    }
    EXPECT_GT(zeros, 0);
    EXPECT_LE(info.feasibility, 1e-13);
}

TEST(Engine, ProgressPointsSayThePhaseAndThePassCounts)
{
    const int32_t n = 14;
    const int64_t all_pairs = n * (n - 1) / 2;
    for (method::Rule rule : {method::Rule::mixed, method::Rule::sweep, method::Rule::zandrel}) {
        for (int64_t every : {int64_t(0), int64_t(7)}) {
            Instance inst = random_instance(n, 2, 0.3, 90);
            std::srand(3);
            method::Options o = rule_options(rule);
            o.print_interval = 0;  // no points by time: the count below is exact
            o.progress_every = every;
            std::vector<method::Info> seen;
            const method::Info info = method::run(inst.problem, o, inst.Xt, [&](const method::Info& so_far) {
                method::Info copy = so_far;
                copy.history.clear();
                seen.push_back(copy);
                return false;
            });
            // Pair steps alone may end 'stalled'; the points are what matters.
            EXPECT_TRUE(info.stop == "certified" || info.stop == "stalled") << info.stop;
            ASSERT_GE(seen.size(), 2u);
            EXPECT_EQ(seen.front().iterations, 0);
            EXPECT_EQ(seen.back().phase, "done");
            std::vector<int64_t> finished;  // the passes seen finished, by count
            for (const method::Info& s : seen) {
                EXPECT_TRUE(s.phase == "prox" || s.phase == "pass" || s.phase == "pairs" || s.phase == "done")
                    << s.phase;
                if (s.phase == "pass") {
                    EXPECT_EQ(s.pass_pairs_total, all_pairs);
                    EXPECT_LE(s.pass_pairs_done, all_pairs);
                    // Without points by iteration, a pass shows at its end
                    // only (or at the start of the run).
                    if (every == 0 && s.iterations > 0) {
                        EXPECT_EQ(s.pass_pairs_done, all_pairs);
                    }
                } else {
                    EXPECT_EQ(s.pass_pairs_total, 0);
                    EXPECT_EQ(s.pass_pairs_done, 0);
                }
                // touched belongs to finished passes only.
                EXPECT_EQ(s.touched < 0, s.sweeps == 0);
                if (s.sweeps > 0) {
                    EXPECT_GE(s.touched, 1);
                    EXPECT_LE(s.touched, all_pairs);
                }
                if (s.phase == "pass" && s.pass_pairs_done == all_pairs &&
                    s.sweeps > (finished.empty() ? 0 : finished.back())) {
                    finished.push_back(s.sweeps);
                }
            }
            // Every finished pass ends with a point of its own.
            ASSERT_EQ(static_cast<int64_t>(finished.size()), info.sweeps);
            for (size_t k = 0; k < finished.size(); ++k) EXPECT_EQ(finished[k], static_cast<int64_t>(k + 1));
            if (every == 0) {
                // Only the start, the ends of phases and the end.
                EXPECT_EQ(seen.size(), info.history.size());
                EXPECT_LE(static_cast<int64_t>(seen.size()), 2 + 2 * info.sweeps + 2 * 50);
            } else {
                EXPECT_GE(static_cast<int64_t>(seen.size()), info.iterations / every);
            }
        }
    }
}
