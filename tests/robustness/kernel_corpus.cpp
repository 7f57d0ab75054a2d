// Writes the results of every public kernel entry on a fixed corpus of
// generated inputs, as raw bits, to the file named by the first argument.
// compare_builds.sh builds this with each compiler and optimisation level and
// requires identical files: the kernels fix the order of every floating-point
// operation, so nothing the compiler may legally do changes a single bit.
//
// The corpus mixes ordinary values with the awkward ones (signed zeros, the
// negligibility threshold, NaN, infinities, huge slopes) and with coarse
// values that make breakpoints repeat and candidates tie.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <vector>

#include "circle_search.h"
#include "orthogonal_2x2.h"
#include "pair_select.h"
#include "polynomial_roots.h"
#include "test_data.h"

namespace {

class Sink {
public:
    explicit Sink(const char* path) : file_(std::fopen(path, "wb")) {
        if (!file_) {
            std::perror(path);
            std::exit(2);
        }
    }
    ~Sink() { std::fclose(file_); }
    // A NaN's sign and payload are not part of any result: which operand's
    // NaN an operation passes on, and the sign of a NaN it creates, are the
    // hardware's and the compiler's (operands of + and · may be swapped). So
    // every NaN is written as one value; everything else bit for bit.
    void put(double x) { put(x != x ? uint64_t{0x7ff8'0000'0000'0000} : testdata::bits(x)); }
    void put(int64_t v) { put(static_cast<uint64_t>(v)); }
    void put(int32_t v) { put(static_cast<uint64_t>(static_cast<int64_t>(v))); }
    void put(uint64_t v) { std::fwrite(&v, sizeof v, 1, file_); }

private:
    std::FILE* file_;
};

std::vector<double> coarse(std::mt19937_64& rng, size_t n) {
    std::vector<double> v(n);
    for (auto& x : v) x = static_cast<double>(static_cast<int>(rng() % 5) - 2) * 0.5;
    return v;
}

void roots(std::mt19937_64& rng, Sink& out) {
    for (int trial = 0; trial < 20000; ++trial) {
        double c[5];
        for (double& x : c) x = testdata::value(rng, trial % 4 == 0 ? 0.5 : 0.1);
        if (trial % 3 == 0) c[0] = 0.0;
        if (trial % 9 == 0) c[1] = 0.0;
        double r[4] = {};
        const int32_t n = polynomial_real_roots(c[0], c[1], c[2], c[3], c[4], r);
        out.put(n);
        for (int32_t i = 0; i < n; ++i) out.put(r[i]);

        double v[3] = {};
        out.put(cubic_roots(v, c[1], c[2], c[3]));
        for (double x : v) out.put(x);
        double q[4] = {};
        const int32_t m = quartic_roots(c[1], c[2], c[3], c[4], q);
        out.put(m);
        for (int32_t i = 0; i < m; ++i) out.put(q[i]);
    }
}

void circle(std::mt19937_64& rng, Sink& out) {
    for (int trial = 0; trial < 1500; ++trial) {
        const size_t terms = rng() % 25;
        const double special = trial % 5 == 0 ? 0.3 : 0.05;
        const std::vector<double> cc =
            trial % 3 == 0 ? coarse(rng, terms) : testdata::values(rng, terms, special);
        const std::vector<double> cs =
            trial % 3 == 0 ? coarse(rng, terms) : testdata::values(rng, terms, special);
        CircleProblem p;
        p.lin_c = testdata::value(rng, special);
        p.lin_s = testdata::value(rng, special);
        p.quad_cc = testdata::value(rng, special);
        p.quad_cs = testdata::value(rng, special);
        p.quad_ss = testdata::value(rng, special);
        p.lambda = testdata::value(rng, special);
        p.coef_c = cc.data();
        p.coef_s = cs.data();
        p.term_count = static_cast<int32_t>(terms);
        const CircleResult r = search_circle(p);
        out.put(r.c);
        out.put(r.s);
        out.put(r.value);
        const double c = testdata::value(rng, special);
        const double s = testdata::value(rng, special);
        out.put(circle_objective(c, s, p));

        std::vector<double> m = testdata::values(rng, terms, special);
        sort_ascending(m.data(), static_cast<int32_t>(m.size()));
        for (double x : m) out.put(x);
    }
}

void subproblems(std::mt19937_64& rng, Sink& out) {
    for (int trial = 0; trial < 1500; ++trial) {
        const int32_t n = static_cast<int32_t>(rng() % 13) - (trial % 50 == 0 ? 3 : 0);
        testdata::Subproblem p = testdata::subproblem(rng, n, trial % 4 == 0 ? 0.3 : 0.05);
        if (trial % 3 == 0) {
            p.z1 = coarse(rng, p.z1.size());
            p.z2 = coarse(rng, p.z2.size());
        }
        double V[4] = {};
        solve_orthogonal_2x2(p.Q.data(), p.G.data(), p.lambda, p.z1.data(), p.z2.data(), p.n, V);
        for (double x : V) out.put(x);
    }
}

void pairs(std::mt19937_64& rng, Sink& out) {
    for (int trial = 0; trial < 2000; ++trial) {
        const size_t n = rng() % 40;
        const std::vector<double> x = testdata::values(rng, n, 0.1);
        const std::vector<double> y = testdata::values(rng, n, 0.1);
        out.put(max_reduction_score(chosen_pair_lanes(), x.data(), y.data(), y.data(), x.data(),
                                    static_cast<int64_t>(n)));
    }
    std::srand(1);
    for (int trial = 0; trial < 2000; ++trial) {
        const int32_t n_cols = static_cast<int32_t>(rng() % 40) - 2;
        const int32_t n_rows = static_cast<int32_t>(rng() % 9) - 1;
        const int32_t n_trials = static_cast<int32_t>(rng() % 60) - 2;
        const size_t size = n_cols > 0 && n_rows > 0 ? size_t(n_cols) * size_t(n_rows) : 0;
        const std::vector<double> A = trial % 4 == 0 ? coarse(rng, size)
                                                     : testdata::values(rng, size, 0.05);
        const std::vector<double> B = testdata::values(rng, size, 0.05);
        double r[2];
        if (trial % 2 == 0) {
            select_pair_max_violation(A.data(), B.data(), n_cols, n_rows, n_trials, r);
        } else {
            select_pair_max_reduction(A.data(), B.data(), n_cols, n_rows, n_trials, r);
        }
        out.put(r[0]);
        out.put(r[1]);
    }
    out.put(int64_t{std::rand()});  // where the selectors left the generator
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUTPUT\n", argv[0]);
        return 2;
    }
    Sink out(argv[1]);
    std::mt19937_64 rng(7);
    roots(rng, out);
    circle(rng, out);
    subproblems(rng, out);
    pairs(rng, out);
    return 0;
}
