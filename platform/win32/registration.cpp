// Start at logon: the value "Tapforge" under the current user's Run key.
#include <windows.h>

#include "platform/platform.h"

namespace plat {

void setStartupRegistration(bool on, const std::string& executablePath) {
    HKEY run = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Microsoft\\Windows\\CurrentVersion\\Run", 0,
                      KEY_SET_VALUE, &run) != ERROR_SUCCESS) {
        return;
    }
    if (on) {
        // Quoted, so that a path with spaces starts the program and not a prefix of it.
        std::string command = "\"" + executablePath + "\"";
        RegSetValueExA(run, "Tapforge", 0, REG_SZ, reinterpret_cast<const BYTE*>(command.c_str()),
                       static_cast<DWORD>(command.size() + 1));
    } else {
        RegDeleteValueA(run, "Tapforge");
    }
    RegCloseKey(run);
}

}  // namespace plat
