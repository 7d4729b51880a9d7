#include "app/panel_drag.h"

#include "app/app.h"
#include "bridge/panel_messages.h"

namespace rv {

namespace {

// A drag of this panel instance's window; user-interface thread (or the backend's drag thread).
struct DragState {
    bool dragging = false;
    int32_t startX = 0, startY = 0;  // pointer when the drag began
    plat::Rect startRect;            // the panel window then
    plat::WindowHandle panel = nullptr;
    plat::WindowHandle mainWindow = nullptr;  // looked up once per drag
    bool overMain = false;                    // the last hover state reported
};
DragState drag;

bool pointInRect(int32_t x, int32_t y, const plat::Rect& rect) {
    return x >= rect.left && x < rect.right && y >= rect.top && y < rect.bottom;
}

void reportHover(bool over) {
    sendPanelMessage("panelHover", over ? "1" : "0");
}

// Ends the drag: releases the pointer and reports leaving the main window if the panel was over it.
// Returns whether it was.
bool endDrag() {
    drag.dragging = false;
    plat::endPointerDrag();
    bool wasOver = drag.overMain;
    if (wasOver) {
        drag.overMain = false;
        reportHover(false);
    }
    return wasOver;
}

}  // namespace

void beginPanelDrag(plat::WindowHandle panel) {
    if (!panel) return;
    plat::cursorPos(drag.startX, drag.startY);
    plat::windowRect(panel, drag.startRect);
    drag.panel = panel;
    drag.mainWindow = plat::findWindow(kMainWindowTitle);
    drag.overMain = false;
    drag.dragging = true;
    plat::beginPointerDrag(panel,
                           plat::DragHandlers{&panelDragMoved, &panelDragReleased, &panelDragCaptureLost});
}

void panelDragMoved(int32_t x, int32_t y) {
    if (!drag.dragging) return;
    plat::moveWindow(drag.panel, drag.startRect.left + (x - drag.startX),
                     drag.startRect.top + (y - drag.startY));
    bool over = false;
    plat::Rect mainRect;
    if (drag.mainWindow && plat::windowRect(drag.mainWindow, mainRect)) over = pointInRect(x, y, mainRect);
    if (over != drag.overMain) {
        drag.overMain = over;
        reportHover(over);
    }
}

void panelDragReleased() {
    if (!drag.dragging) return;
    // Dropped on the main window: the panel docks back, which ends this instance.
    if (endDrag() && closePanelCallback) closePanelCallback();
}

void panelDragCaptureLost() {
    if (drag.dragging) endDrag();  // a drag cut short by another window never closes the panel
}

bool panelDragging() {
    return drag.dragging;
}

}  // namespace rv
