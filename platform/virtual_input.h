// The arithmetic of input sent through a Wayland compositor's virtual pointer and keyboard: the
// output layout, absolute moves in it, wheel notches and the choice of a keycode in the user's
// keymap. Portable code, no system header.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "platform/input_math.h"

namespace rv {

// The box that holds every output of the layout (logical pixels), or an empty area (width and
// height 0) when there is no output with a size.
DeskArea layoutBox(const std::vector<DeskArea>& outputs);

// An absolute move as the virtual pointer takes it: a point of 0..extent-1 on each axis, which the
// compositor maps onto the layout's box.
struct AbsoluteMotion {
    uint32_t x = 0, y = 0, xExtent = 0, yExtent = 0;
    bool operator==(const AbsoluteMotion& other) const {
        return x == other.x && y == other.y && xExtent == other.xExtent && yExtent == other.yExtent;
    }
};
// The pixel x, y of the layout (screen coordinates, left and top of the box may be negative) as an
// absolute move; a point outside the box goes to its nearest edge, as the pointer cannot leave it.
// Nothing for an empty layout.
std::optional<AbsoluteMotion> absoluteMotion(int32_t x, int32_t y, const DeskArea& layout);

// The wheel notches of a wheel delta (120 a notch, positive away from the user): toward zero, at
// least one for any non-zero delta (high-resolution wheels report less than 120 an event), at most
// kMaxWheelNotches, so that a damaged event cannot flood the system; the sign is the delta's.
inline constexpr int32_t kMaxWheelNotches = 100;
int32_t wheelNotches(int32_t delta);

// What a mouse flag word (MOUSEEVENTF_*) and its data ask of the pointer, in the order the system
// takes them: left, right and middle buttons, side buttons, then the wheel.
enum class PointerButton : uint8_t { Left, Right, Middle, Back, Forward };
struct PointerAction {
    bool wheel = false;  // a turn of `notches` (wheelNotches); else a press or release of `button`
    PointerButton button = PointerButton::Left;
    bool down = false;
    int32_t notches = 0;
};
struct PointerActions {
    std::array<PointerAction, 10> values{};
    size_t count = 0;
    const PointerAction* begin() const { return values.data(); }
    const PointerAction* end() const { return values.data() + count; }
    void add(const PointerAction& action) {
        if (count < values.size()) values[count++] = action;
    }
};
// A side-button press names its button in the data (1 back, 2 forward); a recorded one carries no
// "which" and its release is never recorded, so a press without it is a whole click of the back
// button: a button left down can keep the pointer held by the window it was pressed on, so that
// every later click goes there.
PointerActions pointerActions(uint32_t flags, int32_t data);

// Where a keymap puts a keysym: a keycode and the shift level of the keymap's first layout that
// gives it there.
struct KeySlot {
    uint32_t keycode = 0;
    uint32_t level = 0;
};
// The keycode to press for a key: the lowest keycode that gives it at the first level, else the
// lowest that gives it at any level (the key itself, as a key press means the key whatever the
// shift state); 0 when the keymap has it nowhere.
uint32_t chooseKeycode(const std::vector<KeySlot>& slots);

}  // namespace rv
