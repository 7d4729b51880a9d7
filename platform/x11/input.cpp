// Linux synthetic input through XTest, the pointer position and the screen size, on a connection of
// the calling thread's own.
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>

#include <algorithm>
#include <cstdlib>

#include "platform/input_math.h"
#include "platform/platform.h"
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

// The recorded side-button press carries no "which" and its release is never recorded, so a press
// without XBUTTON1/XBUTTON2 in the data is sent as a whole click: a button left down on X can keep the
// pointer grabbed by the window it was pressed on, so that every later click goes there.
void sendSideButton(Display* display, bool down, int32_t data) {
    const unsigned button = data == 2 ? 9 : 8;
    const bool saysWhich = data == 1 || data == 2;
    if (down) {
        sendButton(display, button, true);
        if (!saysWhich) sendButton(display, button, false);
    } else {
        sendButton(display, button, false);
    }
}

// A notch per 120 units, rounded toward zero, but at least one for any non-zero delta (high-resolution
// wheels report less than 120 per event); at most kMaxWheelNotches per call, so that a damaged event
// cannot flood the server.
constexpr int64_t kMaxWheelNotches = 100;

void sendWheel(Display* display, int32_t delta) {
    if (delta == 0) return;
    const int64_t magnitude = std::llabs(static_cast<int64_t>(delta));
    const int64_t notches = std::clamp<int64_t>(magnitude / rv::WHEEL_DELTA, 1, kMaxWheelNotches);
    const unsigned button = delta > 0 ? 4 : 5;
    for (int64_t i = 0; i < notches; ++i) {
        sendButton(display, button, true);
        sendButton(display, button, false);
    }
}

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
    Display* display = x11::injectionDisplay();
    if (!display) return false;
    x11::noteInjection(NoteKind::Motion, 0);
    XTestFakeMotionEvent(display, -1, x11::clampToProtocol(x), x11::clampToProtocol(y), CurrentTime);
    XFlush(display);
    return true;
}

bool injectRelativeMove(int32_t dx, int32_t dy) {
    Display* display = x11::injectionDisplay();
    if (!display) return false;
    x11::noteInjection(NoteKind::Motion, 0);
    XTestFakeRelativeMotionEvent(display, x11::clampToProtocol(dx), x11::clampToProtocol(dy), CurrentTime);
    XFlush(display);
    return true;
}

bool injectMouse(uint32_t flags, int32_t data) {
    Display* display = x11::injectionDisplay();
    if (!display) return false;
    struct ButtonBit {
        uint32_t flag;
        unsigned button;
        bool down;
    };
    static constexpr ButtonBit kButtonBits[] = {
        {rv::MOUSEEVENTF_LEFTDOWN, 1, true},   {rv::MOUSEEVENTF_LEFTUP, 1, false},
        {rv::MOUSEEVENTF_RIGHTDOWN, 3, true},  {rv::MOUSEEVENTF_RIGHTUP, 3, false},
        {rv::MOUSEEVENTF_MIDDLEDOWN, 2, true}, {rv::MOUSEEVENTF_MIDDLEUP, 2, false},
    };
    bool sent = false;
    for (const ButtonBit& bit : kButtonBits) {
        if (!(flags & bit.flag)) continue;
        x11::sendButton(display, bit.button, bit.down);
        sent = true;
    }
    if (flags & rv::MOUSEEVENTF_XDOWN) {
        x11::sendSideButton(display, true, data);
        sent = true;
    }
    if (flags & rv::MOUSEEVENTF_XUP) {
        x11::sendSideButton(display, false, data);
        sent = true;
    }
    if ((flags & rv::MOUSEEVENTF_WHEEL) && data != 0) {
        x11::sendWheel(display, data);
        sent = true;
    }
    if (sent) XFlush(display);
    return true;
}

int injectKey(int32_t vk, bool down) {
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
    if (Display* display = x11::injectionDisplay()) XSync(display, False);
}

bool cursorPos(int32_t& x, int32_t& y) {
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
    int32_t width = 0, height = 0;
    screenSize(width, height);
    return Rect{0, 0, width, height};
}

}  // namespace plat
