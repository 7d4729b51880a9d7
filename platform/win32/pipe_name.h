// The panel pipe's name on Windows: one per logon session, so that each signed-in user's main
// instance (the single-instance claim is per session too) serves its own panels. Windows backend
// only.
#pragma once

#include <cstdint>
#include <string>

namespace plat {

// "\\.\pipe\TapmillIPC-<session id>" for the given session.
std::string pipeNameForSession(uint32_t sessionId);
// The name for this process's session (ProcessIdToSessionId); the bare "\\.\pipe\TapmillIPC" when
// the system cannot tell the session. Worked out once.
const std::string& sessionPipeName();

// How often the pipe server has found its name taken by another program (or been refused by the
// system) since the process started: it backs off between tries, so this grows slowly.
int pipeNameRefusals();

}  // namespace plat
