// Windows panel processes: started with CreateProcessW, watched through their process handles.
#include <windows.h>

#include <string>

#include "platform/platform.h"
#include "platform/win32/wide_text.h"

namespace plat {

ProcessHandle startProcess(const std::string& executable, const std::string& arguments) {
    std::wstring wideExecutable;
    if (!widePath(executable, wideExecutable) || !hasNoNul(arguments)) return nullptr;
    // CreateProcessW may write into the command line, so it gets a buffer of its own.
    std::wstring commandLine = L"\"" + wideExecutable + L"\" " + toWide(arguments);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(wideExecutable.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        nullptr, &startup, &process)) {
        return nullptr;
    }
    CloseHandle(process.hThread);
    return process.hProcess;
}

ProcessStatus processStatus(ProcessHandle process) {
    DWORD exitCode = 0;
    if (!process || !GetExitCodeProcess(process, &exitCode)) return ProcessStatus::Unknown;
    if (exitCode != STILL_ACTIVE) return ProcessStatus::Ended;
    // A process may itself end with the code 259 that also means "still running".
    return WaitForSingleObject(process, 0) == WAIT_OBJECT_0 ? ProcessStatus::Ended : ProcessStatus::Running;
}

void terminateProcess(ProcessHandle process) {
    if (process) TerminateProcess(process, 0);
}

void closeProcess(ProcessHandle process) {
    if (process) CloseHandle(process);
}

}  // namespace plat
