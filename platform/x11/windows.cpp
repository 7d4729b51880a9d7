// Linux windows: finding a top-level window by title and bringing it to the front. Both run inside an
// error trap: a window of another client that vanishes meanwhile is simply not found, or not raised.
#include <X11/Xatom.h>
#include <X11/Xlib.h>

#include <cstdint>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "platform/x11/keys.h"
#include "platform/x11/x_util.h"

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

WindowHandle findWindow(const std::string& title) {
    Display* display = x11::threadDisplay();
    if (!display) return nullptr;
    x11::ErrorTrap trap(display);
    const Window root = DefaultRootWindow(display);
    const std::vector<Window> topLevel = x11::childrenOf(display, root);
    for (Window window : topLevel)
        if (x11::hasTitle(display, window, title)) return reinterpret_cast<WindowHandle>(window);
    // A window manager reparents each client into a frame of its own.
    for (Window frame : topLevel)
        for (Window window : x11::childrenOf(display, frame))
            if (x11::hasTitle(display, window, title)) return reinterpret_cast<WindowHandle>(window);
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

}  // namespace plat
