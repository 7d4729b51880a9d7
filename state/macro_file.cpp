#include "state/macro_file.h"

#include <array>
#include <charconv>
#include <cmath>
#include <cstring>

#include "platform/input_codes.h"
#include "state/utf8_text.h"

namespace rv {

namespace {

// ---- key names ----------------------------------------------------------------------------------
// Our own words, the same on every platform (the systems' own key names differ between Windows
// versions, layouts and X servers). Letters, digits, F1–F24 and the numpad are filled in below.
struct KeyWord {
    int32_t vk;
    const char* name;
};
constexpr KeyWord kKeyWords[] = {
    {0x03, "Cancel"},
    {0x08, "Backspace"},
    {0x09, "Tab"},
    {0x0C, "Clear"},
    {0x0D, "Enter"},
    {0x10, "Shift"},
    {0x11, "Control"},
    {0x12, "Alt"},
    {0x13, "Pause"},
    {0x14, "CapsLock"},
    {0x15, "Kana"},
    {0x19, "Kanji"},
    {0x1B, "Escape"},
    {0x1C, "Convert"},
    {0x1D, "NonConvert"},
    {0x20, "Space"},
    {0x21, "PageUp"},
    {0x22, "PageDown"},
    {0x23, "End"},
    {0x24, "Home"},
    {0x25, "Left"},
    {0x26, "Up"},
    {0x27, "Right"},
    {0x28, "Down"},
    {0x29, "Select"},
    {0x2A, "Print"},
    {0x2B, "Execute"},
    {0x2C, "PrintScreen"},
    {0x2D, "Insert"},
    {0x2E, "Delete"},
    {0x2F, "Help"},
    {0x5B, "LeftWin"},
    {0x5C, "RightWin"},
    {0x5D, "Menu"},
    {0x5F, "Sleep"},
    {0x6A, "NumpadMultiply"},
    {0x6B, "NumpadAdd"},
    {0x6C, "NumpadSeparator"},
    {0x6D, "NumpadSubtract"},
    {0x6E, "NumpadDecimal"},
    {0x6F, "NumpadDivide"},
    {0x90, "NumLock"},
    {0x91, "ScrollLock"},
    {0xA0, "LeftShift"},
    {0xA1, "RightShift"},
    {0xA2, "LeftControl"},
    {0xA3, "RightControl"},
    {0xA4, "LeftAlt"},
    {0xA5, "RightAlt"},
    {0xA6, "BrowserBack"},
    {0xA7, "BrowserForward"},
    {0xA8, "BrowserRefresh"},
    {0xA9, "BrowserStop"},
    {0xAA, "BrowserSearch"},
    {0xAB, "BrowserFavorites"},
    {0xAC, "BrowserHome"},
    {0xAD, "VolumeMute"},
    {0xAE, "VolumeDown"},
    {0xAF, "VolumeUp"},
    {0xB0, "MediaNext"},
    {0xB1, "MediaPrevious"},
    {0xB2, "MediaStop"},
    {0xB3, "MediaPlayPause"},
    {0xB4, "LaunchMail"},
    {0xBA, "Semicolon"},
    {0xBB, "Equals"},
    {0xBC, "Comma"},
    {0xBD, "Minus"},
    {0xBE, "Period"},
    {0xBF, "Slash"},
    {0xC0, "Backquote"},
    {0xDB, "LeftBracket"},
    {0xDC, "Backslash"},
    {0xDD, "RightBracket"},
    {0xDE, "Quote"},
    {0xE2, "IntlBackslash"},
};

struct KeyTable {
    std::array<std::string, 256> names;
    KeyTable() {
        for (int32_t vk = 0; vk < 256; ++vk) names[vk] = "Key" + std::to_string(vk);
        for (int32_t i = 0; i < 10; ++i) names[0x30 + i] = std::string(1, static_cast<char>('0' + i));
        for (int32_t i = 0; i < 26; ++i) names[0x41 + i] = std::string(1, static_cast<char>('A' + i));
        for (int32_t i = 0; i < 10; ++i) names[0x60 + i] = "Numpad" + std::to_string(i);
        for (int32_t i = 0; i < 24; ++i) names[0x70 + i] = "F" + std::to_string(i + 1);
        for (const KeyWord& word : kKeyWords) names[word.vk] = word.name;
    }
};

const KeyTable& keyTable() {
    static const KeyTable table;
    return table;
}

bool sameWord(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
        if (x != y) return false;
    }
    return true;
}

// ---- buttons ------------------------------------------------------------------------------------
// A button step's word and what it stores: the press and release flag words, and the side button
// number kept in `vk` (the player presses the same side button again).
struct ButtonWord {
    const char* name;
    uint32_t press, release;
    int32_t vk;
};
constexpr ButtonWord kButtons[] = {
    {"left", MOUSEEVENTF_LEFTDOWN, MOUSEEVENTF_LEFTUP, 0},
    {"right", MOUSEEVENTF_RIGHTDOWN, MOUSEEVENTF_RIGHTUP, 0},
    {"middle", MOUSEEVENTF_MIDDLEDOWN, MOUSEEVENTF_MIDDLEUP, 0},
    {"side1", MOUSEEVENTF_XDOWN, MOUSEEVENTF_XUP, 5},
    {"side2", MOUSEEVENTF_XDOWN, MOUSEEVENTF_XUP, 6},
};

// ---- writing ------------------------------------------------------------------------------------

void appendInt(std::string& out, int64_t value) {
    char buffer[24];
    auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    out.append(buffer, result.ptr);
}

// Milliseconds with up to three decimals, trailing zeros dropped: 16667 µs → "16.667", 2000 → "2".
void appendMs(std::string& out, int64_t us) {
    appendInt(out, us / 1000);
    int64_t fraction = us % 1000;
    if (fraction == 0) return;
    char digits[4] = {static_cast<char>('0' + fraction / 100), static_cast<char>('0' + fraction / 10 % 10),
                      static_cast<char>('0' + fraction % 10), 0};
    size_t length = 3;
    while (digits[length - 1] == '0') --length;
    out += '.';
    out.append(digits, length);
}

const ButtonWord* buttonOf(const MacroEvent& event, bool& press) {
    for (const ButtonWord& button : kButtons) {
        if (event.vk != button.vk) continue;
        if (event.flags == button.press) return press = true, &button;
        if (event.flags == button.release) return press = false, &button;
    }
    return nullptr;
}

// The step's words after the wait. An event whose fields are not all what one of the plain words
// gives back is written as `event` with every field, so that nothing of it is lost.
void appendStep(std::string& out, const MacroEvent& event) {
    const bool plain = !event.down && event.wheel == 0;
    const bool noButton = event.flags == 0 && event.vk == 0;
    bool press = false;
    const ButtonWord* button = nullptr;
    if (event.kind == kAbsoluteMove && plain && noButton) {
        out += " move ";
        appendInt(out, event.x), out += ' ', appendInt(out, event.y);
    } else if (event.kind == kRelativeMove && plain && noButton) {
        out += " move-by ";
        appendInt(out, event.x), out += ' ', appendInt(out, event.y);
    } else if (event.kind == kButton && plain && (button = buttonOf(event, press))) {
        out += press ? " press " : " release ";
        out += button->name, out += ' ';
        appendInt(out, event.x), out += ' ', appendInt(out, event.y);
    } else if (event.kind == kWheel && !event.down && event.x == 0 && event.y == 0 && noButton &&
               event.wheel >= INT16_MIN && event.wheel <= INT16_MAX) {
        out += " wheel ";
        appendInt(out, event.wheel);
    } else if (event.kind == kKey && event.x == 0 && event.y == 0 && event.flags == 0 && event.wheel == 0 &&
               event.vk >= 0 && event.vk <= 255) {
        out += event.down ? " key-down " : " key-up ";
        out += keyTable().names[event.vk], out += ' ';
        appendInt(out, event.vk);
    } else {
        out += " event ";
        for (int64_t field : {int64_t{event.kind}, int64_t{event.x}, int64_t{event.y}, int64_t{event.flags},
                              int64_t{event.vk}, int64_t{event.down ? 1 : 0}})
            appendInt(out, field), out += ' ';
        appendInt(out, event.wheel);
    }
    out += "\r\n";
}

// A header text on one line: line ends and other control characters become blanks.
std::string oneLine(std::string_view text, size_t limit) {
    // Cut before a character that would not fit whole, so the line stays within the limit.
    if (text.size() > limit) {
        while (limit > 0 && (static_cast<unsigned char>(text[limit]) & 0xC0) == 0x80) --limit;
        text = text.substr(0, limit);
    }
    std::string line = validUtf8(text);
    for (char& c : line) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = ' ';
    }
    return line;
}

// ---- reading ------------------------------------------------------------------------------------

class Reader {
  public:
    MacroReading reading;
    MacroFile file;

    void problem(size_t line, std::string what) {
        ++reading.problemCount;
        if (reading.problems.size() < kMacroProblemsKept) reading.problems.push_back({line, std::move(what)});
    }

    void readLine(size_t number, std::string_view line) {
        line_ = number;
        tokens_.clear();
        size_t i = 0;
        while (i < line.size()) {
            while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
            if (i >= line.size() || line[i] == '#') break;
            size_t start = i;
            while (i < line.size() && line[i] != ' ' && line[i] != '\t') ++i;
            tokens_.push_back(line.substr(start, i - start));
        }
        if (tokens_.empty()) return;
        std::string_view first = tokens_[0];
        if (first == "screen" || first == "name" || first == "note") return header(first, line);
        if (first == "wait") {
            int64_t us = 0;
            if (!count(1) || !wait(tokens_[1], us)) return;
            pendingUs_ += us;
            pendingLine_ = number;
            return;
        }
        if (first[0] >= '0' && first[0] <= '9') return step();
        problem(number, "unknown word \"" + shown(first) + "\": a step starts with its wait in milliseconds");
    }

    void finish() {
        if (pendingUs_ > 0 && pendingLine_ > 0)
            problem(pendingLine_, "a wait at the end has no step after it to wait for");
        if (reading.problemCount == 0) reading.file = std::move(file);
    }

  private:
    size_t line_ = 0;
    std::vector<std::string_view> tokens_;
    bool stepsBegun_ = false;
    bool seenScreen_ = false, seenName_ = false, seenNote_ = false;
    int64_t clockUs_ = 0;    // the time of the last step
    int64_t pendingUs_ = 0;  // waits of their own since then
    size_t pendingLine_ = 0;
    size_t steps_ = 0;

    static std::string shown(std::string_view token) {
        std::string text = validUtf8(token.substr(0, 40));
        return token.size() > 40 ? text + "…" : text;
    }

    void header(std::string_view word, std::string_view line) {
        if (stepsBegun_)
            return problem(line_,
                           "\"" + std::string(word) + "\" belongs to the header, before the first step");
        bool& seen = word == "screen" ? seenScreen_ : word == "name" ? seenName_ : seenNote_;
        if (seen) return problem(line_, "a second \"" + std::string(word) + "\" line");
        seen = true;
        if (word == "screen") {
            if (!count(2)) return;
            auto width = number(tokens_[1], 1, 100000, "screen width");
            auto height = number(tokens_[2], 1, 100000, "screen height");
            if (width && height) file.screenWidth = *width, file.screenHeight = *height;
            return;
        }
        // The rest of the line after the word and one blank, as it is.
        size_t at = line.find(word) + word.size();
        std::string_view text = at < line.size() ? line.substr(at + 1) : std::string_view();
        size_t limit = word == "name" ? kMacroMaxNameBytes : kMacroMaxNoteBytes;
        if (text.size() > limit)
            return problem(
                line_, "the " + std::string(word) + " is longer than " + std::to_string(limit) + " bytes");
        (word == "name" ? file.name : file.note) = std::string(text);
    }

    bool count(size_t arguments) {
        if (tokens_.size() == arguments + 1) return true;
        std::string word(tokens_[0].substr(0, 20));
        if (tokens_.size() < arguments + 1) {
            problem(line_, "\"" + word + "\" needs " + std::to_string(arguments) + " value" +
                               (arguments == 1 ? "" : "s") + " after it");
        } else {
            problem(line_, "unexpected \"" + shown(tokens_[arguments + 1]) + "\" after the step");
        }
        return false;
    }

    // A whole number from `low` to `high`, written plainly (optional minus, digits).
    std::optional<int64_t> number(std::string_view token, int64_t low, int64_t high, const char* what) {
        int64_t value = 0;
        const char* end = token.data() + token.size();
        auto result = std::from_chars(token.data(), end, value);
        if (result.ec == std::errc() && result.ptr == end && value >= low && value <= high) return value;
        problem(line_, std::string(what) + " \"" + shown(token) + "\" is not a whole number from " +
                           std::to_string(low) + " to " + std::to_string(high));
        return std::nullopt;
    }

    // Milliseconds with at most three decimals, to microseconds.
    bool wait(std::string_view token, int64_t& us) {
        size_t point = token.find('.');
        std::string_view whole = token.substr(0, point);
        std::string_view decimals =
            point == std::string_view::npos ? std::string_view() : token.substr(point + 1);
        bool digitsOnly = !whole.empty() && whole.size() <= 12 && decimals.size() <= 3 &&
                          (point == std::string_view::npos || !decimals.empty());
        for (char c : whole) digitsOnly = digitsOnly && c >= '0' && c <= '9';
        for (char c : decimals) digitsOnly = digitsOnly && c >= '0' && c <= '9';
        if (!digitsOnly) {
            problem(line_, "the wait \"" + shown(token) +
                               "\" is not milliseconds (digits, and at most three after the point)");
            return false;
        }
        int64_t ms = 0, fraction = 0;
        for (char c : whole) ms = ms * 10 + (c - '0');
        for (size_t i = 0; i < 3; ++i)
            fraction = fraction * 10 + (i < decimals.size() ? decimals[i] - '0' : 0);
        us = ms * 1000 + fraction;
        if (us > kMacroMaxWaitUs) {
            problem(line_, "the wait " + std::string(token) + " ms is longer than 24 hours");
            return false;
        }
        return true;
    }

    void step() {
        stepsBegun_ = true;
        int64_t us = 0;
        if (!wait(tokens_[0], us)) return;
        if (tokens_.size() < 2) return problem(line_, "a wait without a step after it");
        // The step's words, as if they were the whole line.
        tokens_.erase(tokens_.begin());
        MacroEvent event;
        if (!stepEvent(event)) return;
        if (++steps_ > kMacroMaxSteps) {
            if (steps_ == kMacroMaxSteps + 1)
                problem(line_, "more than " + std::to_string(kMacroMaxSteps) + " steps");
            return;
        }
        int64_t at = clockUs_ + pendingUs_ + us;
        if (at > kMacroMaxLengthUs) {
            if (clockUs_ <= kMacroMaxLengthUs) problem(line_, "the macro would last more than a year");
            clockUs_ = at;
            return;
        }
        clockUs_ = at;
        pendingUs_ = 0, pendingLine_ = 0;
        event.time = static_cast<double>(at) / 1e6;
        file.events.push_back(event);
    }

    bool stepEvent(MacroEvent& event) {
        std::string_view word = tokens_[0];
        constexpr int64_t lo = INT32_MIN, hi = INT32_MAX;
        if (word == "move" || word == "move-by") {
            if (!count(2)) return false;
            auto x = number(tokens_[1], lo, hi, "X");
            auto y = number(tokens_[2], lo, hi, "Y");
            if (!x || !y) return false;
            event.kind = word == "move" ? kAbsoluteMove : kRelativeMove;
            event.x = static_cast<int32_t>(*x), event.y = static_cast<int32_t>(*y);
            return true;
        }
        if (word == "press" || word == "release") {
            if (!count(3)) return false;
            const ButtonWord* button = nullptr;
            for (const ButtonWord& candidate : kButtons) {
                if (tokens_[1] == candidate.name) button = &candidate;
            }
            auto x = number(tokens_[2], lo, hi, "X");
            auto y = number(tokens_[3], lo, hi, "Y");
            if (!button) {
                problem(line_,
                        "\"" + shown(tokens_[1]) + "\" is not a button (left, right, middle, side1, side2)");
                return false;
            }
            if (!x || !y) return false;
            event.kind = kButton;
            event.flags = word == "press" ? button->press : button->release;
            event.vk = button->vk;
            event.x = static_cast<int32_t>(*x), event.y = static_cast<int32_t>(*y);
            return true;
        }
        if (word == "wheel") {
            if (!count(1)) return false;
            auto delta = number(tokens_[1], INT16_MIN, INT16_MAX, "the wheel turn");
            if (!delta) return false;
            event.kind = kWheel, event.wheel = static_cast<int32_t>(*delta);
            return true;
        }
        if (word == "key-down" || word == "key-up") {
            if (tokens_.size() != 2 && !count(2)) return false;
            int32_t named = macroKeyCode(tokens_[1]);
            if (named < 0 && tokens_.size() == 2) {
                problem(line_, "\"" + shown(tokens_[1]) + "\" is not a key name; give its code after it");
                return false;
            }
            int32_t vk = named;
            if (tokens_.size() == 3) {
                auto code = number(tokens_[2], 0, 255, "the key code");
                if (!code) return false;
                if (named >= 0 && named != *code) {
                    problem(line_, "the key " + keyTable().names[named] + " has the code " +
                                       std::to_string(named) + ", not " + std::to_string(*code));
                    return false;
                }
                vk = static_cast<int32_t>(*code);
            }
            event.kind = kKey, event.vk = vk, event.down = word == "key-down";
            return true;
        }
        if (word == "event") {
            if (!count(7)) return false;
            auto kind = number(tokens_[1], lo, hi, "the kind");
            auto x = number(tokens_[2], lo, hi, "X");
            auto y = number(tokens_[3], lo, hi, "Y");
            auto flags = number(tokens_[4], 0, UINT32_MAX, "the flags");
            auto vk = number(tokens_[5], lo, hi, "the code");
            auto down = number(tokens_[6], 0, 1, "down");
            auto wheel = number(tokens_[7], lo, hi, "the wheel turn");
            if (!kind || !x || !y || !flags || !vk || !down || !wheel) return false;
            event = MacroEvent{static_cast<int32_t>(*kind),
                               0,
                               static_cast<int32_t>(*x),
                               static_cast<int32_t>(*y),
                               static_cast<uint32_t>(*flags),
                               static_cast<int32_t>(*vk),
                               *down != 0,
                               static_cast<int32_t>(*wheel)};
            return true;
        }
        problem(line_, "unknown step \"" + shown(word) +
                           "\" (move, move-by, press, release, wheel, key-down, key-up, event)");
        return false;
    }
};

// UTF-8 without zero bytes; plain ASCII, nearly every line, without a copy.
bool isText(std::string_view line) {
    bool ascii = true;
    for (char c : line) {
        if (c == '\0') return false;
        ascii = ascii && static_cast<unsigned char>(c) < 0x80;
    }
    return ascii || validUtf8(line) == line;
}

bool startsWith(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() && text.compare(0, prefix.size(), prefix) == 0;
}

}  // namespace

bool writeMacroText(const MacroFile& file, std::string& text, std::string& problem) {
    text.clear();
    text.reserve(96 + file.events.size() * 22);
    text += kMacroFirstLine;
    text += "\r\n";
    if (file.screenWidth > 0 && file.screenHeight > 0) {
        text += "screen ";
        appendInt(text, file.screenWidth), text += ' ', appendInt(text, file.screenHeight), text += "\r\n";
    }
    if (!file.name.empty()) text += "name " + oneLine(file.name, kMacroMaxNameBytes) + "\r\n";
    if (!file.note.empty()) text += "note " + oneLine(file.note, kMacroMaxNoteBytes) + "\r\n";
    text += "\r\n# the wait before each step in milliseconds, then the step\r\n";
    int64_t clock = 0;
    for (size_t i = 0; i < file.events.size(); ++i) {
        const MacroEvent& event = file.events[i];
        double us = std::round(event.time * 1e6);
        if (!std::isfinite(us) || us < 0 || us > static_cast<double>(kMacroMaxLengthUs)) {
            problem = "Step " + std::to_string(i + 1) + " has a time that no macro file can hold.";
            return false;
        }
        int64_t at = static_cast<int64_t>(us);
        if (at < clock) {
            problem = "Step " + std::to_string(i + 1) + " comes before the step ahead of it.";
            return false;
        }
        int64_t gap = at - clock;
        for (; gap > kMacroMaxWaitUs; gap -= kMacroMaxWaitUs) {
            text += "wait ";
            appendMs(text, kMacroMaxWaitUs);
            text += "\r\n";
        }
        appendMs(text, gap);
        appendStep(text, event);
        clock = at;
    }
    return true;
}

MacroReading readMacroText(std::string_view bytes) {
    Reader reader;
    if (bytes.size() > kMacroMaxFileBytes) {
        reader.problem(
            0, "the file is larger than " + std::to_string(kMacroMaxFileBytes / (1024 * 1024)) + " MB");
        return std::move(reader.reading);
    }
    if (startsWith(bytes, "\xEF\xBB\xBF")) bytes.remove_prefix(3);
    if (bytes.empty()) {
        reader.problem(0, "the file is empty");
        return std::move(reader.reading);
    }
    size_t position = 0, number = 0;
    while (position < bytes.size()) {
        size_t end = bytes.find('\n', position);
        if (end == std::string_view::npos) end = bytes.size();
        std::string_view line = bytes.substr(position, end - position);
        position = end + 1;
        ++number;
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (line.size() > kMacroMaxLineBytes && number > 1) {
            reader.problem(number, "the line is " + std::to_string(line.size()) +
                                       " bytes long; a line holds at most " +
                                       std::to_string(kMacroMaxLineBytes));
            continue;
        }
        bool text = isText(line);
        if (number == 1) {
            if (text && startsWith(line, "Ravelin macro ") && line != kMacroFirstLine) {
                reader.problem(1, "this is macro format \"" + std::string(line.substr(14, 20)) +
                                      "\"; this version of Ravelin reads format 1");
                break;
            }
            if (!text || line != kMacroFirstLine) {
                reader.problem(1, std::string("not a Ravelin macro file: the first line must be \"") +
                                      kMacroFirstLine + "\"");
                break;
            }
            continue;
        }
        if (!text) {
            reader.problem(number, "the line is not UTF-8 text");
            continue;
        }
        reader.readLine(number, line);
    }
    reader.finish();
    return std::move(reader.reading);
}

std::string macroProblemsText(const MacroReading& reading) {
    std::string text;
    for (const MacroProblem& problem : reading.problems) {
        if (!text.empty()) text += '\n';
        if (problem.line > 0) text += "line " + std::to_string(problem.line) + ": ";
        text += problem.what;
    }
    if (reading.problemCount > reading.problems.size())
        text += "\n… and " + std::to_string(reading.problemCount - reading.problems.size()) + " more";
    return text;
}

std::string macroNameProblem(std::string_view name) {
    if (name.empty()) return "A macro needs a name.";
    if (name.size() > kMacroMaxNameBytes)
        return "A macro name holds at most " + std::to_string(kMacroMaxNameBytes) + " bytes.";
    if (validUtf8(name) != name) return "A macro name must be UTF-8 text.";
    for (char c : name) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F)
            return "A macro name cannot hold control characters.";
        if (std::strchr("\\/:*?\"<>|", c))
            return std::string("A macro name cannot hold ") + c + " (none of \\ / : * ? \" < > |).";
    }
    if (name.front() == ' ' || name.back() == ' ') return "A macro name cannot begin or end with a blank.";
    if (name.back() == '.') return "A macro name cannot end with a dot.";
    // Windows opens the device, not a file, for these names, with any extension.
    std::string_view stem = name.substr(0, name.find('.'));
    while (!stem.empty() && stem.back() == ' ') stem.remove_suffix(1);
    static const char* const kDevices[] = {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"};
    bool device = false;
    for (const char* word : kDevices) device = device || sameWord(stem, word);
    // COM0 to COM9 and LPT0 to LPT9, also with a superscript 1, 2 or 3.
    bool port =
        stem.size() >= 4 && (sameWord(stem.substr(0, 3), "COM") || sameWord(stem.substr(0, 3), "LPT"));
    std::string_view digit = port ? stem.substr(3) : std::string_view();
    if (port && ((digit.size() == 1 && digit[0] >= '0' && digit[0] <= '9') || digit == "\xC2\xB9" ||
                 digit == "\xC2\xB2" || digit == "\xC2\xB3"))
        device = true;
    if (device) return "\"" + std::string(stem) + "\" is a name Windows keeps for a device.";
    return "";
}

std::string macroKeyName(int32_t vk) {
    if (vk >= 0 && vk <= 255) return keyTable().names[vk];
    return "Key" + std::to_string(vk);
}

int32_t macroKeyCode(std::string_view name) {
    const KeyTable& table = keyTable();
    for (int32_t vk = 0; vk < 256; ++vk) {
        if (sameWord(name, table.names[vk])) return vk;
    }
    // "Key65" names any code, also one the table has a word for.
    if (name.size() > 3 && sameWord(name.substr(0, 3), "key")) {
        int32_t code = -1;
        auto result = std::from_chars(name.data() + 3, name.data() + name.size(), code);
        if (result.ec == std::errc() && result.ptr == name.data() + name.size() && code >= 0 && code <= 255 &&
            name[3] != '-')
            return code;
    }
    return -1;
}

}  // namespace rv
