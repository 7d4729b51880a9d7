// The line protocol of the test page host (ravelin-headless): one page call per input line,
// "NAME JSON-ARRAY", answered by one output line, the bound function's result as a JSON string.
#pragma once

#include <string>

namespace rv {

struct PageCallLine {
    enum class Kind {
        Blank,      // empty, blanks only, or a comment starting with '#': no call, no answer
        Close,      // "close": close the window as the user would
        Call,       // run `name` with `arguments`
        Malformed,  // answered with an error line, nothing runs
    };
    Kind kind = Kind::Blank;
    std::string name;
    std::string arguments;  // the argument array's JSON text, "[]" when the line gives none
};

PageCallLine parsePageCallLine(const std::string& line);

// Takes the first whole line (up to LF) out of `pending`, the bytes read so far, into `line` without
// its line end (LF or CR LF); false when `pending` holds no whole line yet.
bool takeLine(std::string& pending, std::string& line);

// The text as one JSON string that fits on one line: double quote, backslash and every control
// character escaped; other bytes (UTF-8 included) as they are.
std::string jsonStringLine(const std::string& text);

// The answer to a line that ran nothing: "error: " and what went wrong. Never a JSON string, so a
// driver can tell it from every result.
std::string pageCallError(const std::string& what);

// The name of a panel's calls files for the panel window titled "Ravelin (NAME)": NAME with only
// letters, digits, '-' and '_' kept; "Panel" when nothing is left.
std::string panelCallsName(const std::string& title);

}  // namespace rv
