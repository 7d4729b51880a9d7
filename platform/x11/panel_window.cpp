// Linux panel windows: frameless through the Motif hints, and dragged by a thread of their own that
// follows the pointer until the left button is released.
//
// The drag starts from the page's mousedown, so GTK normally still holds the implicit grab of that
// press: the pointer's events keep going to the panel window (as with a capture on Windows) and no other
// client can grab the pointer until the button is up. The thread therefore first tries an active grab
// of its own on the root window, which works when no button grab is in the way, and otherwise follows
// the pointer by asking for its position and buttons every few milliseconds.
#include <X11/Xlib.h>
#include <poll.h>
#include <time.h>

#include <atomic>
#include <memory>
#include <mutex>
#include <thread>

#include "platform/platform.h"
#include "platform/x11/keys.h"
#include "platform/x11/window_manager.h"
#include "platform/x11/x_errors.h"
#include "platform/x11/x_properties.h"

namespace plat::x11 {
namespace {

constexpr int kPollMs = 8;

struct Drag {
    DragHandlers handlers{};
    std::atomic<bool> stop{false};
};

// Made once and never destroyed: a drag thread may still use it while the process ends.
struct Dragging {
    std::mutex mutex;  // guards `thread` and `current`
    std::thread thread;
    std::shared_ptr<Drag> current;
};

Dragging& dragging() {
    static Dragging* instance = new Dragging;
    return *instance;
}

void pause(int milliseconds) {
    const timespec interval{0, milliseconds * 1000L * 1000L};
    nanosleep(&interval, nullptr);
}

// Follows the pointer with a grab of its own: motion and the left button's release arrive as events.
// A drag whose button is already up by now ends at once.
void followGrabbed(Display* display, Drag& drag) {
    Window root = DefaultRootWindow(display), child = 0;
    int x = 0, y = 0, windowX = 0, windowY = 0;
    unsigned mask = 0;
    if (!XQueryPointer(display, root, &root, &child, &x, &y, &windowX, &windowY, &mask)) {
        if (!drag.stop) drag.handlers.captureLost();
        return;
    }
    drag.handlers.moved(x, y);
    if (!(mask & Button1Mask)) {
        if (!drag.stop) drag.handlers.released();
        return;
    }
    while (!drag.stop) {
        if (XPending(display) == 0) {
            pollfd readable{ConnectionNumber(display), POLLIN, 0};
            poll(&readable, 1, kPollMs);
            continue;
        }
        XEvent event;
        XNextEvent(display, &event);
        if (event.type == MotionNotify) {
            // Only the latest position matters.
            while (XCheckTypedEvent(display, MotionNotify, &event)) {
            }
            drag.handlers.moved(event.xmotion.x_root, event.xmotion.y_root);
        } else if (event.type == ButtonRelease && event.xbutton.button == Button1) {
            drag.handlers.released();
            return;
        }
    }
}

// Follows the pointer by asking where it is, while the grab of the press belongs to the page's window.
void followPolled(Display* display, Drag& drag) {
    bool first = true;
    int lastX = 0, lastY = 0;
    while (!drag.stop) {
        Window root = DefaultRootWindow(display), child = 0;
        int x = 0, y = 0, windowX = 0, windowY = 0;
        unsigned mask = 0;
        if (!XQueryPointer(display, root, &root, &child, &x, &y, &windowX, &windowY, &mask)) {
            // The pointer went to another screen of the display.
            drag.handlers.captureLost();
            return;
        }
        if (first || x != lastX || y != lastY) {
            first = false;
            lastX = x;
            lastY = y;
            drag.handlers.moved(x, y);
            if (drag.stop) return;
        }
        if (!(mask & Button1Mask)) {
            drag.handlers.released();
            return;
        }
        pause(kPollMs);
    }
}

void dragLoop(std::shared_ptr<Drag> drag) {
    plat::nameThread("panel drag");
    Display* display = XOpenDisplay(nullptr);
    if (!display) {
        if (!drag->stop) drag->handlers.captureLost();
        return;
    }
    const int grab =
        XGrabPointer(display, DefaultRootWindow(display), False, ButtonReleaseMask | PointerMotionMask,
                     GrabModeAsync, GrabModeAsync, None, None, CurrentTime);
    if (grab == GrabSuccess) {
        followGrabbed(display, *drag);
        XUngrabPointer(display, CurrentTime);
    } else {
        followPolled(display, *drag);
    }
    XCloseDisplay(display);
}

}  // namespace
}  // namespace plat::x11

namespace plat {

using x11::ErrorTrap;

void beginPointerDrag(WindowHandle window, const DragHandlers& handlers) {
    endPointerDrag();
    if (!window || !handlers.moved || !handlers.released || !handlers.captureLost) return;
    x11::Dragging& dragging = x11::dragging();
    std::lock_guard<std::mutex> lock(dragging.mutex);
    auto drag = std::make_shared<x11::Drag>();
    drag->handlers = handlers;
    dragging.current = drag;
    dragging.thread = std::thread(&x11::dragLoop, drag);
}

// Ends the drag. Called from one of its handlers (on the drag's own thread), it only tells the thread to
// stop after the handler; from any other thread it also waits for the thread to end.
void endPointerDrag() {
    x11::Dragging& dragging = x11::dragging();
    std::thread finished;
    {
        std::lock_guard<std::mutex> lock(dragging.mutex);
        if (dragging.current) dragging.current->stop = true;
        dragging.current.reset();
        if (dragging.thread.get_id() == std::this_thread::get_id()) return;
        finished = std::move(dragging.thread);
    }
    if (finished.joinable()) finished.join();
}

void makePanelWindow(WindowHandle handle, bool positioned, int32_t x, int32_t y, int32_t width,
                     int32_t height) {
    Display* display = x11::threadDisplay();
    if (!handle || !display) return;
    ErrorTrap trap(display);
    const Window window = x11::windowOf(handle);
    const bool manager = x11::managerRuns(display);
    const bool wasManaged = manager && x11::managed(display, window);
    const x11::Extents before = x11::frameExtents(display, window, manager);
    // Motif hints: decorations only, and of them only the border (no title bar, menu or handles).
    constexpr long kDecorationsFlag = 1L << 1, kBorderOnly = 1L << 1;
    const x11::WindowAtoms atoms = x11::windowAtomsOf(display);
    x11::writeValues(display, window, atoms.motifHints, atoms.motifHints,
                     {kDecorationsFlag, 0, kBorderOnly, 0, 0});
    XSync(display, False);
    if (manager && wasManaged) {
        // The manager rebuilds the frame; the placement below needs its new size.
        x11::waitUntil(x11::kManagerWaitMs, [&] {
            const x11::Extents now = x11::frameExtents(display, window, true);
            return !(now == before) || now.top <= now.left;
        });
    }
    if (positioned) x11::place(display, window, x, y, true, width, height);
}

}  // namespace plat
