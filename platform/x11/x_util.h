// Private to the X11 backend: what its files share. A trap for the errors of requests that may fail,
// atoms and window properties, whether a window manager runs, monotonic time, and the stop signal of a
// loop that waits on file descriptors.
#pragma once

#include <X11/Xlib.h>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <mutex>
#include <optional>
#include <string>
#include <type_traits>
#include <vector>

namespace plat::x11 {

// ---- errors ------------------------------------------------------------------------------------------
// Windows of other clients can vanish between any two requests, and Xlib's default answer to the
// resulting BadWindow is to end the process. While a thread has a trap open on a connection, the errors
// of that connection that the thread reads are dropped: the request simply failed. Everything else goes
// on as before: errors of other connections, and of this one outside a trap or read by another thread,
// reach whatever handled them before (in the end the process-wide handler, which is never touched). A
// connection gets an error hook of its own the first time it is trapped, until it is closed.
//
// A trap inside another on the same connection changes nothing; a thread traps at most four connections
// at once (a fifth trap drops nothing).
class ErrorTrap {
  public:
    // Errors of requests sent before the trap belong to whoever sent them: the trap syncs first. It
    // syncs again as it closes, so that the errors of its own requests are in.
    explicit ErrorTrap(Display* display);
    ~ErrorTrap();
    ErrorTrap(const ErrorTrap&) = delete;
    ErrorTrap& operator=(const ErrorTrap&) = delete;

  private:
    Display* display_;
    bool open_ = false;
};

// The code of the latest error a trap of this thread dropped since clearTrappedError (0: none).
int lastTrappedError();
void clearTrappedError();

// ---- atoms and properties -------------------------------------------------------------------------------

// The atoms of `names`, interned in one round trip the first time a thread asks on a connection, then
// kept for the last few connections the thread used. `Atoms` is a struct of nothing but Atom fields, in
// the order of `names`.
template <typename Atoms, size_t N>
Atoms internedAtoms(Display* display, const char* const (&names)[N]) {
    static_assert(std::is_trivially_copyable_v<Atoms> && sizeof(Atoms) == N * sizeof(Atom),
                  "one Atom field per name");
    struct Entry {
        Display* display;
        Atoms atoms;
    };
    thread_local std::vector<Entry> cache;
    for (const Entry& entry : cache)
        if (entry.display == display) return entry.atoms;
    Atom interned[N] = {};
    XInternAtoms(display, const_cast<char**>(names), static_cast<int>(N), False, interned);
    Atoms atoms;
    std::memcpy(&atoms, interned, sizeof atoms);
    if (cache.size() >= 4) cache.erase(cache.begin());  // a closed connection's address may come back
    cache.push_back({display, atoms});
    return atoms;
}

struct Property {
    Atom type = None;
    int format = 0;
    std::string bytes;         // format 8
    std::vector<long> values;  // format 32 (Xlib hands them over as longs)
};

// False when the window has no such property or is gone. A property of another type than `type`
// (AnyPropertyType: any) reads as there, with its type and format but no contents. Values beyond 64 Ki
// units (far more than any title or atom list) are left out.
bool readProperty(Display* display, Window window, Atom name, Atom type, Property& out);

// The 32-bit values of a property; nothing when the window has no such property of 32-bit values or is
// gone.
std::optional<std::vector<long>> readValues(Display* display, Window window, Atom name, Atom type);

void writeValues(Display* display, Window window, Atom name, Atom type, const std::vector<long>& values);

// ---- the window manager ---------------------------------------------------------------------------------

// An EWMH window manager runs: the check window named on the root names itself too (a manager that has
// gone away leaves the root's property behind, but its window goes with it).
bool managerRuns(Display* display);

// The root's _NET_SUPPORTED lists `feature`. A manager that has gone away leaves the list behind: ask
// managerRuns as well.
bool managerSupports(Display* display, Atom feature);

// A client message of type `type` about `window` (up to five values), sent to the root window, where
// the manager takes requests.
void sendToManager(Display* display, Window window, Atom type, std::initializer_list<long> data);

// ---- time ---------------------------------------------------------------------------------------------

// CLOCK_MONOTONIC in nanoseconds and in milliseconds.
int64_t monotonicNs();
int64_t monotonicMs();

// ---- stopping a loop ------------------------------------------------------------------------------------

// A stop request for a loop that waits on file descriptors: a flag, and an eventfd that wakes the loop's
// waits. Both stay set until the loop, as it ends, consumes the stop, so that a stop given before the
// loop starts ends it as soon as it starts. The eventfd is made at the first use and never closed (a
// late wait must never poll a reused number); where none could be made, waits look at the flag every
// 50 ms.
class StopSignal {
  public:
    StopSignal() = default;
    StopSignal(const StopSignal&) = delete;
    StopSignal& operator=(const StopSignal&) = delete;

    bool requested() const { return flag_.load(); }
    // Any thread.
    void request();
    // By the loop as it ends: the stop it obeyed is used up. A stop that comes meanwhile is kept.
    void consume();
    // Waits until `fd` or `alsoFd` (each when not -1) is readable: true; false on a stop, a failed
    // wait, or when `timeoutMs` has passed (-1: no limit). Reads neither.
    bool waitReadable(int fd, int timeoutMs, int alsoFd = -1);
    // The descriptor that turns readable on a stop, for a loop that polls more than one; -1 when the
    // system gave none (the loop then looks at requested() at least every 50 ms).
    int pollFd() { return eventFd(); }

  private:
    int eventFd();

    std::atomic<bool> flag_{false};
    std::once_flag made_;
    int eventFd_ = -1;
};

// ---- graphics -------------------------------------------------------------------------------------

// Whether `folder` (the DRM device folder, /dev/dri) holds a GPU render node (renderD*).
bool hasRenderNode(const char* folder);

// ---- wakes ------------------------------------------------------------------------------------------

// The eventfd behind a wake of createWake, for a loop that polls it with other descriptors (-1 for a
// null wake). Readable while a signal is pending; napOnWake(wake, 0) takes it.
int wakeFd(void* wake);

}  // namespace plat::x11
