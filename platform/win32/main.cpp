// Windows entry point: the command line without the program name, as UTF-8.
#include <windows.h>

#include <string>

#include "app/app.h"
#include "platform/win32/wide_text.h"

namespace {

// The text after the program name, cut the way the C runtime cuts it for WinMain: a quoted name
// ends at the next quote, an unquoted one at the first blank; the blanks after it are skipped.
const wchar_t* afterProgramName(const wchar_t* line) {
    if (!line) return L"";
    if (*line == L'"') {
        ++line;
        while (*line && *line != L'"') ++line;
        if (*line == L'"') ++line;
    } else {
        while (*line && *line != L' ' && *line != L'\t') ++line;
    }
    while (*line == L' ' || *line == L'\t') ++line;
    return line;
}

}  // namespace

// The 8-bit command line of WinMain is in the system code page; the wide one keeps every character.
int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    // Before anything else loads a library: libraries named without a path come from the system
    // folder only, never from the executable's folder (where anyone may have put a copy).
    SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32);
    const wchar_t* arguments = afterProgramName(GetCommandLineW());
    return rv::ravelinMain(plat::toUtf8(std::wstring(arguments)));
}
