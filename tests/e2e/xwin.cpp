// A small X11 tool for the end-to-end tests:
//   xwin find TITLE            prints the id of the top-level window with exactly that title
//   xwin close ID              asks the window to close as a window manager would (WM_DELETE_WINDOW)
//   xwin geometry ID           prints "x y width height" of the window on the screen
//   xwin icons ID              prints the sizes in the window's _NET_WM_ICON ("16x16 32x32"), one line
//   xwin held                  prints the keycodes and pointer buttons the server holds down, one a line
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

std::string windowTitle(Display* display, Window window) {
    Atom utf8 = XInternAtom(display, "UTF8_STRING", False);
    Atom netName = XInternAtom(display, "_NET_WM_NAME", False);
    Atom type;
    int format;
    unsigned long count, after;
    unsigned char* data = nullptr;
    std::string title;
    if (XGetWindowProperty(display, window, netName, 0, 1024, False, utf8, &type, &format, &count, &after,
                           &data) == Success &&
        data) {
        title.assign(reinterpret_cast<char*>(data), count);
        XFree(data);
        return title;
    }
    char* name = nullptr;
    if (XFetchName(display, window, &name) && name) {
        title = name;
        XFree(name);
    }
    return title;
}

int ignoreErrors(Display*, XErrorEvent*) {
    return 0;
}

Window find(Display* display, Window parent, const std::string& title, int depth) {
    Window root, up, *children = nullptr;
    unsigned int count = 0;
    if (!XQueryTree(display, parent, &root, &up, &children, &count)) return 0;
    Window found = 0;
    for (unsigned int i = 0; i < count && !found; ++i) {
        if (windowTitle(display, children[i]) == title) found = children[i];
    }
    for (unsigned int i = 0; i < count && !found && depth > 0; ++i)
        found = find(display, children[i], title, depth - 1);
    if (children) XFree(children);
    return found;
}

}  // namespace

// The server's own key map and pointer state: what stays held system-wide, whoever sent it.
int printHeld(Display* display) {
    char keys[32];
    XQueryKeymap(display, keys);
    for (int code = 0; code < 256; ++code) {
        if (keys[code / 8] & (1 << (code % 8))) std::printf("key %d\n", code);
    }
    Window root, child;
    int rootX, rootY, x, y;
    unsigned mask = 0;
    XQueryPointer(display, DefaultRootWindow(display), &root, &child, &rootX, &rootY, &x, &y, &mask);
    const unsigned buttonMasks[] = {Button1Mask, Button2Mask, Button3Mask, Button4Mask, Button5Mask};
    for (int i = 0; i < 5; ++i) {
        if (mask & buttonMasks[i]) std::printf("button %d\n", i + 1);
    }
    return 0;
}

int main(int argc, char** argv) {
    if (argc == 2 && std::string(argv[1]) == "held") {
        Display* display = XOpenDisplay(nullptr);
        return display ? printHeld(display) : 3;
    }
    if (argc < 3) {
        std::fprintf(stderr, "usage: xwin find TITLE | close ID | geometry ID | icons ID | held\n");
        return 2;
    }
    Display* display = XOpenDisplay(nullptr);
    if (!display) return 3;
    XSetErrorHandler(ignoreErrors);
    std::string verb = argv[1];
    if (verb == "find") {
        Window window = find(display, DefaultRootWindow(display), argv[2], 2);
        if (!window) return 1;
        std::printf("%lu\n", window);
        return 0;
    }
    Window window = std::strtoul(argv[2], nullptr, 0);
    if (verb == "close") {
        XEvent event{};
        event.xclient.type = ClientMessage;
        event.xclient.window = window;
        event.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
        event.xclient.format = 32;
        event.xclient.data.l[0] = static_cast<long>(XInternAtom(display, "WM_DELETE_WINDOW", False));
        event.xclient.data.l[1] = CurrentTime;
        XSendEvent(display, window, False, NoEventMask, &event);
        XSync(display, False);
        return 0;
    }
    if (verb == "geometry") {
        XWindowAttributes attributes;
        if (!XGetWindowAttributes(display, window, &attributes)) return 1;
        int x = 0, y = 0;
        Window child;
        XTranslateCoordinates(display, window, attributes.root, 0, 0, &x, &y, &child);
        std::printf("%d %d %d %d\n", x, y, attributes.width, attributes.height);
        return 0;
    }
    if (verb == "icons") {
        Atom type;
        int format;
        unsigned long count = 0, after = 0;
        unsigned char* data = nullptr;
        if (XGetWindowProperty(display, window, XInternAtom(display, "_NET_WM_ICON", False), 0, 1 << 20,
                               False, XA_CARDINAL, &type, &format, &count, &after, &data) != Success ||
            !data || format != 32)
            return 1;
        const long* values = reinterpret_cast<const long*>(data);
        std::string sizes;
        // Width, height, then width × height pixels, for each image; a short last image is not counted.
        for (unsigned long at = 0; at + 2 <= count;) {
            const unsigned long width = values[at], height = values[at + 1];
            if (width == 0 || height == 0 || at + 2 + width * height > count) break;
            sizes += (sizes.empty() ? "" : " ") + std::to_string(width) + "x" + std::to_string(height);
            at += 2 + width * height;
        }
        XFree(data);
        std::printf("%s\n", sizes.c_str());
        return sizes.empty() ? 1 : 0;
    }
    return 2;
}
