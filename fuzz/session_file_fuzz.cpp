// The session file as any bytes on disk: a start never fails badly and leaves valid codes, and once
// the program has saved it, the file is stable: a start from the save saves the same bytes again.
// What is kept is checked against a small reader of the file's documented format: a start and a save
// keep every profile with the events of its valid lines, and a file that is not a session file is
// kept aside byte for byte.
//
// A start that loads nothing makes a profile without settings of its own, and the next start gives
// the current profile the settings in use (a fresh start's file is three lines, the one after it
// four); from a save of a loaded session on, every start and save must give the same bytes.
#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

#include "fuzz_support.h"
#include "platform/platform.h"
#include "state/numbers.h"
#include "state/session_file.h"
#include "state/state.h"

namespace {

// Writes `bytes` as the session file of a fresh state, starts as the program does, saves, and returns
// the bytes written; `loaded` tells whether the start loaded the file.
std::string startAndSave(const std::string& bytes, bool& loaded) {
    fuzz::freshState();
    rv::prepareSessionPath();
    plat::writeFile(rv::sessionPath, bytes);
    loaded = rv::loadSessionAtStart();
    fuzz::check(fuzz::codesValid(), "hotkeys and the key-spam target hold valid codes after a start");
    rv::saveSession();
    return plat::readFile(rv::sessionPath).value_or("<no file>");
}

// ---- the reference reader --------------------------------------------------------------------------

struct Profile {
    std::string name;
    std::vector<std::string> events;  // each as its eight values, the time as the file keeps it
};

struct Session {
    bool isSession = false;  // the first line is a settings line
    std::vector<Profile> profiles;
};

// A whole number by the file's rule: white space, one sign, digits, anything after them ignored; it
// must fit `low` to `high`.
bool wholeNumber(std::string_view text, long long low, long long high, long long& value) {
    size_t at = 0;
    while (at < text.size() && (text[at] == ' ' || (text[at] >= '\t' && text[at] <= '\r'))) ++at;
    bool negative = false;
    if (at < text.size() && (text[at] == '+' || text[at] == '-')) negative = text[at++] == '-';
    if (at >= text.size() || text[at] < '0' || text[at] > '9') return false;
    long long magnitude = 0;
    for (; at < text.size() && text[at] >= '0' && text[at] <= '9'; ++at) {
        magnitude = magnitude * 10 + (text[at] - '0');
        if (magnitude > (1ll << 33)) return false;
    }
    value = negative ? -magnitude : magnitude;
    return value >= low && value <= high;
}

// The eight values of an event line, or false when it is no event (fewer fields, a field that is not
// its kind of number, a time that is not finite). The flags are an unsigned number, a "-" taken
// modulo 2^32.
bool eventValues(std::string_view line, std::string& values) {
    std::vector<std::string_view> fields;
    size_t start = 0;
    while (fields.size() < 8) {
        if (start >= line.size()) return false;
        size_t comma = line.find(',', start);
        if (comma == std::string_view::npos) comma = line.size();
        fields.push_back(line.substr(start, comma - start));
        start = comma + 1;
    }
    values.clear();
    for (size_t i = 0; i < 8; ++i) {
        long long number = 0;
        if (i == 1) {
            auto time = rv::parseDouble(fields[1]);
            if (!time || !std::isfinite(*time)) return false;
            values += rv::formatG6(*time);
        } else if (i == 4) {
            std::string_view text = fields[4];
            if (!wholeNumber(text, -4294967295ll, 4294967295ll, number)) return false;
            values += std::to_string(static_cast<uint32_t>(number));
        } else {
            if (!wholeNumber(fields[i], INT32_MIN, INT32_MAX, number)) return false;
            values += std::to_string(i == 6 ? number != 0 : number);
        }
        values += i < 7 ? "," : "";
    }
    return true;
}

bool startsWith(std::string_view text, std::string_view prefix) {
    return text.substr(0, prefix.size()) == prefix;
}

Session readReference(const std::string& bytes) {
    std::string text;
    for (size_t i = 0; i < bytes.size(); ++i) {
        if (bytes[i] == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n') continue;
        text += bytes[i];
    }
    std::string_view rest = text;
    if (startsWith(rest, "\xEF\xBB\xBF")) rest.remove_prefix(3);
    std::vector<std::string_view> lines;
    while (!rest.empty()) {
        size_t end = rest.find('\n');
        lines.push_back(rest.substr(0, end));
        rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
    }
    Session session;
    if (lines.empty() || !startsWith(lines[0], "SETTINGS:")) return session;
    session.isSession = true;
    size_t first = lines.size() > 1 && startsWith(lines[1], "CURRENT:") ? 2 : 1;
    for (size_t i = first; i < lines.size(); ++i) {
        std::string_view line = lines[i];
        std::string values;
        if (startsWith(line, "PROFILE:")) {
            session.profiles.push_back(Profile{std::string(line.substr(8)), {}});
        } else if (startsWith(line, "PROFILESETTINGS:") || line.empty() || session.profiles.empty()) {
            continue;
        } else if (eventValues(line, values)) {
            session.profiles.back().events.push_back(values);
        }
    }
    return session;
}

std::string eventText(const rv::MacroEvent& e) {
    return std::to_string(e.kind) + "," + rv::formatG6(e.time) + "," + std::to_string(e.x) + "," +
           std::to_string(e.y) + "," + std::to_string(e.flags) + "," + std::to_string(e.vk) + "," +
           std::to_string(e.down ? 1 : 0) + "," + std::to_string(e.wheel);
}

// The live profiles hold what the reference read.
bool holdsReference(const Session& session) {
    if (rv::profiles.size() != session.profiles.size()) return false;
    for (size_t p = 0; p < session.profiles.size(); ++p) {
        const rv::Profile& live = rv::profiles[p];
        const Profile& read = session.profiles[p];
        if (live.name != read.name || live.events.size() != read.events.size()) return false;
        for (size_t e = 0; e < read.events.size(); ++e) {
            if (eventText(live.events[e]) != read.events[e]) return false;
        }
    }
    return true;
}

// The one file kept aside beside the session file, or nothing.
std::optional<std::string> keptAside() {
    std::optional<std::string> kept;
    const std::string folder = rv::sessionPath.substr(0, rv::sessionPath.find_last_of('/'));
    for (const std::string& name : plat::listFiles(folder)) {
        if (!startsWith(name, "session.mcr.unreadable-")) continue;
        if (kept) return std::string("<more than one>");
        kept = plat::readFile(folder + "/" + name);
    }
    return kept;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);
    const Session reference = readReference(input);
    bool loaded = false, loadedAgain = false;
    std::string first = startAndSave(input, loaded);
    fuzz::check(loaded == !reference.profiles.empty(), "a file with a profile loads, and only such a file");
    std::string text;
    for (size_t i = 0; i < input.size(); ++i) {
        if (input[i] == '\r' && i + 1 < input.size() && input[i + 1] == '\n') continue;
        text += input[i];
    }
    const bool unreadable = !reference.isSession && text != "" && text != "\xEF\xBB\xBF";
    fuzz::check(keptAside() == (unreadable ? std::optional<std::string>(input) : std::nullopt),
                "a file that is not a session file is kept aside byte for byte, and no other is");

    std::string second = startAndSave(first, loadedAgain);
    fuzz::check(loadedAgain, "a saved session loads");
    if (loaded) {
        fuzz::check(holdsReference(reference),
                    "a session saved and loaded again holds the events of its valid lines");
        fuzz::check(first == second, "a loaded session saves, starts and saves again to the same bytes");
    } else {
        std::string third = startAndSave(second, loadedAgain);
        fuzz::check(second == third, "a session saved after a start from it saves the same bytes");
    }
    return 0;
}
