// The timing rules of every worker: interval lengths, elapsed time on the platform's monotonic
// counter, waits that stay cancellable within about a millisecond, and a spin for close deadlines.
#pragma once

#include <cstdint>

#include "state/wakes.h"

namespace rv {

// Hours, minutes, seconds and milliseconds as seconds, in floating point so nothing overflows;
// totals below 1 ms (zero and negative ones included) count as 1 ms.
double intervalSeconds(int32_t hours, int32_t minutes, int32_t seconds, int32_t milliseconds);

// Seconds between two counter stamps, with the frequency read at start-up (counterFrequency).
double elapsedSeconds(int64_t earlier, int64_t later);

// Waits until `targetSeconds` have passed since `start`, or returns as soon as `keepGoing()` is
// false. Sleeps 1 ms at a time; when less than a millisecond is left it sleeps only what is left,
// so the wait ends at its target rather than up to a millisecond late.
template <typename KeepGoing>
void polledWait(int64_t start, double targetSeconds, KeepGoing keepGoing);

// The same for the worker `who`, which naps through all but the last kNapMarginSeconds of a long
// wait in one piece: whoever makes `keepGoing()` false wakes it, so that the wait still ends at once,
// and the last stretch keeps the millisecond steps, so that a nap ending late on a coarse system
// timer still leaves the wait on time. A worker waiting for long intervals then wakes a few times
// per interval instead of every millisecond.
template <typename KeepGoing>
void polledWait(int64_t start, double targetSeconds, KeepGoing keepGoing, Sleeper who);
inline constexpr double kNapMarginSeconds = 0.020;

// Reads the counter without sleeping until it reaches `targetTicks`.
void spinUntil(int64_t targetTicks);

// One step of a polled wait with `secondsLeft` to go (> 0).
void sleepStep(double secondsLeft);

// The whole milliseconds of a long wait's nap: what is left less the margin, at most a day.
int napMilliseconds(double secondsLeft);

}  // namespace rv

#include "platform/platform.h"

namespace rv {

template <typename KeepGoing>
void polledWait(int64_t start, double targetSeconds, KeepGoing keepGoing) {
    for (;;) {
        if (!keepGoing()) return;
        double elapsed = elapsedSeconds(start, plat::ticks());
        if (elapsed >= targetSeconds) return;
        sleepStep(targetSeconds - elapsed);
    }
}

template <typename KeepGoing>
void polledWait(int64_t start, double targetSeconds, KeepGoing keepGoing, Sleeper who) {
    for (;;) {
        if (!keepGoing()) return;
        double left = targetSeconds - elapsedSeconds(start, plat::ticks());
        if (left <= 0) return;
        if (left > kNapMarginSeconds + 0.001) {
            nap(who, napMilliseconds(left));
        } else {
            sleepStep(left);
        }
    }
}

}  // namespace rv
