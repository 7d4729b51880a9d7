// The client area of a window: the client window's own geometry (a window manager's frame is its
// parent, outside it).
#include <X11/Xlib.h>

#include <cstdint>

#include "platform/platform.h"
#include "platform/x11/keys.h"
#include "platform/x11/x_errors.h"

namespace plat {

bool windowClientSize(WindowHandle handle, int32_t& width, int32_t& height) {
    Display* display = x11::threadDisplay();
    if (!handle || !display) return false;
    x11::ErrorTrap trap(display);
    Window root;
    int x = 0, y = 0;
    unsigned w = 0, h = 0, border = 0, depth = 0;
    Window window = static_cast<Window>(reinterpret_cast<uintptr_t>(handle));
    if (!XGetGeometry(display, window, &root, &x, &y, &w, &h, &border, &depth)) return false;
    width = static_cast<int32_t>(w);
    height = static_cast<int32_t>(h);
    return true;
}

// GTK sizes the webview's window in the same pixels as the window system's rectangles here.
double windowScale(WindowHandle) {
    return 1.0;
}

}  // namespace plat
