// The program's icon on its top-level windows, from the executable's own icon resource.
#include <windows.h>

#include <algorithm>
#include <vector>

#include "platform/platform.h"

namespace plat {

namespace {

constexpr int kIconResource = 1;  // the resource script's ICON entry

// The icons this process has given its windows (user-interface thread only), so that the ones a
// window gives back when it gets new ones are destroyed.
std::vector<HICON> given;

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

void give(HWND window, WPARAM which, HICON icon) {
    if (!icon) return;
    given.push_back(icon);
    auto previous =
        reinterpret_cast<HICON>(SendMessageW(window, WM_SETICON, which, reinterpret_cast<LPARAM>(icon)));
    auto ours = std::find(given.begin(), given.end(), previous);
    if (previous && ours != given.end()) {
        given.erase(ours);
        DestroyIcon(previous);
    }
}

}  // namespace

void setWindowIcon(WindowHandle handle) {
    HWND window = static_cast<HWND>(handle);
    if (!window || !IsWindow(window)) return;
    give(window, ICON_BIG, loadIcon(window, SM_CXICON));
    give(window, ICON_SMALL, loadIcon(window, SM_CXSMICON));
}

}  // namespace plat
