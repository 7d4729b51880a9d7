// Windows: the one main instance of a user's session owns a named mutex in the session's namespace;
// the system closes it when the process ends, however it ends.
#include <windows.h>

#include <string>

#include "platform/platform.h"

namespace plat {

namespace {

HANDLE heldMutex = nullptr;  // kept open for the life of the process; not inherited by panels
std::string claimProblem;

}  // namespace

bool claimMainInstance() {
    if (heldMutex) return true;
    claimProblem.clear();
    HANDLE mutex = CreateMutexW(nullptr, FALSE, L"Local\\TapmillMainInstance");
    const DWORD error = GetLastError();
    if (!mutex) {
        // A mutex that exists but cannot be opened belongs to a running instance (one with other
        // rights). An object of another kind under the name (an event, a section) is another
        // program's: it cannot stand for an instance of ours, and nothing of ours can be made in its
        // place while it lasts. Any other failure cannot tell, and the program runs.
        if (error == ERROR_INVALID_HANDLE) {
            claimProblem =
                "Ravelin cannot make sure that it runs only once: another program holds the name "
                "Local\\TapmillMainInstance. Close that program and start Ravelin again.";
            return false;
        }
        return error != ERROR_ACCESS_DENIED;
    }
    if (error == ERROR_ALREADY_EXISTS) {
        CloseHandle(mutex);
        return false;
    }
    heldMutex = mutex;
    return true;
}

std::string mainInstanceProblem() {
    return claimProblem;
}

}  // namespace plat
