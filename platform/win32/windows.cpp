// Windows top-level windows: lookup by title, foreground, geometry, show state, monitors' work areas
// and the watch on the main window's moves, sizes and end.
#include <windows.h>

#include <dwmapi.h>

#include <vector>

#include "platform/covering.h"
#include "platform/platform.h"
#include "platform/win32/wide_text.h"

namespace plat {

namespace {

HWND hwnd(WindowHandle window) {
    return static_cast<HWND>(window);
}

Rect fromRECT(const RECT& r) {
    return Rect{r.left, r.top, r.right, r.bottom};
}

bool monitorWorkArea(HMONITOR monitor, Rect& workArea) {
    MONITORINFO info{};
    info.cbSize = sizeof info;
    if (!monitor || !GetMonitorInfoW(monitor, &info)) return false;
    workArea = fromRECT(info.rcWork);
    return true;
}

// The main window's subclass: one watched window per process.
struct MainWindowWatch {
    HWND window = nullptr;
    WNDPROC previous = nullptr;
    void (*moveSizeEnded)(WindowHandle) = nullptr;
    void (*destroyed)(WindowHandle) = nullptr;
};
MainWindowWatch watch;
// Kept apart from the watch, which ends with its window.
void (*sessionEnding)() = nullptr;

LRESULT CALLBACK watchedWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    WNDPROC previous = watch.previous;
    if (message == WM_EXITSIZEMOVE && watch.moveSizeEnded) watch.moveSizeEnded(window);
    // Answered after the save and the release: once it is, the process may end at any moment, and
    // the window is never destroyed (no WM_DESTROY, no save on the way out).
    if (message == WM_ENDSESSION && wParam && sessionEnding) {
        auto ending = sessionEnding;
        sessionEnding = nullptr;
        ending();
        return 0;
    }
    if (message == WM_DESTROY && watch.destroyed) {
        auto destroyed = watch.destroyed;
        watch.destroyed = nullptr;
        destroyed(window);
    }
    if (message == WM_NCDESTROY) {
        // The window's last message: hand it back its own procedure.
        SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(previous));
        watch = MainWindowWatch{};
    }
    const LRESULT result = CallWindowProcW(previous, window, message, wParam, lParam);
    // On a monitor of another DPI: the icons drawn for it.
    if (message == WM_DPICHANGED) setWindowIcon(window);
    return result;
}

}  // namespace

WindowHandle findWindow(const std::string& title) {
    return FindWindowW(nullptr, toWide(title).c_str());
}

void forceForeground(WindowHandle window) {
    if (!window) return;
    HWND target = hwnd(window);
    HWND foreground = GetForegroundWindow();
    if (!foreground) {
        BringWindowToTop(target);
        SetForegroundWindow(target);
        SetFocus(target);
        return;
    }
    // Windows refuses the foreground to a thread that does not own the current foreground input;
    // sharing the foreground thread's input state for the moment of the switch lifts that.
    DWORD foregroundThread = GetWindowThreadProcessId(foreground, nullptr);
    DWORD ownThread = GetCurrentThreadId();
    bool attached = false;
    if (foregroundThread != 0 && foregroundThread != ownThread) {
        attached = AttachThreadInput(ownThread, foregroundThread, TRUE) != 0;
    }
    BringWindowToTop(target);
    SetForegroundWindow(target);
    SetFocus(target);
    if (attached) {
        AttachThreadInput(ownThread, foregroundThread, FALSE);
        // Wine leaves no foreground window when the input states part again; take it back then.
        if (!GetForegroundWindow()) SetForegroundWindow(target);
    }
}

bool windowRect(WindowHandle window, Rect& rect) {
    RECT r;
    if (!window || !GetWindowRect(hwnd(window), &r)) return false;
    rect = fromRECT(r);
    return true;
}

bool windowClientSize(WindowHandle window, int32_t& width, int32_t& height) {
    RECT r;
    if (!window || !GetClientRect(hwnd(window), &r)) return false;
    width = r.right - r.left;
    height = r.bottom - r.top;
    return true;
}

double windowScale(WindowHandle window) {
    // Windows 10 1607 on; before it the process is not scaled per monitor either.
    using GetDpiFn = UINT(WINAPI*)(HWND);
    static const auto getDpiForWindow = reinterpret_cast<GetDpiFn>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"user32.dll"), "GetDpiForWindow")));
    UINT dpi = window && getDpiForWindow ? getDpiForWindow(hwnd(window)) : 0;
    return dpi > 0 ? dpi / 96.0 : 1.0;
}

void moveWindow(WindowHandle window, int32_t x, int32_t y) {
    if (window) SetWindowPos(hwnd(window), nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
}

// Moved first, then sized: a move onto a monitor of another DPI makes the system send
// WM_DPICHANGED, on which the webview scales the window by the ratio of the two DPIs. Sized in the
// same step, a size that is already in the new monitor's pixels (a saved placement) would be
// scaled again, and the window would grow or shrink at every start.
void setWindowBounds(WindowHandle window, int32_t x, int32_t y, int32_t width, int32_t height) {
    if (!window) return;
    SetWindowPos(hwnd(window), nullptr, x, y, 0, 0, SWP_NOZORDER | SWP_NOSIZE | SWP_NOACTIVATE);
    SetWindowPos(hwnd(window), nullptr, x, y, width, height, SWP_NOZORDER);
}

void setTopmost(WindowHandle window, bool on) {
    if (window)
        SetWindowPos(hwnd(window), on ? HWND_TOPMOST : HWND_NOTOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
}

void showWindow(WindowHandle window, Show how) {
    if (!window) return;
    int command = how == Show::Maximize ? SW_MAXIMIZE : how == Show::Minimize ? SW_MINIMIZE : SW_RESTORE;
    ShowWindow(hwnd(window), command);
}

bool isMaximized(WindowHandle window) {
    return window && IsZoomed(hwnd(window));
}

bool isMinimized(WindowHandle window) {
    return window && IsIconic(hwnd(window));
}

namespace {

// A window the desktop does not draw though it counts as visible: a suspended store app's frame,
// one on another virtual desktop.
bool cloaked(HWND window) {
    DWORD cloak = 0;
    return SUCCEEDED(DwmGetWindowAttribute(window, DWMWA_CLOAKED, &cloak, sizeof cloak)) && cloak != 0;
}

// What the window draws on the screen: its frame without the invisible resize borders where the
// desktop can tell them, else its whole rectangle.
bool drawnRect(HWND window, RECT& rect) {
    if (SUCCEEDED(DwmGetWindowAttribute(window, DWMWA_EXTENDED_FRAME_BOUNDS, &rect, sizeof rect)))
        return true;
    return GetWindowRect(window, &rect) != FALSE;
}

}  // namespace

bool isCovered(WindowHandle window) {
    HWND target = hwnd(window);
    if (!target || !IsWindowVisible(target) || IsIconic(target)) return false;
    RECT client{};
    if (!GetClientRect(target, &client)) return false;
    MapWindowPoints(target, nullptr, reinterpret_cast<POINT*>(&client), 2);
    const Rect screen{GetSystemMetrics(SM_XVIRTUALSCREEN), GetSystemMetrics(SM_YVIRTUALSCREEN),
                      GetSystemMetrics(SM_XVIRTUALSCREEN) + GetSystemMetrics(SM_CXVIRTUALSCREEN),
                      GetSystemMetrics(SM_YVIRTUALSCREEN) + GetSystemMetrics(SM_CYVIRTUALSCREEN)};
    const Rect area = clipped(fromRECT(client), screen);
    std::vector<Rect> over;
    for (HWND other = GetWindow(target, GW_HWNDPREV); other; other = GetWindow(other, GW_HWNDPREV)) {
        // A layered or click-through window may let ours show through it.
        const LONG_PTR extended = GetWindowLongPtrW(other, GWL_EXSTYLE);
        if (!IsWindowVisible(other) || IsIconic(other) || (extended & (WS_EX_LAYERED | WS_EX_TRANSPARENT)) ||
            cloaked(other))
            continue;
        RECT drawn{};
        if (drawnRect(other, drawn)) over.push_back(fromRECT(drawn));
    }
    return rectCovered(area, over);
}

bool windowPlacement(WindowHandle window, Placement& placement) {
    WINDOWPLACEMENT record{};
    record.length = sizeof record;
    if (!window || !GetWindowPlacement(hwnd(window), &record)) return false;
    placement.normal = fromRECT(record.rcNormalPosition);
    placement.maximized = record.showCmd == SW_SHOWMAXIMIZED;
    // The normal rectangle is in workspace coordinates (from the work area's corner); the rectangle is
    // used again as screen coordinates, so with a task bar at the left or top the window would creep
    // by the bar's size on every run without this shift.
    if (!(GetWindowLongPtrW(hwnd(window), GWL_EXSTYLE) & WS_EX_TOOLWINDOW)) {
        MONITORINFO info{};
        info.cbSize = sizeof info;
        if (GetMonitorInfoW(MonitorFromWindow(hwnd(window), MONITOR_DEFAULTTONEAREST), &info)) {
            int32_t dx = info.rcWork.left - info.rcMonitor.left, dy = info.rcWork.top - info.rcMonitor.top;
            placement.normal = Rect{placement.normal.left + dx, placement.normal.top + dy,
                                    placement.normal.right + dx, placement.normal.bottom + dy};
        }
    }
    return true;
}

bool workAreaAtPoint(int32_t x, int32_t y, Rect& workArea) {
    return monitorWorkArea(MonitorFromPoint(POINT{x, y}, MONITOR_DEFAULTTONULL), workArea);
}

bool workAreaOfWindow(WindowHandle window, Rect& workArea) {
    HMONITOR monitor = window ? MonitorFromWindow(hwnd(window), MONITOR_DEFAULTTONEAREST)
                              : MonitorFromPoint(POINT{0, 0}, MONITOR_DEFAULTTOPRIMARY);
    return monitorWorkArea(monitor, workArea);
}

void watchSessionEnd(void (*ending)()) {
    sessionEnding = ending;
}

void watchMainWindow(WindowHandle window, void (*moveSizeEnded)(WindowHandle),
                     void (*destroyed)(WindowHandle)) {
    if (!window) return;
    watch.moveSizeEnded = moveSizeEnded;
    watch.destroyed = destroyed;
    if (watch.window == hwnd(window)) return;  // already subclassed: only the callbacks change
    // The wide-character procedure keeps the window's Unicode messages (its title) unconverted.
    auto previous = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrW(hwnd(window), GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&watchedWindowProc)));
    if (!previous) return;
    watch.window = hwnd(window);
    watch.previous = previous;
}

}  // namespace plat
