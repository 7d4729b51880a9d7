// Pieces of the JSON texts handed to the page: written without white space.
#pragma once

#include <string>
#include <string_view>

namespace rv {

// A JSON string: the text between double quotes with a backslash before every double quote and
// backslash. Control characters (which only a hand-edited file can put into a name) are written as
// \u00XX so the text stays valid JSON. Ill-formed UTF-8 is written as U+FFFD: the result is always
// well-formed UTF-8, whatever bytes it is given.
std::string jsonString(std::string_view text);

inline const char* jsonBool(bool value) {
    return value ? "true" : "false";
}

// The playback speed as a standard stream writes a float: at most six significant digits, no
// trailing zeros (1 → "1", 0.5 → "0.5", 1.25 → "1.25").
std::string jsonSpeed(float speed);

// A measured rate, rounded to hundredths, without trailing zeros (9.98, 10, 0.5, 0); a value that
// is not a finite number of 0 or more is written 0.
std::string jsonRate(double perSecond);

}  // namespace rv
