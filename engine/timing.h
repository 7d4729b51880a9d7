// The timing rules of every worker: interval lengths, elapsed time on the platform's monotonic
// counter, waits that stay cancellable within about a millisecond, and a spin for close deadlines.
#pragma once

#include <cstdint>

#include "state/settings.h"
#include "state/wakes.h"

namespace rv {

// Hours, minutes, seconds and milliseconds as seconds, in floating point so nothing overflows;
// totals below 1 ms (zero and negative ones included) count as 1 ms.
double intervalSeconds(const Interval& interval);

// One cycle of the auto-clicker or the key spammer: the period from one press to the next, and how long
// the press is held within it (0: released at once).
struct Cycle {
    double period;
    double press;
};

// The cycle the settings give for two draws in [0, 1): the period is the interval, or a draw between
// it and the timing's maximum when that lies above it; the press is the timing's press length (a
// third of the period, at most 20 ms, when automatic), or a draw up to its maximum, and always leaves
// at least a millisecond of the period released (half of it, for periods shorter than 2 ms).
Cycle cycleSeconds(const Interval& interval, const Timing& timing, double periodDraw, double pressDraw);
inline constexpr double kLongestAutomaticPress = 0.020;

// A pixel offset between -jitterPx and jitterPx, inclusive, for a draw in [0, 1).
int32_t jitterOffset(int32_t jitterPx, double draw);

// A draw in [0, 1) from the calling thread's own generator, seeded once from the system.
double randomDraw();

// Whether a run started at `startedAt` has used up a limit of `limitSeconds` (0: no limit) at `now`,
// and how long it still has (a day when it has no limit).
bool limitReached(int64_t startedAt, int32_t limitSeconds, int64_t now);
double limitLeftSeconds(int64_t startedAt, int32_t limitSeconds, int64_t now);

// How long a worker whose input the system refused (lock screen, UAC prompt) waits before it tries
// again: its interval, but at most a quarter of a second, so it goes on soon after input is possible.
double blockedRetrySeconds(double intervalSeconds);
inline constexpr double kBlockedRetrySeconds = 0.25;

// Seconds between two counter stamps, with the frequency read at start-up (counterFrequency).
double elapsedSeconds(int64_t earlier, int64_t later);

// Waits until `targetSeconds` have passed since `start`, or returns as soon as `keepGoing()` is
// false. Sleeps 1 ms at a time; the last part of a millisecond is a sleep that ends a little before
// the target and a spin to it, so the wait ends at its target rather than as late as the system's
// sleeps end.
template <typename KeepGoing>
void polledWait(int64_t start, double targetSeconds, KeepGoing keepGoing);

// The same for the worker `who`, which naps through all but the last kNapMarginSeconds of a long
// wait in one piece: whoever makes `keepGoing()` false wakes it, so that the wait still ends at once,
// and the last stretch keeps the millisecond steps, so that a nap ending a little late still leaves
// the wait on time. A worker waiting for long intervals then wakes a few times per interval instead
// of every millisecond. Naps keep to the millisecond on both systems (a high-resolution timer on
// Windows), so the margin need only cover a late millisecond or two.
template <typename KeepGoing>
void polledWait(int64_t start, double targetSeconds, KeepGoing keepGoing, Sleeper who);
inline constexpr double kNapMarginSeconds = 0.003;

// Reads the counter without sleeping until it reaches `targetTicks`.
void spinUntil(int64_t targetTicks);

// One step of a polled wait with `secondsLeft` (> 0) to go until the counter reads `deadline`: a
// millisecond's sleep, or for the last millisecond or so the closing sleep and spin.
void waitStep(double secondsLeft, int64_t deadline);

// The closing sleep and spin: sleeps until the calling thread's sleeps, ending late as they do, are
// expected to end just before `deadline`, then spins to it. How late they end is learned per thread
// from its own closing sleeps; what is left to spin is at most kMaxSpinSeconds plus the lateness of
// one sleep.
void sleepThenSpin(int64_t deadline);
inline constexpr double kMaxSpinSeconds = 0.00025;
// How late this thread's closing sleeps are expected to end (seconds).
double expectedSleepLateness();

// The whole milliseconds of a long wait's nap: what is left less the margin, at most a day.
int napMilliseconds(double secondsLeft);

// The counter value `seconds` after `start`.
int64_t ticksAfter(int64_t start, double seconds);

}  // namespace rv

#include "platform/platform.h"

namespace rv {

template <typename KeepGoing>
void polledWait(int64_t start, double targetSeconds, KeepGoing keepGoing) {
    const int64_t deadline = ticksAfter(start, targetSeconds);
    for (;;) {
        if (!keepGoing()) return;
        double elapsed = elapsedSeconds(start, plat::ticks());
        if (elapsed >= targetSeconds) return;
        waitStep(targetSeconds - elapsed, deadline);
    }
}

template <typename KeepGoing>
void polledWait(int64_t start, double targetSeconds, KeepGoing keepGoing, Sleeper who) {
    const int64_t deadline = ticksAfter(start, targetSeconds);
    for (;;) {
        if (!keepGoing()) return;
        double left = targetSeconds - elapsedSeconds(start, plat::ticks());
        if (left <= 0) return;
        if (left > kNapMarginSeconds + 0.001) {
            nap(who, napMilliseconds(left));
        } else {
            waitStep(left, deadline);
        }
    }
}

}  // namespace rv
