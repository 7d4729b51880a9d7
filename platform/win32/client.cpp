// Windows side of ravelin-cli (a console program that runs without elevation): UTF-8 on the console,
// the wide command line cut into words, the main instance's mutex looked at without taking it, and
// Ravelin.exe started through the shell, which asks for the rights its manifest requires.
#include <windows.h>

#include <shellapi.h>

#include <string>
#include <vector>

#include "platform/platform.h"
#include "platform/win32/wide_text.h"

namespace plat {

void prepareClientProcess() {
    SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32);
    SetConsoleOutputCP(CP_UTF8);
}

std::vector<std::string> commandLineWords(int, char**) {
    std::vector<std::string> words;
    int count = 0;
    wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
    if (!wide) return words;
    for (int i = 1; i < count; ++i) words.push_back(toUtf8(std::wstring(wide[i])));
    LocalFree(wide);
    return words;
}

bool mainInstanceRunning() {
    HANDLE mutex = OpenMutexW(SYNCHRONIZE, FALSE, L"Local\\TapmillMainInstance");
    if (mutex) {
        CloseHandle(mutex);
        return true;
    }
    // The elevated instance's mutex has the administrators' default rights: this user, not elevated,
    // may not open it, which still says that it is there.
    return GetLastError() == ERROR_ACCESS_DENIED;
}

bool startMainProgram(const std::string& executable, const std::string& arguments) {
    std::wstring file, parameters = toWide(arguments);
    if (!widePath(executable, file) || !hasNoNul(arguments)) return false;
    // The shell, unlike CreateProcess, starts a program whose manifest asks for administrator rights
    // (after the consent prompt; none when this client runs elevated already).
    SHELLEXECUTEINFOW info{};
    info.cbSize = sizeof info;
    info.fMask = SEE_MASK_NOASYNC | SEE_MASK_FLAG_NO_UI;
    info.lpVerb = L"open";
    info.lpFile = file.c_str();
    info.lpParameters = parameters.empty() ? nullptr : parameters.c_str();
    info.nShow = SW_SHOWMINNOACTIVE;
    return ShellExecuteExW(&info) != FALSE;
}

std::string absolutePath(const std::string& path) {
    std::wstring wide;
    if (!widePath(path, wide)) return "";
    DWORD size = GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
    if (size == 0) return "";
    std::wstring full(size, L'\0');
    size = GetFullPathNameW(wide.c_str(), size, full.data(), nullptr);
    if (size == 0 || size >= full.size()) return "";
    full.resize(size);
    return toUtf8(full);
}

}  // namespace plat
