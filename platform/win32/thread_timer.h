// The calling thread's high-resolution waitable timer, shared by its sleeps and its naps.
#pragma once

#include <windows.h>

#include <cstdint>

namespace plat::win32 {

// The timer, made on first use; null where Windows has none (before Windows 10 1803).
HANDLE threadTimer();

// Sets the thread's timer to become signalled `microseconds` from now (a set timer is unsignalled
// until then); false when there is no timer or it cannot be set.
bool armThreadTimer(int64_t microseconds);

}  // namespace plat::win32
