// Percentiles of measured figures, by nearest rank: the p-th percentile of n sorted values is the
// ceil(p·n)-th smallest, so the 99th of 100 values is the second largest, not the largest.
#pragma once

#include <algorithm>
#include <cmath>
#include <vector>

namespace bench {

template <typename T>
T percentile(const std::vector<T>& sorted, double p) {
    const auto rank = static_cast<size_t>(std::ceil(p * static_cast<double>(sorted.size())));
    return sorted[std::min(sorted.size() - 1, rank > 0 ? rank - 1 : 0)];
}

}  // namespace bench
