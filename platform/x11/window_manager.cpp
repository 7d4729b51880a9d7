// How the X11 window operations (windows.cpp), the main window's watch (window_watch.cpp) and the
// frameless panels (panel_window.cpp) reach our top-level windows and the window manager.
//
// A window handle is the client window, which a window manager may have put into a frame of its own.
// While a manager runs (EWMH), requests go to it (_NET_MOVERESIZE_WINDOW, _NET_WM_STATE, WM_CHANGE_STATE)
// and each one waits briefly until the manager has carried it out, so that a caller reads back what it
// has just set, as it would on Windows. Without a manager the windows are configured directly; maximize
// then means "sized to the work area". The rectangle a maximized window returns to is kept in the
// window's property _RAVELIN_NORMAL_RECT: left, top, right, bottom, and (without a manager) whether it
// is maximized. Every operation runs inside an error trap: a window may be gone at any request.
#include "platform/x11/window_manager.h"

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
#include "platform/x11/x_properties.h"

namespace plat::x11 {

WindowAtoms windowAtomsOf(Display* display) {
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
    return internedAtoms<WindowAtoms>(display, kNames);
}

long wmState(Display* display, Window window) {
    const Atom name = windowAtomsOf(display).wmState;
    auto state = readValues(display, window, name, name);
    return state && !state->empty() ? (*state)[0] : WithdrawnState;
}

bool managed(Display* display, Window window) {
    const Atom name = windowAtomsOf(display).wmState;
    auto state = readValues(display, window, name, name);
    return state.has_value();
}

std::vector<long> netState(Display* display, Window window) {
    auto state = readValues(display, window, windowAtomsOf(display).state, XA_ATOM);
    return state ? *state : std::vector<long>{};
}

bool hasState(const std::vector<long>& state, Atom atom) {
    return std::find(state.begin(), state.end(), static_cast<long>(atom)) != state.end();
}

bool maximizedState(Display* display, const std::vector<long>& state) {
    const WindowAtoms atoms = windowAtomsOf(display);
    return hasState(state, atoms.maximizedVert) && hasState(state, atoms.maximizedHorz);
}

Extents frameExtents(Display* display, Window window, bool manager) {
    if (!manager) return {};
    auto values = readValues(display, window, windowAtomsOf(display).frameExtents, XA_CARDINAL);
    if (!values || values->size() < 4) return {};
    return {(*values)[0], (*values)[1], (*values)[2], (*values)[3]};
}

bool waitUntil(int milliseconds, const std::function<bool()>& done) {
    const int64_t deadline = monotonicMs() + milliseconds;
    for (;;) {
        if (done()) return true;
        if (monotonicMs() >= deadline) return false;
        const timespec pause{0, 2 * 1000 * 1000};
        nanosleep(&pause, nullptr);
    }
}

bool sameRect(const Rect& a, const Rect& b) {
    return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

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

std::optional<KeptNormal> keptNormal(Display* display, Window window) {
    auto values = readValues(display, window, windowAtomsOf(display).normalRect, XA_INTEGER);
    if (!values || values->size() < 5) return std::nullopt;
    const auto& v = *values;
    KeptNormal kept;
    kept.rect = {static_cast<int32_t>(v[0]), static_cast<int32_t>(v[1]), static_cast<int32_t>(v[2]),
                 static_cast<int32_t>(v[3])};
    kept.maximized = v[4] != 0;
    return kept;
}

void keepNormal(Display* display, Window window, const Rect& rect, bool maximized) {
    writeValues(display, window, windowAtomsOf(display).normalRect, XA_INTEGER,
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

bool workArea(Display* display, Rect& area) {
    const Window rootWindow = DefaultRootWindow(display);
    Rect screen;
    if (!screenRect(display, screen)) return false;
    area = screen;
    if (!managerRuns(display)) return true;
    const WindowAtoms atoms = windowAtomsOf(display);
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

void waitForAdoption(Display* display, Window window) {
    waitUntil(kAdoptionWaitMs, [&] { return managed(display, window); });
}

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
    const Atom moveResize = windowAtomsOf(display).moveResize;
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

void changeState(Display* display, Window window, bool add, Atom first, Atom second) {
    const WindowAtoms atoms = windowAtomsOf(display);
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

void rememberNormal(Display* display, Window window) {
    if (!managerRuns(display) || wmState(display, window) != NormalState) return;
    if (maximizedState(display, netState(display, window))) return;
    Rect rect;
    if (outerRect(display, window, true, rect)) keepNormal(display, window, rect, false);
}

Window windowOf(WindowHandle handle) {
    return static_cast<Window>(reinterpret_cast<uintptr_t>(handle));
}

}  // namespace plat::x11
