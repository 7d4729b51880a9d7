// Private to the X11 backend's window files: talking to the window manager about our top-level
// windows (atoms, frames, rectangles, placing, state). The calling thread has an ErrorTrap open.
#pragma once

#include <X11/Xlib.h>

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

#include "platform/platform.h"

namespace plat::x11 {

// ---- atoms ----------------------------------------------------------------------------------------------

struct WindowAtoms {
    Atom frameExtents, state, above, maximizedVert, maximizedHorz, workArea, currentDesktop, moveResize,
        motifHints, wmState, normalRect;
};

WindowAtoms windowAtomsOf(Display* display);

// ---- the window manager ---------------------------------------------------------------------------------

// WM_STATE, which the manager sets once it has taken the window on: NormalState, IconicState, or
// WithdrawnState when it has none.
long wmState(Display* display, Window window);

bool managed(Display* display, Window window);

std::vector<long> netState(Display* display, Window window);

bool hasState(const std::vector<long>& state, Atom atom);

bool maximizedState(Display* display, const std::vector<long>& state);

struct Extents {
    long left = 0, right = 0, top = 0, bottom = 0;
    bool operator==(const Extents& other) const {
        return left == other.left && right == other.right && top == other.top && bottom == other.bottom;
    }
};

// The frame the manager has put around the window; none without a manager.
Extents frameExtents(Display* display, Window window, bool manager);

// Polls `done` every 2 ms for up to `milliseconds`; whether it came true.
bool waitUntil(int milliseconds, const std::function<bool()>& done);

inline constexpr int kManagerWaitMs = 250;   // for the manager to carry out a request
inline constexpr int kAdoptionWaitMs = 500;  // for the manager to take on a window that was just shown

// ---- rectangles -------------------------------------------------------------------------------------

bool sameRect(const Rect& a, const Rect& b);

// The outer rectangle on the screen: the client's border box plus the manager's frame.
bool outerRect(Display* display, Window window, bool manager, Rect& rect);

// The normal rectangle kept in the window's property, and (without a manager) the maximized flag.
struct KeptNormal {
    Rect rect;
    bool maximized = false;
};

std::optional<KeptNormal> keptNormal(Display* display, Window window);

void keepNormal(Display* display, Window window, const Rect& rect, bool maximized);

bool screenRect(Display* display, Rect& screen);

// The screen's work area: the manager's _NET_WORKAREA of the current desktop within the screen, else the
// whole screen. False when the screen's size cannot be read.
bool workArea(Display* display, Rect& area);

// ---- moving and sizing ---------------------------------------------------------------------------------

// A window that the program has just shown is taken on by the manager a moment later; requests sent
// before that would be lost or undone by the manager's own placement.
void waitForAdoption(Display* display, Window window);

// Puts the window's outer top-left corner at (x, y) and, with `size`, gives it the outer size
// width × height.
void place(Display* display, Window window, int32_t x, int32_t y, bool size, int32_t width, int32_t height);

// ---- window state -------------------------------------------------------------------------------------

// Adds or removes up to two _NET_WM_STATE atoms and waits until the manager has done it. A window the
// manager has not taken on yet gets the property itself, which the manager reads when it does.
void changeState(Display* display, Window window, bool add, Atom first, Atom second);

bool isMaximizedOn(Display* display, Window window, bool manager);

bool placementOf(Display* display, Window window, Placement& placement);

// While a manager runs: the window's present rectangle as the one to return to from a maximize, when
// it is in its normal state now.
void rememberNormal(Display* display, Window window);

Window windowOf(WindowHandle handle);

// ---- the main window's watch (window_watch.cpp) ----

// The watched window's last placement, noted at every read and move, for the watch's callback when
// the window is destroyed and can no longer be asked; nothing for any other window.
void notePlacement(Window window, const Placement& placement);
std::optional<Placement> lastPlacement(Window window);

}  // namespace plat::x11
