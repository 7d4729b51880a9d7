#include "engine/input_math.h"

namespace rv {

NormalizedPoint normalizeAbsolute(int32_t x, int32_t y, int32_t width, int32_t height) {
    // 32-bit products as the platform record holds them; coordinates lie within ±32,767 pixels.
    auto scale = [](int32_t value, int32_t extent) {
        if (extent <= 0) return value;
        // Wraps like the signed 32-bit product would, without undefined behaviour.
        int32_t product = static_cast<int32_t>(static_cast<uint32_t>(value) * 65536u);
        return product / extent;
    };
    return {scale(x, width), scale(y, height)};
}

bool isExtendedKey(int32_t vk) { return (vk >= 33 && vk <= 40) || vk == 45 || vk == 46; }

uint32_t keyRecordFlags(int32_t vk, bool down) { return keyRecordFlags(KeyScan{0, isExtendedKey(vk)}, down); }

KeyScan keyScanFromLayout(int32_t vk, uint32_t prefixed, uint32_t plain) {
    if ((prefixed & 0xFF00u) == 0xE000u) return {static_cast<uint16_t>(prefixed & 0xFFu), true};
    return {static_cast<uint16_t>(plain & 0xFFu), isExtendedKey(vk)};
}

uint32_t keyRecordFlags(KeyScan key, bool down) {
    uint32_t flags = KEYEVENTF_SCANCODE;
    if (!down) flags |= KEYEVENTF_KEYUP;
    if (key.extended) flags |= KEYEVENTF_EXTENDEDKEY;
    return flags;
}

}  // namespace rv
