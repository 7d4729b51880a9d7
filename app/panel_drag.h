// Dragging a frameless panel window by its header onto the main window to dock it. A panel
// instance's user-interface thread (or the backend's drag thread).
#pragma once

#include <cstdint>
#include <functional>

#include "platform/platform.h"

namespace rv {

// What ends a panel when it is dropped on the main window (set by the panel instance).
inline std::function<void()> closePanelCallback;

// Starts dragging the panel window with the pointer; hover over the main window is reported to the
// main instance as "panelHover" messages, and a release over it docks the panel.
void beginPanelDrag(plat::WindowHandle panel);

// The drag's handlers, called by the platform (exposed for tests).
void panelDragMoved(int32_t x, int32_t y);
void panelDragReleased();
void panelDragCaptureLost();
bool panelDragging();

}  // namespace rv
