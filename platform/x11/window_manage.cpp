// Linux window operations on top-level windows: outer rectangles, moving and sizing, the topmost band,
// maximize, minimize and restore, placements, work areas, frameless panels, and the watch that tells
// when the user has finished moving or sizing the main window.
//
// A window handle is the client window, which a window manager may have put into a frame of its own.
// While a manager runs (EWMH), requests go to it (_NET_MOVERESIZE_WINDOW, _NET_WM_STATE, WM_CHANGE_STATE)
// and each one waits briefly until the manager has carried it out, so that a caller reads back what it
// has just set, as it would on Windows. Without a manager the windows are configured directly; maximize
// then means "sized to the work area". The rectangle a maximized window returns to is kept in the
// window's property _RAVELIN_NORMAL_RECT: left, top, right, bottom, and (without a manager) whether it
// is maximized. Every operation runs inside an error trap: a window may be gone at any request.
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
#include "platform/x11/keys.h"
#include "platform/x11/x_util.h"

namespace plat::x11 {
namespace {

// ---- atoms ----------------------------------------------------------------------------------------------

struct Atoms {
    Atom frameExtents, state, above, maximizedVert, maximizedHorz, workArea, currentDesktop, moveResize,
        motifHints, wmState, normalRect;
};

Atoms atomsOf(Display* display) {
    static const char* const kNames[] = {"_NET_FRAME_EXTENTS",
                                         "_NET_WM_STATE",
                                         "_NET_WM_STATE_ABOVE",
                                         "_NET_WM_STATE_MAXIMIZED_VERT",
                                         "_NET_WM_STATE_MAXIMIZED_HORZ",
                                         "_NET_WORKAREA",
                                         "_NET_CURRENT_DESKTOP",
                                         "_NET_MOVERESIZE_WINDOW",
                                         "_MOTIF_WM_HINTS",
                                         "WM_STATE",
                                         "_RAVELIN_NORMAL_RECT"};
    return internedAtoms<Atoms>(display, kNames);
}

// ---- the window manager ---------------------------------------------------------------------------------

// WM_STATE, which the manager sets once it has taken the window on: NormalState, IconicState, or
// WithdrawnState when it has none.
long wmState(Display* display, Window window) {
    const Atom name = atomsOf(display).wmState;
    auto state = readValues(display, window, name, name);
    return state && !state->empty() ? (*state)[0] : WithdrawnState;
}

bool managed(Display* display, Window window) {
    const Atom name = atomsOf(display).wmState;
    auto state = readValues(display, window, name, name);
    return state.has_value();
}

std::vector<long> netState(Display* display, Window window) {
    auto state = readValues(display, window, atomsOf(display).state, XA_ATOM);
    return state ? *state : std::vector<long>{};
}

bool hasState(const std::vector<long>& state, Atom atom) {
    return std::find(state.begin(), state.end(), static_cast<long>(atom)) != state.end();
}

bool maximizedState(Display* display, const std::vector<long>& state) {
    const Atoms atoms = atomsOf(display);
    return hasState(state, atoms.maximizedVert) && hasState(state, atoms.maximizedHorz);
}

struct Extents {
    long left = 0, right = 0, top = 0, bottom = 0;
    bool operator==(const Extents& other) const {
        return left == other.left && right == other.right && top == other.top && bottom == other.bottom;
    }
};

// The frame the manager has put around the window; none without a manager.
Extents frameExtents(Display* display, Window window, bool manager) {
    if (!manager) return {};
    auto values = readValues(display, window, atomsOf(display).frameExtents, XA_CARDINAL);
    if (!values || values->size() < 4) return {};
    return {(*values)[0], (*values)[1], (*values)[2], (*values)[3]};
}

// Polls `done` every 2 ms for up to `milliseconds`; whether it came true.
bool waitUntil(int milliseconds, const std::function<bool()>& done) {
    const int64_t deadline = monotonicMs() + milliseconds;
    for (;;) {
        if (done()) return true;
        if (monotonicMs() >= deadline) return false;
        const timespec pause{0, 2 * 1000 * 1000};
        nanosleep(&pause, nullptr);
    }
}

constexpr int kManagerWaitMs = 250;   // for the manager to carry out a request
constexpr int kAdoptionWaitMs = 500;  // for the manager to take on a window that was just shown

// ---- rectangles -------------------------------------------------------------------------------------

bool sameRect(const Rect& a, const Rect& b) {
    return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

// The outer rectangle on the screen: the client's border box plus the manager's frame.
bool outerRect(Display* display, Window window, bool manager, Rect& rect) {
    Window root = 0, child = 0;
    int x = 0, y = 0, rootX = 0, rootY = 0;
    unsigned width = 0, height = 0, border = 0, depth = 0;
    if (!XGetGeometry(display, window, &root, &x, &y, &width, &height, &border, &depth)) return false;
    if (!XTranslateCoordinates(display, window, root, 0, 0, &rootX, &rootY, &child)) return false;
    const Extents frame = frameExtents(display, window, manager);
    const int32_t b = static_cast<int32_t>(border);
    rect.left = rootX - b - static_cast<int32_t>(frame.left);
    rect.top = rootY - b - static_cast<int32_t>(frame.top);
    rect.right = rootX + static_cast<int32_t>(width) + b + static_cast<int32_t>(frame.right);
    rect.bottom = rootY + static_cast<int32_t>(height) + b + static_cast<int32_t>(frame.bottom);
    return true;
}

// The normal rectangle kept in the window's property, and (without a manager) the maximized flag.
struct KeptNormal {
    Rect rect;
    bool maximized = false;
};

std::optional<KeptNormal> keptNormal(Display* display, Window window) {
    auto values = readValues(display, window, atomsOf(display).normalRect, XA_INTEGER);
    if (!values || values->size() < 5) return std::nullopt;
    const auto& v = *values;
    KeptNormal kept;
    kept.rect = {static_cast<int32_t>(v[0]), static_cast<int32_t>(v[1]), static_cast<int32_t>(v[2]),
                 static_cast<int32_t>(v[3])};
    kept.maximized = v[4] != 0;
    return kept;
}

void keepNormal(Display* display, Window window, const Rect& rect, bool maximized) {
    writeValues(display, window, atomsOf(display).normalRect, XA_INTEGER,
                {rect.left, rect.top, rect.right, rect.bottom, maximized ? 1 : 0});
}

bool screenRect(Display* display, Rect& screen) {
    Window root = 0;
    int x = 0, y = 0;
    unsigned width = 0, height = 0, border = 0, depth = 0;
    // Asked afresh: the size known since the connection opened would miss a later change.
    if (!XGetGeometry(display, DefaultRootWindow(display), &root, &x, &y, &width, &height, &border, &depth))
        return false;
    screen = {0, 0, static_cast<int32_t>(width), static_cast<int32_t>(height)};
    return true;
}

// The screen's work area: the manager's _NET_WORKAREA of the current desktop within the screen, else the
// whole screen. False when the screen's size cannot be read.
bool workArea(Display* display, Rect& area) {
    const Window rootWindow = DefaultRootWindow(display);
    Rect screen;
    if (!screenRect(display, screen)) return false;
    area = screen;
    if (!managerRuns(display)) return true;
    const Atoms atoms = atomsOf(display);
    auto areas = readValues(display, rootWindow, atoms.workArea, XA_CARDINAL);
    if (!areas || areas->size() < 4) return true;
    auto desktop = readValues(display, rootWindow, atoms.currentDesktop, XA_CARDINAL);
    size_t index = desktop && !desktop->empty() ? static_cast<size_t>((*desktop)[0]) : 0;
    if (index * 4 + 4 > areas->size()) index = 0;
    const long* a = areas->data() + index * 4;
    const Rect within{std::max<int32_t>(screen.left, static_cast<int32_t>(a[0])),
                      std::max<int32_t>(screen.top, static_cast<int32_t>(a[1])),
                      std::min<int32_t>(screen.right, static_cast<int32_t>(a[0] + a[2])),
                      std::min<int32_t>(screen.bottom, static_cast<int32_t>(a[1] + a[3]))};
    if (within.right > within.left && within.bottom > within.top) area = within;
    return true;
}

// ---- moving and sizing ---------------------------------------------------------------------------------

// A window that the program has just shown is taken on by the manager a moment later; requests sent
// before that would be lost or undone by the manager's own placement.
void waitForAdoption(Display* display, Window window) {
    waitUntil(kAdoptionWaitMs, [&] { return managed(display, window); });
}

// Puts the window's outer top-left corner at (x, y) and, with `size`, gives it the outer size
// width × height.
void place(Display* display, Window window, int32_t x, int32_t y, bool size, int32_t width, int32_t height) {
    const bool manager = managerRuns(display);
    if (manager) waitForAdoption(display, window);
    Window root = 0;
    int oldX = 0, oldY = 0;
    unsigned oldWidth = 0, oldHeight = 0, border = 0, depth = 0;
    if (!XGetGeometry(display, window, &root, &oldX, &oldY, &oldWidth, &oldHeight, &border, &depth)) return;
    const Extents frame = frameExtents(display, window, manager);
    const int32_t b = static_cast<int32_t>(border);
    const int clientWidth =
        std::max<int32_t>(1, width - static_cast<int32_t>(frame.left + frame.right) - 2 * b);
    const int clientHeight =
        std::max<int32_t>(1, height - static_cast<int32_t>(frame.top + frame.bottom) - 2 * b);
    const Atom moveResize = atomsOf(display).moveResize;
    if (manager && managed(display, window) && managerSupports(display, moveResize)) {
        // North-west gravity: (x, y) is where the frame's top-left corner goes. Source 2: asked for by
        // the user's own tool, which managers obey without second thoughts.
        const long flags =
            NorthWestGravity | (1L << 8) | (1L << 9) | (size ? (1L << 10) | (1L << 11) : 0) | (2L << 12);
        sendToManager(display, window, moveResize, {flags, x, y, clientWidth, clientHeight});
    } else {
        XWindowChanges changes{};
        changes.x = x;
        changes.y = y;
        changes.width = clientWidth;
        changes.height = clientHeight;
        // A manager puts the frame where a client with static gravity asks for its inside to be.
        XSizeHints hints{};
        long supplied = 0;
        if (manager && XGetWMNormalHints(display, window, &hints, &supplied) && (hints.flags & PWinGravity) &&
            hints.win_gravity == StaticGravity) {
            changes.x += static_cast<int>(frame.left) + b;
            changes.y += static_cast<int>(frame.top) + b;
        }
        XConfigureWindow(display, window, CWX | CWY | (size ? CWWidth | CWHeight : 0), &changes);
    }
    XSync(display, False);
    if (!manager) return;
    waitUntil(kManagerWaitMs, [&] {
        Rect now;
        if (!outerRect(display, window, true, now)) return true;
        return now.left == x && now.top == y &&
               (!size || (now.right - now.left == width && now.bottom - now.top == height));
    });
}

// ---- window state -------------------------------------------------------------------------------------

// Adds or removes up to two _NET_WM_STATE atoms and waits until the manager has done it. A window the
// manager has not taken on yet gets the property itself, which the manager reads when it does.
void changeState(Display* display, Window window, bool add, Atom first, Atom second) {
    const Atoms atoms = atomsOf(display);
    if (!managed(display, window)) {
        std::vector<long> state = netState(display, window);
        for (Atom atom : {first, second}) {
            if (atom == None) continue;
            auto at = std::find(state.begin(), state.end(), static_cast<long>(atom));
            if (add && at == state.end()) state.push_back(static_cast<long>(atom));
            if (!add && at != state.end()) state.erase(at);
        }
        writeValues(display, window, atoms.state, XA_ATOM, state);
    }
    sendToManager(display, window, atoms.state,
                  {add ? 1 : 0, static_cast<long>(first), static_cast<long>(second), 2, 0});
    XSync(display, False);
    if (!managed(display, window)) return;
    waitUntil(kManagerWaitMs, [&] {
        const std::vector<long> state = netState(display, window);
        return hasState(state, first) == add && (second == None || hasState(state, second) == add);
    });
}

bool isMaximizedOn(Display* display, Window window, bool manager) {
    if (manager) return maximizedState(display, netState(display, window));
    auto kept = keptNormal(display, window);
    return kept && kept->maximized;
}

bool placementOf(Display* display, Window window, Placement& placement) {
    const bool manager = managerRuns(display);
    Rect rect;
    if (!outerRect(display, window, manager, rect)) return false;
    placement.maximized = isMaximizedOn(display, window, manager);
    placement.normal = rect;
    if (placement.maximized)
        if (auto kept = keptNormal(display, window)) placement.normal = kept->rect;
    return true;
}

// While a manager runs: the window's present rectangle as the one to return to from a maximize, when
// it is in its normal state now.
void rememberNormal(Display* display, Window window) {
    if (!managerRuns(display) || wmState(display, window) != NormalState) return;
    if (maximizedState(display, netState(display, window))) return;
    Rect rect;
    if (outerRect(display, window, true, rect)) keepNormal(display, window, rect, false);
}

Window windowOf(WindowHandle handle) {
    return static_cast<Window>(reinterpret_cast<uintptr_t>(handle));
}

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
        x11::changeState(display, window, on, x11::atomsOf(display).above, None);
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
    const x11::Atoms atoms = x11::atomsOf(display);
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
    const x11::Atoms atoms = x11::atomsOf(display);
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
