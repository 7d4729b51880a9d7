// Private to the X11 backend: the connection of the calling thread, and the translation between
// virtual-key codes (the system's key vocabulary) and X keysyms and keycodes.
//
// The table follows a US layout: punctuation codes mean the characters of a US keyboard. Keypad keys
// are identified by the physical key whatever the Num Lock state: the keycode of KP_Insert/KP_0 is
// always 96 (Num 0), that of KP_Delete/KP_Decimal 110 (Num .). Left and right modifiers read back as
// their sided codes (160–165), as a low-level keyboard hook reports them.
#pragma once

#include <X11/Xlib.h>

#include <cstdint>

namespace plat::x11 {

// This thread's own connection to $DISPLAY, opened on first use and closed when the thread ends;
// null when no display can be opened (tried again at most once a second). Any thread. It is for
// requests only: injectKey discards events that arrive on it, so a thread that reads events (the
// capture loop) opens a connection of its own for them.
Display* threadDisplay();

// The keysym that a virtual-key code stands for, or NoSymbol (0) when the code has no key.
KeySym keysymFromVk(int32_t vk);
// The virtual-key code of a keysym (either case for letters, any keypad meaning for keypad keys),
// or 0 when it has none.
int32_t vkFromKeysym(KeySym keysym);
// The keycode that sends a virtual-key code in the display's current layout, or 0 when the layout
// has no key for it. Uses the display's cached keyboard map (no round trip).
unsigned keycodeFromVk(Display* display, int32_t vk);
// The virtual-key code of a keycode in the current layout (its first-level keysym), or 0.
int32_t vkFromKeycode(Display* display, unsigned keycode);

}  // namespace plat::x11
