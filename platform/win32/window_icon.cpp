// The program's icon on its top-level windows, from the executable's own icon resource.
#include <windows.h>

#include "platform/platform.h"

namespace plat {

namespace {

constexpr int kIconResource = 1;  // the resource script's ICON entry

// The icon of `metric`'s size (SM_CXICON or SM_CXSMICON) at the window's DPI, drawn from the
// resource's nearest image. Windows 10 1607 on scales per monitor; before it the system size serves.
HICON loadIcon(HWND window, int metric) {
    using DpiForWindowFn = UINT(WINAPI*)(HWND);
    using MetricsForDpiFn = int(WINAPI*)(int, UINT);
    static const HMODULE user32 = GetModuleHandleW(L"user32.dll");
    static const auto dpiForWindow =
        reinterpret_cast<DpiForWindowFn>(reinterpret_cast<void*>(GetProcAddress(user32, "GetDpiForWindow")));
    static const auto metricsForDpi = reinterpret_cast<MetricsForDpiFn>(
        reinterpret_cast<void*>(GetProcAddress(user32, "GetSystemMetricsForDpi")));
    const UINT dpi = dpiForWindow ? dpiForWindow(window) : 0;
    const int size = dpi && metricsForDpi ? metricsForDpi(metric, dpi) : GetSystemMetrics(metric);
    return static_cast<HICON>(LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(kIconResource),
                                         IMAGE_ICON, size, size, LR_DEFAULTCOLOR));
}

}  // namespace

void setWindowIcon(WindowHandle handle) {
    HWND window = static_cast<HWND>(handle);
    if (!window || !IsWindow(window)) return;
    // The icons live as long as the process: a window keeps using what WM_SETICON gave it, and each
    // window is given them once.
    if (HICON big = loadIcon(window, SM_CXICON))
        SendMessageW(window, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(big));
    if (HICON small = loadIcon(window, SM_CXSMICON))
        SendMessageW(window, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(small));
}

}  // namespace plat
