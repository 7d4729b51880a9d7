// Windows file sizes and folder listings.
#include <windows.h>

#include <shellapi.h>

#include "platform/platform.h"
#include "platform/win32/wide_text.h"

namespace plat {

namespace {

// FILETIME counts 100 ns steps from 1601; Unix time seconds from 1970.
int64_t unixSeconds(const FILETIME& time) {
    uint64_t steps = (static_cast<uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
    return static_cast<int64_t>(steps / 10000000ULL) - 11644473600LL;
}

}  // namespace

bool fileInfo(const std::string& path, FileInfo& info) {
    std::wstring wide;
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!widePath(path, wide) || !GetFileAttributesExW(wide.c_str(), GetFileExInfoStandard, &data))
        return false;
    if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) return false;
    info.size = (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    info.modified = unixSeconds(data.ftLastWriteTime);
    return true;
}

std::vector<std::string> listFiles(const std::string& folder) {
    std::vector<std::string> names;
    std::wstring wide;
    if (!widePath(folder + "\\*", wide)) return names;
    WIN32_FIND_DATAW found{};
    HANDLE search =
        FindFirstFileExW(wide.c_str(), FindExInfoBasic, &found, FindExSearchNameMatch, nullptr, 0);
    if (search == INVALID_HANDLE_VALUE) return names;
    do {
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
            names.push_back(toUtf8(found.cFileName, wcslen(found.cFileName)));
    } while (FindNextFileW(search, &found));
    FindClose(search);
    return names;
}

bool openInFileManager(const std::string& folder) {
    std::wstring wide;
    if (!widePath(folder, wide)) return false;
    HINSTANCE result = ShellExecuteW(nullptr, L"open", wide.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
    return reinterpret_cast<INT_PTR>(result) > 32;
}

}  // namespace plat
