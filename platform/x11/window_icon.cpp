// The program's icon on its top-level windows: _NET_WM_ICON, which window managers and task bars read.
#include "platform/x11/window_icon.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>

#include <cstdint>
#include <vector>

#include "platform/platform.h"
#include "platform/x11/keys.h"
#include "platform/x11/x_errors.h"
#include "platform/x11/x_properties.h"

namespace plat {

void setWindowIcon(WindowHandle handle) {
    Display* display = x11::threadDisplay();
    if (!handle || !display || x11::kWindowIconLength == 0) return;
    // Format 32 properties travel as longs in Xlib, whatever their width on the wire.
    const std::vector<long> values(x11::kWindowIcon, x11::kWindowIcon + x11::kWindowIconLength);
    x11::ErrorTrap trap(display);
    const Window window = static_cast<Window>(reinterpret_cast<uintptr_t>(handle));
    x11::writeValues(display, window, XInternAtom(display, "_NET_WM_ICON", False), XA_CARDINAL, values);
    XFlush(display);
}

}  // namespace plat
