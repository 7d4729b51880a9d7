// A window that reports, with the time it came, what input reaches it, one line per event on stdout:
//   timeline_target TITLE X Y WIDTH HEIGHT
// Lines start with microseconds of CLOCK_MONOTONIC: "T ready" once it has the focus, then
// "T key press|release KEYCODE KEYSYM", "T button press|release BUTTON" and "T motion X Y" (screen
// point). It runs until it is killed.
#include <X11/Xlib.h>
#include <time.h>

#include <cstdio>

#include "target_window_setup.h"

namespace {

long long nowUs() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<long long>(now.tv_sec) * 1000000 + now.tv_nsec / 1000;
}

}  // namespace

int main(int argc, char** argv) {
    const long events = KeyPressMask | KeyReleaseMask | ButtonPressMask | ButtonReleaseMask |
                        PointerMotionMask | StructureNotifyMask | FocusChangeMask;
    TargetWindowSetup target;
    if (const int failed = openTargetWindow(argc, argv, "timeline_target", 0xe0e0e0, events, false, target))
        return failed;
    Display* display = target.display;
    const Window window = target.window;

    bool ready = false;
    for (;;) {
        XEvent event;
        XNextEvent(display, &event);
        const long long time = nowUs();
        switch (event.type) {
            case MapNotify:
                XSetInputFocus(display, window, RevertToParent, CurrentTime);
                break;
            case FocusIn:
                if (!ready) std::printf("%lld ready\n", time);
                ready = true;
                break;
            case KeyPress:
            case KeyRelease:
                std::printf("%lld key %s %u %s\n", time, event.type == KeyPress ? "press" : "release",
                            event.xkey.keycode, keysymName(event));
                break;
            case ButtonPress:
            case ButtonRelease:
                std::printf("%lld button %s %u\n", time, event.type == ButtonPress ? "press" : "release",
                            event.xbutton.button);
                break;
            case MotionNotify:
                std::printf("%lld motion %d %d\n", time, event.xmotion.x_root, event.xmotion.y_root);
                break;
            default:
                break;
        }
        std::fflush(stdout);
    }
}
