// Every lane path of the circle search, taken by name, against the literal
// reference bit for bit; the kernels themselves against plain per-lane sums;
// and the once-per-process choice of path. A path this build or processor
// lacks is skipped (AVX-512 on most test machines; "vector512" runs the
// AVX-512 lane source on any processor).

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "circle_lanes.h"
#include "circle_search.h"
#include "common/constants.h"
#include "lane_forms.h"
#include "reference_subproblem.h"
#include "test_data.h"

namespace {

using circle_lanes::LANE_BLOCK;
using testdata::bits;

struct Data {
    std::vector<double> cc, cs;
    double f[6] = {0, 0, 0, 0, 0, 0};  // lin_c, lin_s, quad_cc, quad_cs, quad_ss, lambda
};

::testing::AssertionResult same_as_reference(const Data& d, const circle_lanes::Kernels& lanes) {
    CircleProblem p;
    p.lin_c = d.f[0];
    p.lin_s = d.f[1];
    p.quad_cc = d.f[2];
    p.quad_cs = d.f[3];
    p.quad_ss = d.f[4];
    p.lambda = d.f[5];
    p.coef_c = d.cc.data();
    p.coef_s = d.cs.data();
    p.term_count = static_cast<int32_t>(d.cc.size());
    const reference::Problem rp{d.f[0], d.f[1], d.f[2], d.f[3], d.f[4],
                                d.f[5], d.cc.data(), d.cs.data(), p.term_count};
    const reference::Result want = reference::search(rp);
    const CircleResult got = circle_lanes::search_with(p, lanes);
    if (bits(got.c) == bits(want.c) && bits(got.s) == bits(want.s) &&
        bits(got.value) == bits(want.value)) {
        return ::testing::AssertionSuccess();
    }
    return ::testing::AssertionFailure()
           << "got (" << got.c << ", " << got.s << ", " << got.value << "), literal ("
           << want.c << ", " << want.s << ", " << want.value << ")";
}

class LanePath : public ::testing::TestWithParam<std::string> {
protected:
    void SetUp() override {
        lanes_ = lane_forms::find(GetParam());
        if (lanes_ == nullptr) GTEST_SKIP() << GetParam() << " is not available here";
    }
    const circle_lanes::Kernels* lanes_ = nullptr;
};

TEST_P(LanePath, SearchMatchesTheLiteralOneOnOrdinaryAndAwkwardData) {
    std::mt19937_64 rng(2024);
    for (int trial = 0; trial < 2000; ++trial) {
        const size_t terms = rng() % 40;
        const double special = (trial % 3 == 0) ? 0.0 : (trial % 3 == 1 ? 0.05 : 0.3);
        Data d;
        if (trial % 4 == 0) {  // few distinct values: repeated breakpoints, ties
            for (size_t k = 0; k < terms; ++k) {
                d.cc.push_back(static_cast<double>(static_cast<int>(rng() % 5) - 2) * 0.5);
                d.cs.push_back(static_cast<double>(static_cast<int>(rng() % 5) - 2) * 0.5);
            }
        } else {
            d.cc = testdata::values(rng, terms, special);
            d.cs = testdata::values(rng, terms, special);
        }
        for (double& x : d.f) x = testdata::value(rng, special);
        ASSERT_TRUE(same_as_reference(d, *lanes_)) << "trial " << trial;
    }
}

TEST_P(LanePath, SearchMatchesTheLiteralOneAtLargerTermCounts) {
    std::mt19937_64 rng(78);
    for (int trial = 0; trial < 12; ++trial) {
        const size_t terms = 100 + rng() % 300;
        Data d;
        d.cc = testdata::values(rng, terms, trial % 2 ? 0.02 : 0.0);
        d.cs = testdata::values(rng, terms, trial % 2 ? 0.02 : 0.0);
        for (double& x : d.f) x = testdata::value(rng, 0.0);
        d.f[5] = std::fabs(d.f[5]);
        ASSERT_TRUE(same_as_reference(d, *lanes_)) << "trial " << trial;
    }
}

// A term whose s-coefficient is negligible has no breakpoint, so nothing
// stops its linear form from vanishing inside an interval, and exactly at the
// interval's mid when coef_c = −(coef_s·mid). Its sign there is 0 and it must
// add nothing to that interval's sign sums; the fast sign sums for finite data
// cannot see a zero and must hand such a block back. The breakpoints are
// scaled so that the mids, and with them coef_c, are not all tiny.
TEST_P(LanePath, TermWithoutBreakpointVanishingAtAnIntervalMid) {
    std::mt19937_64 rng(31337);
    std::normal_distribution<double> normal(0.0, 1.0);
    const double slopes[] = {1.0, 1e-4, 1e-8, 1e-12, 1e-15};
    const double negligible[] = {DEGENERACY_EPS, -DEGENERACY_EPS, std::ldexp(1.0, -53),
                                 -std::ldexp(1.0, -60), 1e-17, -3e-17,
                                 std::nextafter(DEGENERACY_EPS, 0.0)};
    for (int trial = 0; trial < 3000; ++trial) {
        Data d;
        const size_t terms = 1 + rng() % 24;
        const double scale = slopes[rng() % 5];
        for (size_t k = 0; k < terms; ++k) {
            d.cc.push_back(trial % 3 == 0 ? static_cast<double>(static_cast<int>(rng() % 7) - 3)
                                          : normal(rng));
            d.cs.push_back(normal(rng) * scale);
        }
        for (double& x : d.f) x = normal(rng);
        d.f[5] = std::fabs(d.f[5]) * 4.0;
        const std::vector<double> mids = lane_forms::interval_mids(d.cc, d.cs);
        const int vanishing = 1 + static_cast<int>(rng() % 3);
        for (int n = 0; n < vanishing; ++n) {
            const double mid = mids[rng() % mids.size()];
            const double cs = negligible[rng() % 7];
            const size_t at = rng() % (d.cc.size() + 1);
            d.cc.insert(d.cc.begin() + at, -(cs * mid));
            d.cs.insert(d.cs.begin() + at, cs);
        }
        ASSERT_TRUE(same_as_reference(d, *lanes_)) << "trial " << trial;
    }
}

// Terms with both coefficients infinite have a NaN breakpoint; with a
// negative weight their absolute value, +∞, makes some candidates score −∞.
// The first of those must win, as in the literal search, whatever order the
// NaN magnitudes are sorted into.
TEST_P(LanePath, InfiniteTermsWithANegativeWeight) {
    std::mt19937_64 rng(8);
    std::normal_distribution<double> normal(0.0, 1.0);
    constexpr double inf = std::numeric_limits<double>::infinity();
    for (int trial = 0; trial < 1500; ++trial) {
        Data d;
        const size_t terms = 1 + rng() % 12;
        for (size_t k = 0; k < terms; ++k) {
            if (rng() % 4 == 0) {
                d.cc.push_back((rng() & 1) ? inf : -inf);
                d.cs.push_back((rng() & 1) ? inf : -inf);
            } else {
                d.cc.push_back(normal(rng));
                d.cs.push_back(normal(rng));
            }
        }
        for (double& x : d.f) x = normal(rng);
        d.f[5] = -std::fabs(d.f[5]);
        ASSERT_TRUE(same_as_reference(d, *lanes_)) << "trial " << trial;
    }
}

// The kernels alone: each lane must hold the bits of the plain running sum of
// its interval or candidate (a NaN sum may differ in sign and payload, which
// never shows: a NaN value is never taken). The fast sign sums must either
// match or ask to be redone.
TEST_P(LanePath, KernelSumsEqualPlainSumsLaneByLane) {
    std::mt19937_64 rng(5);
    auto same = [](double a, double b) {
        return bits(a) == bits(b) || (std::isnan(a) && std::isnan(b));
    };
    int redone = 0;
    for (int trial = 0; trial < 3000; ++trial) {
        const bool finite = trial % 2 == 0;
        const int32_t terms = static_cast<int32_t>(rng() % 30);
        const double special = finite ? 0.0 : 0.2;
        std::vector<double> cc(terms), cs(terms);
        for (int32_t k = 0; k < terms; ++k) {
            cc[k] = (trial % 5 == 0) ? static_cast<double>(static_cast<int>(rng() % 5) - 2)
                                     : testdata::value(rng, special);
            cs[k] = (trial % 5 == 0) ? static_cast<double>(static_cast<int>(rng() % 3) - 1)
                                     : testdata::value(rng, special);
        }
        double mid[LANE_BLOCK], c[LANE_BLOCK], s[LANE_BLOCK];
        for (int v = 0; v < LANE_BLOCK; ++v) {
            mid[v] = (trial % 5 == 0) ? static_cast<double>(static_cast<int>(rng() % 5) - 2)
                                      : testdata::value(rng, special);
            if (v % 7 == 3) mid[v] = -0.0;
            c[v] = testdata::value(rng, special);
            s[v] = (v % 2) ? -c[v] : testdata::value(rng, special);
        }

        double sum_c[LANE_BLOCK], sum_s[LANE_BLOCK], sum[LANE_BLOCK];
        lanes_->sign_sums(cc.data(), cs.data(), terms, mid, sum_c, sum_s);
        double fast_c[LANE_BLOCK], fast_s[LANE_BLOCK];
        const bool redo =
            finite && lanes_->sign_sums_finite(cc.data(), cs.data(), terms, mid, fast_c, fast_s);
        redone += redo;
        lanes_->abs_sums(cc.data(), cs.data(), terms, c, s, sum);

        for (int v = 0; v < LANE_BLOCK; ++v) {
            double want_c = 0.0, want_s = 0.0, want = 0.0;
            for (int32_t k = 0; k < terms; ++k) {
                const double u = (cs[k] * mid[v]) + cc[k];
                const double sigma = (u > 0.0) ? 1.0 : ((u == 0.0) ? 0.0 : -1.0);
                want_s = want_s + cs[k] * sigma;
                want_c = want_c + cc[k] * sigma;
                const double w = (c[v] * cc[k]) + (s[v] * cs[k]);
                if (w > 0.0) {
                    want = want + w;
                } else {
                    want = want - w;
                }
            }
            ASSERT_TRUE(same(sum_c[v], want_c)) << "trial " << trial << " lane " << v;
            ASSERT_TRUE(same(sum_s[v], want_s)) << "trial " << trial << " lane " << v;
            ASSERT_TRUE(same(sum[v], want)) << "trial " << trial << " lane " << v;
            if (finite && !redo) {
                ASSERT_TRUE(same(fast_c[v], want_c)) << "trial " << trial << " lane " << v;
                ASSERT_TRUE(same(fast_s[v], want_s)) << "trial " << trial << " lane " << v;
            }
        }
    }
    if (GetParam() != "scalar") {
        EXPECT_GT(redone, 0) << "no block with a zero linear form";
    }
}

INSTANTIATE_TEST_SUITE_P(Paths, LanePath, ::testing::ValuesIn(lane_forms::names()),
                         [](const ::testing::TestParamInfo<std::string>& info) {
                             return info.param;
                         });

// The path of this process follows ORTHOPAIR_LANES: the widest one that is
// available and not wider than what the variable asks for (all of them when
// it is unset or unknown). CTest runs this with the variable set to each path.
TEST(LaneChoice, FollowsTheEnvironment) {
    using orthopair::LanePath;
    const LanePath wanted = orthopair::parse_lane_path(std::getenv("ORTHOPAIR_LANES"));
    LanePath expected = LanePath::scalar;
    for (LanePath path : {LanePath::vector, LanePath::avx2, LanePath::avx512}) {
        const bool allowed = wanted == LanePath::automatic ||
                             static_cast<int>(path) <= static_cast<int>(wanted);
        if (allowed && circle_lanes::kernels_for(path) != nullptr) expected = path;
    }
    EXPECT_EQ(static_cast<int>(circle_lanes::chosen_path()), static_cast<int>(expected));
    EXPECT_EQ(circle_lanes::kernels_for(LanePath::automatic), nullptr);
    EXPECT_NE(circle_lanes::kernels_for(LanePath::scalar), nullptr);
}

}  // namespace
