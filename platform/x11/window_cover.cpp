// Whether other windows hide one of ours entirely, from the server's stacking order: the top-level
// windows above ours that are shown and opaque, against our window's part of the screen.
#include <X11/Xlib.h>

#include <vector>

#include "platform/covering.h"
#include "platform/platform.h"
#include "platform/x11/keys.h"
#include "platform/x11/window_manager.h"
#include "platform/x11/x_errors.h"

namespace plat {

namespace {

// A window of this depth has an alpha channel: what lies below may show through it.
constexpr int kTranslucentDepth = 32;

// The child of the root that holds `window`: the manager's frame, or the window itself without a
// manager; 0 when it is gone.
Window topLevelOf(Display* display, Window window) {
    for (Window at = window;;) {
        Window root = 0, parent = 0;
        Window* children = nullptr;
        unsigned count = 0;
        if (!XQueryTree(display, at, &root, &parent, &children, &count)) return 0;
        if (children) XFree(children);
        if (parent == root || parent == 0) return at;
        at = parent;
    }
}

// The top-level windows stacked above `top`, from just above it upwards; false when `top` is not
// among the root's children.
bool windowsAbove(Display* display, Window top, std::vector<Window>& above) {
    Window root = 0, parent = 0;
    Window* children = nullptr;
    unsigned count = 0;
    if (!XQueryTree(display, DefaultRootWindow(display), &root, &parent, &children, &count)) return false;
    bool found = false;
    for (unsigned i = 0; i < count; ++i) {  // bottom to top
        if (found) above.push_back(children[i]);
        found = found || children[i] == top;
    }
    if (children) XFree(children);
    return found;
}

}  // namespace

bool isCovered(WindowHandle handle) {
    Display* display = x11::threadDisplay();
    if (!handle || !display) return false;
    x11::ErrorTrap trap(display);
    const Window window = x11::windowOf(handle);
    XWindowAttributes own{};
    if (!XGetWindowAttributes(display, window, &own) || own.map_state != IsViewable) return false;
    int x = 0, y = 0;
    Window child = 0;
    Rect screen;
    if (!XTranslateCoordinates(display, window, DefaultRootWindow(display), 0, 0, &x, &y, &child) ||
        !x11::screenRect(display, screen))
        return false;
    const Rect area = clipped({x, y, x + own.width, y + own.height}, screen);
    std::vector<Window> above;
    const Window top = topLevelOf(display, window);
    if (!top || !windowsAbove(display, top, above)) return false;
    std::vector<Rect> over;
    for (Window other : above) {
        XWindowAttributes a{};
        if (!XGetWindowAttributes(display, other, &a) || a.map_state != IsViewable ||
            a.c_class != InputOutput || a.depth == kTranslucentDepth)
            continue;
        const int outer = 2 * a.border_width;
        over.push_back({a.x, a.y, a.x + a.width + outer, a.y + a.height + outer});
    }
    return rectCovered(area, over);
}

}  // namespace plat
