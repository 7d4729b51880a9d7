// The command line as Windows keeps it: the wide one, without the program name, as UTF-8.
#include <windows.h>

#include <string>

#include "platform/platform.h"
#include "platform/win32/wide_text.h"

namespace plat {

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

void prepareProcess() {
    // Before anything else loads a library: libraries named without a path come from the system
    // folder only, never from the executable's folder (where anyone may have put a copy).
    SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32);
}

// The 8-bit arguments are in the system code page; the wide command line keeps every character.
std::string commandLineArguments(int, char**) {
    return toUtf8(std::wstring(afterProgramName(GetCommandLineW())));
}

}  // namespace plat
