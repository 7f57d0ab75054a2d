// Production kernels against the literal references, side by side in one
// process, on data shaped like real use. Prints the time ratio
// reference/production for each size, after checking on the same data that
// both give identical outputs.
//
//   orthopair_bench              full run with the ratio table
//   orthopair_bench --check-only only the output comparison

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "orthogonal_2x2.h"
#include "pair_select.h"
#include "reference_pairs.h"
#include "reference_subproblem.h"

namespace {

uint64_t bits(double x) {
    uint64_t b;
    std::memcpy(&b, &x, sizeof b);
    return b;
}

// A subproblem in which every pair is retained and every term has a breakpoint.
struct Subproblem {
    double Q[16], G[4], lambda;
    std::vector<double> z1, z2;
};

Subproblem make_subproblem(int32_t n, uint64_t seed) {
    std::mt19937_64 rng(seed);
    std::normal_distribution<double> normal(0.0, 1.0);
    Subproblem p;
    for (int c = 0; c < 4; ++c)
        for (int r = 0; r <= c; ++r) p.Q[r + 4 * c] = p.Q[c + 4 * r] = normal(rng);
    for (double& g : p.G) g = normal(rng);
    p.lambda = 0.1;
    p.z1.resize(n);
    p.z2.resize(n);
    for (int32_t k = 0; k < n; ++k) {
        do p.z1[k] = normal(rng); while (std::fabs(p.z1[k]) < 1e-3);
        do p.z2[k] = normal(rng); while (std::fabs(p.z2[k]) < 1e-3);
    }
    return p;
}

struct Matrices {
    std::vector<double> A, B;
    int32_t n_rows, n_cols;
};

Matrices make_matrices(int32_t n_rows, int32_t n_cols, uint64_t seed) {
    std::mt19937_64 rng(seed);
    std::normal_distribution<double> normal(0.0, 1.0);
    Matrices m{{}, {}, n_rows, n_cols};
    const size_t size = static_cast<size_t>(n_rows) * static_cast<size_t>(n_cols);
    m.A.resize(size);
    m.B.resize(size);
    for (double& x : m.A) x = normal(rng);
    for (double& x : m.B) x = normal(rng);
    return m;
}

constexpr int32_t TRIALS = 64;
const int32_t SOLVER_SIZES[] = {5, 50, 500, 2000, 5000};
const int32_t SELECTOR_SHAPES[][2] = {{100, 500}, {1000, 500}, {1000000, 20}};

using Selector = void (*)(const double*, const double*, int32_t, int32_t, int32_t, double*);

Selector production_selector(bool reduction) {
    return reduction ? select_pair_max_reduction : select_pair_max_violation;
}

void reference_selector(bool reduction, const Matrices& m, double* out) {
    reference::select(reduction ? reference::Rule::max_reduction : reference::Rule::max_violation,
                      m.A.data(), m.B.data(), m.n_cols, m.n_rows, TRIALS, out);
}

// Identical outputs on the benchmark's data, and identical generator positions.
bool check_outputs() {
    bool ok = true;
    for (int32_t n : SOLVER_SIZES) {
        const Subproblem p = make_subproblem(n, 1000 + n);
        double got[4], want[4];
        solve_orthogonal_2x2(p.Q, p.G, p.lambda, p.z1.data(), p.z2.data(), n, got);
        reference::solve(p.Q, p.G, p.lambda, p.z1.data(), p.z2.data(), n, want);
        for (int i = 0; i < 4; ++i) {
            if (bits(got[i]) != bits(want[i])) {
                std::printf("MISMATCH brevak n=%d entry %d\n", n, i);
                ok = false;
            }
        }
    }
    for (const auto& shape : SELECTOR_SHAPES) {
        const Matrices m = make_matrices(shape[0], shape[1], 7);
        for (bool reduction : {false, true}) {
            for (unsigned seed = 1; seed <= 20; ++seed) {
                double got[2], want[2];
                std::srand(seed);
                production_selector(reduction)(m.A.data(), m.B.data(), m.n_cols, m.n_rows, TRIALS, got);
                const int after_got = std::rand();
                std::srand(seed);
                reference_selector(reduction, m, want);
                const int after_want = std::rand();
                if (bits(got[0]) != bits(want[0]) || bits(got[1]) != bits(want[1]) ||
                    after_got != after_want) {
                    std::printf("MISMATCH %s n_rows=%d seed=%u\n", reduction ? "zandrel" : "tolmiv",
                                m.n_rows, seed);
                    ok = false;
                }
            }
        }
    }
    return ok;
}

// Collects the mean time per iteration of every run, for the ratio table.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            if (run.run_type != Run::RT_Iteration || run.iterations == 0) continue;
            seconds_[run.benchmark_name()] = run.real_accumulated_time / run.iterations;
        }
    }

    void print_ratios() const {
        std::printf("\n%-22s %14s %14s %9s\n", "case", "reference", "production", "ratio");
        for (const auto& [name, t_prod] : seconds_) {
            const auto slash = name.find("/production");
            if (slash == std::string::npos) continue;
            std::string ref_name = name;
            ref_name.replace(slash, std::strlen("/production"), "/reference");
            const auto it = seconds_.find(ref_name);
            if (it == seconds_.end()) continue;
            std::string label = name;
            label.erase(slash, std::strlen("/production"));
            const auto options = label.find("/min_time");
            if (options != std::string::npos) label.erase(options);
            std::printf("%-22s %12.3f ms %12.3f ms %8.1fx\n", label.c_str(), it->second * 1e3,
                        t_prod * 1e3, it->second / t_prod);
        }
    }

private:
    std::map<std::string, double> seconds_;
};

std::string padded(int32_t n) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%07d", n);
    return buf;
}

void register_benchmarks() {
    for (int32_t n : SOLVER_SIZES) {
        for (bool ref : {false, true}) {
            const std::string name =
                std::string("brevak/") + (ref ? "reference" : "production") + "/n=" + padded(n);
            benchmark::RegisterBenchmark(name.c_str(), [n, ref](benchmark::State& state) {
                const Subproblem p = make_subproblem(n, 1000 + n);
                double V[4];
                for (auto _ : state) {
                    if (ref)
                        reference::solve(p.Q, p.G, p.lambda, p.z1.data(), p.z2.data(), n, V);
                    else
                        solve_orthogonal_2x2(p.Q, p.G, p.lambda, p.z1.data(), p.z2.data(), n, V);
                    benchmark::DoNotOptimize(V);
                }
            })->Unit(benchmark::kMillisecond)->MinTime(n >= 2000 ? 2.0 : 0.3);
        }
    }
    for (const auto& shape : SELECTOR_SHAPES) {
        const int32_t n_rows = shape[0], n_cols = shape[1];
        auto data = std::make_shared<Matrices>(make_matrices(n_rows, n_cols, 7));
        for (bool reduction : {false, true}) {
            for (bool ref : {false, true}) {
                const std::string name = std::string(reduction ? "zandrel/" : "tolmiv/") +
                                         (ref ? "reference" : "production") + "/rows=" + padded(n_rows);
                benchmark::RegisterBenchmark(name.c_str(), [data, reduction, ref](benchmark::State& state) {
                    double out[2];
                    std::srand(1);
                    for (auto _ : state) {
                        if (ref)
                            reference_selector(reduction, *data, out);
                        else
                            production_selector(reduction)(data->A.data(), data->B.data(), data->n_cols,
                                                           data->n_rows, TRIALS, out);
                        benchmark::DoNotOptimize(out);
                    }
                })->Unit(benchmark::kMillisecond)->MinTime(0.5);
            }
        }
    }
}

}  // namespace

int main(int argc, char** argv) {
    const bool check_only = argc > 1 && std::strcmp(argv[1], "--check-only") == 0;
    const bool ok = check_outputs();
    std::printf("outputs identical on the benchmark data: %s\n", ok ? "yes" : "NO");
    if (!ok) return 1;
    if (check_only) return 0;

    register_benchmarks();
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    reporter.print_ratios();
    benchmark::Shutdown();
    return 0;
}
