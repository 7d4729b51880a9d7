// Private to the Linux backend: input sent through a Wayland compositor's virtual pointer and
// virtual keyboard, on one connection of the process's own that every injecting thread shares.
#pragma once

#include <cstdint>

#include "platform/platform.h"
#include "platform/virtual_input.h"

namespace plat::wayland {

// Whether injected input goes this way: the session is Wayland (WAYLAND_DISPLAY) and its
// compositor offers both virtual input protocols on a seat. Decided on the first call, which
// connects, and kept for the process's life. Any thread.
bool routed();

// Each returns whether the request reached the compositor's connection (false once it has broken).
bool absoluteMove(int32_t x, int32_t y);  // a pixel of the output layout (logical pixels)
bool relativeMove(int32_t dx, int32_t dy);
bool pointer(const rv::PointerActions& actions);
// A key by virtual-key code in the keymap the virtual keyboard was given; 0 when the keymap has no
// key for it.
int key(int32_t vk, bool down);
// Returns once the compositor has handled every request sent so far (a round trip).
void settle();
// The box of every output, in the layout's logical pixels; empty when none is known.
rv::DeskArea layout();

}  // namespace plat::wayland
