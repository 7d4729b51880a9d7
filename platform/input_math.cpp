#include "platform/input_math.h"

namespace rv {

NormalizedPoint normalizeAbsolute(int32_t x, int32_t y, const DeskArea& desk) {
    // The system maps a normalised value n back to the pixel n × extent / 65536, rounded down. The
    // truncated quotient can fall just below the pixel's start (1919 on 1920 pixels gives 65501,
    // which maps to 1918.99, so pixel 1918); the quotient rounded up lands inside the pixel for every
    // extent up to 65536. Negative values truncate toward zero, which already rounds them up.
    auto scale = [](int32_t value, int32_t origin, int32_t extent) {
        if (extent <= 0) return value;
        int64_t product = (static_cast<int64_t>(value) - origin) * 65536;
        int64_t quotient = product / extent;
        if (product > 0 && product % extent != 0) ++quotient;
        return static_cast<int32_t>(quotient);
    };
    return {scale(x, desk.left, desk.width), scale(y, desk.top, desk.height)};
}

DeskPixel deskPixel(NormalizedPoint point, const DeskArea& desk) {
    auto back = [](int32_t value, int32_t origin, int32_t extent) {
        if (extent <= 0) return value;
        int64_t product = static_cast<int64_t>(value) * extent;
        int64_t floored = product >= 0 ? product / 65536 : -((-product + 65535) / 65536);
        return static_cast<int32_t>(origin + floored);
    };
    return {back(point.dx, desk.left, desk.width), back(point.dy, desk.top, desk.height)};
}

bool isExtendedKey(int32_t vk) {
    return (vk >= 33 && vk <= 40) || vk == 45 || vk == 46;
}

uint32_t keyRecordFlags(int32_t vk, bool down) {
    return keyRecordFlags(KeyScan{0, isExtendedKey(vk)}, down);
}

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

bool inputMissedByHooks(uint32_t lastInputMs, uint32_t lastHookCallMs, uint32_t graceMs) {
    // The difference as signed: the tick counts wrap, and input older than the last call is seen.
    const auto ahead = static_cast<int32_t>(lastInputMs - lastHookCallMs);
    return ahead > 0 && static_cast<uint32_t>(ahead) > graceMs;
}

}  // namespace rv
