// Where the Linux build runs and what works there, told in Settings and by ravelin-cli status, and
// said at once when the user tries something that cannot work there. On a Wayland compositor that
// offers the virtual pointer and keyboard, clicks and keys reach every window, but no program may
// read the pointer's position or the user's input; without them the X11 build works through
// XWayland, where what it sends and hears reaches only the windows of X11 programs.
#pragma once

#include <string>

#include "platform/platform.h"

namespace rv {

struct DisplaySession {
    bool wayland = false;
    std::string compositor;  // "sway", "Hyprland", "GNOME", …; empty when it cannot be told
    plat::InputRoute route = plat::InputRoute::X11;
};

// Read from the environment (WAYLAND_DISPLAY, XDG_SESSION_TYPE, the compositors' own variables,
// XDG_CURRENT_DESKTOP) and the way input takes (plat::inputRoute).
DisplaySession displaySession();

// What works there, in a sentence or three, with the key binding to paste where the compositor
// binds keys in its configuration; empty on Windows.
std::string displaySessionText(const DisplaySession& session);
// The text for this run: the environment is read at the first call, and the session the program
// runs in stays the same until it ends. Any thread.
std::string displaySessionText();
// The environment is read again at the next call (tests).
void forgetDisplaySession();

// What needs the user's input or the pointer's position.
enum class SessionFeature {
    Recording,
    PickingPoints,  // a point of the clicker or of the click sequence, picked with a click on screen
    HearingKeys,    // a hotkey or the key to spam, chosen by pressing it
};
// Why the feature cannot work on the session, in words for the user; empty when it can.
std::string unavailableText(const DisplaySession& session, SessionFeature feature);

// For the running session: when the feature cannot work, the page says why at once
// (sessionNotice) and the result is true. Any thread.
bool refusedOnThisSession(SessionFeature feature);
// The last refusal's words for a few seconds after it; empty otherwise.
std::string sessionNotice();
// Forgets the last refusal (tests).
void clearSessionNotice();

}  // namespace rv
