// The capture loop's passive grabs.
//
// The grabs are XInput2 passive grabs (not core XGrabKey/XGrabButton) whose event mask holds the raw
// event types. While a core grab is active, the server stops sending the grabbing client the raw
// events of the grabbed device: the grabbed key's release, every other key pressed meanwhile and all
// pointer motion while a grabbed button is held would then arrive only as core events, which name no
// source device (so our own injected input could not be told from anyone else's) and carry no device
// motion. During an XInput2 grab the raw events go to the grab's mask instead, so the loop keeps
// seeing every event exactly once, in order, on one stream, grabbed or not.
//
// XInput2 grabs and core grabs of other clients do not conflict in the server: the latest grab would
// simply win. So that a key or button another program has grabbed (a desktop shortcut, say) is left
// to it, each grab is first tried as a core grab, which fails with BadAccess exactly when another
// client holds a core grab on it, and is dropped again at once; another client's XInput2 grab shows
// as a failed modifier in the XInput2 grab's reply.
#include "platform/x11/capture_grabs.h"

#include <X11/extensions/XInput2.h>

#include "platform/x11/keys.h"
#include "platform/x11/x_errors.h"

namespace plat::x11 {
namespace {

constexpr uint32_t bit(unsigned button) {
    return 1u << button;
}

// Raw events keep flowing to us through any grab of ours.
struct RawMask {
    unsigned char bits[XIMaskLen(XI_LASTEVENT)] = {};
    XIEventMask mask{XIAllMasterDevices, sizeof bits, bits};
    RawMask() {
        for (int type :
             {XI_RawKeyPress, XI_RawKeyRelease, XI_RawButtonPress, XI_RawButtonRelease, XI_RawMotion})
            XISetMask(bits, type);
    }
};

bool heldByAnotherClient(Display* display, Window root, bool key, unsigned detail) {
    clearTrappedError();
    if (key) {
        const int keycode = detail == XIAnyKeycode ? AnyKey : static_cast<int>(detail);
        XGrabKey(display, keycode, AnyModifier, root, False, GrabModeAsync, GrabModeAsync);
        XUngrabKey(display, keycode, AnyModifier, root);
    } else {
        XGrabButton(display, detail, AnyModifier, root, False, ButtonPressMask | ButtonReleaseMask,
                    GrabModeAsync, GrabModeAsync, 0, 0);
        XUngrabButton(display, detail, AnyModifier, root);
    }
    XSync(display, False);
    return lastTrappedError() == BadAccess;
}

// Whether the grab took hold.
bool grab(Display* display, bool key, unsigned detail) {
    const Window root = DefaultRootWindow(display);
    if (heldByAnotherClient(display, root, key, detail)) return false;
    RawMask raw;
    XIGrabModifiers anyModifier{static_cast<int>(XIAnyModifier), 0};
    const int failed =
        key ? XIGrabKeycode(display, XIAllMasterDevices, static_cast<int>(detail), root, XIGrabModeAsync,
                            XIGrabModeAsync, False, &raw.mask, 1, &anyModifier)
            : XIGrabButton(display, XIAllMasterDevices, static_cast<int>(detail), root, 0, XIGrabModeAsync,
                           XIGrabModeAsync, False, &raw.mask, 1, &anyModifier);
    return failed == 0;
}

void ungrab(Display* display, bool key, unsigned detail) {
    XIGrabModifiers anyModifier{static_cast<int>(XIAnyModifier), 0};
    if (key) {
        XIUngrabKeycode(display, XIAllMasterDevices, static_cast<int>(detail), DefaultRootWindow(display), 1,
                        &anyModifier);
    } else {
        XIUngrabButton(display, XIAllMasterDevices, static_cast<int>(detail), DefaultRootWindow(display), 1,
                       &anyModifier);
    }
}

constexpr unsigned kFirstKeycode = 8;

}  // namespace

unsigned xButtonOfCode(int32_t code) {
    switch (code) {
        case 1:
            return 1;
        case 2:
            return 3;
        case 4:
            return 2;
        case 5:
            return 8;
        case 6:
            return 9;
        default:
            return 0;
    }
}

int32_t codeOfXButton(unsigned button) {
    switch (button) {
        case 1:
            return 1;
        case 2:
            return 4;
        case 3:
            return 2;
        case 8:
            return 5;
        case 9:
            return 6;
        default:
            return 0;
    }
}

GrabSet grabsOfPlan(Display* display, const GrabPlan& plan) {
    GrabSet set;
    for (int32_t code : plan.codes) {
        if (const unsigned button = xButtonOfCode(code)) {
            // A left-button hotkey is never grabbed: that would take every click away from every
            // program, the auto-clicker's own clicks included. It still toggles, unswallowed.
            if (button != 1) set.buttons |= bit(button);
        } else if (const unsigned keycode = keycodeFromVk(display, code)) {
            set.keycodes.set(keycode);
        }
    }
    set.everyKey = plan.allKeys;
    if (plan.nonLeftButtons) set.buttons |= bit(2) | bit(3) | bit(8) | bit(9);
    if (plan.pickButtons) set.buttons |= bit(1) | bit(2) | bit(3);
    return set;
}

void applyGrabs(Display* display, const GrabSet& wanted, GrabSet& held) {
    // Dropping the wildcard grab drops every key grab of ours; the hotkeys are grabbed again below.
    if (held.everyKey && !wanted.everyKey) {
        ungrab(display, true, XIAnyKeycode);
        held.everyKey = false;
        held.keycodes.reset();
    }
    if (wanted.everyKey && !held.everyKey) held.everyKey = grab(display, true, XIAnyKeycode);
    // While the wildcard grab holds, it covers every key. Where it could not be had (another client
    // grabs some key), every key is grabbed on its own instead, except those the other client holds.
    if (!held.everyKey) {
        std::bitset<256> keycodes = wanted.keycodes;
        if (wanted.everyKey) {
            for (unsigned keycode = kFirstKeycode; keycode < keycodes.size(); ++keycode)
                keycodes.set(keycode);
        }
        for (unsigned keycode = kFirstKeycode; keycode < keycodes.size(); ++keycode) {
            if (held.keycodes[keycode] && !keycodes[keycode]) ungrab(display, true, keycode);
            if (!held.keycodes[keycode] && keycodes[keycode]) grab(display, true, keycode);
        }
        // Kept as asked whether or not each grab took: a key another client holds is tried again at
        // the next change of plan, not at every poll.
        held.keycodes = keycodes;
    }
    for (unsigned button = 1; button < 32; ++button) {
        if ((held.buttons & bit(button)) && !(wanted.buttons & bit(button))) ungrab(display, false, button);
        if (!(held.buttons & bit(button)) && (wanted.buttons & bit(button))) grab(display, false, button);
    }
    held.buttons = wanted.buttons;
    XFlush(display);
}

}  // namespace plat::x11
