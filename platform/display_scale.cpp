#include "platform/display_scale.h"

#include <cmath>

namespace rv {

int32_t windowPixels(int32_t pagePixels, double scale) {
    if (!(scale > 0)) scale = 1;
    return static_cast<int32_t>(std::lround(static_cast<double>(pagePixels) * scale));
}

}  // namespace rv
