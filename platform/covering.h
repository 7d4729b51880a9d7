// Whether other windows hide a window entirely, from their rectangles: both backends gather the
// rectangles of the windows stacked above ours and ask this.
#pragma once

#include <vector>

#include "platform/platform.h"

namespace plat {

// True when every point of `area` lies inside one of `over` (an empty area counts as covered).
// Rectangles are half-open: right and bottom lie just outside. Past a few thousand pieces left
// uncovered the answer is false, so a desktop of many small windows costs little.
bool rectCovered(const Rect& area, const std::vector<Rect>& over);

// `area` cut to `bounds`; an empty rectangle when they do not meet.
Rect clipped(const Rect& area, const Rect& bounds);

}  // namespace plat
