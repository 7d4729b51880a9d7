#include "bridge/display_session.h"

#include <string_view>

#include "platform/platform.h"
#include "state/state.h"

namespace rv {

namespace {

bool isSet(const char* name) {
    auto value = plat::environment(name);
    return value && !value->empty();
}

// The compositors that offer the virtual pointer and keyboard protocols and bind keys to commands
// in their own configuration.
bool bindsKeysInItsConfiguration(std::string_view compositor) {
    for (std::string_view name : {"sway", "Hyprland", "river", "wayfire", "niri", "labwc"}) {
        if (compositor == name) return true;
    }
    return false;
}

}  // namespace

DisplaySession displaySession() {
    DisplaySession session;
    auto type = plat::environment("XDG_SESSION_TYPE");
    session.wayland = isSet("WAYLAND_DISPLAY") || (type && *type == "wayland");
    if (!session.wayland) return session;
    if (isSet("SWAYSOCK")) {
        session.compositor = "sway";
    } else if (isSet("HYPRLAND_INSTANCE_SIGNATURE")) {
        session.compositor = "Hyprland";
    } else if (isSet("NIRI_SOCKET")) {
        session.compositor = "niri";
    } else if (auto desktop = plat::environment("XDG_CURRENT_DESKTOP"); desktop && !desktop->empty()) {
        // A list such as "ubuntu:GNOME": the last names the desktop itself.
        session.compositor = desktop->substr(desktop->rfind(':') + 1);
    }
    return session;
}

std::string displaySessionText(const DisplaySession& session) {
    if (!session.wayland) return "Running on X11: clicks, keys, hotkeys and recording reach every window.";
    std::string text = "Running on Wayland";
    if (!session.compositor.empty()) text += " (" + session.compositor + ")";
    text +=
        " through XWayland: clicks, keys and recording reach only the windows of X11 programs, and hotkeys "
        "work only while one of those has the focus.";
    if (session.compositor == "sway") {
        text +=
            " For hotkeys everywhere, bind keys to ravelin-cli: bindsym F6 exec ravelin-cli toggle clicker.";
    } else if (session.compositor == "Hyprland") {
        text +=
            " For hotkeys everywhere, bind keys to ravelin-cli: bind = , F6, exec, ravelin-cli toggle "
            "clicker.";
    } else if (bindsKeysInItsConfiguration(session.compositor)) {
        text +=
            " For hotkeys everywhere, bind keys to ravelin-cli in the compositor's configuration, e.g. F6 to "
            "ravelin-cli toggle clicker.";
    } else if (!session.compositor.empty()) {
        text +=
            " For hotkeys everywhere, add keyboard shortcuts that run ravelin-cli in the desktop's settings, "
            "e.g. F6 for ravelin-cli toggle clicker.";
    }
    return text;
}

namespace {

GuardedText kept;  // "" until read

}  // namespace

std::string displaySessionText() {
    if (std::string_view(plat::kWindowSystem) != "x11") return "";
    std::string text = kept.load();
    if (text.empty()) kept.store(text = displaySessionText(displaySession()));
    return text;
}

void forgetDisplaySession() {
    kept.store("");
}

}  // namespace rv
