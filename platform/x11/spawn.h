// Private to the X11 backend: starting a child process the same way everywhere.
#pragma once

#include <sys/types.h>

namespace plat::x11 {

// Starts `program` (looked up in PATH when `searchPath`) with `argv`: its standard input from
// /dev/null, no signal blocked and every signal at its default action, whatever this process's
// threads have set for themselves. The child's pid, or -1 when it could not be started.
pid_t spawnChild(const char* program, char* const argv[], bool searchPath);

}  // namespace plat::x11
