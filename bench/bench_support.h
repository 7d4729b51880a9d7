// What the measuring programs share: monotonic time, and a target window of their own that notes when
// each event reaches it.
#pragma once

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <poll.h>
#include <time.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "bridge/texts.h"
#include "platform/platform.h"

namespace bench {

// What a run is measured under, from its command line: `--busy` starts a second process that keeps
// one core busy for the whole run; `--normal` leaves the time-critical threads scheduled as any other
// (the program raises them, as do these runs by default). Figures are printed with `conditions()`.
class RunConditions {
  public:
    RunConditions(int argc, char** argv) {
        for (int i = 1; i < argc; ++i) {
            busy_ = busy_ || std::strcmp(argv[i], "--busy") == 0;
            raise_ = raise_ && std::strcmp(argv[i], "--normal") != 0;
        }
        if (!busy_) return;
        spinner_ = fork();
        if (spinner_ == 0) {
            for (volatile uint64_t n = 0;; n = n + 1) {
            }
        }
    }
    ~RunConditions() {
        if (spinner_ <= 0) return;
        kill(spinner_, SIGKILL);
        waitpid(spinner_, nullptr, 0);
    }
    RunConditions(const RunConditions&) = delete;
    RunConditions& operator=(const RunConditions&) = delete;

    // A thread of the program's, raised as the program raises it unless the run says otherwise.
    std::thread criticalThread(void (*body)()) const {
        const bool raise = raise_;
        return std::thread([body, raise] {
            if (raise) rv::noteScheduling(plat::raiseThreadScheduling());
            body();
        });
    }

    // ' load=0.42 busy_core=1 scheduling="real-time (priority 10)"': the one-minute load average as
    // the figures were taken, whether a core was kept busy, and how the timing threads ran.
    std::string conditions() const {
        double load = 0;
        if (FILE* file = std::fopen("/proc/loadavg", "r")) {
            if (std::fscanf(file, "%lf", &load) != 1) load = 0;
            std::fclose(file);
        }
        char text[64];
        std::snprintf(text, sizeof text, " load=%.2f busy_core=%d scheduling=\"", load, busy_ ? 1 : 0);
        return text + rv::schedulingText() + "\"";
    }

  private:
    bool busy_ = false, raise_ = true;
    pid_t spinner_ = -1;
};

// CLOCK_MONOTONIC in microseconds.
inline int64_t monotonicMicros() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<int64_t>(now.tv_sec) * 1000000 + now.tv_nsec / 1000;
}

// A window on a connection of its own whose events are read on a thread of its own, each as it comes:
// `note` turns one that reached the window at a time (monotonicMicros) into an Entry, or into nothing
// when it does not count.
template <typename Entry>
class TimestampingWindow {
  public:
    using Note = std::optional<Entry> (*)(const XEvent& event, int64_t micros);

    struct Shape {
        const char* title;
        int left, top, width, height;
        long events;  // StructureNotifyMask is added
        bool focus;   // take the keyboard focus once shown
    };

    // Shows the window and starts noting; false without a display.
    bool open(const Shape& shape, Note note) {
        note_ = note;
        display_ = XOpenDisplay(nullptr);
        if (!display_) return false;
        window_ = XCreateSimpleWindow(display_, DefaultRootWindow(display_), shape.left, shape.top,
                                      static_cast<unsigned>(shape.width), static_cast<unsigned>(shape.height),
                                      0, 0, 0xffffff);
        XStoreName(display_, window_, shape.title);
        // Placed where asked, also by a window manager that would place it by its own rule.
        XSizeHints hints{};
        hints.flags = USPosition | USSize;
        hints.x = shape.left, hints.y = shape.top, hints.width = shape.width, hints.height = shape.height;
        XSetWMNormalHints(display_, window_, &hints);
        XSelectInput(display_, window_, shape.events | StructureNotifyMask);
        XMapRaised(display_, window_);
        for (;;) {
            XEvent event;
            XNextEvent(display_, &event);
            if (event.type == MapNotify) break;
        }
        if (shape.focus) {
            XSetInputFocus(display_, window_, RevertToParent, CurrentTime);
            XSync(display_, False);
        }
        thread_ = std::thread([this] { loop(); });
        return true;
    }

    void close() {
        stop_ = true;
        if (thread_.joinable()) thread_.join();
        if (display_) XCloseDisplay(display_);
    }

    // What was noted since the last call.
    std::vector<Entry> take() {
        std::lock_guard<std::mutex> lock(mutex_);
        return std::move(entries_);
    }

  private:
    void loop() {
        while (!stop_) {
            while (XPending(display_)) {
                XEvent event;
                XNextEvent(display_, &event);
                if (std::optional<Entry> entry = note_(event, monotonicMicros())) {
                    std::lock_guard<std::mutex> lock(mutex_);
                    entries_.push_back(std::move(*entry));
                }
            }
            // Waits for the connection to become readable without missing an event by much.
            pollfd readable{ConnectionNumber(display_), POLLIN, 0};
            poll(&readable, 1, 20);
        }
    }

    Note note_ = nullptr;
    Display* display_ = nullptr;
    Window window_ = 0;
    std::thread thread_;
    std::atomic<bool> stop_{false};
    std::mutex mutex_;
    std::vector<Entry> entries_;
};

}  // namespace bench
