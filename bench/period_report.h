// How evenly a run of actions came: the periods between successive stamps against the interval asked
// for, printed as one line. Shared by the click timing benches of both systems.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "bench/percentile.h"
#include "state/state.h"

namespace bench {

// One line: `tool interval_ms=… clicks=… mean_period_ms=… p50_error_ms=… p99_error_ms=… max_error_ms=…`,
// where the error of a period is |period − interval|; `micros` are the stamps in microseconds.
inline void reportPeriods(const char* tool, int intervalMs, const std::vector<int64_t>& micros,
                          const std::string& conditions = "") {
    std::vector<double> errors;
    double total = 0;
    for (size_t i = 1; i < micros.size(); ++i) {
        double period = static_cast<double>(micros[i] - micros[i - 1]) / 1000.0;
        total += period;
        errors.push_back(std::fabs(period - intervalMs));
    }
    if (errors.empty()) {
        std::printf("%s interval_ms=%d clicks=%zu (too few clicks reached the target)%s\n", tool, intervalMs,
                    micros.size(), conditions.c_str());
        return;
    }
    std::sort(errors.begin(), errors.end());
    std::printf(
        "%s interval_ms=%d clicks=%zu mean_period_ms=%.2f p50_error_ms=%.2f p99_error_ms=%.2f "
        "max_error_ms=%.2f%s\n",
        tool, intervalMs, micros.size(), total / static_cast<double>(errors.size()), percentile(errors, 0.5),
        percentile(errors, 0.99), errors.back(), conditions.c_str());
    std::fflush(stdout);
}

// The same line, as `click_timing_sent`, from the auto-clicker's own stamps of actions `first` to
// `end` (the counter read after each click is sent), which the window system and the target's
// wake-ups do not touch: what the arrival figures add is theirs.
inline void reportClickerStamps(int intervalMs, uint64_t first, uint64_t end) {
    if (end - first > rv::RateMeter::kSlots) first = end - rv::RateMeter::kSlots;
    std::vector<int64_t> micros;
    for (uint64_t n = first; n < end; ++n) {
        const auto stamp = static_cast<double>(rv::clickMeter.stamps[n % rv::RateMeter::kSlots].load());
        micros.push_back(static_cast<int64_t>(stamp * 1e6 / static_cast<double>(rv::counterFrequency)));
    }
    reportPeriods("click_timing_sent", intervalMs, micros);
}

}  // namespace bench
