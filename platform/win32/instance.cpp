// Windows: the one main instance of a user's session owns a named mutex in the session's namespace;
// the system closes it when the process ends, however it ends.
#include <windows.h>

#include "platform/platform.h"

namespace plat {

namespace {

HANDLE heldMutex = nullptr;  // kept open for the life of the process; not inherited by panels

}  // namespace

bool claimMainInstance() {
    if (heldMutex) return true;
    HANDLE mutex = CreateMutexW(nullptr, FALSE, L"Local\\TapmillMainInstance");
    const DWORD error = GetLastError();
    if (!mutex) {
        // A mutex that exists but cannot be opened belongs to a running instance (one with other
        // rights); any other failure cannot tell, and the program runs.
        return error != ERROR_ACCESS_DENIED;
    }
    if (error == ERROR_ALREADY_EXISTS) {
        CloseHandle(mutex);
        return false;
    }
    heldMutex = mutex;
    return true;
}

}  // namespace plat
