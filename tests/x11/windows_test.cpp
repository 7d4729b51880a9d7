// Finding windows by title and bringing them to the front, with and without a window manager.
// GoogleTest comes before the X11 headers, whose macros (None, Bool) would break it.
#include <gtest/gtest.h>

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <functional>
#include <string>
#include <thread>

#include "platform/platform.h"

extern char** environ;

namespace {

// The process does this first in the program too; each thread below has a connection of its own.
[[maybe_unused]] const Status kThreadsInitialised = XInitThreads();

// A connection of the test's own, standing for the other programs on the display.
class OtherClient {
  public:
    OtherClient() : display_(XOpenDisplay(nullptr)) {}
    ~OtherClient() {
        if (display_) XCloseDisplay(display_);
    }
    OtherClient(const OtherClient&) = delete;
    OtherClient& operator=(const OtherClient&) = delete;

    Display* display() const { return display_; }
    Window root() const { return DefaultRootWindow(display_); }

    // A window with the given name properties (each left out when null); WM_NAME is stored as the
    // Latin-1 bytes given.
    Window window(Window parent, const char* netWmName, const char* wmName, bool mapped = false) {
        Window window = XCreateSimpleWindow(display_, parent, 10, 10, 200, 100, 0, 0, 0xffffff);
        if (netWmName)
            XChangeProperty(display_, window, XInternAtom(display_, "_NET_WM_NAME", False),
                            XInternAtom(display_, "UTF8_STRING", False), 8, PropModeReplace,
                            reinterpret_cast<const unsigned char*>(netWmName),
                            static_cast<int>(std::strlen(netWmName)));
        if (wmName)
            XChangeProperty(display_, window, XA_WM_NAME, XA_STRING, 8, PropModeReplace,
                            reinterpret_cast<const unsigned char*>(wmName),
                            static_cast<int>(std::strlen(wmName)));
        if (mapped) XMapWindow(display_, window);
        XSync(display_, False);
        return window;
    }

    Window property(Window window, const char* name) {
        Atom type = None;
        int format = 0;
        unsigned long count = 0, after = 0;
        unsigned char* data = nullptr;
        Window value = None;
        if (XGetWindowProperty(display_, window, XInternAtom(display_, name, False), 0, 1, False,
                               AnyPropertyType, &type, &format, &count, &after, &data) == Success &&
            data && format == 32 && count == 1)
            value = *reinterpret_cast<unsigned long*>(data);
        if (data) XFree(data);
        return value;
    }

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

    bool viewable(Window window) {
        XWindowAttributes attributes{};
        return XGetWindowAttributes(display_, window, &attributes) && attributes.map_state == IsViewable;
    }

  private:
    Display* display_;
};

plat::WindowHandle handleOf(Window window) {
    return reinterpret_cast<plat::WindowHandle>(window);
}

// Polls `condition` every 10 ms for up to `seconds`.
bool eventually(const std::function<bool()>& condition, double seconds = 5) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

TEST(X11Windows, FindsATopLevelWindowByItsExactTitleOnly) {
    OtherClient other;
    ASSERT_NE(other.display(), nullptr);
    const Window both = other.window(other.root(), "Ravelin Probe Window", "Ravelin Probe Window");
    const Window netOnly = other.window(other.root(), "Ünïcode Probe", nullptr);
    const Window wmOnly = other.window(other.root(), nullptr, "Caf\xe9 Probe");  // Latin-1 é

    EXPECT_EQ(plat::findWindow("Ravelin Probe Window"), handleOf(both));
    EXPECT_EQ(plat::findWindow("Ünïcode Probe"), handleOf(netOnly));
    EXPECT_EQ(plat::findWindow("Café Probe"), handleOf(wmOnly));
    for (const char* near : {"Ravelin Probe", "Ravelin Probe Window ", "ravelin probe window", "Ünïcode", ""})
        EXPECT_EQ(plat::findWindow(near), nullptr) << near;

    // Gone means not found, at once.
    XDestroyWindow(other.display(), both);
    XSync(other.display(), False);
    EXPECT_EQ(plat::findWindow("Ravelin Probe Window"), nullptr);
}

TEST(X11Windows, FindsAClientInsideItsFrame) {
    OtherClient other;
    ASSERT_NE(other.display(), nullptr);
    const Window frame = other.window(other.root(), nullptr, nullptr);
    const Window client = other.window(frame, "Framed Probe", "Framed Probe");
    EXPECT_EQ(plat::findWindow("Framed Probe"), handleOf(client));
}

TEST(X11Windows, WindowsVanishingDuringTheSearchDoNotEndTheProcess) {
    std::atomic<bool> done{false};
    std::thread churn([&] {
        OtherClient other;
        for (int i = 0; i < 400 && other.display(); ++i) {
            Window frame = XCreateSimpleWindow(other.display(), other.root(), 0, 0, 10, 10, 0, 0, 0);
            Window client = XCreateSimpleWindow(other.display(), frame, 0, 0, 10, 10, 0, 0, 0);
            XStoreName(other.display(), client, "Churn");
            XFlush(other.display());
            XDestroyWindow(other.display(), frame);
            XFlush(other.display());
        }
        if (other.display()) XSync(other.display(), False);
        done = true;
    });
    int searches = 0;
    while (!done) {
        EXPECT_EQ(plat::findWindow("Nothing by this name"), nullptr);
        plat::forceForeground(plat::findWindow("Churn"));
        ++searches;
    }
    churn.join();
    EXPECT_GT(searches, 0);
}

TEST(X11Windows, WithoutAWindowManagerForegroundMapsAndFocusesTheWindow) {
    OtherClient other;
    ASSERT_NE(other.display(), nullptr);
    const Window window = other.window(other.root(), "Foreground Probe", nullptr);
    ASSERT_FALSE(other.viewable(window));
    plat::forceForeground(handleOf(window));
    EXPECT_TRUE(other.viewable(window));
    EXPECT_EQ(other.focus(), window);

    // A window that is gone, or none at all, changes nothing and ends nothing.
    XDestroyWindow(other.display(), window);
    XSync(other.display(), False);
    plat::forceForeground(handleOf(window));
    plat::forceForeground(nullptr);
}

class WindowManager {
  public:
    WindowManager() {
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
        char* argv[] = {const_cast<char*>("openbox"), nullptr};
        if (posix_spawnp(&pid_, "openbox", &actions, nullptr, argv, environ) != 0) pid_ = -1;
        posix_spawn_file_actions_destroy(&actions);
    }
    ~WindowManager() { kill(); }
    bool started() const { return pid_ > 0; }
    // SIGKILL, so that it leaves its properties on the root window behind as a crash would.
    void kill() {
        if (pid_ <= 0) return;
        ::kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
        pid_ = -1;
    }

  private:
    pid_t pid_ = -1;
};

TEST(X11Windows, ForegroundAsksTheWindowManagerWhileOneRuns) {
    OtherClient other;
    ASSERT_NE(other.display(), nullptr);
    // Mapped before the manager starts: openbox frames the windows it finds, but misses windows mapped
    // while it is still starting.
    const Window first = other.window(other.root(), "Managed Probe One", nullptr, true);
    const Window second = other.window(other.root(), "Managed Probe Two", nullptr, true);
    WindowManager manager;
    if (!manager.started()) GTEST_SKIP() << "openbox is not installed";
    ASSERT_TRUE(eventually([&] {
        return other.parentOf(first) != other.root() && other.parentOf(second) != other.root();
    })) << "openbox did not frame the windows";
    EXPECT_EQ(plat::findWindow("Managed Probe One"), handleOf(first));

    for (Window window : {first, second, first}) {
        plat::forceForeground(handleOf(window));
        EXPECT_TRUE(eventually([&] { return other.property(other.root(), "_NET_ACTIVE_WINDOW") == window; }))
            << window;
    }

    // A manager that died leaves _NET_SUPPORTED behind: the window is mapped and focused directly.
    manager.kill();
    const Window late = other.window(other.root(), "Late Probe", nullptr);
    plat::forceForeground(handleOf(late));
    EXPECT_TRUE(other.viewable(late));
    EXPECT_EQ(other.focus(), late);
}

}  // namespace
