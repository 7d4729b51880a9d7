#include "engine/pressed_set.h"

#include "platform/input_math.h"
#include "platform/platform.h"

namespace rv {

namespace {

constexpr uint8_t kSideFirst = 1 << 3;
constexpr uint8_t kSideSecond = 1 << 4;

struct ButtonFlagPair {
    uint32_t down, up;
    uint8_t bit;
};
constexpr ButtonFlagPair kButtons[] = {
    {MOUSEEVENTF_LEFTDOWN, MOUSEEVENTF_LEFTUP, 1 << 0},
    {MOUSEEVENTF_RIGHTDOWN, MOUSEEVENTF_RIGHTUP, 1 << 1},
    {MOUSEEVENTF_MIDDLEDOWN, MOUSEEVENTF_MIDDLEUP, 1 << 2},
};

uint8_t sideBits(int32_t data) {
    uint8_t bits = 0;
    if (data & 1) bits |= kSideFirst;
    if (data & 2) bits |= kSideSecond;
    return bits;
}

}  // namespace

void PressedSet::noteKey(int32_t vk, bool down) {
    if (vk < 0 || vk > 255) return;
    keys.set(static_cast<size_t>(vk), down);
}

void PressedSet::noteMouse(uint32_t flags, int32_t data) {
    for (const ButtonFlagPair& button : kButtons) {
        if (flags & button.down) buttons |= button.bit;
        if (flags & button.up) buttons &= static_cast<uint8_t>(~button.bit);
    }
    if (flags & MOUSEEVENTF_XDOWN) buttons |= sideBits(data);
    if (flags & MOUSEEVENTF_XUP) buttons &= static_cast<uint8_t>(~sideBits(data));
}

void PressedSet::releaseAll() {
    for (const ButtonFlagPair& button : kButtons) {
        if (buttons & button.bit) plat::injectMouse(button.up, 0);
    }
    if (buttons & kSideFirst) plat::injectMouse(MOUSEEVENTF_XUP, 1);
    if (buttons & kSideSecond) plat::injectMouse(MOUSEEVENTF_XUP, 2);
    buttons = 0;
    for (size_t vk = 0; vk < keys.size(); ++vk) {
        if (keys.test(vk)) plat::injectKey(static_cast<int32_t>(vk), false);
    }
    keys.reset();
}

}  // namespace rv
