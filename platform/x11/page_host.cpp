// The test page host's window on X11: a plain top-level window on a connection of its own, an event
// loop that also runs the jobs other threads post (woken through an eventfd), and the process's
// standard input and output as lines. Linked into ravelin-headless only.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <errno.h>
#include <poll.h>
#include <signal.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <atomic>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <utility>

#include "platform/platform.h"

namespace plat::x11 {
namespace {

// One host window per process: the instance's own window.
struct HostWindow {
    Display* display = nullptr;
    Window window = 0;
    Atom wmProtocols = 0, wmDeleteWindow = 0, netWmName = 0, utf8String = 0;
    int wake = -1;     // eventfd: a job was posted or the loop should end
    std::mutex mutex;  // guards jobs and alive
    std::deque<std::pair<void (*)(void*), void*>> jobs;
    bool alive = false;  // the window exists: posts are taken
    std::atomic<bool> quit{false};
};

HostWindow& host() {
    static HostWindow* instance = new HostWindow;  // never destroyed: other threads may post late
    return *instance;
}

Window windowOf(WindowHandle handle) {
    return static_cast<Window>(reinterpret_cast<uintptr_t>(handle));
}

void wakeLoop(HostWindow& h) {
    const uint64_t one = 1;
    if (h.wake >= 0) (void)!write(h.wake, &one, sizeof one);
}

void runJobs(HostWindow& h) {
    for (;;) {
        std::pair<void (*)(void*), void*> job;
        {
            std::lock_guard<std::mutex> lock(h.mutex);
            if (h.jobs.empty()) return;
            job = h.jobs.front();
            h.jobs.pop_front();
        }
        job.first(job.second);
    }
}

// Handles one event; false when the window is gone.
bool handleEvent(HostWindow& h, const XEvent& event) {
    if (event.type == ClientMessage && event.xclient.window == h.window &&
        event.xclient.message_type == h.wmProtocols &&
        static_cast<Atom>(event.xclient.data.l[0]) == h.wmDeleteWindow) {
        // The user closed the window: it goes, as a browser window does.
        XDestroyWindow(h.display, h.window);
        XFlush(h.display);
        return true;
    }
    if (event.type == DestroyNotify && event.xdestroywindow.window == h.window) {
        std::lock_guard<std::mutex> lock(h.mutex);
        h.alive = false;
        return false;
    }
    return true;
}

}  // namespace
}  // namespace plat::x11

namespace plat {

WindowHandle hostCreateWindow() {
    x11::HostWindow& h = x11::host();
    if (h.display) return nullptr;
    h.display = XOpenDisplay(nullptr);
    if (!h.display) return nullptr;
    // A driver that stops reading the answers must not end the program before it has saved.
    signal(SIGPIPE, SIG_IGN);
    h.wake = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    const int screen = DefaultScreen(h.display);
    h.window = XCreateSimpleWindow(h.display, RootWindow(h.display, screen), 0, 0, 800, 600, 0,
                                   BlackPixel(h.display, screen), WhitePixel(h.display, screen));
    h.wmProtocols = XInternAtom(h.display, "WM_PROTOCOLS", False);
    h.wmDeleteWindow = XInternAtom(h.display, "WM_DELETE_WINDOW", False);
    h.netWmName = XInternAtom(h.display, "_NET_WM_NAME", False);
    h.utf8String = XInternAtom(h.display, "UTF8_STRING", False);
    XSetWMProtocols(h.display, h.window, &h.wmDeleteWindow, 1);
    XSelectInput(h.display, h.window, StructureNotifyMask);
    XMapWindow(h.display, h.window);
    XSync(h.display, False);
    {
        std::lock_guard<std::mutex> lock(h.mutex);
        h.alive = true;
    }
    return reinterpret_cast<WindowHandle>(h.window);
}

void hostSetTitle(WindowHandle window, const std::string& title) {
    x11::HostWindow& h = x11::host();
    if (!window || !h.display) return;
    const Window w = x11::windowOf(window);
    XStoreName(h.display, w, title.c_str());
    XChangeProperty(h.display, w, h.netWmName, h.utf8String, 8, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(title.data()), static_cast<int>(title.size()));
    XSync(h.display, False);
}

void hostSetClientSize(WindowHandle window, int32_t width, int32_t height) {
    x11::HostWindow& h = x11::host();
    if (!window || !h.display || width <= 0 || height <= 0) return;
    XResizeWindow(h.display, x11::windowOf(window), static_cast<unsigned>(width),
                  static_cast<unsigned>(height));
    XSync(h.display, False);
}

void hostRun(WindowHandle window) {
    x11::HostWindow& h = x11::host();
    if (!window || !h.display) return;
    h.quit = false;
    for (;;) {
        x11::runJobs(h);
        if (h.quit) return;
        while (XPending(h.display)) {
            XEvent event;
            XNextEvent(h.display, &event);
            if (!x11::handleEvent(h, event)) return;
        }
        if (h.quit) return;
        pollfd fds[2] = {{ConnectionNumber(h.display), POLLIN, 0}, {h.wake, POLLIN, 0}};
        if (poll(fds, 2, -1) < 0 && errno != EINTR) return;
        if (fds[1].revents & POLLIN) {
            uint64_t count = 0;
            (void)!read(h.wake, &count, sizeof count);
        }
    }
}

void hostQuit(WindowHandle) {
    x11::HostWindow& h = x11::host();
    h.quit = true;
    x11::wakeLoop(h);
}

bool hostPost(WindowHandle, void (*fn)(void*), void* arg) {
    x11::HostWindow& h = x11::host();
    {
        std::lock_guard<std::mutex> lock(h.mutex);
        if (!h.alive) return false;
        h.jobs.emplace_back(fn, arg);
    }
    x11::wakeLoop(h);
    return true;
}

void hostRequestClose(WindowHandle window) {
    x11::HostWindow& h = x11::host();
    if (!window || !h.display) return;
    // The message a window manager sends when the user presses the close button.
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = x11::windowOf(window);
    event.xclient.message_type = h.wmProtocols;
    event.xclient.format = 32;
    event.xclient.data.l[0] = static_cast<long>(h.wmDeleteWindow);
    event.xclient.data.l[1] = CurrentTime;
    XSendEvent(h.display, x11::windowOf(window), False, NoEventMask, &event);
    XFlush(h.display);
}

void hostDestroyWindow(WindowHandle window) {
    x11::HostWindow& h = x11::host();
    if (!window || !h.display) return;
    bool alive;
    {
        std::lock_guard<std::mutex> lock(h.mutex);
        alive = h.alive;
        h.alive = false;
    }
    if (alive) XDestroyWindow(h.display, x11::windowOf(window));
    XSync(h.display, False);
}

size_t hostReadInput(char* buffer, size_t size) {
    for (;;) {
        const ssize_t n = read(STDIN_FILENO, buffer, size);
        if (n < 0 && errno == EINTR) continue;
        return n > 0 ? static_cast<size_t>(n) : 0;
    }
}

void hostWriteLine(const std::string& line) {
    const std::string text = line + "\n";
    size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = write(STDOUT_FILENO, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return;
        done += static_cast<size_t>(n);
    }
}

}  // namespace plat
