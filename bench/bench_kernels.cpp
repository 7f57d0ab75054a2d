// Production kernels against the literal references, side by side in one
// process, on data shaped like real use, and against a floor: the part of the
// work that no implementation of the same draws and the same roots can avoid.
//
//   brevak     floor: the closed-form root calls of that very call, recorded
//              from it and replayed alone (polynomial_real_roots);
//   selectors  floor: the same number of rand() calls alone.
//
// It checks on its own data, before timing anything, that production and
// literal versions give identical outputs and leave the C generator at the
// same position, and prints a table: the literal, production and floor times
// (CPU time per call: the machine is shared), the speed-up over the literal
// build and how far production is above its floor.
//
//   orthopair_bench              full run with the table
//   orthopair_bench --check-only only the output comparison

#include <benchmark/benchmark.h>

#include <array>
#include <cmath>
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
#include "polynomial_roots.h"
#include "reference_pairs.h"
#include "reference_subproblem.h"

// The bench is linked with --wrap on polynomial_real_roots (its mangled name):
// every call, the solver's and the floor's alike, lands in the wrapper below,
// which records it while a recorder is set and passes it on.
extern "C" int32_t __real__Z21polynomial_real_rootsdddddPd(double, double, double, double,
                                                            double, double*);

namespace {

using Quartic = std::array<double, 5>;
std::vector<Quartic>* root_calls = nullptr;  // the recorder, set only while recording

}  // namespace

extern "C" int32_t __wrap__Z21polynomial_real_rootsdddddPd(double c4, double c3, double c2,
                                                            double c1, double c0, double* out) {
    if (root_calls != nullptr) root_calls->push_back({c4, c3, c2, c1, c0});
    return __real__Z21polynomial_real_rootsdddddPd(c4, c3, c2, c1, c0, out);
}

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
    std::vector<Quartic> roots;  // the root calls production makes on it
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
    double V[4];
    root_calls = &p.roots;
    solve_orthogonal_2x2(p.Q, p.G, p.lambda, p.z1.data(), p.z2.data(), n, V);
    root_calls = nullptr;
    return p;
}

struct Matrices {
    std::vector<double> A, B;
    int32_t n_rows, n_cols, n_trials;
    int64_t draws;  // rand() values per call, the mean over the checked calls
};

Matrices make_matrices(int32_t n_rows, int32_t n_cols, int32_t n_trials, uint64_t seed) {
    std::mt19937_64 rng(seed);
    std::normal_distribution<double> normal(0.0, 1.0);
    Matrices m{{}, {}, n_rows, n_cols, n_trials, 0};
    const size_t size = static_cast<size_t>(n_rows) * static_cast<size_t>(n_cols);
    m.A.resize(size);
    m.B.resize(size);
    for (double& x : m.A) x = normal(rng);
    for (double& x : m.B) x = normal(rng);
    return m;
}

// r terms for brevak: the sizes the two-index method calls it with (one row
// pair of an n × r iterate), then large ones.
const int32_t SOLVER_SIZES[] = {2, 5, 10, 20, 50, 500, 2000, 5000};

// {n_rows, n_cols, n_trials}: the sizes the method calls the selectors with
// (n_rows = r, n_cols = n_trials = n), then long columns in and out of cache.
const int32_t SELECTOR_SHAPES[][3] = {
    {3, 500, 500},     {10, 500, 500},     {50, 500, 500},
    {3, 5000, 5000},   {10, 5000, 5000},   {50, 5000, 5000},
    {100, 500, 64},    {1000, 500, 64},    {1000000, 20, 64},
};

using SelectFn = void (*)(const double*, const double*, int32_t, int32_t, int32_t, double*);

SelectFn production_selector(bool reduction) {
    return reduction ? select_pair_max_reduction : select_pair_max_violation;
}

int64_t literal_selector(bool reduction, const Matrices& m, double* out) {
    return reference::select(
        reduction ? reference::Rule::max_reduction : reference::Rule::max_violation, m.A.data(),
        m.B.data(), m.n_cols, m.n_rows, m.n_trials, out);
}

constexpr unsigned CHECKED_SEEDS = 20;

// Identical outputs on the benchmark's data, and identical generator
// positions; records the selectors' mean draws per call for their floor.
bool check_outputs(const std::vector<std::shared_ptr<Subproblem>>& solver_data,
                   std::vector<Matrices>& selector_data) {
    bool ok = true;
    for (const auto& shared : solver_data) {
        const Subproblem& p = *shared;
        const int32_t n = static_cast<int32_t>(p.z1.size());
        double got[4], want[4];
        solve_orthogonal_2x2(p.Q, p.G, p.lambda, p.z1.data(), p.z2.data(), n, got);
        reference::solve(p.Q, p.G, p.lambda, p.z1.data(), p.z2.data(), n, want);
        for (int i = 0; i < 4; ++i) {
            if (bits(got[i]) != bits(want[i])) {
                std::printf("MISMATCH brevak r=%d entry %d\n", n, i);
                ok = false;
            }
        }
        if (p.roots.empty()) {  // the floor would be empty: the wrap did not take
            std::printf("NO ROOT CALLS RECORDED for brevak r=%d\n", n);
            ok = false;
        }
    }
    for (Matrices& m : selector_data) {
        for (bool reduction : {false, true}) {
            int64_t draws = 0;
            for (unsigned seed = 1; seed <= CHECKED_SEEDS; ++seed) {
                double got[2], want[2];
                std::srand(seed);
                production_selector(reduction)(m.A.data(), m.B.data(), m.n_cols, m.n_rows,
                                               m.n_trials, got);
                const int after_got = std::rand();
                std::srand(seed);
                draws += literal_selector(reduction, m, want);
                const int after_want = std::rand();
                if (bits(got[0]) != bits(want[0]) || bits(got[1]) != bits(want[1]) ||
                    after_got != after_want) {
                    std::printf("MISMATCH %s n_rows=%d n_cols=%d seed=%u\n",
                                reduction ? "zandrel" : "tolmiv", m.n_rows, m.n_cols, seed);
                    ok = false;
                }
            }
            m.draws = (draws + CHECKED_SEEDS / 2) / CHECKED_SEEDS;
        }
    }
    return ok;
}

const char* const VARIANTS[] = {"literal", "production", "floor"};

// Each case runs this often, its three variants one after the other, and the
// table takes the fastest repetition of each.
constexpr int REPETITIONS = 5;

// Collects the CPU time per call of every run, for the table.
class TableReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        std::vector<Run> medians;  // what the console shows of each case
        for (const Run& run : runs) {
            if (run.run_type == Run::RT_Aggregate && run.aggregate_name == "median") {
                medians.push_back(run);
            }
        }
        if (!medians.empty()) ConsoleReporter::ReportRuns(medians);
        for (const Run& run : runs) {
            if (run.run_type != Run::RT_Iteration || run.iterations == 0) continue;
            std::string name = run.benchmark_name();
            const auto options = name.find("/min_time");
            if (options != std::string::npos) name.erase(options);
            // The least of the repetitions: the others lost time to the
            // machine's other work, which only ever adds.
            const double t = run.cpu_accumulated_time / static_cast<double>(run.iterations);
            const auto it = seconds_.find(name);
            if (it == seconds_.end() || t < it->second) seconds_[name] = t;
        }
    }

    void print_table(const std::vector<std::string>& cases) const {
        std::printf("\n%-38s %13s %13s %13s %9s %9s\n", "case", "literal", "production", "floor",
                    "speed-up", "/floor");
        for (const std::string& label : cases) {
            double t[3];
            bool complete = true;
            for (int v = 0; v < 3; ++v) {
                const auto it = seconds_.find(label + "/" + VARIANTS[v]);
                complete = complete && it != seconds_.end();
                t[v] = complete ? it->second : 0.0;
            }
            if (!complete) continue;
            const double above_floor = t[1] / t[2];
            std::printf("%-38s %10.2f us %10.2f us %10.2f us %8.1fx %8.*fx\n", label.c_str(),
                        t[0] * 1e6, t[1] * 1e6, t[2] * 1e6, t[0] / t[1],
                        above_floor < 100.0 ? 2 : 0, above_floor);
        }
        std::printf("\nCPU time per call, the least of %d repetitions; speed-up = literal / "
                    "production; /floor = production / floor.\n", REPETITIONS);
    }

private:
    std::map<std::string, double> seconds_;
};

std::string solver_label(int32_t n) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "brevak/r=%d", n);
    return buf;
}

std::string selector_label(bool reduction, const Matrices& m) {
    char buf[96];
    std::snprintf(buf, sizeof buf, "%s/rows=%d,cols=%d,trials=%d", reduction ? "zandrel" : "tolmiv",
                  m.n_rows, m.n_cols, m.n_trials);
    return buf;
}

// Registers every case in table order; returns the labels.
std::vector<std::string> register_benchmarks(const std::vector<std::shared_ptr<Subproblem>>& solver_data,
                                             const std::vector<std::shared_ptr<Matrices>>& selector_data) {
    std::vector<std::string> labels;
    for (const auto& p : solver_data) {
        const int32_t n = static_cast<int32_t>(p->z1.size());
        const std::string label = solver_label(n);
        labels.push_back(label);
        const double min_time = n >= 2000 ? 0.5 : 0.05;
        for (int v = 0; v < 3; ++v) {
            const std::string name = label + "/" + VARIANTS[v];
            benchmark::RegisterBenchmark(name.c_str(), [p, n, v](benchmark::State& state) {
                double V[4];
                for (auto _ : state) {
                    if (v == 0) {
                        reference::solve(p->Q, p->G, p->lambda, p->z1.data(), p->z2.data(), n, V);
                    } else if (v == 1) {
                        solve_orthogonal_2x2(p->Q, p->G, p->lambda, p->z1.data(), p->z2.data(), n, V);
                    } else {
                        for (const Quartic& q : p->roots) {
                            double roots[4];
                            benchmark::DoNotOptimize(
                                polynomial_real_roots(q[0], q[1], q[2], q[3], q[4], roots));
                            benchmark::DoNotOptimize(roots);
                        }
                    }
                    benchmark::DoNotOptimize(V);
                }
            })->Unit(benchmark::kMicrosecond)->MinTime(min_time)->Repetitions(REPETITIONS);
        }
    }
    for (bool reduction : {false, true}) {
        for (const auto& m : selector_data) {
            const std::string label = selector_label(reduction, *m);
            labels.push_back(label);
            for (int v = 0; v < 3; ++v) {
                const std::string name = label + "/" + VARIANTS[v];
                benchmark::RegisterBenchmark(name.c_str(), [m, reduction, v](benchmark::State& state) {
                    double out[2] = {0.0, 0.0};
                    std::srand(1);
                    for (auto _ : state) {
                        if (v == 0) {
                            literal_selector(reduction, *m, out);
                        } else if (v == 1) {
                            production_selector(reduction)(m->A.data(), m->B.data(), m->n_cols,
                                                           m->n_rows, m->n_trials, out);
                        } else {
                            for (int64_t k = 0; k < m->draws; ++k) benchmark::DoNotOptimize(std::rand());
                        }
                        benchmark::DoNotOptimize(out);
                    }
                })->Unit(benchmark::kMicrosecond)->MinTime(0.05)->Repetitions(REPETITIONS);
            }
        }
    }
    return labels;
}

}  // namespace

int main(int argc, char** argv) {
    const bool check_only = argc > 1 && std::strcmp(argv[1], "--check-only") == 0;

    std::vector<std::shared_ptr<Subproblem>> solver_data;
    for (int32_t n : SOLVER_SIZES) {
        solver_data.push_back(std::make_shared<Subproblem>(make_subproblem(n, 1000 + n)));
    }
    std::vector<Matrices> selectors;
    for (const auto& s : SELECTOR_SHAPES) selectors.push_back(make_matrices(s[0], s[1], s[2], 7));

    const bool ok = check_outputs(solver_data, selectors);
    std::printf("outputs identical on the benchmark data: %s\n", ok ? "yes" : "NO");
    if (!ok) return 1;
    if (check_only) return 0;

    std::vector<std::shared_ptr<Matrices>> selector_data;
    for (Matrices& m : selectors) selector_data.push_back(std::make_shared<Matrices>(std::move(m)));
    const std::vector<std::string> labels = register_benchmarks(solver_data, selector_data);
    // Repetitions of all cases in random order, so that a slow spell of the
    // machine does not fall on one variant of a case only.
    std::vector<char*> args(argv, argv + argc);
    char interleave[] = "--benchmark_enable_random_interleaving=true";
    args.insert(args.begin() + 1, interleave);
    int n_args = static_cast<int>(args.size());
    benchmark::Initialize(&n_args, args.data());
    TableReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    reporter.print_table(labels);
    benchmark::Shutdown();
    return 0;
}
