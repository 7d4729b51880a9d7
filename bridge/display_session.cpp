#include "bridge/display_session.h"

#include <atomic>
#include <mutex>
#include <string_view>

#include "platform/platform.h"
#include "state/page_notice.h"
#include "state/state.h"

namespace rv {

namespace {

bool isSet(const char* name) {
    auto value = plat::environment(name);
    return value && !value->empty();
}

// How a hotkey is made where the program cannot hear keys: a line of the compositor's own
// configuration, or a shortcut of the desktop's settings.
std::string bindingText(const std::string& compositor) {
    if (compositor == "sway")
        return "Bind keys in ~/.config/sway/config, e.g. bindsym F6 exec ravelin-cli toggle clicker.";
    if (compositor == "Hyprland")
        return "Bind keys in ~/.config/hypr/hyprland.conf, e.g. bind = , F6, exec, ravelin-cli toggle "
               "clicker.";
    if (compositor == "river")
        return "Bind keys in river's init, e.g. riverctl map normal None F6 spawn 'ravelin-cli toggle "
               "clicker'.";
    for (std::string_view name : {"wayfire", "niri", "labwc"}) {
        if (compositor == name)
            return "Bind keys to ravelin-cli in the compositor's configuration, e.g. F6 to ravelin-cli "
                   "toggle "
                   "clicker.";
    }
    if (compositor.empty()) return "";
    return "Add keyboard shortcuts that run ravelin-cli in the desktop's settings, e.g. F6 for ravelin-cli "
           "toggle clicker.";
}

std::string sessionName(const DisplaySession& session) {
    return session.compositor.empty() ? "Wayland" : "Wayland (" + session.compositor + ")";
}

// Neither the user's input nor the pointer's position reaches the program: the compositor's own
// input, or no input at all.
bool hearsNothing(const DisplaySession& session) {
    return session.wayland && session.route != plat::InputRoute::X11;
}

}  // namespace

DisplaySession displaySession() {
    DisplaySession session;
    auto type = plat::environment("XDG_SESSION_TYPE");
    session.wayland = isSet("WAYLAND_DISPLAY") || (type && *type == "wayland");
    session.route = plat::inputRoute();
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
    const std::string name = "Running on " + sessionName(session);
    const std::string binding = bindingText(session.compositor);
    const std::string then = binding.empty() ? "" : " " + binding;
    switch (session.route) {
        case plat::InputRoute::Wayland:
            return name +
                   ": clicks and keys reach every window; hotkeys through the compositor's key bindings; "
                   "recording is not available. The pointer's position cannot be read there: the clicker "
                   "clicks wherever the pointer is, points cannot be picked on screen, and the top-left "
                   "corner does not stop a run." +
                   then;
        case plat::InputRoute::Unavailable:
            return name +
                   ": the compositor lets no program send clicks or keys, and there is no XWayland to send "
                   "them through, so the clicker, the key spammer and playback reach no window; recording "
                   "is not available.";
        default:
            return name +
                   " through XWayland: clicks, keys and recording reach only the windows of X11 programs, "
                   "and "
                   "hotkeys work only while one of those has the focus." +
                   then;
    }
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

std::string unavailableText(const DisplaySession& session, SessionFeature feature) {
    if (!hearsNothing(session)) return "";
    const std::string where = " on " + sessionName(session) + ": ";
    switch (feature) {
        case SessionFeature::Recording:
            return "Recording is not available" + where +
                   "a program can hear the keyboard and mouse there only from the input devices themselves, "
                   "which only root may read.";
        case SessionFeature::PickingPoints:
            return "Picking points on screen is not available" + where +
                   "the compositor tells no program where the pointer is. Set them with ravelin-cli, e.g. "
                   "ravelin-cli set fixedX=100 fixedY=200.";
        case SessionFeature::HearingKeys: {
            const std::string binding = bindingText(session.compositor);
            return "Keys pressed in other windows cannot be heard" + where +
                   "hotkeys work through the compositor's key bindings instead." +
                   (binding.empty() ? "" : " " + binding);
        }
    }
    return "";
}

namespace {

// How long a refusal stays in the page: long enough to be read after the click that caused it.
constexpr int64_t kNoticeSeconds = 8;

std::mutex noticeLock;
std::string noticeText;
int64_t noticeSince = 0;

}  // namespace

bool refusedOnThisSession(SessionFeature feature) {
    if (std::string_view(plat::kWindowSystem) != "x11") return false;
    std::string text = unavailableText(displaySession(), feature);
    if (text.empty()) return false;
    {
        std::lock_guard<std::mutex> lock(noticeLock);
        noticeText = std::move(text);
        noticeSince = plat::ticks();
    }
    tellPage();
    return true;
}

void clearSessionNotice() {
    std::lock_guard<std::mutex> lock(noticeLock);
    noticeText.clear();
}

std::string sessionNotice() {
    std::lock_guard<std::mutex> lock(noticeLock);
    const int64_t age = plat::ticks() - noticeSince;
    if (noticeText.empty() || age > kNoticeSeconds * plat::tickFrequency()) return "";
    return noticeText;
}

}  // namespace rv
