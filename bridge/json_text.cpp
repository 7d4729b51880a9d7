#include "bridge/json_text.h"

#include <cstdio>

#include "state/numbers.h"

namespace rv {

std::string jsonString(std::string_view text) {
    std::string out = "\"";
    for (char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (static_cast<unsigned char>(c) < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned>(static_cast<unsigned char>(c)));
            out += escaped;
        } else {
            out += c;
        }
    }
    out += '"';
    return out;
}

std::string jsonSpeed(float speed) { return formatG6(static_cast<double>(speed)); }

}  // namespace rv
