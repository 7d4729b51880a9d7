// Page pixels and window pixels. The page lays itself out in page pixels; on Windows a window's
// rectangles are in its monitor's physical pixels, the page pixels times the window's scale (the
// monitor's DPI over 96). Portable code, no system header.
#pragma once

#include <cstdint>

namespace rv {

// A length of `pagePixels` page pixels in window pixels at `scale`, to the nearest pixel (halves
// away from zero): 450 → 675 at 1.5, 450 → 788 at 1.75, 400 → 500 at 1.25. A scale that is not
// above 0 counts as 1.
int32_t windowPixels(int32_t pagePixels, double scale);

}  // namespace rv
