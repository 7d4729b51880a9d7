// The browser engine's own functions kept from the user, the program's name on the desktop, and the
// window manager's close. The webview library leaves WebKitGTK as a browser: F7 reaches the engine's
// hidden text view (which it asks for key bindings) and toggles its caret, whose blink then fails a
// toolkit assertion and ends the program; a right click offers Back, Forward and Reload. The toolkit
// and engine functions are looked up in the libraries the webview library has loaded, so no toolkit
// headers are needed and nothing is loaded that the program would not load anyway.
#include <X11/Xlib.h>
#include <dlfcn.h>

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "platform/context_menu.h"
#include "platform/platform.h"
#include "platform/x11/browser_keys.h"

namespace plat::x11 {

bool isBrowserKey(uint32_t keysym, uint32_t modifiers) {
    if (keysym >= 0xffbe && keysym <= 0xffe0) return true;  // F1 to F35
    switch (keysym) {
        case 0x1008ff18:  // XF86HomePage
        case 0x1008ff1b:  // XF86Search
        case 0x1008ff26:  // XF86Back
        case 0x1008ff27:  // XF86Forward
        case 0x1008ff28:  // XF86Stop
        case 0x1008ff29:  // XF86Refresh
        case 0x1008ff30:  // XF86Favorites
        case 0x1008ff73:  // XF86Reload
        case 0x1008ff8b:  // XF86ZoomIn
        case 0x1008ff8c:  // XF86ZoomOut
        case 0xff68:      // Find
        case 0xff67:      // Menu: the engine's hidden text view opens a menu of its own on it
            return true;
        default:
            break;
    }
    const bool control = (modifiers & kControlMask) != 0;
    const bool alt = (modifiers & kAltMask) != 0;
    const bool shift = (modifiers & kShiftMask) != 0;
    if (alt && !control && (keysym == 0xff51 || keysym == 0xff53 || keysym == 0xff50))
        return true;  // Alt+Left, Alt+Right, Alt+Home: back, forward, home
    if (!control) return false;
    const uint32_t letter = (keysym >= 'A' && keysym <= 'Z') ? keysym + ('a' - 'A') : keysym;
    switch (letter) {
        case 'r':  // reload
        case 'f':  // find
        case 'g':  // find again
        case 'p':  // print
        case 'u':  // view source
        case '+':
        case '=':
        case '-':
        case '_':
        case '0':
        case 0xffab:  // KP_Add
        case 0xffad:  // KP_Subtract
        case 0xffb0:  // KP_0
            return true;
        case 'i':  // developer tools
        case 'j':
        case 'c':
            return shift;
        default:
            return false;
    }
}

namespace {

using gboolean = int;
using GCallback = void (*)();

constexpr int kPhaseCapture = 1;     // GTK_PHASE_CAPTURE
constexpr int kSequenceClaimed = 1;  // GTK_EVENT_SEQUENCE_CLAIMED
constexpr unsigned kBackButton = 8;  // the mouse's side buttons
constexpr unsigned kForwardButton = 9;

// The context menu's editing entries (WebKitContextMenuAction): a text field keeps them.
constexpr int kEditActions[] = {
    14,  // copy
    15,  // cut
    16,  // paste
    17,  // delete
    18,  // select all
    21,  // spelling guess
    23,  // ignore spelling
    24,  // learn spelling
    44,  // insert emoji
    45,  // paste as plain text
};

struct Toolkit {
    // GLib and GObject
    void (*setPrgname)(const char*) = nullptr;
    unsigned long (*signalConnectData)(void* instance, const char* signal, GCallback handler, void* data,
                                       void* destroyData, int flags) = nullptr;
    unsigned (*idleAdd)(int (*fn)(void* data), void* data) = nullptr;
    void (*addWeakPointer)(void* object, void** location) = nullptr;
    // GTK and GDK
    gboolean (*initCheck)() = nullptr;
    void* (*displayGetDefault)() = nullptr;
    void (*setProgramClass)(void* display, const char* name) = nullptr;
    void (*widgetAddController)(void* widget, void* controller) = nullptr;
    void* (*keyControllerNew)() = nullptr;
    void (*setPropagationPhase)(void* controller, int phase) = nullptr;
    void* (*clickGestureNew)() = nullptr;
    void (*singleSetButton)(void* gesture, unsigned button) = nullptr;
    unsigned (*singleGetCurrentButton)(void* gesture) = nullptr;
    gboolean (*gestureSetState)(void* gesture, int state) = nullptr;
    void* (*widgetGetDisplay)(void* widget) = nullptr;
    Display* (*xDisplayOf)(void* display) = nullptr;
    void* (*nativeGetSurface)(void* native) = nullptr;
    unsigned long (*surfaceXid)(void* surface) = nullptr;
    void (*windowDestroy)(void* window) = nullptr;
    void* (*motionControllerNew)() = nullptr;
    // WebKitGTK
    void* (*viewGetSettings)(void* view) = nullptr;
    void (*setCaretBrowsing)(void* settings, gboolean on) = nullptr;
    void (*setDeveloperExtras)(void* settings, gboolean on) = nullptr;
    void (*setNavigationGestures)(void* settings, gboolean on) = nullptr;
    unsigned (*menuGetItemCount)(void* menu) = nullptr;
    void* (*menuGetItemAt)(void* menu, unsigned position) = nullptr;
    void (*menuRemove)(void* menu, void* item) = nullptr;
    int (*itemGetAction)(void* item) = nullptr;
    gboolean (*itemIsSeparator)(void* item) = nullptr;
};

// Whether the toolkit's windows are X11 windows (initProcess chose): the X11 calls below fail on a
// Wayland display, with a warning each.
bool onX11() {
    const char* backend = std::getenv("GDK_BACKEND");
    return backend && std::strcmp(backend, "x11") == 0;
}

// A library the webview library has already loaded (null when it has not: nothing is loaded here).
void* loaded(const char* name) {
    return dlopen(name, RTLD_NOW | RTLD_LOCAL | RTLD_NOLOAD);
}

template <typename Fn>
bool find(void* library, const char* name, Fn& slot) {
    slot = library ? reinterpret_cast<Fn>(dlsym(library, name)) : nullptr;
    return slot != nullptr;
}

// The functions, looked up once; glib, gtk and webkit say which groups were all found.
struct LoadedToolkit {
    Toolkit fns;
    bool glib = false, gtk = false, webkit = false;
};

const LoadedToolkit& toolkit() {
    static const LoadedToolkit instance = [] {
        LoadedToolkit t;
        Toolkit& f = t.fns;
        void* glib = loaded("libglib-2.0.so.0");
        void* gobject = loaded("libgobject-2.0.so.0");
        void* gtk = loaded("libgtk-4.so.1");
        void* webkit = loaded("libwebkitgtk-6.0.so.4");
        t.glib = find(glib, "g_set_prgname", f.setPrgname) && find(glib, "g_idle_add", f.idleAdd) &&
                 find(gobject, "g_signal_connect_data", f.signalConnectData) &&
                 find(gobject, "g_object_add_weak_pointer", f.addWeakPointer);
        t.gtk = find(gtk, "gtk_init_check", f.initCheck) &&
                find(gtk, "gdk_display_get_default", f.displayGetDefault) &&
                find(gtk, "gdk_x11_display_set_program_class", f.setProgramClass) &&
                find(gtk, "gtk_widget_add_controller", f.widgetAddController) &&
                find(gtk, "gtk_event_controller_key_new", f.keyControllerNew) &&
                find(gtk, "gtk_event_controller_set_propagation_phase", f.setPropagationPhase) &&
                find(gtk, "gtk_gesture_click_new", f.clickGestureNew) &&
                find(gtk, "gtk_gesture_single_set_button", f.singleSetButton) &&
                find(gtk, "gtk_gesture_single_get_current_button", f.singleGetCurrentButton) &&
                find(gtk, "gtk_gesture_set_state", f.gestureSetState) &&
                find(gtk, "gtk_widget_get_display", f.widgetGetDisplay) &&
                find(gtk, "gdk_x11_display_get_xdisplay", f.xDisplayOf) &&
                find(gtk, "gtk_native_get_surface", f.nativeGetSurface) &&
                find(gtk, "gdk_x11_surface_get_xid", f.surfaceXid) &&
                find(gtk, "gtk_window_destroy", f.windowDestroy) &&
                find(gtk, "gtk_event_controller_motion_new", f.motionControllerNew);
        t.webkit = find(webkit, "webkit_web_view_get_settings", f.viewGetSettings) &&
                   find(webkit, "webkit_settings_set_enable_caret_browsing", f.setCaretBrowsing) &&
                   find(webkit, "webkit_settings_set_enable_developer_extras", f.setDeveloperExtras) &&
                   find(webkit, "webkit_settings_set_enable_back_forward_navigation_gestures",
                        f.setNavigationGestures) &&
                   find(webkit, "webkit_context_menu_get_n_items", f.menuGetItemCount) &&
                   find(webkit, "webkit_context_menu_get_item_at_position", f.menuGetItemAt) &&
                   find(webkit, "webkit_context_menu_remove", f.menuRemove) &&
                   find(webkit, "webkit_context_menu_item_get_stock_action", f.itemGetAction) &&
                   find(webkit, "webkit_context_menu_item_is_separator", f.itemIsSeparator);
        return t;
    }();
    return instance;
}

// What the page never uses, switched off so that the engine keeps no memory for it: the back/forward
// cache, WebGL, media and their kin (each where the installed engine has it).
constexpr const char* kUnusedFeatures[] = {
    "webkit_settings_set_enable_page_cache",      "webkit_settings_set_enable_webgl",
    "webkit_settings_set_enable_media",           "webkit_settings_set_enable_webaudio",
    "webkit_settings_set_enable_mediasource",     "webkit_settings_set_enable_media_stream",
    "webkit_settings_set_enable_webrtc",          "webkit_settings_set_enable_encrypted_media",
    "webkit_settings_set_enable_dns_prefetching",
};
constexpr int kDocumentViewerCache = 0;  // WEBKIT_CACHE_MODEL_DOCUMENT_VIEWER: the smallest caches

void switchOffUnusedFeatures(void* view, void* settings) {
    void* webkit = loaded("libwebkitgtk-6.0.so.4");
    for (const char* name : kUnusedFeatures) {
        void (*set)(void*, gboolean) = nullptr;
        if (find(webkit, name, set)) set(settings, 0);
    }
    void* (*contextOf)(void*) = nullptr;
    void (*setCacheModel)(void*, int) = nullptr;
    if (find(webkit, "webkit_web_view_get_context", contextOf) &&
        find(webkit, "webkit_web_context_set_cache_model", setCacheModel)) {
        if (void* context = contextOf(view)) setCacheModel(context, kDocumentViewerCache);
    }
}

bool isEditAction(int action) {
    for (int kept : kEditActions) {
        if (action == kept) return true;
    }
    return false;
}

// "key-pressed" of the view's capture-phase key controller: true keeps the key from everything
// below, the engine included.
gboolean onKeyPressed(void*, unsigned keyval, unsigned, unsigned state, void*) {
    return isBrowserKey(keyval, state) ? 1 : 0;
}

// "pressed" of the view's capture-phase click gesture: the side buttons go back and forward.
void onButtonPressed(void* gesture, int, double, double, void*) {
    const Toolkit& f = toolkit().fns;
    const unsigned button = f.singleGetCurrentButton(gesture);
    if (button == kBackButton || button == kForwardButton) f.gestureSetState(gesture, kSequenceClaimed);
}

// "context-menu" of the web view: only the editing entries stay (in a text field, or over a
// selection); a menu left empty is not shown at all.
gboolean onContextMenu(void*, void* menu, void*, void*) {
    const Toolkit& f = toolkit().fns;
    std::vector<void*> items;
    std::vector<MenuEntry> entries;
    for (unsigned i = 0, count = f.menuGetItemCount(menu); i < count; ++i) {
        void* item = f.menuGetItemAt(menu, i);
        items.push_back(item);
        const bool separator = item && f.itemIsSeparator(item);
        entries.push_back({separator, item && !separator && isEditAction(f.itemGetAction(item))});
    }
    const std::vector<bool> kept = keptMenuEntries(entries);
    bool any = false;
    for (size_t i = 0; i < items.size(); ++i) {
        if (!kept[i] && items[i]) f.menuRemove(menu, items[i]);
        any = any || kept[i];
    }
    return any ? 0 : 1;
}

template <typename Fn>
GCallback callback(Fn fn) {
    return reinterpret_cast<GCallback>(fn);
}

// A close the window system asks for, taken as it arrives on the toolkit's connection.
struct CloseRoute {
    void* window = nullptr;  // the GtkWindow; cleared by GObject when it goes
    Window xid = 0;
    Atom protocols = 0, deleteWindow = 0;
    void (*endLoop)(void*) = nullptr;
    void* arg = nullptr;
    bool (*mayClose)() = nullptr;
    bool closing = false;
};

int closeNow(void* data) {
    auto* route = static_cast<CloseRoute*>(data);
    if (route->mayClose && !route->mayClose()) {
        route->closing = false;
        return 0;  // G_SOURCE_REMOVE
    }
    if (route->window) toolkit().fns.windowDestroy(route->window);
    route->endLoop(route->arg);
    return 0;  // G_SOURCE_REMOVE
}

// "close-request" of a Wayland window: the compositor's close, which the toolkit would otherwise
// answer by destroying the window alone.
gboolean onCloseRequest(void*, void* data) {
    auto* route = static_cast<CloseRoute*>(data);
    if (!route->closing) {
        route->closing = true;
        toolkit().fns.idleAdd(&closeNow, route);
    }
    return 1;
}

// Whether the pointer rests on the page on Wayland: -1 while no view tells.
std::atomic<int> pointerInside{-1};

// "enter" and "leave" of the window's motion controller.
void onPointerEnter(void*, double, double, void*) {
    pointerInside.store(1);
}
void onPointerLeave(void*, void*) {
    pointerInside.store(0);
}

// "xevent" of the toolkit's X display: every event its connection reads, before the toolkit's
// own handling.
gboolean onXEvent(void*, XEvent* event, void* data) {
    auto* route = static_cast<CloseRoute*>(data);
    if (event->type != ClientMessage || event->xclient.message_type != route->protocols ||
        event->xclient.format != 32 || static_cast<Atom>(event->xclient.data.l[0]) != route->deleteWindow ||
        (route->xid != 0 && event->xclient.window != route->xid))
        return 0;
    if (!route->closing) {
        route->closing = true;
        toolkit().fns.idleAdd(&closeNow, route);
    }
    return 1;
}

}  // namespace
}  // namespace plat::x11

namespace plat {

void nameProgramForDesktop() {
    const x11::LoadedToolkit& t = x11::toolkit();
    // GTK names each window's class (WM_CLASS) and a Wayland window's application id after the
    // program name; the class it derives from it is capitalised, so it is set too, on the display
    // that the library's first window will open on.
    if (t.glib) t.fns.setPrgname("ravelin");
    if (t.gtk && x11::onX11() && t.fns.initCheck()) {
        if (void* display = t.fns.displayGetDefault()) t.fns.setProgramClass(display, "ravelin");
    }
}

void routeWindowClose(void* nativeWindow, void (*endLoop)(void*), void* arg, bool (*mayClose)()) {
    const x11::LoadedToolkit& t = x11::toolkit();
    if (!nativeWindow || !endLoop || !t.glib || !t.gtk) return;
    const x11::Toolkit& f = t.fns;
    // One window per process, for the life of the process.
    static x11::CloseRoute route;
    if (!x11::onX11()) {
        route.window = nativeWindow;
        f.addWeakPointer(nativeWindow, &route.window);
        route.endLoop = endLoop;
        route.arg = arg;
        route.mayClose = mayClose;
        f.signalConnectData(nativeWindow, "close-request", x11::callback(&x11::onCloseRequest), &route,
                            nullptr, 0);
        return;
    }
    void* display = f.widgetGetDisplay(nativeWindow);
    Display* xdisplay = display ? f.xDisplayOf(display) : nullptr;
    if (!xdisplay) return;
    route.window = nativeWindow;
    f.addWeakPointer(nativeWindow, &route.window);
    void* surface = f.nativeGetSurface(nativeWindow);
    route.xid = surface ? f.surfaceXid(surface) : 0;
    route.protocols = XInternAtom(xdisplay, "WM_PROTOCOLS", False);
    route.deleteWindow = XInternAtom(xdisplay, "WM_DELETE_WINDOW", False);
    route.endLoop = endLoop;
    route.arg = arg;
    route.mayClose = mayClose;
    f.signalConnectData(display, "xevent", x11::callback(&x11::onXEvent), &route, nullptr, 0);
}

std::optional<bool> pointerOnOwnWindow() {
    const int inside = x11::pointerInside.load();
    if (inside < 0) return std::nullopt;
    return inside == 1;
}

void applyBrowserSettings(void* browserController) {
    // The browser controller of the GTK backend is the WebKitWebView widget itself.
    const x11::LoadedToolkit& t = x11::toolkit();
    if (!browserController || !t.glib) return;
    const x11::Toolkit& f = t.fns;
    if (t.webkit) {
        if (void* settings = f.viewGetSettings(browserController)) {
            f.setCaretBrowsing(settings, 0);
            f.setDeveloperExtras(settings, 0);
            f.setNavigationGestures(settings, 0);
            x11::switchOffUnusedFeatures(browserController, settings);
        }
        f.signalConnectData(browserController, "context-menu", x11::callback(&x11::onContextMenu), nullptr,
                            nullptr, 0);
    }
    if (t.gtk) {
        // On the web view, in the capture phase: before the engine's own handlers, whose key bindings
        // include the toolkit's text-view ones (F7 there toggles the caret). The library puts the
        // view into its window only later, so the window cannot take them yet.
        void* view = browserController;
        void* keys = f.keyControllerNew();
        f.setPropagationPhase(keys, x11::kPhaseCapture);
        f.signalConnectData(keys, "key-pressed", x11::callback(&x11::onKeyPressed), nullptr, nullptr, 0);
        f.widgetAddController(view, keys);
        void* clicks = f.clickGestureNew();
        f.singleSetButton(clicks, 0);
        f.setPropagationPhase(clicks, x11::kPhaseCapture);
        f.signalConnectData(clicks, "pressed", x11::callback(&x11::onButtonPressed), nullptr, nullptr, 0);
        f.widgetAddController(view, clicks);
        if (!x11::onX11()) {
            // Wayland tells no client where the pointer is, but it tells the view that the pointer
            // came in or left (a controller of the window itself hears neither): the clicker must not
            // click the page at the pointer.
            void* motion = f.motionControllerNew();
            f.signalConnectData(motion, "enter", x11::callback(&x11::onPointerEnter), nullptr, nullptr, 0);
            f.signalConnectData(motion, "leave", x11::callback(&x11::onPointerLeave), nullptr, nullptr, 0);
            f.widgetAddController(view, motion);
            x11::pointerInside.store(0);
        }
    }
}

void restBrowserWhileMinimized(void*, void*) {
    // WebKitGTK hides the page of a minimized window itself (document.hidden): it stops drawing and
    // its timers slow down.
}

}  // namespace plat
