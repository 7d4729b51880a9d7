// Windows panel windows: the frameless style and the pointer drag that moves a panel by its header.
#include <windows.h>

#include "platform/platform.h"

namespace plat {

namespace {

constexpr DWORD kFrameStyles = WS_DLGFRAME | WS_SYSMENU | WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX;
constexpr DWORD kPanelStyles = WS_POPUP | WS_BORDER;

// The panel window's subclass, made on its first drag; the drag's handlers while one runs.
struct PanelDrag {
    HWND window = nullptr;
    WNDPROC previous = nullptr;
    bool dragging = false;
    DragHandlers handlers{};
};
PanelDrag drag;

LRESULT CALLBACK panelWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    WNDPROC previous = drag.previous;
    if (drag.dragging) {
        switch (message) {
            case WM_MOUSEMOVE: {
                // The screen point, not the message's client point: the window moves under it.
                POINT point;
                if (GetCursorPos(&point) && drag.handlers.moved) drag.handlers.moved(point.x, point.y);
                return 0;
            }
            case WM_LBUTTONUP:
                if (drag.handlers.released) drag.handlers.released();
                return 0;
            case WM_CAPTURECHANGED:
                if (drag.handlers.captureLost) drag.handlers.captureLost();
                break;
        }
    }
    if (message == WM_NCDESTROY) {
        SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(previous));
        drag = PanelDrag{};
    }
    return CallWindowProcW(previous, window, message, wParam, lParam);
}

}  // namespace

void makePanelWindow(WindowHandle window, bool positioned, int32_t x, int32_t y, int32_t width,
                     int32_t height) {
    if (!window) return;
    HWND panel = static_cast<HWND>(window);
    auto style = static_cast<DWORD>(GetWindowLongPtrW(panel, GWL_STYLE));
    SetWindowLongPtrW(panel, GWL_STYLE, static_cast<LONG_PTR>((style & ~kFrameStyles) | kPanelStyles));
    if (positioned) {
        SetWindowPos(panel, HWND_TOP, x, y, width, height, SWP_FRAMECHANGED | SWP_SHOWWINDOW);
    } else {
        SetWindowPos(panel, HWND_TOP, 0, 0, 0, 0,
                     SWP_NOMOVE | SWP_NOSIZE | SWP_FRAMECHANGED | SWP_SHOWWINDOW);
    }
}

void beginPointerDrag(WindowHandle window, const DragHandlers& handlers) {
    if (!window) return;
    HWND panel = static_cast<HWND>(window);
    if (drag.window != panel) {
        auto previous = reinterpret_cast<WNDPROC>(
            SetWindowLongPtrW(panel, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&panelWindowProc)));
        if (!previous) return;
        drag.window = panel;
        drag.previous = previous;
    }
    drag.handlers = handlers;
    drag.dragging = true;
    SetCapture(panel);
}

void endPointerDrag() {
    // Cleared first: the capture change that ReleaseCapture causes is then an ordinary message.
    drag.dragging = false;
    if (drag.window && GetCapture() == drag.window) ReleaseCapture();
}

}  // namespace plat
