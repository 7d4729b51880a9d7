#include "platform/x11/x_errors.h"

#include <algorithm>
#include <memory>
#include <mutex>
#include <vector>

// After the standard headers: it defines min and max as macros.
#include <X11/Xlibint.h>  // XESetWireToError

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

}  // namespace plat::x11
