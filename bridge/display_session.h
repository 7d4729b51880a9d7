// Where the Linux build runs and what its input reaches there, told in Settings and by ravelin-cli
// status. On Wayland the X11 build works through XWayland: what it sends and hears reaches only the
// windows of X11 programs, and that is said rather than left to be found out.
#pragma once

#include <string>

namespace rv {

struct DisplaySession {
    bool wayland = false;
    std::string compositor;  // "sway", "Hyprland", "GNOME", …; empty when it cannot be told
};

// Read from the environment (WAYLAND_DISPLAY, XDG_SESSION_TYPE, the compositors' own variables,
// XDG_CURRENT_DESKTOP).
DisplaySession displaySession();

// What works there, in a sentence or three; empty on Windows.
std::string displaySessionText(const DisplaySession& session);
// The text for this run: the environment is read at the first call, and the session the program
// runs in stays the same until it ends. Any thread.
std::string displaySessionText();
// The environment is read again at the next call (tests).
void forgetDisplaySession();

}  // namespace rv
