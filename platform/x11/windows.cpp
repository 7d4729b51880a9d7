// Linux windows: finding a top-level window by title and bringing it to the front.
#include <X11/Xatom.h>
#include <X11/Xlib.h>

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "platform/x11/keys.h"

namespace plat::x11 {
namespace {

// Windows of other clients can vanish between any two requests, and Xlib's default answer to the
// resulting BadWindow is to end the process. While a trap is open, errors on the trapping
// connection are ignored (the search or request simply finds nothing); errors on any other
// connection (GTK's, say) still reach the handler that was there before. Xlib keeps one handler per
// process, so traps take turns.
std::mutex trapMutex;
std::atomic<Display*> trapDisplay{nullptr};
std::atomic<XErrorHandler> handlerBeforeTrap{nullptr};

int onTrappedError(Display* display, XErrorEvent* error) {
    if (display == trapDisplay.load()) return 0;
    XErrorHandler previous = handlerBeforeTrap.load();
    return previous ? previous(display, error) : 0;
}

class ErrorTrap {
  public:
    explicit ErrorTrap(Display* display) : display_(display), lock_(trapMutex) {
        // Errors of requests sent before the trap belong to whoever sent them.
        XSync(display_, False);
        trapDisplay.store(display_);
        handlerBeforeTrap.store(XSetErrorHandler(&onTrappedError));
    }
    ErrorTrap(const ErrorTrap&) = delete;
    ErrorTrap& operator=(const ErrorTrap&) = delete;
    ~ErrorTrap() {
        XSync(display_, False);
        XSetErrorHandler(handlerBeforeTrap.load());
        trapDisplay.store(nullptr);
    }

  private:
    Display* display_;
    std::lock_guard<std::mutex> lock_;
};

struct Atoms {
    Atom netWmName, utf8String, netActiveWindow, netSupported, netSupportingWmCheck;
};

// Interned once per connection, in one round trip.
const Atoms& atomsOf(Display* display) {
    thread_local Display* internedFor = nullptr;
    thread_local Atoms atoms{};
    if (internedFor != display) {
        char* names[] = {const_cast<char*>("_NET_WM_NAME"), const_cast<char*>("UTF8_STRING"),
                         const_cast<char*>("_NET_ACTIVE_WINDOW"), const_cast<char*>("_NET_SUPPORTED"),
                         const_cast<char*>("_NET_SUPPORTING_WM_CHECK")};
        Atom interned[5] = {};
        XInternAtoms(display, names, 5, False, interned);
        atoms = {interned[0], interned[1], interned[2], interned[3], interned[4]};
        internedFor = display;
    }
    return atoms;
}

struct Property {
    Atom type = None;
    int format = 0;
    std::string bytes;                  // format 8
    std::vector<unsigned long> values;  // format 32 (Xlib hands them over as longs)
};

// False when the window has no such property or is gone.
bool readProperty(Display* display, Window window, Atom name, Atom type, Property& out) {
    Atom actualType = None;
    int actualFormat = 0;
    unsigned long count = 0, bytesAfter = 0;
    unsigned char* data = nullptr;
    // 64 Ki units: far more than any title or atom list; a longer value is read only in part.
    if (XGetWindowProperty(display, window, name, 0, 65536, False, type, &actualType, &actualFormat, &count,
                           &bytesAfter, &data) != Success)
        return false;
    out = Property{};
    out.type = actualType;
    out.format = actualFormat;
    if (data && actualFormat == 8) {
        out.bytes.assign(reinterpret_cast<const char*>(data), count);
    } else if (data && actualFormat == 32) {
        const unsigned long* values = reinterpret_cast<const unsigned long*>(data);
        out.values.assign(values, values + count);
    }
    if (data) XFree(data);
    return actualType != None;
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
    const Atoms& atoms = atomsOf(display);
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

// The window manager's own answer: _NET_SUPPORTED lists _NET_ACTIVE_WINDOW, and the check window
// it names is still there (a window manager that has gone away leaves both properties behind).
bool managerTakesActivation(Display* display, Window root) {
    const Atoms& atoms = atomsOf(display);
    Property supported;
    if (!readProperty(display, root, atoms.netSupported, XA_ATOM, supported)) return false;
    bool listed = false;
    for (unsigned long atom : supported.values) listed = listed || atom == atoms.netActiveWindow;
    if (!listed) return false;
    Property check;
    if (!readProperty(display, root, atoms.netSupportingWmCheck, XA_WINDOW, check)) return true;
    if (check.values.empty()) return false;
    const Window checkWindow = check.values[0];
    Property again;
    return readProperty(display, checkWindow, atoms.netSupportingWmCheck, XA_WINDOW, again) &&
           !again.values.empty() && again.values[0] == checkWindow;
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
    const Window root = DefaultRootWindow(display);
    x11::ErrorTrap trap(display);
    if (x11::managerTakesActivation(display, root)) {
        XEvent event{};
        event.xclient.type = ClientMessage;
        event.xclient.window = window;
        event.xclient.message_type = x11::atomsOf(display).netActiveWindow;
        event.xclient.format = 32;
        event.xclient.data.l[0] = 2;  // from a pager: the manager obeys instead of only flashing it
        event.xclient.data.l[1] = CurrentTime;
        event.xclient.data.l[2] = 0;
        XSendEvent(display, root, False, SubstructureRedirectMask | SubstructureNotifyMask, &event);
    } else {
        XMapRaised(display, window);
        XSetInputFocus(display, window, RevertToParent, CurrentTime);
    }
    XFlush(display);
}

}  // namespace plat
