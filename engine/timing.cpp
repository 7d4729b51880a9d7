#include "engine/timing.h"

#include <algorithm>
#include <cmath>
#include <random>

#include "state/state.h"

namespace rv {

namespace {

// What this thread's closing sleeps have ended late by, as a running average (each new sleep counts
// an eighth). It starts at a typical figure for a desktop system, so the first waits are close too.
thread_local double sleepLateness = 0.00005;

double closingAllowance() {
    // Twice the usual lateness covers most late sleeps; the cap bounds the spin where sleeps are coarse.
    return std::min(2.0 * sleepLateness, kMaxSpinSeconds);
}

}  // namespace

double intervalSeconds(const Interval& interval) {
    double total = static_cast<double>(interval.hours.value) * 3600000.0 +
                   static_cast<double>(interval.minutes.value) * 60000.0 +
                   static_cast<double>(interval.seconds.value) * 1000.0 +
                   static_cast<double>(interval.milliseconds.value);
    if (total < 1.0) total = 1.0;
    return total / 1000.0;
}

Cycle cycleSeconds(const Interval& interval, const Timing& timing, double periodDraw, double pressDraw) {
    const double fixed = intervalSeconds(interval);
    const double longest = static_cast<double>(timing.intervalMaxMs) / 1000.0;
    const double period = longest > fixed ? fixed + periodDraw * (longest - fixed) : fixed;
    double press = 0;
    if (timing.pressMs == kAutomaticPress) {
        press = std::min(period / 3.0, kLongestAutomaticPress);
    } else if (timing.pressMs >= 0) {
        const double shortest = timing.pressMs / 1000.0;
        const double most = timing.pressMaxMs / 1000.0;
        press = most > shortest ? shortest + pressDraw * (most - shortest) : shortest;
    }
    return {period, std::min(press, period - std::min(period / 2.0, 0.001))};
}

int32_t jitterOffset(int32_t jitterPx, double draw) {
    if (jitterPx <= 0) return 0;
    const int64_t span = 2 * static_cast<int64_t>(jitterPx) + 1;
    const int64_t step = std::min<int64_t>(static_cast<int64_t>(draw * static_cast<double>(span)), span - 1);
    return static_cast<int32_t>(step - jitterPx);
}

double randomDraw() {
    thread_local std::mt19937_64 generator{std::random_device{}()};
    return std::uniform_real_distribution<double>(0.0, 1.0)(generator);
}

bool limitReached(int64_t startedAt, int32_t limitSeconds, int64_t now) {
    return limitSeconds > 0 && elapsedSeconds(startedAt, now) >= limitSeconds;
}

double limitLeftSeconds(int64_t startedAt, int32_t limitSeconds, int64_t now) {
    if (limitSeconds <= 0) return 86400.0;
    return std::max(0.0, limitSeconds - elapsedSeconds(startedAt, now));
}

double blockedRetrySeconds(double interval) {
    return std::min(interval, kBlockedRetrySeconds);
}

double elapsedSeconds(int64_t earlier, int64_t later) {
    return static_cast<double>(later - earlier) / static_cast<double>(counterFrequency);
}

int64_t ticksAfter(int64_t start, double seconds) {
    // Far beyond any wait (a day of naps at most is slept at a time, and each wait is re-measured),
    // and well inside 64 bits at any counter frequency.
    const double ticks = std::ceil(std::clamp(seconds, 0.0, 1e7) * static_cast<double>(counterFrequency));
    return start + static_cast<int64_t>(ticks);
}

void waitStep(double secondsLeft, int64_t deadline) {
    // A millisecond's step must not run past the deadline when it ends late: close to it, the closing
    // sleep (up to a millisecond and the allowance) takes over.
    if (secondsLeft >= 0.001 + closingAllowance()) {
        plat::sleepMs(1);
        return;
    }
    sleepThenSpin(deadline);
}

double expectedSleepLateness() {
    return sleepLateness;
}

void sleepThenSpin(int64_t deadline) {
    const double sleepFor = elapsedSeconds(plat::ticks(), deadline) - closingAllowance();
    const auto microseconds = static_cast<int64_t>(std::floor(sleepFor * 1e6));
    if (microseconds > 0) {
        const int64_t before = plat::ticks();
        plat::sleepUs(microseconds);
        const double late = elapsedSeconds(before, plat::ticks()) - static_cast<double>(microseconds) / 1e6;
        sleepLateness += (std::clamp(late, 0.0, 0.001) - sleepLateness) / 8.0;
    }
    spinUntil(deadline);
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
