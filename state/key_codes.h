// Which codes may stand for a hotkey or the key-spam target. Keys and mouse buttons share one code
// space of virtual-key numbers: 1 left, 2 right, 4 middle, 5 and 6 the side buttons (3 is Cancel),
// keys up to 254.
#pragma once

#include <cstdint>

namespace rv {

// A hotkey is a key or a mouse button other than the left one: 2 to 254. The left button (1) would
// swallow every left press system-wide; 0, negatives and codes above 254 name no key.
bool isHotkeyCode(int32_t code);

// The key spammer taps a key, never a mouse button: 7 to 254.
bool isKeySpamTargetCode(int32_t code);

}  // namespace rv
