// Linux time: the monotonic clock in nanoseconds, sleeps, and the timer slack as the timer resolution.
#include <errno.h>
#include <sys/prctl.h>
#include <time.h>

#include <cstdint>

#include "platform/platform.h"

namespace plat {

int64_t ticks() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<int64_t>(now.tv_sec) * 1000000000 + now.tv_nsec;
}

int64_t tickFrequency() {
    return 1000000000;
}

void sleepMs(int milliseconds) {
    sleepUs(static_cast<int64_t>(milliseconds) * 1000);
}

void sleepUs(int64_t microseconds) {
    if (microseconds <= 0) return;
    timespec request{static_cast<time_t>(microseconds / 1000000),
                     static_cast<long>(microseconds % 1000000) * 1000};
    while (nanosleep(&request, &request) != 0 && errno == EINTR) {
    }
}

// Linux sleeps are as fine as the thread's timer slack (50 µs by default) allows. The main instance
// raises the resolution before it starts its workers, which inherit the slack of 1 µs.
void raiseTimerResolution() {
    prctl(PR_SET_TIMERSLACK, 1000UL, 0UL, 0UL, 0UL);
}
void restoreTimerResolution() {
    prctl(PR_SET_TIMERSLACK, 0UL, 0UL, 0UL, 0UL);
}

}  // namespace plat
