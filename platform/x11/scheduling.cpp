// The time-critical threads' scheduling on Linux: the real-time policy where the user may have it
// (RLIMIT_RTPRIO above 0, or the right to raise), else the lowest nice value RLIMIT_NICE permits,
// else as they were. Asks for no new rights.
#include <sched.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "platform/platform.h"

namespace plat {

namespace {

// Low among real-time priorities: above every normally scheduled thread (a game, a browser), below
// the kernel's own real-time threads (interrupt threads run at 50).
constexpr int kRealTimePriority = 10;

}  // namespace

Scheduling raiseThreadScheduling() {
    rlimit realTime{};
    int priority = kRealTimePriority;
    if (getrlimit(RLIMIT_RTPRIO, &realTime) == 0 && realTime.rlim_cur != RLIM_INFINITY &&
        realTime.rlim_cur > 0)
        priority = std::min(priority, static_cast<int>(realTime.rlim_cur));
    sched_param param{};
    param.sched_priority = priority;
    // Thread 0 is the calling thread. Reset on fork: a process or thread started from here (a panel,
    // a file manager) is scheduled as any other.
    if (sched_setscheduler(0, SCHED_FIFO | SCHED_RESET_ON_FORK, &param) == 0)
        return {SchedulingKind::RealTime, priority};

    // RLIMIT_NICE holds 20 minus the lowest nice value permitted.
    rlimit nice{};
    if (getrlimit(RLIMIT_NICE, &nice) != 0) return {};
    const int lowest =
        nice.rlim_cur == RLIM_INFINITY ? -20 : 20 - static_cast<int>(std::min<rlim_t>(nice.rlim_cur, 40));
    const auto thread = static_cast<id_t>(syscall(SYS_gettid));
    errno = 0;
    const int current = getpriority(PRIO_PROCESS, thread);
    if (errno != 0 || lowest >= current || setpriority(PRIO_PROCESS, thread, lowest) != 0) return {};
    return {SchedulingKind::Nice, lowest};
}

}  // namespace plat
