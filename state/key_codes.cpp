#include "state/key_codes.h"

namespace rv {

bool isHotkeyCode(int32_t code) {
    return code >= 2 && code <= 254;
}

bool isKeySpamTargetCode(int32_t code) {
    return code >= 7 && code <= 254;
}

int32_t modifierBitOfKey(int32_t vk) {
    switch (vk) {
        case 17:   // Ctrl
        case 162:  // left Ctrl
        case 163:  // right Ctrl
            return kModifierCtrl;
        case 16:
        case 160:
        case 161:
            return kModifierShift;
        case 18:
        case 164:
        case 165:
            return kModifierAlt;
        case 91:  // left and right Win
        case 92:
            return kModifierWin;
        default:
            return 0;
    }
}

std::string modifierPrefix(int32_t mask) {
    std::string prefix;
    if (mask & kModifierCtrl) prefix += "Ctrl+";
    if (mask & kModifierShift) prefix += "Shift+";
    if (mask & kModifierAlt) prefix += "Alt+";
    if (mask & kModifierWin) prefix += "Win+";
    return prefix;
}

}  // namespace rv
