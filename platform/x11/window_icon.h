// The program's icon for its top-level windows, made by the build from ui/icon.svg.
#pragma once

#include <cstddef>
#include <cstdint>

namespace plat::x11 {

// _NET_WM_ICON's content: for each size, its width and height, then width × height pixels as
// 0xAARRGGBB, row by row from the top left. kWindowIconLength is 0 when the build could not draw it.
extern const uint32_t kWindowIcon[];
extern const size_t kWindowIconLength;

}  // namespace plat::x11
