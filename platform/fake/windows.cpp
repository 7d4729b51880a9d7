// The fake platform: in-memory windows, work areas and the panel drag.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <mutex>
#include <set>
#include <sstream>
#include <thread>

#include "platform/fake/fake_state.h"
#include "platform/input_math.h"
#include "platform/platform.h"

namespace fake {

void addWindow(const std::string& title, void* handle) {
    Lock lock(state().mutex);
    state().windows[title] = handle;
    state().windowStates[handle].title = title;
}

FakeWindow& window(void* handle) {
    Lock lock(state().mutex);
    return state().windowStates[handle];
}

void setCovered(void* handle, bool covered) {
    Lock lock(state().mutex);
    state().windowStates[handle].covered = covered;
}

void setWorkAreas(std::vector<plat::Rect> areas) {
    Lock lock(state().mutex);
    state().workAreas = std::move(areas);
}

bool dragActive() {
    Lock lock(state().mutex);
    return state().drag.has_value();
}

void dragMove(int32_t x, int32_t y) {
    std::optional<plat::DragHandlers> handlers;
    {
        Lock lock(state().mutex);
        handlers = state().drag;
        state().cursorX = x, state().cursorY = y;
    }
    if (handlers) handlers->moved(x, y);
}

void dragRelease() {
    std::optional<plat::DragHandlers> handlers;
    {
        Lock lock(state().mutex);
        handlers = state().drag;
    }
    if (handlers) handlers->released();
}

void dragCaptureLost() {
    std::optional<plat::DragHandlers> handlers;
    {
        Lock lock(state().mutex);
        handlers = state().drag;
    }
    if (handlers) handlers->captureLost();
}

}  // namespace fake

namespace plat {

WindowHandle findWindow(const std::string& title) {
    Lock lock(fake::state().mutex);
    auto found = fake::state().windows.find(title);
    return found == fake::state().windows.end() ? nullptr : found->second;
}

bool windowRect(WindowHandle window, Rect& rect) {
    if (!window) return false;
    Lock lock(fake::state().mutex);
    rect = fake::state().windowStates[window].rect;
    return true;
}

bool windowClientSize(WindowHandle window, int32_t& width, int32_t& height) {
    if (!window) return false;
    Lock lock(fake::state().mutex);
    const fake::FakeWindow& w = fake::state().windowStates[window];
    width = w.rect.right - w.rect.left - w.frameWidth;
    height = w.rect.bottom - w.rect.top - w.frameHeight;
    return true;
}

double windowScale(WindowHandle window) {
    if (!window) return 1.0;
    Lock lock(fake::state().mutex);
    return fake::state().windowStates[window].scale;
}

void moveWindow(WindowHandle window, int32_t x, int32_t y) {
    if (!window) return;
    Lock lock(fake::state().mutex);
    Rect& rect = fake::state().windowStates[window].rect;
    rect = Rect{x, y, x + (rect.right - rect.left), y + (rect.bottom - rect.top)};
    fake::state().calls.push_back("moveWindow " + std::to_string(x) + "," + std::to_string(y));
}

void setWindowBounds(WindowHandle window, int32_t x, int32_t y, int32_t width, int32_t height) {
    if (!window) return;
    Lock lock(fake::state().mutex);
    fake::state().windowStates[window].rect = Rect{x, y, x + width, y + height};
    fake::state().calls.push_back("setWindowBounds " + std::to_string(x) + "," + std::to_string(y) + "," +
                                  std::to_string(width) + "," + std::to_string(height));
}

void setTopmost(WindowHandle window, bool on) {
    if (!window) return;
    Lock lock(fake::state().mutex);
    fake::state().windowStates[window].topmost = on;
    fake::state().calls.push_back(on ? "setTopmost on" : "setTopmost off");
}

void showWindow(WindowHandle window, Show how) {
    if (!window) return;
    Lock lock(fake::state().mutex);
    fake::FakeWindow& w = fake::state().windowStates[window];
    switch (how) {
        case Show::Maximize:
            if (!w.maximized) w.normal = w.rect;
            w.maximized = true, w.minimized = false;
            fake::state().calls.push_back("maximize");
            break;
        case Show::Minimize:
            w.minimized = true;
            fake::state().calls.push_back("minimize");
            break;
        case Show::Restore:
            if (w.maximized) w.rect = w.normal;
            w.maximized = false, w.minimized = false;
            fake::state().calls.push_back("restore");
            break;
    }
}

void setWindowIcon(WindowHandle window) {
    if (!window) return;
    Lock lock(fake::state().mutex);
    fake::state().calls.push_back("setWindowIcon");
}

bool isMaximized(WindowHandle window) {
    if (!window) return false;
    Lock lock(fake::state().mutex);
    return fake::state().windowStates[window].maximized;
}

bool isMinimized(WindowHandle window) {
    if (!window) return false;
    Lock lock(fake::state().mutex);
    return fake::state().windowStates[window].minimized;
}

bool isCovered(WindowHandle window) {
    if (!window) return false;
    Lock lock(fake::state().mutex);
    return fake::state().windowStates[window].covered;
}

bool windowPlacement(WindowHandle window, Placement& placement) {
    if (!window) return false;
    Lock lock(fake::state().mutex);
    const fake::FakeWindow& w = fake::state().windowStates[window];
    placement.normal = w.maximized ? w.normal : w.rect;
    placement.maximized = w.maximized;
    return true;
}

bool workAreaAtPoint(int32_t x, int32_t y, Rect& workArea) {
    Lock lock(fake::state().mutex);
    for (const Rect& area : fake::state().workAreas) {
        if (x >= area.left && x < area.right && y >= area.top && y < area.bottom) {
            workArea = area;
            return true;
        }
    }
    return false;
}

bool workAreaOfWindow(WindowHandle window, Rect& workArea) {
    Lock lock(fake::state().mutex);
    if (fake::state().workAreas.empty()) return false;
    workArea = fake::state().workAreas.front();
    if (!window) return true;
    const Rect& rect = fake::state().windowStates[window].rect;
    int32_t cx = rect.left + (rect.right - rect.left) / 2, cy = rect.top + (rect.bottom - rect.top) / 2;
    for (const Rect& area : fake::state().workAreas) {
        if (cx >= area.left && cx < area.right && cy >= area.top && cy < area.bottom) workArea = area;
    }
    return true;
}

void watchMainWindow(WindowHandle window, void (*moveSizeEnded)(WindowHandle),
                     void (*destroyed)(WindowHandle)) {
    if (!window) return;
    Lock lock(fake::state().mutex);
    fake::state().windowStates[window].moveSizeEnded = moveSizeEnded;
    fake::state().windowStates[window].destroyed = destroyed;
}

void makePanelWindow(WindowHandle window, bool positioned, int32_t x, int32_t y, int32_t width,
                     int32_t height) {
    if (!window) return;
    Lock lock(fake::state().mutex);
    fake::FakeWindow& w = fake::state().windowStates[window];
    w.panel = true;
    if (positioned) w.rect = Rect{x, y, x + width, y + height};
}

void beginPointerDrag(WindowHandle, const DragHandlers& handlers) {
    Lock lock(fake::state().mutex);
    fake::state().drag = handlers;
}

void endPointerDrag() {
    Lock lock(fake::state().mutex);
    fake::state().drag.reset();
}

void forceForeground(WindowHandle window) {
    if (!window) return;
    Lock lock(fake::state().mutex);
    fake::state().calls.push_back("forceForeground");
}

}  // namespace plat
