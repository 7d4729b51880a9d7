// Percentiles of measured figures, by nearest rank: the p-th percentile of n sorted values is the
// ceil(p·n)-th smallest, so the 99th of 100 values is the second largest, not the largest. And the
// latency lines the hotkey benches of both systems print; the median the file benches print.
#pragma once

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

namespace bench {

template <typename T>
T percentile(const std::vector<T>& sorted, double p) {
    const auto rank = static_cast<size_t>(std::ceil(p * static_cast<double>(sorted.size())));
    return sorted[std::min(sorted.size() - 1, rank > 0 ? rank - 1 : 0)];
}

// The middle value (of an even count, the higher of the two), and a duration in milliseconds.
inline double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}
inline double ms(std::chrono::steady_clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

// Latencies of one action in milliseconds, and how many times it did not come at all.
struct Figures {
    std::vector<double> ms;
    int missed = 0;
};

// One line: `prefix label p50_ms=… p99_ms=… max_ms=… n=… missed=…`.
// `conditions` ends the line (what the run was measured under).
inline void print(const char* prefix, const char* label, Figures figures,
                  const std::string& conditions = "") {
    std::vector<double>& v = figures.ms;
    if (v.empty()) {
        std::printf("%s %s (no action reached the target) missed=%d%s\n", prefix, label, figures.missed,
                    conditions.c_str());
        std::fflush(stdout);
        return;
    }
    std::sort(v.begin(), v.end());
    std::printf("%s %s p50_ms=%.2f p99_ms=%.2f max_ms=%.2f n=%zu missed=%d%s\n", prefix, label,
                percentile(v, 0.5), percentile(v, 0.99), v.back(), v.size(), figures.missed,
                conditions.c_str());
    std::fflush(stdout);
}

}  // namespace bench
