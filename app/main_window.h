// The main window: its place and size kept in the preferences, fitting a window to the size the page
// asks for, the topmost band, the default geometry on reset, where a new panel goes beside it, and
// the note of our windows for the auto-clicker. User-interface thread.
#pragma once

#include <cstdint>
#include <functional>

#include "platform/platform.h"

namespace rv {

class Webview;

// The instance's own webview while it runs (set by the run modes), for the window operations that
// size it.
inline Webview* hostView = nullptr;
// The main window starts minimized in this run (the command line's kMinimizedSwitch). Main thread.
inline bool minimizedStart = false;

// The work area of the window's monitor (the primary one for a null window), or the whole primary
// screen when the platform cannot tell.
plat::Rect monitorWorkArea(plat::WindowHandle window);

// Gives the window the client size width × height unless its outer height would not fit the work
// area less 20 pixels, in which case the height is scaled down to fit; then moves it up (never above
// the work area) if it sticks out below. Sizes of 0 or less, or no window, change nothing.
void fitWindowToMonitor(Webview& view, plat::WindowHandle window, int32_t width, int32_t height);
// The same with the client-size request made by `setClientSize` (the webview's set_size).
void fitWindowToMonitor(const std::function<void(int32_t, int32_t)>& setClientSize, plat::WindowHandle window,
                        int32_t width, int32_t height);

// The scaled height for a window whose outer height would exceed `available` pixels:
// available ÷ outerHeight × height, truncated.
int32_t fittedHeight(int32_t available, double outerHeight, int32_t height);

// The top-left corner that centres a rectangle of the window's size in the work area.
struct Point {
    int32_t x, y;
};
Point centredIn(const plat::Rect& workArea, const plat::Rect& window);
// Where a new panel window of width × height goes: beside the main window, on its right when the
// work area has room there, else on its left, else on the side with more room; its top level with
// the main window's; kept inside the work area. Outer screen pixels.
Point panelBeside(const plat::Rect& main, const plat::Rect& workArea, int32_t width, int32_t height);

// Puts the window into or out of the topmost band (nothing for a null window).
void setTopmost(plat::WindowHandle window, bool on);

// Copies the window's normal placement and maximized state into the preferences, marks the position
// known, and writes appsettings.txt. Nothing when the placement cannot be read.
void saveWindowPlacement(plat::WindowHandle window);

// Out of the topmost band, restored if maximized, sized to windowWidth × windowHeight (fitted),
// centred in its monitor's work area.
void resetWindowGeometry(Webview& view, plat::WindowHandle window);

// The main window's start-up: the saved placement (clamped to the work area of the monitor holding
// the saved point), the watch that saves it after every move or resize and at close, maximized,
// always-on-top, minimized or brought to the foreground, as the preferences (or minimizedStart) say.
void applyMainWindowPreferences(plat::WindowHandle window);

// resizeWindow of the main instance: fits the main window, found by its title, unless it is
// minimized.
void resizeMainWindow(int32_t width, int32_t height);

// Notes the screen rectangles of the main window and of the open panel windows for the
// auto-clicker, which never clicks them (ownWindowRects); minimized ones are left out. User-interface
// thread.
void noteOwnWindows();

}  // namespace rv
