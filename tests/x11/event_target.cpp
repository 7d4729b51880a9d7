// A window for the input tests: it takes the keyboard focus and reports what reaches it, one line
// per event on stdout.
//   event_target TITLE X Y WIDTH HEIGHT
// Lines: "ready" once it has the focus, then "key press|release KEYCODE KEYSYM" and
// "button press|release BUTTON". It runs until it is killed.
#include <X11/Xlib.h>

#include <cstdio>

#include "target_window_setup.h"

int main(int argc, char** argv) {
    const long events = KeyPressMask | KeyReleaseMask | ButtonPressMask | ButtonReleaseMask |
                        StructureNotifyMask | FocusChangeMask;
    TargetWindowSetup target;
    if (const int failed = openTargetWindow(argc, argv, "event_target", 0xffffff, events, true, target))
        return failed;
    Display* display = target.display;
    const Window window = target.window;

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
            case KeyRelease:
                std::printf("key %s %u %s\n", event.type == KeyPress ? "press" : "release",
                            event.xkey.keycode, keysymName(event));
                break;
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
