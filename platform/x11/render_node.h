// Private to the X11 backend: whether the machine has a GPU the browser engine can render with.
#pragma once

namespace plat::x11 {

// Whether `folder` (the DRM device folder, /dev/dri) holds a GPU render node (renderD*).
bool hasRenderNode(const char* folder);

}  // namespace plat::x11
