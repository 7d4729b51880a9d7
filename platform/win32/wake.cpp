// Windows wakes (an auto-reset event each) and thread names.
#include <windows.h>

#include <string>

#include "platform/platform.h"

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
    // Whole milliseconds, rounded up so that a nap is never shorter than asked; capped below INFINITE.
    const int64_t milliseconds = microseconds <= 0 ? 0 : (microseconds + 999) / 1000;
    const DWORD wait = static_cast<DWORD>(milliseconds < 0x7FFFFFFF ? milliseconds : 0x7FFFFFFF);
    return WaitForSingleObject(static_cast<HANDLE>(wake), wait) == WAIT_OBJECT_0;
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
