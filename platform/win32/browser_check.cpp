// Why the webview could not open a browser on Windows: the WebView2 Runtime's version as its
// installer registers it (the webview library's own loader exports no way to ask), and, with a
// runtime there, whether the browser's data folder (%APPDATA%\<executable name>, where the library
// keeps it) can be written.
#include <shlobj.h>
#include <windows.h>

#include <string>

#include "platform/platform.h"
#include "platform/win32/browser_check.h"
#include "platform/win32/wide_text.h"

namespace plat {

namespace {

// The runtime's client id in the updater's registry keys.
constexpr const wchar_t* kRuntimeKey =
    L"Software\\Microsoft\\EdgeUpdate\\Clients\\{F3017226-FE2A-4295-8BDF-00C3A9A7E4C5}";

std::string registeredVersion(HKEY root, REGSAM view) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(root, kRuntimeKey, 0, KEY_QUERY_VALUE | view, &key) != ERROR_SUCCESS) return "";
    wchar_t value[64] = {};
    DWORD size = sizeof value - sizeof(wchar_t);
    DWORD type = 0;
    const bool read = RegQueryValueExW(key, L"pv", nullptr, &type, reinterpret_cast<BYTE*>(value), &size) ==
                          ERROR_SUCCESS &&
                      type == REG_SZ;
    RegCloseKey(key);
    if (!read) return "";
    std::string version = toUtf8(std::wstring(value));
    // The updater leaves 0.0.0.0 behind when the runtime is removed.
    return version == "0.0.0.0" ? "" : version;
}

std::string systemWords(DWORD error) {
    wchar_t* text = nullptr;
    DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
        error, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::string words = length > 0 ? toUtf8(text, length) : "error " + std::to_string(error);
    if (text) LocalFree(text);
    while (!words.empty() && (words.back() == '\n' || words.back() == '\r' || words.back() == ' '))
        words.pop_back();
    return words;
}

// The browser's data folder, and what stops a file being made in it (empty when nothing does).
std::string dataFolderProblem(std::string& folder) {
    wchar_t* appData = nullptr;
    if (FAILED(SHGetKnownFolderPath(FOLDERID_RoamingAppData, 0, nullptr, &appData))) return "";
    std::wstring path = appData;
    CoTaskMemFree(appData);
    std::string exe = exePath();
    path += L"\\" + toWide(exe.substr(exe.find_last_of("\\/") + 1));
    folder = toUtf8(path);
    if (!CreateDirectoryW(path.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS)
        return systemWords(GetLastError());
    const std::wstring probe = path + L"\\write-check.tmp";
    HANDLE file = CreateFileW(probe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (file == INVALID_HANDLE_VALUE) return systemWords(GetLastError());
    CloseHandle(file);
    return "";
}

}  // namespace

std::string webviewRuntimeVersion() {
    for (HKEY root : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER}) {
        std::string version = registeredVersion(root, KEY_WOW64_32KEY);
        if (version.empty()) version = registeredVersion(root, KEY_WOW64_64KEY);
        if (!version.empty()) return version;
    }
    return "";
}

std::string browserFailureText() {
    const std::string version = webviewRuntimeVersion();
    if (version.empty()) {
        return "Ravelin needs the Microsoft Edge WebView2 Runtime to show its window, and it is not "
               "installed "
               "on this computer.\n\nInstall \"Microsoft Edge WebView2 Runtime\" from Microsoft's website, "
               "then "
               "start Ravelin again.";
    }
    std::string text = "Ravelin could not open its window: the Microsoft Edge WebView2 Runtime " + version +
                       " is installed, but its browser did not start.\n\n";
    std::string folder;
    const std::string problem = dataFolderProblem(folder);
    if (!problem.empty()) {
        return text + "The browser's data folder cannot be written:\n" + folder + "\n(" + problem +
               ")\n\nMake sure the folder can be written (security software that protects folders may "
               "block it), then start Ravelin again.";
    }
    return text +
           "Restart the computer and start Ravelin again. If it still fails, repair the runtime: "
           "Settings > Apps > Microsoft Edge WebView2 Runtime > Modify > Repair.";
}

}  // namespace plat
