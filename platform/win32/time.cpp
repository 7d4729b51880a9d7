// Windows time: the performance counter, sleeps and the system timer resolution.
#include <windows.h>

#include "platform/platform.h"
#include "platform/win32/thread_timer.h"

namespace plat {

namespace win32 {

namespace {

#ifndef CREATE_WAITABLE_TIMER_HIGH_RESOLUTION
#define CREATE_WAITABLE_TIMER_HIGH_RESOLUTION 0x00000002
#endif

// One high-resolution waitable timer per thread, made on the thread's first sleep or nap. Its waits
// keep their length while the process is in the background: from Windows 11 a minimised or covered
// program no longer gets the 1 ms resolution of timeBeginPeriod, and Sleep(1) becomes about
// 15.6 ms. Windows before 10 (1803) has no such timer: the waits are then Sleep's and
// WaitForSingleObject's.
struct ThreadTimer {
    bool tried = false;
    HANDLE handle = nullptr;
    ~ThreadTimer() {
        if (handle) CloseHandle(handle);
    }
};
thread_local ThreadTimer threadTimerOfThisThread;

}  // namespace

HANDLE threadTimer() {
    ThreadTimer& timer = threadTimerOfThisThread;
    if (!timer.tried) {
        timer.tried = true;
        timer.handle =
            CreateWaitableTimerExW(nullptr, nullptr, CREATE_WAITABLE_TIMER_HIGH_RESOLUTION, TIMER_ALL_ACCESS);
    }
    return timer.handle;
}

bool armThreadTimer(int64_t microseconds) {
    HANDLE timer = threadTimer();
    if (!timer) return false;
    // Relative due time, negative, in 100 ns units; capped far beyond any wait the program makes.
    constexpr int64_t kMaxMicroseconds = INT64_MAX / 10;
    LARGE_INTEGER due;
    due.QuadPart = -10 * (microseconds < kMaxMicroseconds ? microseconds : kMaxMicroseconds);
    return SetWaitableTimer(timer, &due, 0, nullptr, nullptr, FALSE) != 0;
}

}  // namespace win32

namespace {

// Waits on the thread's high-resolution timer; false when there is none or it failed.
bool timerSleep(int64_t microseconds) {
    HANDLE timer = win32::threadTimer();
    return timer && win32::armThreadTimer(microseconds) &&
           WaitForSingleObject(timer, INFINITE) == WAIT_OBJECT_0;
}

// Asks Windows not to slow this process down when its windows are minimised or covered: neither its
// execution speed (EcoQoS) nor the timer resolution it asked for. Windows 10 1709 and 11 know these
// switches; SetProcessInformation is looked up at run time, since Windows before 8 lacks it.
bool optOutOfPowerThrottling() {
    struct PowerThrottlingState {  // PROCESS_POWER_THROTTLING_STATE
        ULONG version;
        ULONG controlMask;
        ULONG stateMask;
    };
    constexpr int kProcessPowerThrottling = 4;  // PROCESS_INFORMATION_CLASS
    constexpr ULONG kExecutionSpeed = 0x1;      // PROCESS_POWER_THROTTLING_EXECUTION_SPEED
    constexpr ULONG kIgnoreTimerResolution = 0x4;
    using SetProcessInformationFn = BOOL(WINAPI*)(HANDLE, int, void*, DWORD);
    auto setProcessInformation = reinterpret_cast<SetProcessInformationFn>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "SetProcessInformation")));
    if (!setProcessInformation) return false;
    // Controlled and off: the process is never throttled. A system that knows only the execution
    // speed switch (Windows 10) refuses the pair, so that one alone is asked for next.
    PowerThrottlingState state{1, kExecutionSpeed | kIgnoreTimerResolution, 0};
    if (setProcessInformation(GetCurrentProcess(), kProcessPowerThrottling, &state, sizeof state))
        return true;
    state.controlMask = kExecutionSpeed;
    return setProcessInformation(GetCurrentProcess(), kProcessPowerThrottling, &state, sizeof state) != 0;
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
    if (milliseconds <= 0) {
        Sleep(0);  // a negative count would reach Sleep as INFINITE
        return;
    }
    if (!timerSleep(static_cast<int64_t>(milliseconds) * 1000)) Sleep(static_cast<DWORD>(milliseconds));
}

void sleepUs(int64_t microseconds) {
    if (microseconds <= 0) return;
    if (!timerSleep(microseconds)) Sleep(1);
}

namespace {

// winmm.dll is not one of the libraries Windows always takes from its own folder, so it is not
// imported (the loader would look beside the executable first) but loaded from the system folder.
using TimePeriodFn = UINT(WINAPI*)(UINT);
TimePeriodFn timePeriodFunction(const char* name) {
    static HMODULE winmm = LoadLibraryExW(L"winmm.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    return winmm ? reinterpret_cast<TimePeriodFn>(reinterpret_cast<void*>(GetProcAddress(winmm, name)))
                 : nullptr;
}

}  // namespace

void raiseTimerResolution() {
    optOutOfPowerThrottling();
    if (auto begin = timePeriodFunction("timeBeginPeriod")) begin(1);
}
void restoreTimerResolution() {
    if (auto end = timePeriodFunction("timeEndPeriod")) end(1);
}

}  // namespace plat
