#include "state/key_codes.h"

namespace rv {

bool isHotkeyCode(int32_t code) {
    return code >= 2 && code <= 254;
}

bool isKeySpamTargetCode(int32_t code) {
    return code >= 7 && code <= 254;
}

}  // namespace rv
