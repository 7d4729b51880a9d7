// Linux windows: finding a top-level window by title, bringing it to the front, and the window
// operations (window_manager.h tells how they reach the manager). Every call runs inside an error trap:
// a window may be gone at any request.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "platform/x11/keys.h"
#include "platform/x11/window_manager.h"
#include "platform/x11/x_errors.h"
#include "platform/x11/x_properties.h"

namespace plat::x11 {
namespace {

struct Atoms {
    Atom netWmName, utf8String, netActiveWindow, netSupportingWmCheck;
};

Atoms atomsOf(Display* display) {
    static const char* const kNames[] = {"_NET_WM_NAME", "UTF8_STRING", "_NET_ACTIVE_WINDOW",
                                         "_NET_SUPPORTING_WM_CHECK"};
    return internedAtoms<Atoms>(display, kNames);
}

std::string latin1ToUtf8(const std::string& text) {
    std::string utf8;
    for (unsigned char c : text) {
        if (c < 0x80) {
            utf8 += static_cast<char>(c);
        } else {
            utf8 += static_cast<char>(0xC0 | (c >> 6));
            utf8 += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return utf8;
}

bool hasTitle(Display* display, Window window, const std::string& title) {
    const Atoms atoms = atomsOf(display);
    Property name;
    if (readProperty(display, window, atoms.netWmName, atoms.utf8String, name) && name.format == 8 &&
        name.bytes == title)
        return true;
    if (!readProperty(display, window, XA_WM_NAME, AnyPropertyType, name) || name.format != 8) return false;
    // STRING is Latin-1; COMPOUND_TEXT matches byte for byte as far as it is plain ASCII.
    if (name.type == XA_STRING) return latin1ToUtf8(name.bytes) == title;
    return name.bytes == title;
}

// Children from the top of the stacking order down; empty when the window is gone.
std::vector<Window> childrenOf(Display* display, Window window) {
    Window root = 0, parent = 0;
    Window* children = nullptr;
    unsigned count = 0;
    std::vector<Window> result;
    if (!XQueryTree(display, window, &root, &parent, &children, &count)) return result;
    if (children) {
        result.assign(children, children + count);
        XFree(children);
    }
    return {result.rbegin(), result.rend()};
}

// The window manager's own answer: it lists _NET_ACTIVE_WINDOW and runs. A manager that names no check
// window at all is taken at its word; one that has gone away leaves both properties behind, but its
// check window goes with it.
bool managerTakesActivation(Display* display) {
    if (!managerSupports(display, atomsOf(display).netActiveWindow)) return false;
    Property check;
    return managerRuns(display) || !readProperty(display, DefaultRootWindow(display),
                                                 atomsOf(display).netSupportingWmCheck, XA_WINDOW, check);
}

}  // namespace
}  // namespace plat::x11

namespace plat {

namespace {

// How many titles findWindow remembers the window of; a longer list starts again.
constexpr size_t kFoundTitles = 16;

}  // namespace

WindowHandle findWindow(const std::string& title) {
    Display* display = x11::threadDisplay();
    if (!display) return nullptr;
    x11::ErrorTrap trap(display);
    // The titles looked for are our own windows', each on one window, and they are looked for again
    // and again (the auto-clicker's note of our windows, once a second while something runs). The
    // search asks the server about every window on the desktop, twice under a window manager, so
    // the window found last is asked first: a window destroyed, or retitled, no longer has the title.
    static std::mutex foundLock;
    static std::map<std::string, Window> found;
    {
        std::lock_guard<std::mutex> lock(foundLock);
        auto known = found.find(title);
        if (known != found.end() && x11::hasTitle(display, known->second, title))
            return reinterpret_cast<WindowHandle>(known->second);
    }
    const auto remember = [&title](Window window) {
        std::lock_guard<std::mutex> lock(foundLock);
        if (found.size() >= kFoundTitles) found.clear();
        found[title] = window;
        return reinterpret_cast<WindowHandle>(window);
    };
    const Window root = DefaultRootWindow(display);
    const std::vector<Window> topLevel = x11::childrenOf(display, root);
    for (Window window : topLevel)
        if (x11::hasTitle(display, window, title)) return remember(window);
    // A window manager reparents each client into a frame of its own.
    for (Window frame : topLevel)
        for (Window window : x11::childrenOf(display, frame))
            if (x11::hasTitle(display, window, title)) return remember(window);
    return nullptr;
}

void forceForeground(WindowHandle handle) {
    if (!handle) return;
    Display* display = x11::threadDisplay();
    if (!display) return;
    const Window window = reinterpret_cast<uintptr_t>(handle);
    x11::ErrorTrap trap(display);
    if (x11::managerTakesActivation(display)) {
        // Source 2, a pager: the manager obeys instead of only flashing the window.
        x11::sendToManager(display, window, x11::atomsOf(display).netActiveWindow, {2, CurrentTime, 0});
    } else {
        XMapRaised(display, window);
        XSetInputFocus(display, window, RevertToParent, CurrentTime);
    }
    XFlush(display);
}

using x11::ErrorTrap;

bool windowRect(WindowHandle handle, Rect& rect) {
    Display* display = x11::threadDisplay();
    if (!handle || !display) return false;
    ErrorTrap trap(display);
    return x11::outerRect(display, x11::windowOf(handle), x11::managerRuns(display), rect);
}

void moveWindow(WindowHandle handle, int32_t x, int32_t y) {
    Display* display = x11::threadDisplay();
    if (!handle || !display) return;
    ErrorTrap trap(display);
    x11::place(display, x11::windowOf(handle), x, y, false, 0, 0);
}

void setWindowBounds(WindowHandle handle, int32_t x, int32_t y, int32_t width, int32_t height) {
    Display* display = x11::threadDisplay();
    if (!handle || !display) return;
    ErrorTrap trap(display);
    x11::place(display, x11::windowOf(handle), x, y, true, width, height);
}

void setTopmost(WindowHandle handle, bool on) {
    Display* display = x11::threadDisplay();
    if (!handle || !display) return;
    ErrorTrap trap(display);
    const Window window = x11::windowOf(handle);
    if (x11::managerRuns(display)) {
        x11::changeState(display, window, on, x11::windowAtomsOf(display).above, None);
    } else if (on) {
        // No band without a manager: the window is only raised.
        XRaiseWindow(display, window);
        XSync(display, False);
    }
}

void showWindow(WindowHandle handle, Show how) {
    Display* display = x11::threadDisplay();
    if (!handle || !display) return;
    ErrorTrap trap(display);
    const Window window = x11::windowOf(handle);
    const x11::WindowAtoms atoms = x11::windowAtomsOf(display);
    if (x11::managerRuns(display)) {
        x11::waitForAdoption(display, window);
        const bool iconic = x11::wmState(display, window) == IconicState;
        switch (how) {
            case Show::Maximize:
                x11::rememberNormal(display, window);
                x11::changeState(display, window, true, atoms.maximizedVert, atoms.maximizedHorz);
                if (iconic) XMapWindow(display, window);
                break;
            case Show::Minimize:
                XIconifyWindow(display, window, DefaultScreen(display));
                XSync(display, False);
                x11::waitUntil(x11::kManagerWaitMs,
                               [&] { return x11::wmState(display, window) == IconicState; });
                break;
            case Show::Restore:
                // From minimized back to what it was before (maximized or not); else out of maximized.
                if (iconic) {
                    XMapWindow(display, window);
                    XSync(display, False);
                    x11::waitUntil(x11::kManagerWaitMs,
                                   [&] { return x11::wmState(display, window) == NormalState; });
                } else if (x11::maximizedState(display, x11::netState(display, window))) {
                    x11::changeState(display, window, false, atoms.maximizedVert, atoms.maximizedHorz);
                }
                break;
        }
        XSync(display, False);
        return;
    }
    // Without a manager: minimized is unmapped, maximized is sized to the work area.
    auto kept = x11::keptNormal(display, window);
    const bool maximized = kept && kept->maximized;
    switch (how) {
        case Show::Maximize: {
            Rect rect, area;
            if (!maximized && x11::outerRect(display, window, false, rect))
                x11::keepNormal(display, window, rect, true);
            if (x11::workArea(display, area))
                x11::place(display, window, area.left, area.top, true, area.right - area.left,
                           area.bottom - area.top);
            XMapWindow(display, window);
            break;
        }
        case Show::Minimize:
            XUnmapWindow(display, window);
            break;
        case Show::Restore:
            if (maximized) {
                x11::keepNormal(display, window, kept->rect, false);
                x11::place(display, window, kept->rect.left, kept->rect.top, true,
                           kept->rect.right - kept->rect.left, kept->rect.bottom - kept->rect.top);
            }
            XMapWindow(display, window);
            break;
    }
    XSync(display, False);
}

bool isMaximized(WindowHandle handle) {
    Display* display = x11::threadDisplay();
    if (!handle || !display) return false;
    ErrorTrap trap(display);
    return x11::isMaximizedOn(display, x11::windowOf(handle), x11::managerRuns(display));
}

bool isMinimized(WindowHandle handle) {
    Display* display = x11::threadDisplay();
    if (!handle || !display) return false;
    ErrorTrap trap(display);
    const Window window = x11::windowOf(handle);
    if (x11::managerRuns(display)) return x11::wmState(display, window) == IconicState;
    XWindowAttributes attributes{};
    return XGetWindowAttributes(display, window, &attributes) && attributes.map_state == IsUnmapped;
}

bool windowPlacement(WindowHandle handle, Placement& placement) {
    Display* display = x11::threadDisplay();
    if (!handle || !display) return false;
    const Window window = x11::windowOf(handle);
    bool found = false;
    {
        ErrorTrap trap(display);
        found = x11::placementOf(display, window, placement);
    }
    if (found) {
        x11::notePlacement(window, placement);
        return true;
    }
    // The watched main window, once destroyed, still has the placement it had last.
    if (auto last = x11::lastPlacement(window)) {
        placement = *last;
        return true;
    }
    return false;
}

bool workAreaAtPoint(int32_t x, int32_t y, Rect& area) {
    Display* display = x11::threadDisplay();
    if (!display) return false;
    ErrorTrap trap(display);
    // One monitor: the screen.
    Rect screen;
    if (!x11::screenRect(display, screen) || x < screen.left || y < screen.top || x >= screen.right ||
        y >= screen.bottom)
        return false;
    return x11::workArea(display, area);
}

bool workAreaOfWindow(WindowHandle, Rect& area) {
    Display* display = x11::threadDisplay();
    if (!display) return false;
    ErrorTrap trap(display);
    return x11::workArea(display, area);
}

}  // namespace plat
