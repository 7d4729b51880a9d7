// Which codes may stand for a hotkey or the key-spam target. Keys and mouse buttons share one code
// space of virtual-key numbers: 1 left, 2 right, 4 middle, 5 and 6 the side buttons (3 is Cancel),
// keys up to 254.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace rv {

// A hotkey is a key or a mouse button other than the left one: 2 to 254. The left button (1) would
// swallow every left press system-wide; 0, negatives and codes above 254 name no key.
bool isHotkeyCode(int32_t code);

// The key spammer taps a key, never a mouse button: 7 to 254.
bool isKeySpamTargetCode(int32_t code);

// How many keys the key spammer may press in turn after keySpamTarget.
inline constexpr size_t kKeySpamMoreKeys = 7;

// Modifier masks, as hotkeys and the key spammer keep them.
inline constexpr int32_t kModifierCtrl = 1;
inline constexpr int32_t kModifierShift = 2;
inline constexpr int32_t kModifierAlt = 4;
inline constexpr int32_t kModifierWin = 8;
inline constexpr int32_t kModifierMask = 15;

// The modifier a key is (either hand's Ctrl, Shift, Alt or Win key, or the generic codes 16 to 18),
// as its mask bit; 0 for any other key.
int32_t modifierBitOfKey(int32_t vk);

// How a modifier mask reads before a key's name: "Ctrl+Shift+" for 3, "" for 0.
std::string modifierPrefix(int32_t mask);

}  // namespace rv
