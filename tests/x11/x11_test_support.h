// What the X11 platform tests share: waiting for a condition, programs and forks of the test's own,
// and a connection that stands for the other programs on the display. Include it after gtest (the X11
// headers' macros, None and Bool, would break it).
#pragma once

#include <X11/Xlib.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <initializer_list>
#include <string>
#include <thread>
#include <vector>

#include "platform/platform.h"

extern char** environ;

namespace x11test {

// The program does this first too; the tests use Xlib from several threads, each thread with a
// connection of its own.
[[maybe_unused]] inline const Status kThreadsInitialised = XInitThreads();

// Polls `condition` every `pollMs` for up to `seconds`: whether it came true.
inline bool eventually(const std::function<bool()>& condition, double seconds = 5, int pollMs = 10) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(pollMs));
    }
    return true;
}

// A process of the test's own: a program, or a fork of the test. It is ended with SIGKILL and waited
// for when this goes, unless it was ended before.
class Child {
  public:
    Child() = default;
    ~Child() { end(SIGKILL); }
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;

    // Starts `argv[0]` (a path, or a name looked up in PATH) with its standard output on `output`, or
    // with standard output and error thrown away when `output` is -1.
    bool spawn(std::vector<std::string> argv, int output = -1) {
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        if (output >= 0) {
            posix_spawn_file_actions_adddup2(&actions, output, STDOUT_FILENO);
        } else {
            posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
            posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
        }
        std::vector<char*> pointers;
        for (std::string& arg : argv) pointers.push_back(arg.data());
        pointers.push_back(nullptr);
        if (posix_spawnp(&pid_, pointers[0], &actions, nullptr, pointers.data(), environ) != 0) pid_ = -1;
        posix_spawn_file_actions_destroy(&actions);
        return started();
    }

    // Runs `body` in a fork of the test, which then exits (0).
    bool fork(const std::function<void()>& body) {
        pid_ = ::fork();
        if (pid_ == 0) {
            body();
            _exit(0);
        }
        return started();
    }

    bool started() const { return pid_ > 0; }

    // Sends `signal` and waits for the process to end. SIGKILL ends it as a crash would, leaving behind
    // whatever it had set up (a socket file, a window manager's properties on the root window).
    void end(int signal) {
        if (pid_ <= 0) return;
        kill(pid_, signal);
        waitpid(pid_, nullptr, 0);
        pid_ = -1;
    }

  private:
    pid_t pid_ = -1;
};

inline plat::WindowHandle handleOf(Window window) {
    return reinterpret_cast<plat::WindowHandle>(window);
}

// A connection of the test's own, standing for the other programs on the display (and for the user).
class Client {
  public:
    Client() : display_(XOpenDisplay(nullptr)) {}
    ~Client() {
        if (display_) XCloseDisplay(display_);
    }
    Client(const Client&) = delete;
    Client& operator=(const Client&) = delete;

    Display* display() const { return display_; }
    Window root() const { return DefaultRootWindow(display_); }
    Atom atom(const char* name) { return XInternAtom(display_, name, False); }

    // A plain top-level window named "Ravelin Window Probe".
    Window window(int x, int y, int width, int height, unsigned border = 0, bool mapped = true) {
        Window window = XCreateSimpleWindow(display_, root(), x, y, width, height, border, 0, 0xffffff);
        XStoreName(display_, window, "Ravelin Window Probe");
        if (mapped) XMapWindow(display_, window);
        XSync(display_, False);
        return window;
    }

    void destroy(Window window) {
        XDestroyWindow(display_, window);
        XSync(display_, False);
    }

    // The 32-bit values of a property (the first 64), none when the window has no such property.
    std::vector<long> values(Window window, const char* name) {
        Atom type = None;
        int format = 0;
        unsigned long count = 0, after = 0;
        unsigned char* data = nullptr;
        std::vector<long> result;
        if (XGetWindowProperty(display_, window, atom(name), 0, 64, False, AnyPropertyType, &type, &format,
                               &count, &after, &data) == Success &&
            data && format == 32)
            result.assign(reinterpret_cast<long*>(data), reinterpret_cast<long*>(data) + count);
        if (data) XFree(data);
        return result;
    }

    bool viewable(Window window) {
        XWindowAttributes attributes{};
        return XGetWindowAttributes(display_, window, &attributes) && attributes.map_state == IsViewable;
    }

    // None when the window is gone.
    Window parentOf(Window window) {
        Window root = 0, parent = 0;
        Window* children = nullptr;
        unsigned count = 0;
        if (!XQueryTree(display_, window, &root, &parent, &children, &count)) return None;
        if (children) XFree(children);
        return parent;
    }

    Window focus() {
        Window focus = None;
        int revert = 0;
        XGetInputFocus(display_, &focus, &revert);
        return focus;
    }

    // A request to the window manager about `window`, as a pager or the user's own tools send it.
    void sendToManager(Window window, const char* type, std::initializer_list<long> data) {
        XEvent event{};
        event.xclient.type = ClientMessage;
        event.xclient.window = window;
        event.xclient.message_type = atom(type);
        event.xclient.format = 32;
        int i = 0;
        for (long value : data) event.xclient.data.l[i++] = value;
        XSendEvent(display_, root(), False, SubstructureRedirectMask | SubstructureNotifyMask, &event);
        XSync(display_, False);
    }

  private:
    Display* display_;
};

}  // namespace x11test
