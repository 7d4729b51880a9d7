// The start at logon on Windows: a Task Scheduler task that starts the executable when the current
// user logs on, with the highest rights the user has and without a prompt (the program asks for
// administrator rights, and Windows does not start such a program from the Run key at logon). The
// definition is built here as text and registered by the Windows backend.
#pragma once

#include <string>

namespace rv {

// The task's name in the scheduler's root folder, one per user of the machine:
// "Tapforge (" + user + ")", where every character a task name cannot hold (\ / : * ? " < > | and
// control characters) becomes "_".
std::string startupTaskName(const std::string& userName);

// The task definition (Task Scheduler schema 1.2) as UTF-8 text: a logon trigger and an interactive
// principal for `userId` (an account name such as "PC\ann" or a SID) with the highest run level, and
// one action that starts `executablePath` in its own folder. No time limit, no battery or idle
// conditions, normal priority, one instance at a time. Both texts are escaped for XML.
std::string startupTaskDefinition(const std::string& executablePath, const std::string& userId);

}  // namespace rv
