// Linux synthetic input, the pointer position and the screen size: through the compositor's virtual
// pointer and keyboard on a Wayland session that offers them (platform/wayland), else through XTest
// on a connection of the calling thread's own (an X11 session, or XWayland).
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>

#include <algorithm>
#include <cstdlib>

#include "platform/input_math.h"
#include "platform/platform.h"
#include "platform/virtual_input.h"
#include "platform/wayland/virtual_input.h"
#include "platform/x11/fd_wait.h"
#include "platform/x11/injection_notes.h"
#include "platform/x11/keys.h"

namespace plat::x11 {
namespace {

constexpr int64_t kSecondNs = 1'000'000'000;

struct ThreadConnection {
    Display* display = nullptr;
    bool hasXTest = false;
    int64_t nextOpenAttemptNs = 0;
    int64_t nextEventDrainNs = 0;

    ThreadConnection() = default;
    ThreadConnection(const ThreadConnection&) = delete;
    ThreadConnection& operator=(const ThreadConnection&) = delete;
    ~ThreadConnection() {
        if (display) XCloseDisplay(display);
    }
};

thread_local ThreadConnection connection;

// The thread's connection when it can inject.
Display* injectionDisplay() {
    Display* display = threadDisplay();
    return display && connection.hasXTest ? display : nullptr;
}

// This connection selects no events, but the server still sends it keyboard mapping changes. They are
// only read during round trips; a key-only thread reads them once a second, so that the keycodes
// follow a layout switch and the queue never grows.
void followKeyboardMapping(Display* display) {
    int64_t now = monotonicNs();
    if (now >= connection.nextEventDrainNs) {
        connection.nextEventDrainNs = now + kSecondNs;
        XEventsQueued(display, QueuedAfterReading);
    }
    while (XEventsQueued(display, QueuedAlready) > 0) {
        XEvent event;
        XNextEvent(display, &event);
        if (event.type == MappingNotify) XRefreshKeyboardMapping(&event.xmapping);
    }
}

// Coordinates and deltas travel as 16-bit values in the protocol; the server clamps them to the
// screen, so clamping here keeps far-off points on the right side instead of wrapping.
int clampToProtocol(int32_t value) {
    return std::clamp<int32_t>(value, -32768, 32767);
}

void sendButton(Display* display, unsigned button, bool down) {
    noteInjection(NoteKind::Button, button);
    XTestFakeButtonEvent(display, button, down ? True : False, CurrentTime);
}

// The X buttons of the pointer's buttons; the wheel's notches are presses of 4 (up) and 5 (down).
constexpr unsigned kXButtons[] = {1, 3, 2, 8, 9};  // left, right, middle, back, forward

}  // namespace

Display* threadDisplay() {
    if (connection.display) return connection.display;
    const int64_t now = monotonicNs();
    if (now < connection.nextOpenAttemptNs) return nullptr;
    connection.display = XOpenDisplay(nullptr);
    if (!connection.display) {
        connection.nextOpenAttemptNs = now + kSecondNs;
        return nullptr;
    }
    int eventBase = 0, errorBase = 0, major = 0, minor = 0;
    connection.hasXTest = XTestQueryExtension(connection.display, &eventBase, &errorBase, &major, &minor);
    return connection.display;
}

}  // namespace plat::x11

namespace plat {

using x11::NoteKind;

// The X server queues what XTest sends whatever has the screen (a locked session included): without
// a connection nothing was taken; otherwise it was.
bool injectAbsoluteMove(int32_t x, int32_t y) {
    if (wayland::routed()) return wayland::absoluteMove(x, y);
    Display* display = x11::injectionDisplay();
    if (!display) return false;
    x11::noteInjection(NoteKind::Motion, 0);
    XTestFakeMotionEvent(display, -1, x11::clampToProtocol(x), x11::clampToProtocol(y), CurrentTime);
    XFlush(display);
    return true;
}

bool injectRelativeMove(int32_t dx, int32_t dy) {
    if (wayland::routed()) return wayland::relativeMove(dx, dy);
    Display* display = x11::injectionDisplay();
    if (!display) return false;
    x11::noteInjection(NoteKind::Motion, 0);
    XTestFakeRelativeMotionEvent(display, x11::clampToProtocol(dx), x11::clampToProtocol(dy), CurrentTime);
    XFlush(display);
    return true;
}

bool injectMouse(uint32_t flags, int32_t data) {
    const rv::PointerActions actions = rv::pointerActions(flags, data);
    if (wayland::routed()) return actions.count == 0 || wayland::pointer(actions);
    Display* display = x11::injectionDisplay();
    if (!display) return false;
    for (const rv::PointerAction& action : actions) {
        if (!action.wheel) {
            x11::sendButton(display, x11::kXButtons[static_cast<size_t>(action.button)], action.down);
            continue;
        }
        const unsigned button = action.notches > 0 ? 4 : 5;
        for (int32_t i = 0; i < std::abs(action.notches); ++i) {
            x11::sendButton(display, button, true);
            x11::sendButton(display, button, false);
        }
    }
    if (actions.count > 0) XFlush(display);
    return true;
}

int injectKey(int32_t vk, bool down) {
    if (wayland::routed()) return wayland::key(vk, down);
    Display* display = x11::injectionDisplay();
    if (!display) return 0;
    x11::followKeyboardMapping(display);
    const unsigned keycode = x11::keycodeFromVk(display, vk);
    if (keycode == 0) return 0;
    x11::noteInjection(NoteKind::Key, keycode);
    const int sent = XTestFakeKeyEvent(display, keycode, down ? True : False, CurrentTime);
    XFlush(display);
    return sent ? 1 : 0;
}

void settleInjection() {
    if (wayland::routed()) return wayland::settle();
    if (Display* display = x11::injectionDisplay()) XSync(display, False);
}

InputRoute inputRoute() {
    if (wayland::routed()) return InputRoute::Wayland;
    return x11::injectionDisplay() ? InputRoute::X11 : InputRoute::Unavailable;
}

// A Wayland compositor tells no client where the pointer is; XWayland's last known point there is
// stale as soon as the pointer leaves its windows.
bool cursorPos(int32_t& x, int32_t& y) {
    if (wayland::routed()) return false;
    Display* display = x11::threadDisplay();
    if (!display) return false;
    Window root = 0, child = 0;
    int rootX = 0, rootY = 0, windowX = 0, windowY = 0;
    unsigned mask = 0;
    // False means the pointer is on another screen of this display: no point on ours.
    if (!XQueryPointer(display, DefaultRootWindow(display), &root, &child, &rootX, &rootY, &windowX, &windowY,
                       &mask))
        return false;
    x = rootX;
    y = rootY;
    return true;
}

void screenSize(int32_t& width, int32_t& height) {
    width = 0;
    height = 0;
    if (wayland::routed()) {
        const rv::DeskArea box = wayland::layout();
        width = box.width;
        height = box.height;
        return;
    }
    Display* display = x11::threadDisplay();
    if (!display) return;
    // Asked afresh: the size known since the connection opened would miss a later RandR change.
    Window root = 0;
    int x = 0, y = 0;
    unsigned w = 0, h = 0, border = 0, depth = 0;
    if (!XGetGeometry(display, DefaultRootWindow(display), &root, &x, &y, &w, &h, &border, &depth)) return;
    width = static_cast<int32_t>(w);
    height = static_cast<int32_t>(h);
}

// The root window spans every monitor, and XTest's absolute moves are in its coordinates already.
Rect virtualDesktop() {
    if (wayland::routed()) {
        const rv::DeskArea box = wayland::layout();
        return Rect{box.left, box.top, box.left + box.width, box.top + box.height};
    }
    int32_t width = 0, height = 0;
    screenSize(width, height);
    return Rect{0, 0, width, height};
}

}  // namespace plat
