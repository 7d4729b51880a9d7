// The watch that tells when the user has finished moving or sizing the main window (a quiet period
// after the last ConfigureNotify), and when the window is gone: a thread with its own connection.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <errno.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "platform/platform.h"
#include "platform/x11/fd_wait.h"
#include "platform/x11/keys.h"
#include "platform/x11/window_manager.h"
#include "platform/x11/x_errors.h"

namespace plat::x11 {
namespace {

// ---- the main window's watch ------------------------------------------------------------------------------

constexpr int kQuietMs = 300;  // a move or resize has ended when the window has kept still this long

struct Watch {
    Window window = 0;
    void (*moveSizeEnded)(WindowHandle) = nullptr;
    void (*destroyed)(WindowHandle) = nullptr;
    int stopEvent = -1;
    std::thread thread;
};

// Made once and never destroyed: the watch thread may still use it while the process ends.
struct Watching {
    std::mutex mutex;  // guards `current` and `last`
    std::unique_ptr<Watch> current;
    // The watched window's last placement, for the callback at its destruction, when the window itself
    // can no longer be asked.
    Window lastWindow = 0;
    std::optional<Placement> last;
    std::mutex callbacks;  // one callback at a time
};

Watching& watching() {
    static Watching* instance = new Watching;
    return *instance;
}

}  // namespace

void notePlacement(Window window, const Placement& placement) {
    Watching& w = watching();
    std::lock_guard<std::mutex> lock(w.mutex);
    if (window == w.lastWindow) w.last = placement;
}

std::optional<Placement> lastPlacement(Window window) {
    Watching& w = watching();
    std::lock_guard<std::mutex> lock(w.mutex);
    return window == w.lastWindow ? w.last : std::nullopt;
}

namespace {

// The window's top-level ancestor: its frame while a manager keeps it in one, else the window itself.
Window topLevelOf(Display* display, Window window) {
    const Window rootWindow = DefaultRootWindow(display);
    for (Window current = window;;) {
        Window root = 0, parent = 0;
        Window* children = nullptr;
        unsigned count = 0;
        if (!XQueryTree(display, current, &root, &parent, &children, &count)) return window;
        if (children) XFree(children);
        if (parent == rootWindow || parent == 0) return current;
        current = parent;
    }
}

void runCallback(void (*callback)(WindowHandle), Window window) {
    std::lock_guard<std::mutex> lock(watching().callbacks);
    callback(reinterpret_cast<WindowHandle>(static_cast<uintptr_t>(window)));
}

// The watch's own connection, opened and set up by the caller so that the watch is in force as soon as
// watchMainWindow returns; the window may go at any request, so its errors are ignored throughout.
struct WatchConnection {
    Display* display = nullptr;
    Window frame = 0;  // the window's top-level ancestor
    bool mapped = false;
    Placement placement;
};

bool openWatchConnection(Window window, WatchConnection& connection) {
    Display* display = XOpenDisplay(nullptr);
    if (!display) return false;
    bool alive = false;
    {
        ErrorTrap trap(display);
        XSelectInput(display, window, StructureNotifyMask);
        connection.frame = topLevelOf(display, window);
        if (connection.frame != window) XSelectInput(display, connection.frame, StructureNotifyMask);
        XWindowAttributes attributes{};
        alive = XGetWindowAttributes(display, window, &attributes) &&
                placementOf(display, window, connection.placement);
        connection.mapped = alive && attributes.map_state != IsUnmapped;
        if (alive) {
            notePlacement(window, connection.placement);
            rememberNormal(display, window);
        }
    }
    if (!alive) {
        XCloseDisplay(display);
        return false;
    }
    connection.display = display;
    return true;
}

// The outer rectangle that a ConfigureNotify of the top-level window itself tells, for a window that is
// already gone when it is read.
Rect rectOf(const XConfigureEvent& event) {
    const int32_t border = event.border_width;
    return {event.x, event.y, event.x + event.width + 2 * border, event.y + event.height + 2 * border};
}

void watchLoop(Watch* watch, WatchConnection connection) {
    plat::nameThread("window watch");
    Display* display = connection.display;
    {
        ErrorTrap trap(display);
        const Window window = watch->window;
        Window frame = connection.frame;
        Placement& placement = connection.placement;
        // While the window is unmapped (minimized, or being closed) its geometry is not the user's doing:
        // a manager that lets go of a closing window puts it back on the root window at a place of its own.
        bool mapped = connection.mapped;
        bool alive = true;
        int64_t deadline = -1;  // end of the quiet period after the last change
        while (alive) {
            while (alive && XPending(display) > 0) {
                XEvent event;
                XNextEvent(display, &event);
                bool changed = false;
                std::optional<Rect> told;
                if (event.type == ConfigureNotify &&
                    (event.xconfigure.window == window || event.xconfigure.window == frame)) {
                    changed = true;
                    if (event.xconfigure.window == frame && !event.xconfigure.send_event)
                        told = rectOf(event.xconfigure);
                } else if (event.type == ReparentNotify && event.xreparent.window == window) {
                    if (frame != window) XSelectInput(display, frame, NoEventMask);
                    frame = topLevelOf(display, window);
                    if (frame != window) XSelectInput(display, frame, StructureNotifyMask);
                    changed = true;
                } else if (event.type == MapNotify && event.xmap.window == window) {
                    mapped = true;
                    changed = true;
                } else if (event.type == UnmapNotify && event.xunmap.window == window) {
                    mapped = false;
                } else if (event.type == DestroyNotify && event.xdestroywindow.window == window) {
                    alive = false;
                    runCallback(watch->destroyed, window);
                }
                if (!changed || !mapped) continue;
                Placement now = placement;
                if (!placementOf(display, window, now)) {
                    if (!told) continue;
                    if (!now.maximized) now.normal = *told;
                }
                if (!sameRect(now.normal, placement.normal) || now.maximized != placement.maximized)
                    deadline = monotonicMs() + kQuietMs;
                placement = now;
                notePlacement(window, now);
            }
            if (!alive) break;
            const int timeout =
                deadline < 0 ? -1 : static_cast<int>(std::max<int64_t>(0, deadline - monotonicMs()));
            pollfd fds[2] = {{ConnectionNumber(display), POLLIN, 0}, {watch->stopEvent, POLLIN, 0}};
            if (poll(fds, 2, timeout) < 0 && errno != EINTR) break;
            if (fds[1].revents != 0) break;
            if (deadline >= 0 && monotonicMs() >= deadline) {
                deadline = -1;
                rememberNormal(display, window);
                runCallback(watch->moveSizeEnded, window);
            }
        }
    }
    XCloseDisplay(display);
}

// Ends the current watch and waits for its thread, unless it is the calling thread (a callback that
// starts a new watch), which then ends by itself after the callback.
void endWatch() {
    std::unique_ptr<Watch> watch;
    {
        std::lock_guard<std::mutex> lock(watching().mutex);
        watch = std::move(watching().current);
    }
    if (!watch) return;
    const uint64_t one = 1;
    while (write(watch->stopEvent, &one, sizeof one) < 0 && errno == EINTR) {
    }
    if (watch->thread.get_id() == std::this_thread::get_id()) {
        watch->thread.detach();
        (void)watch.release();  // the thread still reads it
        return;
    }
    if (watch->thread.joinable()) watch->thread.join();
    close(watch->stopEvent);
}

}  // namespace
}  // namespace plat::x11

namespace plat {

using x11::ErrorTrap;

void watchMainWindow(WindowHandle handle, void (*moveSizeEnded)(WindowHandle),
                     void (*destroyed)(WindowHandle)) {
    x11::endWatch();
    if (!handle || !moveSizeEnded || !destroyed) return;
    // A watch still running when the process ends is stopped before anything else is torn down, so
    // that no callback runs while the program's state is being destroyed.
    static const bool stopAtExit = [] { return std::atexit(&x11::endWatch) == 0; }();
    (void)stopAtExit;
    auto watch = std::make_unique<x11::Watch>();
    watch->window = x11::windowOf(handle);
    watch->moveSizeEnded = moveSizeEnded;
    watch->destroyed = destroyed;
    {
        x11::Watching& watching = x11::watching();
        std::lock_guard<std::mutex> lock(watching.mutex);
        watching.lastWindow = watch->window;
        watching.last.reset();
    }
    x11::WatchConnection connection;
    if (!x11::openWatchConnection(watch->window, connection)) return;
    watch->stopEvent = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (watch->stopEvent < 0) {
        XCloseDisplay(connection.display);
        return;
    }
    x11::Watching& watching = x11::watching();
    std::lock_guard<std::mutex> lock(watching.mutex);
    watch->thread = std::thread(&x11::watchLoop, watch.get(), connection);
    watching.current = std::move(watch);
}

}  // namespace plat
