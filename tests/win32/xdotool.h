// xdotool as the user's keyboard and mouse for programs run under Wine.
#pragma once

#include <windows.h>

#include <cstdlib>
#include <string>

#include "platform/platform.h"

namespace target {

// Runs xdotool (a Linux program, which Wine starts like any other) with `arguments` and waits for
// it to end; returns its exit code, or -1 when it could not be started or did not end in time. Wine
// gives no handle to wait on for a Linux process, so a shell leaves the code in a file at the end.
inline int xdotool(const std::string& arguments) {
    static int runs = 0;
    const char* tmp = std::getenv("RAVELIN_TEST_TMP");
    std::string marker = std::string(tmp && *tmp ? tmp : "/tmp") + "/xdotool-" +
                         std::to_string(GetCurrentProcessId()) + "-" + std::to_string(++runs);
    std::string markerDos = "Z:" + marker;
    for (char& c : markerDos) c = c == '/' ? '\\' : c;
    std::string command = "Z:\\bin\\sh -c \"xdotool " + arguments + "; echo $? > " + marker + "\"";
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &process))
        return -1;
    if (process.hProcess) CloseHandle(process.hProcess);
    if (process.hThread) CloseHandle(process.hThread);
    for (int i = 0; i < 1000; ++i) {
        if (auto text = plat::readFile(markerDos); text && !text->empty() && text->back() == '\n') {
            plat::removeFile(markerDos);
            return std::atoi(text->c_str());
        }
        Sleep(10);
    }
    return -1;
}

}  // namespace target
