// Private to the X11 backend: how the capture loop swallows input. X cannot drop another client's
// event after the fact, so what must be swallowed is grabbed in advance with passive grabs on the
// root window, kept in step with the grab plan of the capture handlers. Capture thread only.
#pragma once

#include <X11/Xlib.h>

#include <array>
#include <bitset>
#include <cstdint>

#include "platform/platform.h"

namespace plat::x11 {

// The X button of a button code (1 left → 1, 2 right → 3, 4 middle → 2, 5 → 8, 6 → 9), or 0 when the
// code is no button (a keyboard key).
unsigned xButtonOfCode(int32_t code);
// The button code of a (logical) X button, or 0 for the wheel and buttons without a code.
int32_t codeOfXButton(unsigned button);

// What is grabbed: keycodes (or every key through one wildcard grab) and X buttons (bit n: button n).
// Keys and buttons grabbed whatever modifiers are held, and those grabbed only with certain
// modifiers (bit m of a combination entry: the modifier mask m, 1 Ctrl 2 Shift 4 Alt 8 Win, held
// exactly, Caps Lock and Num Lock aside).
struct GrabSet {
    std::bitset<256> keycodes;
    bool everyKey = false;
    uint32_t buttons = 0;
    std::array<uint16_t, 256> keyCombos{};
    std::array<uint16_t, 32> buttonCombos{};
};

// The X modifier state of a modifier mask (Ctrl, Shift, Alt as Mod1, Win as Mod4).
unsigned xModifiersOfMask(int32_t mask);

// The grabs a plan asks for, with the keycodes of the display's current layout.
GrabSet grabsOfPlan(Display* display, const GrabPlan& plan);

// Changes the grabs of `display` from `held` to `wanted`, grabbing only what changed, and updates
// `held`. A key or button that another client has already grabbed is left alone: that shows as an error,
// so the calling thread must have an ErrorTrap open on `display` (the capture thread holds one for as
// long as its connection is open).
void applyGrabs(Display* display, const GrabSet& wanted, GrabSet& held);

}  // namespace plat::x11
