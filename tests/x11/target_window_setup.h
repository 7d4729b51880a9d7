// The window of a target program (a *_target.cpp helper, linked with Xlib alone): made from the command
// line `PROGRAM TITLE X Y WIDTH HEIGHT` and shown; the program gives it the focus once it is mapped.
#pragma once

#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

struct TargetWindowSetup {
    Display* display = nullptr;
    Window window = 0;
};

// Opens the display and shows the window with `background`, selecting `events`; with `utf8Title` the
// title is also the window's _NET_WM_NAME. Prints what went wrong and returns the exit code (2: wrong
// use, 1: no display) when it cannot; 0 otherwise.
inline int openTargetWindow(int argc, char** argv, const char* program, unsigned long background, long events,
                            bool utf8Title, TargetWindowSetup& target) {
    if (argc != 6) {
        std::fprintf(stderr, "usage: %s TITLE X Y WIDTH HEIGHT\n", program);
        return 2;
    }
    Display* display = XOpenDisplay(nullptr);
    if (!display) {
        std::fprintf(stderr, "%s: no display\n", program);
        return 1;
    }
    const char* title = argv[1];
    Window window = XCreateSimpleWindow(display, DefaultRootWindow(display), std::atoi(argv[2]),
                                        std::atoi(argv[3]), static_cast<unsigned>(std::atoi(argv[4])),
                                        static_cast<unsigned>(std::atoi(argv[5])), 0, 0, background);
    XStoreName(display, window, title);
    if (utf8Title)
        XChangeProperty(display, window, XInternAtom(display, "_NET_WM_NAME", False),
                        XInternAtom(display, "UTF8_STRING", False), 8, PropModeReplace,
                        reinterpret_cast<const unsigned char*>(title), static_cast<int>(std::strlen(title)));
    XSelectInput(display, window, events);
    XMapRaised(display, window);
    target = {display, window};
    return 0;
}

// The name of the key event's keysym ("NoSymbol" when it has none).
inline const char* keysymName(XEvent& event) {
    char text[16];
    KeySym keysym = NoSymbol;
    XLookupString(&event.xkey, text, sizeof text, &keysym, nullptr);
    const char* name = XKeysymToString(keysym);
    return name ? name : "NoSymbol";
}
