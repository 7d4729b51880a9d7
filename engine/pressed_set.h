// The keys and mouse buttons that a worker has pressed through synthetic input and not released yet,
// so that when it stops it can release exactly those: never a key or button it did not press (the
// user's own hand may be holding that one).
#pragma once

#include <bitset>
#include <cstdint>

namespace rv {

struct PressedSet {
    std::bitset<256> keys;  // by virtual-key code
    uint8_t buttons = 0;    // bits: left, right, middle, first side, second side

    // Notes a key record that was sent. Codes outside 0..255 are not tracked.
    void noteKey(int32_t vk, bool down);
    // Notes a mouse action that was sent (a flag word may press and release in one: down comes first,
    // as the platforms apply it). `data` names the side button(s) of the side flags: 1, 2 or both.
    void noteMouse(uint32_t flags, int32_t data);
    bool empty() const { return keys.none() && buttons == 0; }
    // Sends one release for each button, then each key, still held (keys in code order), and
    // forgets them.
    void releaseAll();
};

}  // namespace rv
