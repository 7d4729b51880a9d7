// Private to the X11 backend: which keys the window keeps from the browser engine.
#pragma once

#include <cstdint>

namespace plat::x11 {

// Modifier bits of the toolkit's key events (the X core state bits).
constexpr uint32_t kShiftMask = 1u << 0;
constexpr uint32_t kControlMask = 1u << 2;
constexpr uint32_t kAltMask = 1u << 3;

// True for a key that would reach one of the browser engine's own functions rather than the page:
// every function key (F7 turns on caret browsing, F5 reloads, …), reload, find, print, zoom, view
// source, developer tools, back and forward, the Menu key, and the keyboards' browser keys. `keysym` is the X
// keysym the toolkit reports; `modifiers` the event's state (other bits, such as Num Lock, are
// ignored).
bool isBrowserKey(uint32_t keysym, uint32_t modifiers);

}  // namespace plat::x11
