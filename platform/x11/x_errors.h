// Private to the X11 backend: a trap for the errors of requests that may fail.
#pragma once

#include <X11/Xlib.h>

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

}  // namespace plat::x11
