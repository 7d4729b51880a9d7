// The timing rules of every worker: interval lengths, elapsed time on the platform's monotonic
// counter, waits that stay cancellable within about a millisecond, and a spin for close deadlines.
#pragma once

#include <cstdint>

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

// Reads the counter without sleeping until it reaches `targetTicks`.
void spinUntil(int64_t targetTicks);

// One step of a polled wait with `secondsLeft` to go (> 0).
void sleepStep(double secondsLeft);

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

}  // namespace rv
