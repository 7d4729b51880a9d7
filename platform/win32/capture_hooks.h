// Private to the Windows backend and its tests: how the capture loop keeps its hooks.
#pragma once

namespace plat::win32 {

// How many times the capture loop has put its hooks in place, the first time included: again
// after an unlock of the session, a resume from sleep, a hook call that ran long, or input that
// neither hook saw. Any thread.
int captureHookInstalls();

}  // namespace plat::win32
