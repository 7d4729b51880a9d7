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

// The modifier states a grab covers: AnyModifier for a plain hotkey (combination 0), else the
// combination's modifiers with and without Caps Lock and Num Lock, which the user does not mean as
// part of it.
int modifierStates(int combination, XIGrabModifiers (&states)[4]) {
    if (combination == 0) {
        states[0] = {static_cast<int>(XIAnyModifier), 0};
        return 1;
    }
    const unsigned base = xModifiersOfMask(combination);
    const unsigned locks[] = {0, LockMask, Mod2Mask, LockMask | Mod2Mask};
    for (int i = 0; i < 4; ++i) states[i] = {static_cast<int>(base | locks[i]), 0};
    return 4;
}

bool heldByAnotherClient(Display* display, Window root, bool key, unsigned detail, int combination) {
    clearTrappedError();
    const unsigned modifiers = combination == 0 ? AnyModifier : xModifiersOfMask(combination);
    if (key) {
        const int keycode = detail == XIAnyKeycode ? AnyKey : static_cast<int>(detail);
        XGrabKey(display, keycode, modifiers, root, False, GrabModeAsync, GrabModeAsync);
        XUngrabKey(display, keycode, modifiers, root);
    } else {
        XGrabButton(display, detail, modifiers, root, False, ButtonPressMask | ButtonReleaseMask,
                    GrabModeAsync, GrabModeAsync, 0, 0);
        XUngrabButton(display, detail, modifiers, root);
    }
    XSync(display, False);
    return lastTrappedError() == BadAccess;
}

// Whether the grab took hold.
bool grab(Display* display, bool key, unsigned detail, int combination = 0) {
    const Window root = DefaultRootWindow(display);
    if (heldByAnotherClient(display, root, key, detail, combination)) return false;
    RawMask raw;
    XIGrabModifiers states[4];
    const int count = modifierStates(combination, states);
    const int failed = key ? XIGrabKeycode(display, XIAllMasterDevices, static_cast<int>(detail), root,
                                           XIGrabModeAsync, XIGrabModeAsync, False, &raw.mask, count, states)
                           : XIGrabButton(display, XIAllMasterDevices, static_cast<int>(detail), root, 0,
                                          XIGrabModeAsync, XIGrabModeAsync, False, &raw.mask, count, states);
    return failed == 0;
}

void ungrab(Display* display, bool key, unsigned detail, int combination = 0) {
    XIGrabModifiers states[4];
    const int count = modifierStates(combination, states);
    if (key) {
        XIUngrabKeycode(display, XIAllMasterDevices, static_cast<int>(detail), DefaultRootWindow(display),
                        count, states);
    } else {
        XIUngrabButton(display, XIAllMasterDevices, static_cast<int>(detail), DefaultRootWindow(display),
                       count, states);
    }
}

// Grabs and ungrabs the combinations of one key or button that changed.
void applyCombos(Display* display, bool key, unsigned detail, uint16_t wanted, uint16_t& held) {
    for (int combination = 1; combination < 16; ++combination) {
        const uint16_t bit = static_cast<uint16_t>(1u << combination);
        if ((held & bit) && !(wanted & bit)) ungrab(display, key, detail, combination);
        if (!(held & bit) && (wanted & bit)) grab(display, key, detail, combination);
    }
    held = wanted;
}

constexpr unsigned kFirstKeycode = 8;

}  // namespace

unsigned xModifiersOfMask(int32_t mask) {
    unsigned state = 0;
    if (mask & 1) state |= ControlMask;
    if (mask & 2) state |= ShiftMask;
    if (mask & 4) state |= Mod1Mask;
    if (mask & 8) state |= Mod4Mask;
    return state;
}

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
    for (const HotkeyCombos::Combo& combo : plan.combos) {
        const uint16_t bit = static_cast<uint16_t>(1u << (combo.modifiers & 15));
        if (const unsigned button = xButtonOfCode(combo.code)) {
            if (button != 1) set.buttonCombos[button] |= bit;
        } else if (const unsigned keycode = keycodeFromVk(display, combo.code)) {
            set.keyCombos[keycode] |= bit;
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
        held.keyCombos.fill(0);
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
            // Taking a key's grab for any modifiers back takes its combinations with it.
            if (held.keycodes[keycode] && !keycodes[keycode]) {
                ungrab(display, true, keycode);
                held.keyCombos[keycode] = 0;
            }
            if (!held.keycodes[keycode] && keycodes[keycode]) grab(display, true, keycode);
        }
        // Kept as asked whether or not each grab took: a key another client holds is tried again at
        // the next change of plan, not at every poll.
        held.keycodes = keycodes;
    }
    for (unsigned button = 1; button < 32; ++button) {
        if ((held.buttons & bit(button)) && !(wanted.buttons & bit(button))) {
            ungrab(display, false, button);
            held.buttonCombos[button] = 0;
        }
        if (!(held.buttons & bit(button)) && (wanted.buttons & bit(button))) grab(display, false, button);
        applyCombos(display, false, button, wanted.buttonCombos[button], held.buttonCombos[button]);
    }
    held.buttons = wanted.buttons;
    // Combinations under the wildcard grab stay grabbed on their own: they outlast it, and a
    // grab of the same key with other modifiers does not conflict with it.
    for (unsigned keycode = kFirstKeycode; keycode < held.keyCombos.size(); ++keycode)
        applyCombos(display, true, keycode, wanted.keyCombos[keycode], held.keyCombos[keycode]);
    XFlush(display);
}

}  // namespace plat::x11
