#include "state/utf8_text.h"

namespace rv {

namespace {

// The length of the well-formed sequence at `at` (1 to 4), or 0 when it is ill-formed; `used` is
// then the length of its maximal ill-formed part (at least 1), which one U+FFFD replaces.
size_t sequenceAt(std::string_view text, size_t at, size_t& used) {
    auto byte = [&](size_t i) { return static_cast<unsigned char>(text[i]); };
    unsigned char lead = byte(at);
    used = 1;
    if (lead < 0x80) return 1;
    size_t length;
    unsigned char low = 0x80, high = 0xBF;  // allowed range of the second byte
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0) low = 0xA0;   // overlong below U+0800
        if (lead == 0xED) high = 0x9F;  // surrogates U+D800..U+DFFF
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0) low = 0x90;   // overlong below U+10000
        if (lead == 0xF4) high = 0x8F;  // above U+10FFFF
    } else {
        return 0;  // a continuation byte, C0, C1 or F5..FF
    }
    for (size_t i = 1; i < length; ++i) {
        if (at + i >= text.size()) return 0;
        unsigned char next = byte(at + i);
        bool fits = i == 1 ? next >= low && next <= high : next >= 0x80 && next <= 0xBF;
        if (!fits) return 0;
        used = i + 1;
    }
    return length;
}

}  // namespace

std::string validUtf8(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    size_t at = 0;
    while (at < text.size()) {
        size_t used;
        size_t length = sequenceAt(text, at, used);
        if (length > 0) {
            out.append(text.substr(at, length));
            at += length;
        } else {
            out += "\xEF\xBF\xBD";
            at += used;
        }
    }
    return out;
}

size_t utf16Length(std::string_view text) {
    size_t units = 0;
    size_t at = 0;
    while (at < text.size()) {
        size_t used;
        size_t length = sequenceAt(text, at, used);
        units += length == 4 ? 2 : 1;
        at += length > 0 ? length : used;
    }
    return units;
}

}  // namespace rv
