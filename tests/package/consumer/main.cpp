// Calls the installed libraries on cases whose answers are known (exactly
// for the kernels, to the solver's tolerance for the solver, solver.cpp);
// exits with 1 when one differs.
#include <cstdio>

#include "orthogonal_2x2.h"
#include "pair_select.h"

bool check_solver();

namespace {

bool same(const double* got, const double* want, int count, const char* what) {
    for (int k = 0; k < count; ++k) {
        if (got[k] != want[k]) {
            std::printf("%s: element %d is %.17g, expected %.17g\n", what, k, got[k], want[k]);
            return false;
        }
    }
    return true;
}

}  // namespace

int main() {
    const double Q[16] = {};
    const double z[1] = {0.0};
    double V[4];
    bool ok = true;

    // <G, V> = -trace(V) is lowest at the identity.
    const double minus_identity[4] = {-1.0, 0.0, 0.0, -1.0};
    const double identity[4] = {1.0, 0.0, 0.0, 1.0};
    solve_orthogonal_2x2(Q, minus_identity, 0.0, z, z, 0, V);
    ok = same(V, identity, 4, "solve_orthogonal_2x2, G = -I") && ok;

    // <G, V> = V(2,1) - V(1,2) is -2 at the quarter turn [0 1; -1 0]
    // (column-major: 0, -1, 1, 0) and 0 on every reflection.
    const double skew[4] = {0.0, 1.0, -1.0, 0.0};
    const double quarter_turn[4] = {0.0, -1.0, 1.0, 0.0};
    solve_orthogonal_2x2(Q, skew, 0.0, z, z, 0, V);
    ok = same(V, quarter_turn, 4, "solve_orthogonal_2x2, quarter turn") && ok;

    // A single column has no pair to score: the result is [1; 2].
    const double column[1] = {1.0};
    const double no_pair[2] = {1.0, 2.0};
    double pair[2];
    select_pair_max_violation(column, column, 1, 1, 10, pair);
    ok = same(pair, no_pair, 2, "select_pair_max_violation, one column") && ok;
    select_pair_max_reduction(column, column, 1, 1, 10, pair);
    ok = same(pair, no_pair, 2, "select_pair_max_reduction, one column") && ok;

    ok = check_solver() && ok;

    std::printf(ok ? "consumer: PASSED\n" : "consumer: FAILED\n");
    return ok ? 0 : 1;
}
