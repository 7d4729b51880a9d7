// Private to the X11 backend: monotonic time and the waits of loops on file descriptors (their stop
// signal, a wake's descriptor).
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>

namespace plat::x11 {

// ---- time ---------------------------------------------------------------------------------------------

// CLOCK_MONOTONIC in nanoseconds and in milliseconds.
int64_t monotonicNs();
int64_t monotonicMs();

// ---- stopping a loop ------------------------------------------------------------------------------------

// A stop request for a loop that waits on file descriptors: a flag, and an eventfd that wakes the loop's
// waits. Both stay set until the loop, as it ends, consumes the stop, so that a stop given before the
// loop starts ends it as soon as it starts. The eventfd is made at the first use and never closed (a
// late wait must never poll a reused number); where none could be made, waits look at the flag every
// 50 ms.
class StopSignal {
  public:
    StopSignal() = default;
    StopSignal(const StopSignal&) = delete;
    StopSignal& operator=(const StopSignal&) = delete;

    bool requested() const { return flag_.load(); }
    // Any thread.
    void request();
    // By the loop as it ends: the stop it obeyed is used up. A stop that comes meanwhile is kept.
    void consume();
    // Waits until `fd` or `alsoFd` (each when not -1) is readable: true; false on a stop, a failed
    // wait, or when `timeoutMs` has passed (-1: no limit). Reads neither.
    bool waitReadable(int fd, int timeoutMs, int alsoFd = -1);
    // The descriptor that turns readable on a stop, for a loop that polls more than one; -1 when the
    // system gave none (the loop then looks at requested() at least every 50 ms).
    int pollFd() { return eventFd(); }

  private:
    int eventFd();

    std::atomic<bool> flag_{false};
    std::once_flag made_;
    int eventFd_ = -1;
};

// ---- wakes ------------------------------------------------------------------------------------------

// The eventfd behind a wake of createWake, for a loop that polls it with other descriptors (-1 for a
// null wake). Readable while a signal is pending; napOnWake(wake, 0) takes it.
int wakeFd(void* wake);

}  // namespace plat::x11
