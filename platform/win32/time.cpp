// Windows time: the performance counter, sleeps and the system timer resolution.
#include <windows.h>

#include <mmsystem.h>

#include "platform/platform.h"

namespace plat {

namespace {

#ifndef CREATE_WAITABLE_TIMER_HIGH_RESOLUTION
#define CREATE_WAITABLE_TIMER_HIGH_RESOLUTION 0x00000002
#endif

// One high-resolution waitable timer per thread, made on the thread's first sub-millisecond sleep.
// Windows before 10 (1803) has no such timer: the sleep is then one whole millisecond.
struct ThreadTimer {
    bool tried = false;
    HANDLE handle = nullptr;
    ~ThreadTimer() {
        if (handle) CloseHandle(handle);
    }
};
thread_local ThreadTimer threadTimer;

HANDLE highResolutionTimer() {
    if (!threadTimer.tried) {
        threadTimer.tried = true;
        threadTimer.handle =
            CreateWaitableTimerExW(nullptr, nullptr, CREATE_WAITABLE_TIMER_HIGH_RESOLUTION, TIMER_ALL_ACCESS);
    }
    return threadTimer.handle;
}

}  // namespace

int64_t ticks() {
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return now.QuadPart;
}

int64_t tickFrequency() {
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    return frequency.QuadPart;
}

void sleepMs(int milliseconds) {
    // A negative count would reach Sleep as INFINITE.
    Sleep(milliseconds > 0 ? static_cast<DWORD>(milliseconds) : 0);
}

void sleepUs(int64_t microseconds) {
    if (microseconds <= 0) return;
    HANDLE timer = highResolutionTimer();
    if (timer) {
        // Relative due time, negative, in 100 ns units; capped far beyond any wait the program makes.
        constexpr int64_t kMaxMicroseconds = INT64_MAX / 10;
        LARGE_INTEGER due;
        due.QuadPart = -10 * (microseconds < kMaxMicroseconds ? microseconds : kMaxMicroseconds);
        if (SetWaitableTimer(timer, &due, 0, nullptr, nullptr, FALSE) &&
            WaitForSingleObject(timer, INFINITE) == WAIT_OBJECT_0) {
            return;
        }
    }
    Sleep(1);
}

void raiseTimerResolution() {
    timeBeginPeriod(1);
}
void restoreTimerResolution() {
    timeEndPeriod(1);
}

}  // namespace plat
