#include "platform/virtual_input.h"

#include <algorithm>
#include <cstdlib>
#include <limits>

namespace rv {

DeskArea layoutBox(const std::vector<DeskArea>& outputs) {
    int64_t left = 0, top = 0, right = 0, bottom = 0;
    bool any = false;
    for (const DeskArea& output : outputs) {
        if (output.width <= 0 || output.height <= 0) continue;
        const int64_t r = int64_t{output.left} + output.width, b = int64_t{output.top} + output.height;
        if (!any) {
            left = output.left, top = output.top, right = r, bottom = b;
            any = true;
            continue;
        }
        left = std::min<int64_t>(left, output.left);
        top = std::min<int64_t>(top, output.top);
        right = std::max(right, r);
        bottom = std::max(bottom, b);
    }
    if (!any) return {};
    constexpr int64_t kMax = std::numeric_limits<int32_t>::max();
    return {static_cast<int32_t>(left), static_cast<int32_t>(top),
            static_cast<int32_t>(std::min(right - left, kMax)),
            static_cast<int32_t>(std::min(bottom - top, kMax))};
}

std::optional<AbsoluteMotion> absoluteMotion(int32_t x, int32_t y, const DeskArea& layout) {
    if (layout.width <= 0 || layout.height <= 0) return std::nullopt;
    const auto along = [](int32_t at, int32_t start, int32_t size) {
        return static_cast<uint32_t>(std::clamp<int64_t>(int64_t{at} - start, 0, int64_t{size} - 1));
    };
    return AbsoluteMotion{along(x, layout.left, layout.width), along(y, layout.top, layout.height),
                          static_cast<uint32_t>(layout.width), static_cast<uint32_t>(layout.height)};
}

int32_t wheelNotches(int32_t delta) {
    if (delta == 0) return 0;
    const int64_t magnitude = std::llabs(static_cast<int64_t>(delta));
    const auto notches =
        static_cast<int32_t>(std::clamp<int64_t>(magnitude / WHEEL_DELTA, 1, kMaxWheelNotches));
    return delta > 0 ? notches : -notches;
}

PointerActions pointerActions(uint32_t flags, int32_t data) {
    struct ButtonBit {
        uint32_t flag;
        PointerButton button;
        bool down;
    };
    static constexpr ButtonBit kButtonBits[] = {
        {MOUSEEVENTF_LEFTDOWN, PointerButton::Left, true},
        {MOUSEEVENTF_LEFTUP, PointerButton::Left, false},
        {MOUSEEVENTF_RIGHTDOWN, PointerButton::Right, true},
        {MOUSEEVENTF_RIGHTUP, PointerButton::Right, false},
        {MOUSEEVENTF_MIDDLEDOWN, PointerButton::Middle, true},
        {MOUSEEVENTF_MIDDLEUP, PointerButton::Middle, false},
    };
    PointerActions actions;
    for (const ButtonBit& bit : kButtonBits) {
        if (flags & bit.flag) actions.add({false, bit.button, bit.down, 0});
    }
    const PointerButton side = data == 2 ? PointerButton::Forward : PointerButton::Back;
    if (flags & MOUSEEVENTF_XDOWN) {
        actions.add({false, side, true, 0});
        if (data != 1 && data != 2) actions.add({false, side, false, 0});
    }
    if (flags & MOUSEEVENTF_XUP) actions.add({false, side, false, 0});
    if ((flags & MOUSEEVENTF_WHEEL) && data != 0)
        actions.add({true, PointerButton::Left, false, wheelNotches(data)});
    return actions;
}

uint32_t chooseKeycode(const std::vector<KeySlot>& slots) {
    uint32_t first = 0, any = 0;
    for (const KeySlot& slot : slots) {
        if (slot.keycode == 0) continue;
        if (slot.level == 0 && (first == 0 || slot.keycode < first)) first = slot.keycode;
        if (any == 0 || slot.keycode < any) any = slot.keycode;
    }
    return first != 0 ? first : any;
}

}  // namespace rv
