// Plain framed windows made on the test's own thread, for the tests that run window code (finding,
// placing, fitting, scaling) on real windows under Windows or Wine.
#pragma once

#include <windows.h>

namespace testwin {

// A visible framed window titled `title`, 300 × 200 at (100, 100).
inline HWND makeWindow(const char* title) {
    return CreateWindowExA(0, "STATIC", title, WS_OVERLAPPEDWINDOW | WS_VISIBLE, 100, 100, 300, 200, nullptr,
                           nullptr, GetModuleHandleA(nullptr), nullptr);
}

// Handles what waits for this thread's windows for about 50 ms, so that moves and resizes settle.
inline void pump() {
    MSG message;
    for (int i = 0; i < 10; ++i) {
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
        Sleep(5);
    }
}

inline RECT outerRect(HWND window) {
    RECT rect{};
    GetWindowRect(window, &rect);
    return rect;
}

inline RECT workAreaOf(HWND window) {
    MONITORINFO info{};
    info.cbSize = sizeof info;
    GetMonitorInfoW(MonitorFromWindow(window, MONITOR_DEFAULTTONEAREST), &info);
    return info.rcWork;
}

}  // namespace testwin
