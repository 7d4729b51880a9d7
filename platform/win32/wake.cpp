// Windows wakes (an auto-reset event each) and thread names.
#include <windows.h>

#include <string>

#include "platform/platform.h"
#include "platform/win32/thread_timer.h"

namespace plat {

WakeHandle createWake() {
    // Auto-reset: a wait that the event ends also resets it, so a signal is used up once.
    return CreateEventW(nullptr, FALSE, FALSE, nullptr);
}

void signalWake(WakeHandle wake) {
    if (wake) SetEvent(static_cast<HANDLE>(wake));
}

bool napOnWake(WakeHandle wake, int64_t microseconds) {
    if (!wake) {
        sleepUs(microseconds);
        return false;
    }
    // With the thread's high-resolution timer the nap ends on time even where the system timer is
    // coarse (a background process on Windows 11), so a worker's long wait can nap close to its end.
    HANDLE event = static_cast<HANDLE>(wake);
    if (microseconds > 0 && win32::armThreadTimer(microseconds)) {
        const HANDLE both[2] = {event, win32::threadTimer()};
        const DWORD ended = WaitForMultipleObjects(2, both, FALSE, INFINITE);
        if (ended == WAIT_OBJECT_0) {
            CancelWaitableTimer(both[1]);
            return true;
        }
        // The timer (or a failed wait): a signal given meanwhile is still taken.
        return WaitForSingleObject(event, 0) == WAIT_OBJECT_0;
    }
    // Whole milliseconds, rounded up so that a nap is never shorter than asked; capped below INFINITE.
    const int64_t milliseconds = microseconds <= 0 ? 0 : (microseconds + 999) / 1000;
    const DWORD wait = static_cast<DWORD>(milliseconds < 0x7FFFFFFF ? milliseconds : 0x7FFFFFFF);
    return WaitForSingleObject(event, wait) == WAIT_OBJECT_0;
}

Scheduling raiseThreadScheduling() {
    // The highest priority of the normal class: the process's class (and so the window thread and
    // the page) stays where it was. Threads started later begin at normal priority again.
    if (SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_TIME_CRITICAL))
        return {SchedulingKind::TimeCritical, THREAD_PRIORITY_TIME_CRITICAL};
    return {};
}

void nameThread(const char* name) {
    // SetThreadDescription exists from Windows 10 1607 on; older systems keep their threads unnamed.
    using SetDescription = HRESULT(WINAPI*)(HANDLE, PCWSTR);
    static const auto setDescription = reinterpret_cast<SetDescription>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "SetThreadDescription")));
    if (!setDescription || !name) return;
    // Thread names are plain ASCII words; anything else is dropped rather than misread.
    std::wstring wide;
    for (const char* c = name; *c; ++c) {
        if (static_cast<unsigned char>(*c) < 0x80) wide += static_cast<wchar_t>(*c);
    }
    setDescription(GetCurrentThread(), wide.c_str());
}

}  // namespace plat
