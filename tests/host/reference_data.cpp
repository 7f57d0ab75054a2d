// Writes inputs and the C++ kernels' outputs for the host tests, which feed
// the same inputs to the MEX-files and compare the results bit for bit.
//
// Usage: host_reference_data <output file>
//
// The file is text. A case starts with "case <function> <label>", lists
// named double arrays as "<name> <count> <hex of each double's bits>" and
// ends with "end". brevak cases hold Q, G, lambda, z1, z2, n, the result V
// and the objective f the solver reports for it (cases with a NaN or infinity
// among the values read are there for the gateway to refuse). Selector cases
// hold A, B, n_cols, n_rows, n_trials, the srand seed, the number of calls
// made one after another from that seed, their results (2 per call) and the
// next value of rand() after the last call.

#include "orthogonal_2x2.h"
#include "pair_select.h"

#include <cinttypes>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <vector>

namespace {

using Vec = std::vector<double>;

const double nan_value = std::numeric_limits<double>::quiet_NaN();
const double inf_value = std::numeric_limits<double>::infinity();

class Writer {
public:
    explicit Writer(std::FILE* file) : file_(file) {}

    void begin(const char* function, const std::string& label)
    {
        std::fprintf(file_, "case %s %s\n", function, label.c_str());
    }
    void array(const char* name, const Vec& values)
    {
        std::fprintf(file_, "%s %zu", name, values.size());
        for (double v : values) {
            uint64_t bits;
            std::memcpy(&bits, &v, sizeof bits);
            std::fprintf(file_, " %016" PRIx64, bits);
        }
        std::fputc('\n', file_);
    }
    void end() { std::fputs("end\n", file_); }

private:
    std::FILE* file_;
};

std::mt19937_64 generator(20240607);

double normal(double scale = 1.0)
{
    return std::normal_distribution<double>(0.0, scale)(generator);
}

int uniform_int(int lo, int hi)
{
    return std::uniform_int_distribution<int>(lo, hi)(generator);
}

Vec normals(size_t count, double scale = 1.0)
{
    Vec v(count);
    for (double& x : v) x = normal(scale);
    return v;
}

void brevak_case(Writer& out, const std::string& label, const Vec& Q, const Vec& G,
                 double lambda, const Vec& z1, const Vec& z2, int32_t n)
{
    Vec V(4);
    double f = 0.0;
    solve_orthogonal_2x2(Q.data(), G.data(), lambda, z1.data(), z2.data(), n, V.data(), &f);
    out.begin("brevak", label);
    out.array("Q", Q);
    out.array("G", G);
    out.array("lambda", {lambda});
    out.array("z1", z1);
    out.array("z2", z2);
    out.array("n", {static_cast<double>(n)});
    out.array("V", V);
    out.array("f", {f});
    out.end();
}

Vec symmetric_q(double scale)
{
    Vec Q(16);
    for (int c = 0; c < 4; ++c) {
        for (int r = 0; r <= c; ++r) {
            Q[r + 4 * c] = Q[c + 4 * r] = normal(scale);
        }
    }
    return Q;
}

void brevak_cases(Writer& out)
{
    const int32_t counts[] = {0, 1, 2, 3, 5, 8, 17, 64, 300};
    const double scales[] = {1.0, 1e-3, 1e3};
    int index = 0;
    for (int32_t n : counts) {
        for (double scale : scales) {
            for (int variant = 0; variant < 4; ++variant) {
                const Vec Q = symmetric_q(scale);
                const Vec G = normals(4, scale);
                const double lambda = variant == 0   ? 0.0
                                      : variant == 1 ? -0.5 * std::fabs(normal())
                                                     : std::fabs(normal(2.0));
                // Some zero pairs and some pairs with one negligible component.
                Vec z1 = normals(static_cast<size_t>(n) + 2);
                Vec z2 = normals(static_cast<size_t>(n) + 2);
                for (int32_t k = 0; k < n; ++k) {
                    const int pick = uniform_int(0, 9);
                    if (pick == 0) z1[k] = z2[k] = 0.0;
                    if (pick == 1) z1[k] = 1e-300;
                    if (pick == 2) z2[k] = -0.0;
                }
                brevak_case(out, "random-" + std::to_string(index++), Q, G, lambda, z1, z2, n);
            }
        }
    }

    // A Q that is not symmetric: only its diagonal and upper triangle count.
    for (int i = 0; i < 6; ++i) {
        brevak_case(out, "unsymmetric-" + std::to_string(i), normals(16), normals(4),
                    std::fabs(normal()), normals(7), normals(7), 7);
    }

    // Special values in the pairs.
    const Vec special1 = {1.0, 0.0, 1e-300, 2.2204e-16, nan_value, nan_value, 0.0, -0.0, 3.0, -inf_value};
    const Vec special2 = {2.0, 0.0, 0.0,    0.0,        0.0,       1.0,       -inf_value, -0.0, 4.0, 1.0};
    brevak_case(out, "special-pairs", symmetric_q(1.0), normals(4), 0.7, special1, special2, 10);
    brevak_case(out, "special-pairs-no-lambda", symmetric_q(1.0), normals(4), 0.0, special1, special2, 10);
    const Vec finite1 = {1.0, 0.0, 1e-300, 2.2204e-16, std::nextafter(2.2204e-16, 1.0), 0.0, -0.0, 3.0, 1e300};
    const Vec finite2 = {2.0, 0.0, 0.0,    0.0,        0.0,                            1.0, -0.0, 4.0, -1.0};
    brevak_case(out, "finite-special-pairs", symmetric_q(1.0), normals(4), 0.7, finite1, finite2, 9);
    brevak_case(out, "nan-below-diagonal", {1, nan_value, nan_value, nan_value, 0, 2, nan_value,
                nan_value, 0.5, 0, 3, nan_value, 0, 0.25, 0, 1}, normals(4), 0.3, normals(3),
                normals(3), 3);
    brevak_case(out, "all-negligible", symmetric_q(1.0), normals(4), 1.0,
                {1e-300, 0.0, -2e-16}, {0.0, -1e-310, 2.2204e-16}, 3);
    brevak_case(out, "nan-in-q", {nan_value, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1},
                normals(4), 0.3, normals(3), normals(3), 3);
    brevak_case(out, "huge-lambda", symmetric_q(1.0), normals(4), 1e300, normals(4), normals(4), 4);
    brevak_case(out, "many-pairs", symmetric_q(1.0), normals(4), 0.25, normals(5000), normals(5000),
                5000);
}

using Select = void (*)(const double*, const double*, int32_t, int32_t, int32_t, double*);

struct Selector {
    const char* name;
    Select entry;
};

const Selector selectors[] = {{"tolmiv", select_pair_max_violation},
                              {"zandrel", select_pair_max_reduction}};

void selector_case(Writer& out, const std::string& label, const Vec& A, const Vec& B,
                   int32_t n_cols, int32_t n_rows, int32_t n_trials, int calls)
{
    const unsigned seed = static_cast<unsigned>(uniform_int(0, 2147483647));
    for (const Selector& selector : selectors) {
        std::srand(seed);
        Vec results;
        for (int c = 0; c < calls; ++c) {
            double pair[2];
            selector.entry(A.data(), B.data(), n_cols, n_rows, n_trials, pair);
            results.push_back(pair[0]);
            results.push_back(pair[1]);
        }
        const double next = std::rand();
        out.begin(selector.name, label);
        out.array("A", A);
        out.array("B", B);
        out.array("n_cols", {static_cast<double>(n_cols)});
        out.array("n_rows", {static_cast<double>(n_rows)});
        out.array("n_trials", {static_cast<double>(n_trials)});
        out.array("seed", {static_cast<double>(seed)});
        out.array("calls", {static_cast<double>(calls)});
        out.array("out", results);
        out.array("next", {next});
        out.end();
    }
}

void selector_cases(Writer& out)
{
    const int32_t col_counts[] = {2, 3, 5, 12, 60};
    const int32_t row_counts[] = {1, 3, 20};
    int index = 0;
    for (int32_t n_cols : col_counts) {
        for (int32_t n_rows : row_counts) {
            const size_t size = static_cast<size_t>(n_cols) * static_cast<size_t>(n_rows);
            const int32_t trials[] = {1, n_cols / 2 + 1, n_cols, 3 * n_cols + 7};
            for (int32_t n_trials : trials) {
                selector_case(out, "random-" + std::to_string(index++), normals(size), normals(size),
                              n_cols, n_rows, n_trials, uniform_int(1, 3));
            }
        }
    }

    Vec A = normals(40), B = normals(40);
    A[4 * 3 + 1] = nan_value;  // column 3 of a 4-by-10 matrix
    selector_case(out, "nan-column", A, B, 10, 4, 10, 3);
    Vec C = normals(40);
    C[4 * 5] = inf_value;
    selector_case(out, "infinite-entry", C, normals(40), 10, 4, 10, 2);
    Vec D = normals(40);
    D[4 * 7 + 2] = 1e200;  // squares overflow in the reduction score
    selector_case(out, "overflowing-squares", D, normals(40, 1e200), 10, 4, 10, 2);
    const Vec same = normals(30);
    selector_case(out, "a-equals-b", same, same, 6, 5, 6, 2);
    selector_case(out, "all-nan", Vec(12, nan_value), normals(12), 4, 3, 4, 1);
    selector_case(out, "no-rows", Vec(), Vec(), 7, 0, 7, 2);
    selector_case(out, "one-column", normals(3), normals(3), 1, 3, 5, 2);
    selector_case(out, "no-trials", normals(12), normals(12), 4, 3, 0, 2);
    selector_case(out, "two-columns", normals(6), normals(6), 2, 3, 5, 3);
    selector_case(out, "wide", normals(40000), normals(40000), 40000, 1, 200, 2);
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <output file>\n", argv[0]);
        return 2;
    }
    std::FILE* file = std::fopen(argv[1], "w");
    if (!file) {
        std::perror(argv[1]);
        return 1;
    }
    Writer out(file);
    brevak_cases(out);
    selector_cases(out);
    if (std::fclose(file) != 0) {
        std::perror(argv[1]);
        return 1;
    }
    return 0;
}
