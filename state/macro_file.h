// The macro file (.rvm): a recording as UTF-8 text a person can read and edit, one step per line.
//
//   Ravelin macro 1              first line: the format and its version
//   screen 1920 1080             header: the screen size it was recorded on, a name, a note
//   name Log in
//   note optional, one line
//   # a comment                  anywhere; blank lines too
//   0 move 640 400               steps: the wait before the step in milliseconds (to the
//   16.667 move-by 3 -1          microsecond: at most three decimals), then what it does
//   120 press left 640 400
//   wait 2000                    a wait of its own, added to the next step's
//
// The README lists every step word. Reading checks the whole text and either gives every step or
// refuses the file with the problems found; nothing is ever half read. Pure functions, any thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "state/state.h"

namespace rv {

inline constexpr const char* kMacroFirstLine = "Ravelin macro 1";
inline constexpr const char* kMacroExtension = ".rvm";
inline constexpr size_t kMacroMaxFileBytes = 128u * 1024 * 1024;  // larger files are refused unread
inline constexpr size_t kMacroMaxLineBytes = 1000;
inline constexpr size_t kMacroMaxSteps = 4000000;
inline constexpr int64_t kMacroMaxWaitUs = 86400LL * 1000000;          // one wait: 24 hours
inline constexpr int64_t kMacroMaxLengthUs = 366LL * 86400 * 1000000;  // the whole macro
inline constexpr size_t kMacroMaxNameBytes = 120;                      // library and header names
inline constexpr size_t kMacroMaxNoteBytes = 500;
inline constexpr size_t kMacroProblemsKept = 10;

struct MacroFile {
    int32_t screenWidth = 0;  // pixels; 0 when the file does not say
    int32_t screenHeight = 0;
    std::string name;
    std::string note;
    std::vector<MacroEvent> events;  // times in seconds from the start, to the microsecond
};

struct MacroProblem {
    size_t line = 0;  // from 1; 0 for the file as a whole
    std::string what;
};

struct MacroReading {
    std::optional<MacroFile> file;       // only when there was no problem at all
    std::vector<MacroProblem> problems;  // the first kMacroProblemsKept, in line order
    size_t problemCount = 0;             // all of them
};

// The file's text (CR LF line ends). Fails with a sentence in `problem` when an event cannot be
// written: a time that is not a number, goes backwards, or makes the macro longer than a year.
// Times are written rounded to the microsecond; a gap longer than one step's wait becomes
// `wait` lines.
bool writeMacroText(const MacroFile& file, std::string& text, std::string& problem);

// Reads a whole file's bytes (a UTF-8 byte-order mark, LF or CR LF line ends accepted).
MacroReading readMacroText(std::string_view bytes);

// "line 3: …" for each kept problem, one a line, then "… and N more" when some were not kept.
std::string macroProblemsText(const MacroReading& reading);

// Why `name` cannot name a macro in the library, or empty when it can: 1 to kMacroMaxNameBytes of
// UTF-8, no control characters, none of \ / : * ? " < > |, no leading or trailing blank, no trailing
// dot, not "." or "..", and not a name Windows keeps for devices (CON, NUL, COM1 …, also with an
// extension). The same rules on every platform, so a library moves between them.
std::string macroNameProblem(std::string_view name);

// The portable name of a virtual-key code ("A", "F8", "Space", "LeftShift", "Numpad5"), or
// "Key" + code for a code the table does not name. And back: the code of a name (any case), or -1.
std::string macroKeyName(int32_t vk);
int32_t macroKeyCode(std::string_view name);

}  // namespace rv
