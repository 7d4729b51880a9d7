// Private to the X11 backend: atoms, window properties, and what the window manager runs and takes.
#pragma once

#include <X11/Xlib.h>

#include <cstddef>
#include <cstring>
#include <initializer_list>
#include <optional>
#include <string>
#include <type_traits>
#include <vector>

namespace plat::x11 {

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

}  // namespace plat::x11
