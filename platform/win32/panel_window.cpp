// Windows panel windows: the frameless style and the pointer drag that moves a panel by its header.
#include <windows.h>

#include "platform/display_scale.h"
#include "platform/platform.h"

namespace plat {

namespace {

constexpr DWORD kFrameStyles = WS_DLGFRAME | WS_SYSMENU | WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX;
constexpr DWORD kPanelStyles = WS_POPUP | WS_BORDER;

// The panel window's subclass, made when it becomes a panel (or on its first drag); the drag's
// handlers while one runs.
struct PanelWindow {
    HWND window = nullptr;
    WNDPROC previous = nullptr;
    bool frameless = false;
    bool dragging = false;
    DragHandlers handlers{};
};
PanelWindow panel;

LRESULT CALLBACK panelWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    WNDPROC previous = panel.previous;
    // The webview gives its window a sizing border and a maximise box back at every set_size; a panel
    // keeps its own styles whoever changes them, and the frame the webview then works out for the
    // client size it was asked for is the panel's one-pixel border.
    if (message == WM_STYLECHANGING && panel.frameless && static_cast<int>(wParam) == GWL_STYLE) {
        auto* change = reinterpret_cast<STYLESTRUCT*>(lParam);
        change->styleNew = (change->styleNew & ~kFrameStyles) | kPanelStyles;
    }
    if (panel.dragging) {
        switch (message) {
            case WM_MOUSEMOVE: {
                // The screen point, not the message's client point: the window moves under it.
                POINT point;
                if (GetCursorPos(&point) && panel.handlers.moved) panel.handlers.moved(point.x, point.y);
                return 0;
            }
            case WM_LBUTTONUP:
                if (panel.handlers.released) panel.handlers.released();
                return 0;
            case WM_CAPTURECHANGED:
                if (panel.handlers.captureLost) panel.handlers.captureLost();
                break;
        }
    }
    if (message == WM_NCDESTROY) {
        SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(previous));
        panel = PanelWindow{};
    }
    const LRESULT result = CallWindowProcW(previous, window, message, wParam, lParam);
    if (message == WM_DPICHANGED) {
        // On a monitor of another DPI: the icons drawn for it, and the size the system works out
        // for it, which keeps the panel's size in page pixels. Where the panel stands is left to
        // whoever moved it there (a drag goes on moving it under the pointer).
        setWindowIcon(window);
        const auto* suggested = reinterpret_cast<const RECT*>(lParam);
        SetWindowPos(window, nullptr, 0, 0, suggested->right - suggested->left,
                     suggested->bottom - suggested->top, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
    return result;
}

bool subclass(HWND window) {
    if (panel.window == window) return true;
    auto previous = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&panelWindowProc)));
    if (!previous) return false;
    panel = PanelWindow{};
    panel.window = window;
    panel.previous = previous;
    return true;
}

// The logical left button, held now. The asynchronous state is that of the physical buttons: with
// the buttons swapped the logical left one is the physical right one.
bool primaryButtonDown() {
    int button = GetSystemMetrics(SM_SWAPBUTTON) ? VK_RBUTTON : VK_LBUTTON;
    return (GetAsyncKeyState(button) & 0x8000) != 0;
}

}  // namespace

void makePanelWindow(WindowHandle window, bool positioned, int32_t x, int32_t y, int32_t width,
                     int32_t height) {
    if (!window) return;
    HWND handle = static_cast<HWND>(window);
    if (subclass(handle)) panel.frameless = true;
    auto style = static_cast<DWORD>(GetWindowLongPtrW(handle, GWL_STYLE));
    SetWindowLongPtrW(handle, GWL_STYLE, static_cast<LONG_PTR>((style & ~kFrameStyles) | kPanelStyles));
    if (positioned) {
        // There first, then sized at the scale of the monitor it is now on: a move onto a monitor
        // of another DPI rescales the window, which would otherwise scale the new size twice.
        SetWindowPos(handle, HWND_TOP, x, y, 0, 0, SWP_NOSIZE | SWP_FRAMECHANGED);
        const double scale = windowScale(window);
        SetWindowPos(handle, HWND_TOP, x, y, rv::windowPixels(width, scale), rv::windowPixels(height, scale),
                     SWP_SHOWWINDOW);
    } else {
        SetWindowPos(handle, HWND_TOP, 0, 0, 0, 0,
                     SWP_NOMOVE | SWP_NOSIZE | SWP_FRAMECHANGED | SWP_SHOWWINDOW);
    }
}

void beginPointerDrag(WindowHandle window, const DragHandlers& handlers) {
    if (!window) return;
    // The page reports the press only after a round trip through the browser: a quick click may be
    // over by then, and a capture taken now would drag the panel with no button held until the next
    // click. Such a drag ends at once.
    if (!primaryButtonDown()) {
        if (handlers.released) handlers.released();
        return;
    }
    HWND handle = static_cast<HWND>(window);
    if (!subclass(handle)) return;
    panel.handlers = handlers;
    panel.dragging = true;
    SetCapture(handle);
}

void endPointerDrag() {
    // Cleared first: the capture change that ReleaseCapture causes is then an ordinary message.
    panel.dragging = false;
    if (panel.window && GetCapture() == panel.window) ReleaseCapture();
}

}  // namespace plat
