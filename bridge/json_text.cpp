#include "bridge/json_text.h"

#include <cmath>
#include <cstdio>

#include "state/numbers.h"
#include "state/utf8_text.h"

namespace rv {

std::string jsonString(std::string_view text) {
    // The page host drops a whole reply that is not UTF-8, so one ill-formed byte (a name stored by
    // an older version in an 8-bit code page) would stop every later status from reaching the page.
    std::string valid = validUtf8(text);
    std::string out = "\"";
    for (char c : valid) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (static_cast<unsigned char>(c) < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x",
                          static_cast<unsigned>(static_cast<unsigned char>(c)));
            out += escaped;
        } else {
            out += c;
        }
    }
    out += '"';
    return out;
}

std::string jsonSpeed(float speed) {
    return formatG6(static_cast<double>(speed));
}

std::string jsonRate(double perSecond) {
    // Hundredths as an integer keep the text free of the locale and of binary fractions.
    if (!std::isfinite(perSecond) || perSecond < 0 || perSecond > 1e12) return "0";
    long long hundredths = std::llround(perSecond * 100);
    std::string text = std::to_string(hundredths / 100);
    int fraction = static_cast<int>(hundredths % 100);
    if (fraction != 0) {
        text += '.';
        text += static_cast<char>('0' + fraction / 10);
        if (fraction % 10 != 0) text += static_cast<char>('0' + fraction % 10);
    }
    return text;
}

}  // namespace rv
