// Finding our own windows by title on a busy desktop: a window manager's frames, each holding one
// client window, with ours at the bottom of the stacking order (the search's worst case). Prints the
// median time of a search for a title no window has (what every search cost before our windows were
// remembered) and of finding our window again, with the server's round trips in both.
//
//   find_window windows=100 search_us=… found_again_us=…
// Runs on the current X display (Xvfb).
#include <X11/Xlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace {

double medianMicros(const std::string& title, int runs) {
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        auto start = std::chrono::steady_clock::now();
        plat::findWindow(title);
        times.push_back(
            std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start).count());
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

}  // namespace

int main() {
    plat::initProcess();
    Display* display = XOpenDisplay(nullptr);
    if (!display) {
        std::fprintf(stderr, "find_window: no X display\n");
        return 1;
    }
    const Window root = DefaultRootWindow(display);
    const char* ours = "Ravelin (Find Window Bench)";
    const int windows = 100;
    for (int i = 0; i < windows; ++i) {
        Window frame = XCreateSimpleWindow(display, root, i, i, 200, 100, 0, 0, 0);
        Window client = XCreateSimpleWindow(display, frame, 0, 0, 200, 100, 0, 0, 0);
        std::string name = i == 0 ? ours : "Some other program " + std::to_string(i);
        XStoreName(display, client, name.c_str());
        XMapWindow(display, client);
        XMapWindow(display, frame);
    }
    XSync(display, False);
    if (!plat::findWindow(ours)) {
        std::fprintf(stderr, "find_window: our window was not found\n");
        return 1;
    }
    std::printf("find_window windows=%d search_us=%.0f found_again_us=%.0f\n", windows,
                medianMicros("No window has this title", 21), medianMicros(ours, 201));
    XCloseDisplay(display);
    return 0;
}
