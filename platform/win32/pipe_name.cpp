#include "platform/win32/pipe_name.h"

#include <windows.h>

namespace plat {

std::string pipeNameForSession(uint32_t sessionId) {
    return "\\\\.\\pipe\\TapmillIPC-" + std::to_string(sessionId);
}

const std::string& sessionPipeName() {
    static const std::string name = [] {
        DWORD session = 0;
        if (!ProcessIdToSessionId(GetCurrentProcessId(), &session))
            return std::string("\\\\.\\pipe\\TapmillIPC");
        return pipeNameForSession(session);
    }();
    return name;
}

}  // namespace plat
