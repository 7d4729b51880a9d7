#include "platform/x11/fd_wait.h"

#include <errno.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>

namespace plat::x11 {
namespace {

constexpr int kFlagPollMs = 50;  // how often a wait without an eventfd looks at the stop flag

}  // namespace

// ---- time ----

int64_t monotonicNs() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<int64_t>(now.tv_sec) * 1'000'000'000 + now.tv_nsec;
}

int64_t monotonicMs() {
    return monotonicNs() / 1'000'000;
}

// ---- stopping a loop ----

int StopSignal::eventFd() {
    std::call_once(made_, [this] { eventFd_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK); });
    return eventFd_;
}

// The eventfd is written before the flag is set and drained after the flag is cleared. However a stop
// and a consume interleave, the stop is then either used up or kept, and the eventfd is never left
// readable with the flag clear (which would keep the next run's waits waking at once, for nothing).
void StopSignal::request() {
    const uint64_t one = 1;
    if (eventFd() >= 0) {
        while (write(eventFd(), &one, sizeof one) < 0 && errno == EINTR) {
        }
    }
    flag_.store(true);
}

void StopSignal::consume() {
    flag_.store(false);
    uint64_t count = 0;
    if (eventFd() < 0) return;
    while (read(eventFd(), &count, sizeof count) < 0 && errno == EINTR) {
    }
}

bool StopSignal::waitReadable(int fd, int timeoutMs, int alsoFd) {
    const int64_t deadline = timeoutMs < 0 ? -1 : monotonicMs() + timeoutMs;
    const int stopFd = eventFd();
    for (;;) {
        if (requested()) return false;
        int wait = deadline < 0 ? -1 : static_cast<int>(std::max<int64_t>(0, deadline - monotonicMs()));
        if (stopFd < 0 && (wait < 0 || wait > kFlagPollMs)) wait = kFlagPollMs;
        pollfd fds[3];
        nfds_t count = 0;
        if (stopFd >= 0) fds[count++] = {stopFd, POLLIN, 0};
        const nfds_t watched = count;
        if (fd >= 0) fds[count++] = {fd, POLLIN, 0};
        if (alsoFd >= 0) fds[count++] = {alsoFd, POLLIN, 0};
        const int ready = poll(fds, count, wait);
        if (ready < 0 && errno != EINTR) return false;
        if (requested()) return false;
        for (nfds_t i = watched; ready > 0 && i < count; ++i) {
            if (fds[i].revents != 0) return true;
        }
        if (deadline >= 0 && monotonicMs() >= deadline) return false;
    }
}

}  // namespace plat::x11
