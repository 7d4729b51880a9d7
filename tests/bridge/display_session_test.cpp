#include "bridge/display_session.h"

#include <string>
#include <vector>

#include "bridge/panel_messages.h"
#include "bridge/texts.h"
#include "engine/control.h"
#include "state/state.h"
#include "support/fresh_state.h"

namespace {

using Route = plat::InputRoute;

class DisplaySessionTest : public FreshState {
  protected:
    // A sway session whose compositor takes virtual input, as the program finds it.
    static void onSway(Route route = Route::Wayland) {
        fake::setEnvironment("WAYLAND_DISPLAY", std::string("wayland-1"));
        fake::setEnvironment("SWAYSOCK", std::string("/run/user/1000/sway-ipc.sock"));
        fake::setInputRoute(route);
    }
    static std::string send(const std::string& text) {
        return rv::servePanelMessage(text.data(), text.size());
    }
};

// The compositor's own variable wins over the desktop list; the route is the platform's.
TEST_F(DisplaySessionTest, WhereTheProgramRunsIsToldFromTheEnvironment) {
    struct Case {
        std::vector<std::pair<const char*, const char*>> environment;
        bool wayland;
        const char* compositor;
    };
    const Case cases[] = {
        {{}, false, ""},
        {{{"XDG_SESSION_TYPE", "x11"}, {"XDG_CURRENT_DESKTOP", "GNOME"}}, false, ""},
        {{{"WAYLAND_DISPLAY", "wayland-1"}, {"SWAYSOCK", "/run/sway.sock"}, {"XDG_CURRENT_DESKTOP", "GNOME"}},
         true,
         "sway"},
        {{{"XDG_SESSION_TYPE", "wayland"}, {"HYPRLAND_INSTANCE_SIGNATURE", "x"}}, true, "Hyprland"},
        {{{"WAYLAND_DISPLAY", "wayland-0"}, {"XDG_CURRENT_DESKTOP", "ubuntu:GNOME"}}, true, "GNOME"},
        {{{"WAYLAND_DISPLAY", ""}, {"XDG_SESSION_TYPE", "wayland"}}, true, ""},
        {{{"WAYLAND_DISPLAY", ""}, {"XDG_CURRENT_DESKTOP", "KDE"}}, false, ""},
    };
    for (size_t i = 0; i < std::size(cases); ++i) {
        fake::reset();
        for (const auto& [name, value] : cases[i].environment) fake::setEnvironment(name, std::string(value));
        fake::setInputRoute(Route::Wayland);
        const rv::DisplaySession session = rv::displaySession();
        EXPECT_EQ(session.wayland, cases[i].wayland) << i;
        EXPECT_EQ(session.compositor, cases[i].compositor) << i;
        EXPECT_EQ(session.route, Route::Wayland) << i;
    }
}

// Every text Settings and ravelin-cli status show, by session, compositor and route.
TEST_F(DisplaySessionTest, TheSessionTextSaysWhatWorksThere) {
    const std::string onWayland =
        ": clicks and keys reach every window; hotkeys through the compositor's key bindings; recording is "
        "not "
        "available. The pointer's position cannot be read there: the clicker clicks wherever the pointer is, "
        "points cannot be picked on screen, and the top-left corner does not stop a run.";
    const std::string throughXWayland =
        " through XWayland: clicks, keys and recording reach only the windows of X11 programs, and hotkeys "
        "work "
        "only while one of those has the focus.";
    const std::string sway =
        " Bind keys in ~/.config/sway/config, e.g. bindsym F6 exec ravelin-cli toggle clicker.";
    const std::string desktop =
        " Add keyboard shortcuts that run ravelin-cli in the desktop's settings, e.g. F6 for ravelin-cli "
        "toggle "
        "clicker.";
    struct Case {
        rv::DisplaySession session;
        std::string text;
    };
    const Case cases[] = {
        {{false, "", Route::X11}, "Running on X11: clicks, keys, hotkeys and recording reach every window."},
        {{true, "sway", Route::Wayland}, "Running on Wayland (sway)" + onWayland + sway},
        {{true, "Hyprland", Route::Wayland},
         "Running on Wayland (Hyprland)" + onWayland +
             " Bind keys in ~/.config/hypr/hyprland.conf, e.g. bind = , F6, exec, ravelin-cli toggle "
             "clicker."},
        {{true, "river", Route::Wayland},
         "Running on Wayland (river)" + onWayland +
             " Bind keys in river's init, e.g. riverctl map normal None F6 spawn 'ravelin-cli toggle "
             "clicker'."},
        {{true, "labwc", Route::Wayland},
         "Running on Wayland (labwc)" + onWayland +
             " Bind keys to ravelin-cli in the compositor's configuration, e.g. F6 to ravelin-cli toggle "
             "clicker."},
        {{true, "", Route::Wayland}, "Running on Wayland" + onWayland},
        {{true, "GNOME", Route::X11}, "Running on Wayland (GNOME)" + throughXWayland + desktop},
        {{true, "sway", Route::X11}, "Running on Wayland (sway)" + throughXWayland + sway},
        {{true, "", Route::X11}, "Running on Wayland" + throughXWayland},
        {{true, "KDE", Route::Unavailable},
         "Running on Wayland (KDE): the compositor lets no program send clicks or keys, and there is no "
         "XWayland "
         "to send them through, so the clicker, the key spammer and playback reach no window; recording is "
         "not "
         "available."},
    };
    for (const Case& c : cases) EXPECT_EQ(rv::displaySessionText(c.session), c.text) << c.session.compositor;
}

TEST_F(DisplaySessionTest, OnlyWhereNothingIsHeardAreRecordingPicksAndKeyChoicesRefused) {
    using F = rv::SessionFeature;
    const rv::DisplaySession x11{false, "", Route::X11};
    const rv::DisplaySession xwayland{true, "GNOME", Route::X11};
    const rv::DisplaySession sway{true, "sway", Route::Wayland};
    const rv::DisplaySession nothing{true, "", Route::Unavailable};
    for (F feature : {F::Recording, F::PickingPoints, F::HearingKeys}) {
        EXPECT_EQ(rv::unavailableText(x11, feature), "");
        EXPECT_EQ(rv::unavailableText(xwayland, feature), "");
    }
    EXPECT_EQ(
        rv::unavailableText(sway, F::Recording),
        "Recording is not available on Wayland (sway): a program can hear the keyboard and mouse there only "
        "from the input devices themselves, which only root may read.");
    EXPECT_EQ(
        rv::unavailableText(sway, F::PickingPoints),
        "Picking points on screen is not available on Wayland (sway): the compositor tells no program where "
        "the pointer is. Set them with ravelin-cli, e.g. ravelin-cli set fixedX=100 fixedY=200.");
    EXPECT_EQ(rv::unavailableText(sway, F::HearingKeys),
              "Keys pressed in other windows cannot be heard on Wayland (sway): hotkeys work through the "
              "compositor's key bindings instead. Bind keys in ~/.config/sway/config, e.g. bindsym F6 exec "
              "ravelin-cli toggle clicker.");
    EXPECT_EQ(rv::unavailableText(nothing, F::Recording).rfind("Recording is not available on Wayland: ", 0),
              0u);
}

// What cannot work is not armed (nothing would ever end it) and the page says why at once, for a
// few seconds; the command line gets the reason as its refusal.
TEST_F(DisplaySessionTest, ARefusedRequestArmsNothingAndIsSaidInThePageForAWhile) {
    onSway();
    const auto notice = [] {
        const std::string status = rv::trackerStatus();
        const size_t at = status.find("\"sessionNotice\":\"");
        return at == std::string::npos ? std::string("missing")
                                       : status.substr(at + 17, status.find('"', at + 17) - at - 17);
    };
    EXPECT_EQ(notice(), "");
    send("pickLocation|");
    EXPECT_FALSE(rv::pickLocationRequest);
    EXPECT_EQ(notice().rfind("Picking points on screen is not available on Wayland (sway)", 0), 0u)
        << notice();
    send("reassignKey|keyspamtarget");
    EXPECT_EQ(rv::reassignTarget.load(), 0);
    EXPECT_EQ(notice().rfind("Keys pressed in other windows cannot be heard", 0), 0u) << notice();
    send("toggleRecord|");
    EXPECT_FALSE(rv::recordToggleRequest);
    EXPECT_EQ(notice().rfind("Recording is not available on Wayland (sway)", 0), 0u) << notice();
    fake::advance(7 * plat::tickFrequency());
    EXPECT_NE(notice(), "");
    fake::advance(2 * plat::tickFrequency());
    EXPECT_EQ(notice(), "");

    const std::string reply = send("startFunction|record");
    EXPECT_EQ(reply.rfind("{\"ok\":false,\"message\":\"Recording is not available on Wayland (sway)", 0), 0u)
        << reply;
    EXPECT_FALSE(rv::recording);

    // Through XWayland the X11 capture hears what X11 programs get: armed as before.
    onSway(Route::X11);
    send("pickLocation|");
    EXPECT_TRUE(rv::pickLocationRequest);
    EXPECT_EQ(notice(), "");
}

// The key to spam is chosen in the page where nothing else is heard; a hotkey is refused there.
TEST_F(DisplaySessionTest, OnWaylandTheKeyToSpamIsTakenFromThePage) {
    onSway();
    callMainBinding("reassignKey", "[\"auto\"]");
    EXPECT_EQ(rv::reassignTarget.load(), 0);
    callMainBinding("reassignKey", "[\"keyspamtarget\"]");
    EXPECT_EQ(rv::reassignTarget.load(), 5);
    callMainBinding("keyPressedInPage", "[66]");
    rv::controlPass();
    EXPECT_EQ(rv::keySpamTarget.load(), 66);
    EXPECT_EQ(rv::reassignTarget.load(), 0);
    callMainBinding("keyPressedInPage", "[67]");  // nothing armed: ignored
    rv::controlPass();
    EXPECT_EQ(rv::keySpamTarget.load(), 66);

    // Where the capture loop hears keys, it has taken the key already: the page's word is not taken.
    onSway(Route::X11);
    callMainBinding("reassignKey", "[\"keyspamtarget\"]");
    callMainBinding("keyPressedInPage", "[67]");
    rv::controlPass();
    EXPECT_EQ(rv::keySpamTarget.load(), 66);
    EXPECT_EQ(rv::reassignTarget.load(), 5);
}

}  // namespace

// The status reads the session once; a changed environment is read again only once forgotten.
TEST_F(DisplaySessionTest, TheSessionIsReadOnceUntilForgotten) {
    onSway();
    const std::string onWayland = rv::displaySessionText();
    EXPECT_EQ(onWayland.find("Running on Wayland (sway)"), 0u);
    fake::reset();
    EXPECT_EQ(rv::displaySessionText(), onWayland);
    rv::forgetDisplaySession();
    EXPECT_EQ(rv::displaySessionText().find("Running on X11"), 0u);
}
