// Wakes and thread names of the Linux backend, for real.
#include <gtest/gtest.h>

#include <pthread.h>
#include <sched.h>
#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "platform/platform.h"

namespace {

using Clock = std::chrono::steady_clock;

double millisecondsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

TEST(Wake, ASignalEndsTheNapItFindsOrTheNextOneAndCountsOnce) {
    // Wakes live as long as the process, as the program's own do.
    static plat::WakeHandle wake = plat::createWake();
    ASSERT_NE(wake, nullptr);

    // Nobody signalled: the nap lasts its time.
    auto start = Clock::now();
    EXPECT_FALSE(plat::napOnWake(wake, 20000));
    EXPECT_GE(millisecondsSince(start), 19.9);

    // Signalled before the nap (twice): it ends at once, and the next one lasts its time again.
    plat::signalWake(wake);
    plat::signalWake(wake);
    start = Clock::now();
    EXPECT_TRUE(plat::napOnWake(wake, 5'000'000));
    EXPECT_LT(millisecondsSince(start), 1000.0);
    EXPECT_FALSE(plat::napOnWake(wake, 0));

    // Signalled by another thread during a long nap: it ends then.
    start = Clock::now();
    std::thread signaller([] {
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
        plat::signalWake(wake);
    });
    EXPECT_TRUE(plat::napOnWake(wake, 10'000'000));
    const double napped = millisecondsSince(start);
    signaller.join();
    EXPECT_GE(napped, 29.0);
    EXPECT_LT(napped, 5000.0);
}

TEST(Wake, ANullWakeStillNaps) {
    auto start = Clock::now();
    EXPECT_FALSE(plat::napOnWake(nullptr, 10000));
    EXPECT_GE(millisecondsSince(start), 9.9);
    plat::signalWake(nullptr);  // nothing to signal, nothing breaks
}

TEST(ThreadName, IsWhatPerThreadFiguresShowCutToFifteenBytes) {
    std::string named, cut;
    std::thread([&] {
        char name[32] = {};
        plat::nameThread("control");
        pthread_getname_np(pthread_self(), name, sizeof name);
        named = name;
        plat::nameThread("a name far longer than fifteen");
        pthread_getname_np(pthread_self(), name, sizeof name);
        cut = name;
    }).join();
    EXPECT_EQ(named, "control");
    EXPECT_EQ(cut, "a name far long");
}

// A raised thread gets what the user may have: real-time for root or with RLIMIT_RTPRIO, else a lower
// nice value where RLIMIT_NICE permits, else nothing. Threads it starts run as any other.
TEST(ThreadScheduling, TheRaisedThreadGetsWhatTheSystemPermitsAndItsChildrenDoNot) {
    plat::Scheduling got;
    int policy = -1, childPolicy = -1;
    std::thread([&] {
        got = plat::raiseThreadScheduling();
        policy = sched_getscheduler(0);
        std::thread([&] { childPolicy = sched_getscheduler(0); }).join();
    }).join();
    rlimit realTime{};
    getrlimit(RLIMIT_RTPRIO, &realTime);
    if (geteuid() == 0 || realTime.rlim_cur > 0) {
        EXPECT_EQ(got.kind, plat::SchedulingKind::RealTime);
        EXPECT_EQ(policy & ~SCHED_RESET_ON_FORK, SCHED_FIFO);
    } else {
        EXPECT_NE(got.kind, plat::SchedulingKind::RealTime);
        EXPECT_EQ(policy, SCHED_OTHER);
    }
    EXPECT_EQ(childPolicy, SCHED_OTHER);
}

}  // namespace
