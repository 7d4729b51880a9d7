#include "engine/timing.h"

#include <algorithm>
#include <cmath>

#include "state/state.h"

namespace rv {

double intervalSeconds(int32_t hours, int32_t minutes, int32_t seconds, int32_t milliseconds) {
    double total = static_cast<double>(minutes) * 60000.0 + static_cast<double>(hours) * 3600000.0 +
                   static_cast<double>(seconds) * 1000.0 + static_cast<double>(milliseconds);
    if (total < 1.0) total = 1.0;
    return total / 1000.0;
}

double elapsedSeconds(int64_t earlier, int64_t later) {
    return static_cast<double>(later - earlier) / static_cast<double>(counterFrequency);
}

void sleepStep(double secondsLeft) {
    if (secondsLeft >= 0.001) {
        plat::sleepMs(1);
        return;
    }
    plat::sleepUs(static_cast<int64_t>(std::ceil(secondsLeft * 1e6)));
}

int napMilliseconds(double secondsLeft) {
    double milliseconds = std::floor((secondsLeft - kNapMarginSeconds) * 1000.0);
    return static_cast<int>(std::clamp(milliseconds, 1.0, 86'400'000.0));
}

void spinUntil(int64_t targetTicks) {
    while (plat::ticks() < targetTicks) {
    }
}

}  // namespace rv
