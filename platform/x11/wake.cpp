// Linux wakes (an eventfd each, napped on with ppoll) and thread names.
#include <errno.h>
#include <poll.h>
#include <pthread.h>
#include <sys/eventfd.h>
#include <time.h>
#include <unistd.h>

#include <cstring>

#include "platform/platform.h"
#include "platform/x11/fd_wait.h"

namespace plat {

namespace {

struct Wake {
    int fd;
};

timespec fromMicroseconds(int64_t microseconds) {
    return timespec{static_cast<time_t>(microseconds / 1000000),
                    static_cast<long>(microseconds % 1000000) * 1000};
}

}  // namespace

WakeHandle createWake() {
    const int fd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (fd < 0) return nullptr;
    return new Wake{fd};
}

void signalWake(WakeHandle wake) {
    if (!wake) return;
    const uint64_t one = 1;
    while (write(static_cast<Wake*>(wake)->fd, &one, sizeof one) < 0 && errno == EINTR) {
    }
}

bool napOnWake(WakeHandle wake, int64_t microseconds) {
    if (!wake) {
        sleepUs(microseconds);
        return false;
    }
    const int fd = static_cast<Wake*>(wake)->fd;
    // Reading the counter takes every signal given so far: several count as one.
    auto take = [fd] {
        uint64_t count = 0;
        return read(fd, &count, sizeof count) == static_cast<ssize_t>(sizeof count);
    };
    if (take()) return true;
    if (microseconds <= 0) return false;
    const int64_t deadline = x11::monotonicNs() + microseconds * 1000;
    for (;;) {
        const int64_t left = deadline - x11::monotonicNs();
        if (left <= 0) return take();
        const timespec wait = fromMicroseconds((left + 999) / 1000);
        pollfd readable{fd, POLLIN, 0};
        const int ready = ppoll(&readable, 1, &wait, nullptr);
        if (ready > 0) {
            if (take()) return true;
        } else if (ready == 0) {
            return take();
        } else if (errno != EINTR) {
            return take();
        }
    }
}

void nameThread(const char* name) {
    char shortName[16] = {};
    std::strncpy(shortName, name, sizeof shortName - 1);
    pthread_setname_np(pthread_self(), shortName);
}

namespace x11 {

int wakeFd(WakeHandle wake) {
    return wake ? static_cast<Wake*>(wake)->fd : -1;
}

}  // namespace x11

}  // namespace plat
