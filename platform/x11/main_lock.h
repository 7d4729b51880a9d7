// Where the main instance's lock file lives: in the session's runtime folder, or in /tmp with the
// user's id when the session has none. The instance holds it (instance.cpp); ravelin-cli only looks
// (client.cpp).
#pragma once

#include <unistd.h>

#include <cstdlib>
#include <string>

namespace plat::x11 {

inline std::string mainLockPath() {
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runtime && runtime[0] == '/') return std::string(runtime) + "/TapmillMain.lock";
    return "/tmp/TapmillMain-" + std::to_string(getuid()) + ".lock";
}

}  // namespace plat::x11
