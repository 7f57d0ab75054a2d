// The 2×2 solver's scratch heap: every allocation of a call goes through
// the heap the caller names and comes back to it, also when one of them
// fails; a failed call throws and leaves V and the objective untouched; and
// the heap never changes a bit of the result. Also the objective the solver
// reports with V.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>
#include <random>
#include <stdexcept>
#include <vector>

#include "circle_search.h"
#include "orthogonal_2x2.h"

namespace {

// A heap that counts its blocks and fails its fail_at-th allocation.
struct CountingHeap {
    long fail_at = 0;  // 0: never
    bool throw_instead = false;
    long allocations = 0;
    long outstanding = 0;

    static void* allocate(void* context, std::size_t bytes) {
        CountingHeap& heap = *static_cast<CountingHeap*>(context);
        if (++heap.allocations == heap.fail_at) {
            if (heap.throw_instead) throw std::runtime_error("injected");
            return nullptr;
        }
        void* block = std::malloc(bytes);
        if (block != nullptr) ++heap.outstanding;
        return block;
    }
    static void release(void* context, void* block) {
        CountingHeap& heap = *static_cast<CountingHeap*>(context);
        if (block != nullptr) --heap.outstanding;
        std::free(block);
    }
    ScratchHeap heap() { return ScratchHeap{allocate, release, this}; }
};

uint64_t bits(double x) {
    uint64_t b;
    std::memcpy(&b, &x, sizeof b);
    return b;
}

struct Problem {
    std::vector<double> Q, G, z1, z2;
    double lambda = 0.0;
    int32_t n = 0;
};

Problem random_problem(std::mt19937_64& rng, int32_t n) {
    std::normal_distribution<double> normal;
    Problem p;
    p.Q.resize(16);
    for (int c = 0; c < 4; ++c) {
        for (int r = 0; r <= c; ++r) p.Q[r + 4 * c] = p.Q[c + 4 * r] = normal(rng);
    }
    p.G = {normal(rng), normal(rng), normal(rng), normal(rng)};
    p.lambda = std::fabs(normal(rng));
    p.n = n;
    for (int32_t k = 0; k < n; ++k) {
        p.z1.push_back(normal(rng));
        p.z2.push_back(normal(rng));
    }
    p.z1.push_back(0.0);  // never empty
    p.z2.push_back(0.0);
    return p;
}

TEST(ScratchHeap, EveryAllocationFailingInTurnIsReportedAndReturnsAllBlocks) {
    std::mt19937_64 rng(11);
    for (const int32_t n : {0, 1, 7}) {
        const Problem p = random_problem(rng, n);
        double want_V[4], want_f = 0.0;
        solve_orthogonal_2x2(p.Q.data(), p.G.data(), p.lambda, p.z1.data(), p.z2.data(), n,
                             want_V, &want_f);

        CountingHeap all;
        const ScratchHeap all_heap = all.heap();
        double V[4], f = 0.0;
        solve_orthogonal_2x2(p.Q.data(), p.G.data(), p.lambda, p.z1.data(), p.z2.data(), n, V,
                             &f, all_heap);
        ASSERT_GT(all.allocations, 0);
        EXPECT_EQ(all.outstanding, 0);
        for (int k = 0; k < 4; ++k) EXPECT_EQ(bits(V[k]), bits(want_V[k]));
        EXPECT_EQ(bits(f), bits(want_f));

        for (const bool throw_instead : {false, true}) {
            for (long fail_at = 1; fail_at <= all.allocations; ++fail_at) {
                CountingHeap failing;
                failing.fail_at = fail_at;
                failing.throw_instead = throw_instead;
                const ScratchHeap heap = failing.heap();
                double untouched[4] = {7.0, 7.0, 7.0, 7.0};
                double value = 7.0;
                if (throw_instead) {
                    EXPECT_THROW(solve_orthogonal_2x2(p.Q.data(), p.G.data(), p.lambda,
                                                      p.z1.data(), p.z2.data(), n, untouched,
                                                      &value, heap),
                                 std::runtime_error);
                } else {
                    EXPECT_THROW(solve_orthogonal_2x2(p.Q.data(), p.G.data(), p.lambda,
                                                      p.z1.data(), p.z2.data(), n, untouched,
                                                      &value, heap),
                                 std::bad_alloc);
                }
                EXPECT_EQ(failing.outstanding, 0) << "n = " << n << ", allocation " << fail_at;
                EXPECT_EQ(failing.allocations, fail_at);
                for (const double v : untouched) EXPECT_EQ(v, 7.0);
                EXPECT_EQ(value, 7.0);
            }
        }
    }
}

// The reported objective is the chosen family's search value, which is the
// objective at V; without the out-parameter V is the same.
TEST(ObjectiveOutput, IsTheObjectiveAtVAndLeavesVUnchanged) {
    std::mt19937_64 rng(12);
    for (int trial = 0; trial < 300; ++trial) {
        const int32_t n = trial % 13;
        const Problem p = random_problem(rng, n);
        double V[4], W[4], f = 0.0;
        solve_orthogonal_2x2(p.Q.data(), p.G.data(), p.lambda, p.z1.data(), p.z2.data(), n, V,
                             &f);
        solve_orthogonal_2x2(p.Q.data(), p.G.data(), p.lambda, p.z1.data(), p.z2.data(), n, W);
        for (int k = 0; k < 4; ++k) ASSERT_EQ(bits(V[k]), bits(W[k]));

        // The objective at V, written out: ½·vᵀQv + ⟨G, V⟩ + λ·‖V·Z‖₁.
        double quad = 0.0, scale = 0.0;
        for (int i = 0; i < 4; ++i) {
            for (int j = 0; j < 4; ++j) {
                quad += 0.5 * V[i] * p.Q[i + 4 * j] * V[j];
                scale += 0.5 * std::fabs(p.Q[i + 4 * j]);
            }
        }
        double lin = 0.0, l1 = 0.0;
        for (int k = 0; k < 4; ++k) {
            lin += p.G[k] * V[k];
            scale += std::fabs(p.G[k]);
        }
        for (int32_t k = 0; k < n; ++k) {
            l1 += std::fabs(V[0] * p.z1[k] + V[2] * p.z2[k]) +
                  std::fabs(V[1] * p.z1[k] + V[3] * p.z2[k]);
            scale += 2.0 * p.lambda * (std::fabs(p.z1[k]) + std::fabs(p.z2[k]));
        }
        const double objective = quad + lin + p.lambda * l1;
        ASSERT_NEAR(f, objective, 64 * 2.220446049250313e-16 * scale) << "trial " << trial;
    }
}

// With nothing that can score below SENTINEL the search reports SENTINEL,
// and so does the solver.
TEST(ObjectiveOutput, IsSentinelWhenNothingScoresBelowIt) {
    const double Q[16] = {1e101, 0, 0, 0, 0, 1e101, 0, 0, 0, 0, 1e101, 0, 0, 0, 0, 1e101};
    const double G[4] = {0, 0, 0, 0};
    const double z[1] = {0.0};
    double V[4], f = 0.0;
    solve_orthogonal_2x2(Q, G, 0.0, z, z, 0, V, &f);
    EXPECT_EQ(f, 1e100);
}

}  // namespace
