#include "app/main_window.h"

#include <algorithm>
#include <cmath>

#include "app/app.h"
#include "app/webview.h"
#include "bridge/panel_messages.h"
#include "state/preferences.h"
#include "state/state.h"

namespace rv {

namespace {

constexpr int32_t kWorkAreaMargin = 20;  // kept free below a fitted window

}  // namespace

plat::Rect monitorWorkArea(plat::WindowHandle window) {
    plat::Rect area;
    if (plat::workAreaOfWindow(window, area)) return area;
    int32_t width = 0, height = 0;
    plat::screenSize(width, height);
    return plat::Rect{0, 0, width, height};
}

int32_t fittedHeight(int32_t available, double outerHeight, int32_t height) {
    return static_cast<int32_t>(static_cast<double>(available) / outerHeight * static_cast<double>(height));
}

Point centredIn(const plat::Rect& workArea, const plat::Rect& window) {
    return {workArea.left + ((workArea.right - workArea.left) - (window.right - window.left)) / 2,
            workArea.top + ((workArea.bottom - workArea.top) - (window.bottom - window.top)) / 2};
}

void fitWindowToMonitor(Webview& view, plat::WindowHandle window, int32_t width, int32_t height) {
    fitWindowToMonitor([&view](int32_t w, int32_t h) { view.setSize(w, h, SizeHint::None); }, window, width,
                       height);
}

void fitWindowToMonitor(const std::function<void(int32_t, int32_t)>& setClientSize, plat::WindowHandle window,
                        int32_t width, int32_t height) {
    if (!window || width <= 0 || height <= 0) return;
    plat::Rect work = monitorWorkArea(window);
    int32_t available = work.bottom - work.top - kWorkAreaMargin;
    if (available <= 0) return;
    setClientSize(width, height);
    plat::Rect rect;
    if (!plat::windowRect(window, rect)) return;
    int32_t outerHeight = rect.bottom - rect.top;
    // The platform caps a window at about the screen's height, so a taller request reads back short;
    // the height it asked for is the client height plus the frame. The request is in page pixels, the
    // window's rectangles in its monitor's (1.5 times as many at 144 DPI). The height asked for is
    // kept in floating point: the page may ask for any 32-bit height, which scaled and with the frame
    // added no longer fits 32 bits.
    int32_t clientWidth = 0, clientHeight = 0;
    double askedHeight = outerHeight;
    double scale = plat::windowScale(window);
    double scaledHeight = std::trunc(static_cast<double>(height) * scale);
    if (plat::windowClientSize(window, clientWidth, clientHeight) && clientHeight < scaledHeight) {
        askedHeight = scaledHeight + outerHeight - clientHeight;
    }
    if (askedHeight > available) {
        int32_t newHeight = fittedHeight(available, askedHeight, height);
        if (newHeight > 0) {
            setClientSize(width, newHeight);
            plat::windowRect(window, rect);
            outerHeight = rect.bottom - rect.top;
            // The proportional height leaves the window taller than `available` by up to its frame,
            // which the margin takes up at 100 %; a frame taller than the margin (at 150 % and
            // more) would leave the window sticking out of the work area. The rest comes off the
            // client height, one window pixel more than the overhang to allow for rounding.
            int32_t overhang = outerHeight - (work.bottom - work.top);
            if (overhang > 0) {
                int32_t smaller = newHeight - static_cast<int32_t>(std::ceil((overhang + 1) / scale));
                if (smaller > 0) {
                    setClientSize(width, smaller);
                    plat::windowRect(window, rect);
                    outerHeight = rect.bottom - rect.top;
                }
            }
        }
    }
    // Only the height is fitted; the window moves only upwards.
    if (rect.bottom > work.bottom)
        plat::moveWindow(window, rect.left, std::max(work.top, work.bottom - outerHeight));
}

void setTopmost(plat::WindowHandle window, bool on) {
    if (window) plat::setTopmost(window, on);
}

void saveWindowPlacement(plat::WindowHandle window) {
    plat::Placement placement;
    if (!window || !plat::windowPlacement(window, placement)) return;
    windowX = placement.normal.left;
    windowY = placement.normal.top;
    windowWidth = placement.normal.right - placement.normal.left;
    windowHeight = placement.normal.bottom - placement.normal.top;
    windowMaximized = placement.maximized;
    windowPositionKnown = true;
    saveAppSettings();
}

void resetWindowGeometry(Webview& view, plat::WindowHandle window) {
    setTopmost(window, false);
    if (plat::isMaximized(window)) plat::showWindow(window, plat::Show::Restore);
    fitWindowToMonitor(view, window, windowWidth, windowHeight);
    plat::Rect work = monitorWorkArea(window);
    plat::Rect rect;
    if (!plat::windowRect(window, rect)) return;
    Point corner = centredIn(work, rect);
    plat::moveWindow(window, corner.x, corner.y);
}

namespace {

// The watch's callback (on Linux on a thread of its own): the new place is saved, and noted for the
// auto-clicker on the user-interface thread, which owns the list of open panels.
void movedOrSized(plat::WindowHandle window) {
    saveWindowPlacement(window);
    if (void (*ask)() = ownWindowsNoter.load()) ask();
}

}  // namespace

void applyMainWindowPreferences(plat::WindowHandle window) {
    if (!window) return;
    plat::Rect work;
    // A saved point on no monitor (one since unplugged) keeps the place the library gave the window.
    if (windowPositionKnown && plat::workAreaAtPoint(windowX, windowY, work)) {
        plat::setWindowBounds(window, windowX, windowY,
                              std::min<int32_t>(windowWidth, work.right - work.left),
                              std::min<int32_t>(windowHeight, work.bottom - work.top));
    }
    plat::setWindowIcon(window);
    plat::watchMainWindow(window, &movedOrSized, &saveWindowPlacement);
    // A start by the command line is minimized unless the user chose to see it.
    const bool minimized = startMinimized || (minimizedStart && commandStartsMinimized);
    if (windowMaximized && !minimized) plat::showWindow(window, plat::Show::Maximize);
    if (alwaysOnTop) setTopmost(window, true);
    if (minimized) {
        plat::showWindow(window, plat::Show::Minimize);
    } else {
        plat::forceForeground(window);
    }
    noteOwnWindows();
}

void resizeMainWindow(int32_t width, int32_t height) {
    plat::WindowHandle window = plat::findWindow(kMainWindowTitle);
    // A minimized window has no size to fit: Windows reports the small rectangle of its icon and
    // sizes that one, and Linux applies the size only when the window shows again, over a page laid
    // out at the old one. The page asks again once it is shown.
    if (!hostView || plat::isMinimized(window)) return;
    fitWindowToMonitor(*hostView, window, width, height);
}

Point panelBeside(const plat::Rect& main, const plat::Rect& workArea, int32_t width, int32_t height) {
    int32_t roomRight = workArea.right - main.right;
    int32_t roomLeft = main.left - workArea.left;
    int32_t x;
    if (roomRight >= width) {
        x = main.right;
    } else if (roomLeft >= width) {
        x = main.left - width;
    } else {
        x = roomRight >= roomLeft ? workArea.right - width : workArea.left;
    }
    x = std::max(workArea.left, std::min(x, workArea.right - width));
    int32_t y = std::max(workArea.top, std::min(main.top, workArea.bottom - height));
    return {x, y};
}

void noteOwnWindows() {
    std::vector<std::string> titles = {kMainWindowTitle};
    for (const auto& entry : panelProcesses) titles.push_back(panelWindowTitle(entry.first));
    int32_t rects[kOwnWindowSlots][4];
    size_t count = 0;
    for (const std::string& title : titles) {
        plat::Rect rect;
        plat::WindowHandle window = plat::findWindow(title);
        // A minimized window is not on the screen to be clicked, wherever it was.
        if (count == kOwnWindowSlots || !window || plat::isMinimized(window) ||
            !plat::windowRect(window, rect))
            continue;
        rects[count][0] = rect.left, rects[count][1] = rect.top, rects[count][2] = rect.right,
        rects[count][3] = rect.bottom;
        ++count;
    }
    int64_t now = plat::ticks();
    std::lock_guard<std::mutex> lock(ownWindowsLock);
    std::copy(&rects[0][0], &rects[0][0] + count * 4, &ownWindowRects[0][0]);
    ownWindowCount = count;
    ownWindowsNoted = now;
}

}  // namespace rv
