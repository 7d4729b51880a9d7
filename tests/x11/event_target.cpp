// A window for the input tests: it takes the keyboard focus and reports what reaches it, one line
// per event on stdout.
//   event_target TITLE X Y WIDTH HEIGHT
// Lines: "ready" once it has the focus, then "key press|release KEYCODE KEYSYM" and
// "button press|release BUTTON". It runs until it is killed.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

int main(int argc, char** argv) {
    if (argc != 6) {
        std::fprintf(stderr, "usage: event_target TITLE X Y WIDTH HEIGHT\n");
        return 2;
    }
    Display* display = XOpenDisplay(nullptr);
    if (!display) {
        std::fprintf(stderr, "event_target: no display\n");
        return 1;
    }
    const char* title = argv[1];
    Window window = XCreateSimpleWindow(display, DefaultRootWindow(display), std::atoi(argv[2]),
                                        std::atoi(argv[3]), static_cast<unsigned>(std::atoi(argv[4])),
                                        static_cast<unsigned>(std::atoi(argv[5])), 0, 0, 0xffffff);
    XStoreName(display, window, title);
    XChangeProperty(display, window, XInternAtom(display, "_NET_WM_NAME", False),
                    XInternAtom(display, "UTF8_STRING", False), 8, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(title), static_cast<int>(std::strlen(title)));
    XSelectInput(display, window,
                 KeyPressMask | KeyReleaseMask | ButtonPressMask | ButtonReleaseMask | StructureNotifyMask |
                     FocusChangeMask);
    XMapRaised(display, window);

    bool ready = false;
    for (;;) {
        XEvent event;
        XNextEvent(display, &event);
        switch (event.type) {
            case MapNotify:
                XSetInputFocus(display, window, RevertToParent, CurrentTime);
                break;
            case FocusIn:
                if (!ready) std::printf("ready\n");
                ready = true;
                break;
            case KeyPress:
            case KeyRelease: {
                char text[16];
                KeySym keysym = NoSymbol;
                XLookupString(&event.xkey, text, sizeof text, &keysym, nullptr);
                const char* name = XKeysymToString(keysym);
                std::printf("key %s %u %s\n", event.type == KeyPress ? "press" : "release",
                            event.xkey.keycode, name ? name : "NoSymbol");
                break;
            }
            case ButtonPress:
            case ButtonRelease:
                std::printf("button %s %u\n", event.type == ButtonPress ? "press" : "release",
                            event.xbutton.button);
                break;
            default:
                break;
        }
        std::fflush(stdout);
    }
}
