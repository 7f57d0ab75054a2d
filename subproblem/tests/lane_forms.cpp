#include "lane_forms.h"

#include <algorithm>
#include <cmath>

#include "common/constants.h"

#include <cstdint>
#include <cstring>

#if defined(__GNUC__) || defined(__clang__)
namespace circle_lanes {
namespace vector512 {
#define LANES_TARGET
#define LANE_WIDTH 8
#define LANE_GROUP 16
#include "circle_lanes.inc"
#undef LANE_GROUP
#undef LANE_WIDTH
#undef LANES_TARGET
}  // namespace vector512
}  // namespace circle_lanes
#endif

namespace lane_forms {

const std::vector<std::string>& names() {
    static const std::vector<std::string> all{"scalar", "vector", "vector512", "avx2", "avx512"};
    return all;
}

const circle_lanes::Kernels* find(const std::string& name) {
    using orthopair::LanePath;
    if (name == "scalar") return circle_lanes::kernels_for(LanePath::scalar);
    if (name == "vector") return circle_lanes::kernels_for(LanePath::vector);
    if (name == "avx2") return circle_lanes::kernels_for(LanePath::avx2);
    if (name == "avx512") return circle_lanes::kernels_for(LanePath::avx512);
#if defined(__GNUC__) || defined(__clang__)
    if (name == "vector512") return &circle_lanes::vector512::KERNELS;
#endif
    return nullptr;
}

std::vector<double> interval_mids(const std::vector<double>& cc, const std::vector<double>& cs) {
    std::vector<double> magnitudes;
    for (size_t k = 0; k < cc.size(); ++k) {
        if (std::fabs(cs[k]) > DEGENERACY_EPS) {
            const double t = -(cc[k] / cs[k]);
            if (std::isnan(t)) return {};
            magnitudes.push_back(std::fabs(t));
        }
    }
    std::sort(magnitudes.begin(), magnitudes.end());
    const size_t m = magnitudes.size();
    std::vector<double> ends{-SENTINEL};
    for (size_t j = 0; j < m; ++j) ends.push_back(-magnitudes[m - 1 - j]);
    for (size_t j = 0; j < m; ++j) ends.push_back(magnitudes[j]);
    ends.push_back(SENTINEL);
    std::vector<double> mids;
    for (size_t v = 0; v + 1 < ends.size(); ++v) mids.push_back((ends[v] + ends[v + 1]) * 0.5);
    return mids;
}

}  // namespace lane_forms
