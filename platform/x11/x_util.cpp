// What the X11 backend's files share: the error trap, properties, the window manager, time and the stop
// signal.
#include "platform/x11/x_util.h"

#include <X11/Xatom.h>
#include <X11/Xlibint.h>  // XESetWireToError
#undef min                // Xlibint.h defines both as macros
#undef max
#include <errno.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <memory>

namespace plat::x11 {
namespace {

// ---- errors ----
// Each trapped connection's wire-to-error hooks (one per error code) lead to onError, which drops the
// error when the reading thread has the connection trapped and otherwise hands it to the hook that was
// there before (Xlib's own, which passes it on to the process-wide handler).

using WireError = Bool (*)(Display*, XErrorEvent*, xError*);

constexpr int kMaxTraps = 4;
thread_local Display* trapped[kMaxTraps] = {};  // this thread's open traps, the latest last
thread_local int trapCount = 0;
thread_local int lastErrorCode = 0;

struct Hooked {
    Display* display;
    WireError previous[256];
};

// The hooked connections, whichever thread uses them (the watch's connection, say, is set up on one
// thread and read on another). Made once and never destroyed: connections close while the process ends.
struct Hooks {
    std::mutex mutex;
    std::vector<std::unique_ptr<Hooked>> connections;
};

Hooks& hooks() {
    static Hooks* instance = new Hooks;
    return *instance;
}

// Called with the connection locked: it takes the hooks' lock but no Xlib call is ever made under it.
Bool onError(Display* display, XErrorEvent* error, xError* wire) {
    for (int i = 0; i < trapCount; ++i) {
        if (trapped[i] == display) {
            lastErrorCode = error->error_code;
            return False;  // dropped: the request simply failed
        }
    }
    WireError previous = nullptr;
    {
        Hooks& all = hooks();
        std::lock_guard<std::mutex> lock(all.mutex);
        for (const auto& entry : all.connections)
            if (entry->display == display) previous = entry->previous[error->error_code];
    }
    return previous ? previous(display, error, wire) : True;
}

// The connection is closing: a later one may come at the same address, and must be hooked afresh.
int onClose(Display* display, XExtCodes*) {
    Hooks& all = hooks();
    std::lock_guard<std::mutex> lock(all.mutex);
    all.connections.erase(std::remove_if(all.connections.begin(), all.connections.end(),
                                         [&](const auto& entry) { return entry->display == display; }),
                          all.connections.end());
    return 0;
}

void hookErrors(Display* display) {
    Hooks& all = hooks();
    {
        std::lock_guard<std::mutex> lock(all.mutex);
        for (const auto& entry : all.connections)
            if (entry->display == display) return;
    }
    auto entry = std::make_unique<Hooked>();
    entry->display = display;
    entry->previous[0] = nullptr;  // no error has code 0
    for (int code = 1; code < 256; ++code) entry->previous[code] = XESetWireToError(display, code, &onError);
    // Hooked meanwhile on another thread: that entry holds the hooks before, and onError must never
    // hand an error to itself.
    if (entry->previous[1] == &onError) return;
    if (XExtCodes* codes = XAddExtension(display)) XESetCloseDisplay(display, codes->extension, &onClose);
    std::lock_guard<std::mutex> lock(all.mutex);
    all.connections.push_back(std::move(entry));
}

struct ManagerAtoms {
    Atom supported, supportingCheck;
};

ManagerAtoms managerAtoms(Display* display) {
    static const char* const kNames[] = {"_NET_SUPPORTED", "_NET_SUPPORTING_WM_CHECK"};
    return internedAtoms<ManagerAtoms>(display, kNames);
}

constexpr int kFlagPollMs = 50;  // how often a wait without an eventfd looks at the stop flag

}  // namespace

// ---- errors ----

ErrorTrap::ErrorTrap(Display* display) : display_(display) {
    for (int i = 0; i < trapCount; ++i)
        if (trapped[i] == display) return;  // nested: the outer trap covers it
    if (trapCount == kMaxTraps) return;
    hookErrors(display_);
    XSync(display_, False);
    trapped[trapCount++] = display_;
    open_ = true;
}

ErrorTrap::~ErrorTrap() {
    if (!open_ || trapCount == 0 || trapped[trapCount - 1] != display_) return;
    XSync(display_, False);
    trapped[--trapCount] = nullptr;
}

int lastTrappedError() {
    return lastErrorCode;
}

void clearTrappedError() {
    lastErrorCode = 0;
}

// ---- atoms and properties ----

bool readProperty(Display* display, Window window, Atom name, Atom type, Property& out) {
    Atom actualType = None;
    int actualFormat = 0;
    unsigned long count = 0, bytesAfter = 0;
    unsigned char* data = nullptr;
    if (XGetWindowProperty(display, window, name, 0, 65536, False, type, &actualType, &actualFormat, &count,
                           &bytesAfter, &data) != Success)
        return false;
    out = Property{};
    out.type = actualType;
    out.format = actualFormat;
    if (data && actualFormat == 8) {
        out.bytes.assign(reinterpret_cast<const char*>(data), count);
    } else if (data && actualFormat == 32) {
        const long* values = reinterpret_cast<const long*>(data);
        out.values.assign(values, values + count);
    }
    if (data) XFree(data);
    return actualType != None;
}

std::optional<std::vector<long>> readValues(Display* display, Window window, Atom name, Atom type) {
    Property property;
    if (!readProperty(display, window, name, type, property) || property.format != 32) return std::nullopt;
    return std::move(property.values);
}

void writeValues(Display* display, Window window, Atom name, Atom type, const std::vector<long>& values) {
    XChangeProperty(display, window, name, type, 32, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(values.data()), static_cast<int>(values.size()));
}

// ---- the window manager ----

bool managerRuns(Display* display) {
    const Atom check = managerAtoms(display).supportingCheck;
    auto named = readValues(display, DefaultRootWindow(display), check, XA_WINDOW);
    if (!named || named->empty()) return false;
    const Window checkWindow = static_cast<Window>((*named)[0]);
    auto again = readValues(display, checkWindow, check, XA_WINDOW);
    return again && !again->empty() && static_cast<Window>((*again)[0]) == checkWindow;
}

bool managerSupports(Display* display, Atom feature) {
    auto supported =
        readValues(display, DefaultRootWindow(display), managerAtoms(display).supported, XA_ATOM);
    return supported &&
           std::find(supported->begin(), supported->end(), static_cast<long>(feature)) != supported->end();
}

void sendToManager(Display* display, Window window, Atom type, std::initializer_list<long> data) {
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = type;
    event.xclient.format = 32;
    int i = 0;
    for (long value : data)
        if (i < 5) event.xclient.data.l[i++] = value;
    XSendEvent(display, DefaultRootWindow(display), False, SubstructureRedirectMask | SubstructureNotifyMask,
               &event);
}

// ---- time ----

int64_t monotonicNs() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<int64_t>(now.tv_sec) * 1'000'000'000 + now.tv_nsec;
}

int64_t monotonicMs() {
    return monotonicNs() / 1'000'000;
}

// ---- stopping a loop ----

int StopSignal::eventFd() {
    std::call_once(made_, [this] { eventFd_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK); });
    return eventFd_;
}

// The eventfd is written before the flag is set and drained after the flag is cleared. However a stop
// and a consume interleave, the stop is then either used up or kept, and the eventfd is never left
// readable with the flag clear (which would keep the next run's waits waking at once, for nothing).
void StopSignal::request() {
    const uint64_t one = 1;
    if (eventFd() >= 0) {
        while (write(eventFd(), &one, sizeof one) < 0 && errno == EINTR) {
        }
    }
    flag_.store(true);
}

void StopSignal::consume() {
    flag_.store(false);
    uint64_t count = 0;
    if (eventFd() < 0) return;
    while (read(eventFd(), &count, sizeof count) < 0 && errno == EINTR) {
    }
}

bool StopSignal::waitReadable(int fd, int timeoutMs, int alsoFd) {
    const int64_t deadline = timeoutMs < 0 ? -1 : monotonicMs() + timeoutMs;
    const int stopFd = eventFd();
    for (;;) {
        if (requested()) return false;
        int wait = deadline < 0 ? -1 : static_cast<int>(std::max<int64_t>(0, deadline - monotonicMs()));
        if (stopFd < 0 && (wait < 0 || wait > kFlagPollMs)) wait = kFlagPollMs;
        pollfd fds[3];
        nfds_t count = 0;
        if (stopFd >= 0) fds[count++] = {stopFd, POLLIN, 0};
        const nfds_t watched = count;
        if (fd >= 0) fds[count++] = {fd, POLLIN, 0};
        if (alsoFd >= 0) fds[count++] = {alsoFd, POLLIN, 0};
        const int ready = poll(fds, count, wait);
        if (ready < 0 && errno != EINTR) return false;
        if (requested()) return false;
        for (nfds_t i = watched; ready > 0 && i < count; ++i) {
            if (fds[i].revents != 0) return true;
        }
        if (deadline >= 0 && monotonicMs() >= deadline) return false;
    }
}

}  // namespace plat::x11
