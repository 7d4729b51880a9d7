// A panel message as any bytes from the pipe: answered, applied or ignored, never failing badly; a
// reply is one JSON text, and no message leaves a hotkey or the key-spam target with a code it may
// not hold. A changeSettings message changes exactly the settings it names, in order up to its first
// field that is not a clicker or key-spam setting with a value in range, to the values it sends;
// every other setting keeps its value.
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "bridge/panel_messages.h"
#include "bridge/panel_sync.h"
#include "fuzz_support.h"
#include "state/numbers.h"
#include "state/settings.h"
#include "state/state.h"

namespace {

// What changeSettings may change: the clicker and key-spam groups, and the settings kept by name but
// the hotkeys.
bool changeable(const rv::Setting& s) {
    return s.group == rv::SettingGroup::Clicker || s.group == rv::SettingGroup::KeySpam ||
           rv::changedByName(s);
}

// A whole number of at most ten digits after an optional '-', the whole field, within [low, high];
// appended to `out` in decimal.
bool strictNumber(std::string_view text, long long low, long long high, std::string& out) {
    const bool negative = !text.empty() && text[0] == '-';
    if (negative) text.remove_prefix(1);
    if (text.empty() || text.size() > 10 || text.find_first_not_of("0123456789") != std::string_view::npos)
        return false;
    const long long value = (negative ? -1 : 1) * std::stoll(std::string(text));
    out += std::to_string(value);
    return value >= low && value <= high;
}

// A click sequence as the README gives it: up to 32 points joined by '/', each X:Y:BUTTON:DOUBLE:WAIT,
// in the form the program keeps it (numbers in plain decimal); nothing when it is no such text.
std::optional<std::string> sequenceText(std::string_view text) {
    std::string out;
    size_t points = 0;
    while (!text.empty()) {
        const size_t slash = text.find('/');
        std::string_view point = text.substr(0, slash);
        std::vector<std::string_view> fields;
        for (;;) {
            const size_t colon = point.find(':');
            fields.push_back(point.substr(0, colon));
            if (colon == std::string_view::npos) break;
            point.remove_prefix(colon + 1);
        }
        const long long limits[5][2] = {
            {-1000000, 1000000}, {-1000000, 1000000}, {0, 2}, {0, 1}, {0, 86400000}};
        if (fields.size() != 5 || ++points > 32) return std::nullopt;
        if (!out.empty()) out += '/';
        for (size_t i = 0; i < 5; ++i) {
            if (i > 0) out += ':';
            if (!strictNumber(fields[i], limits[i][0], limits[i][1], out)) return std::nullopt;
        }
        if (slash == std::string_view::npos) break;
        text.remove_prefix(slash + 1);
        if (text.empty()) return std::nullopt;  // a final '/'
    }
    return out;
}

// A list of keys to spam as the README gives it: up to 7 key codes a key spammer can press, each in
// decimal digits, joined by '.'; "" for none. In the form the program keeps it; nothing when it is no
// such text.
std::optional<std::string> keyListText(std::string_view text) {
    std::string out;
    size_t keys = 0;
    while (!text.empty()) {
        const size_t dot = text.find('.');
        const std::string_view piece = text.substr(0, dot);
        if (piece.empty() || piece.size() > 3 ||
            piece.find_first_not_of("0123456789") != std::string_view::npos || ++keys > 7)
            return std::nullopt;
        const int32_t code = std::stoi(std::string(piece));
        if (!rv::isKeySpamTargetCode(code)) return std::nullopt;
        out += (out.empty() ? "" : ".") + std::to_string(code);
        if (dot == std::string_view::npos) break;
        text.remove_prefix(dot + 1);
        if (text.empty()) return std::nullopt;  // a final '.'
    }
    return out;
}

// The values a changeSettings payload sets, by the setting's place in the table, read from the rules
// the README gives for it rather than through the program's own reader; texts in `texts`.
std::map<size_t, double> expectedChanges(std::string_view payload, std::map<size_t, std::string>& texts) {
    std::map<size_t, double> changes;
    size_t start = 0;
    while (start < payload.size()) {
        size_t comma = payload.find(',', start);
        if (comma == std::string_view::npos) comma = payload.size();
        std::string_view field = payload.substr(start, comma - start);
        start = comma + 1;
        size_t equals = field.find('=');
        if (equals == std::string_view::npos) break;
        std::string_view name = field.substr(0, equals), text = field.substr(equals + 1);
        size_t index = 0;
        for (; index < rv::settingsCount(); ++index) {
            const rv::Setting& s = rv::settingAt(index);
            if (s.name && name == s.name) break;
        }
        if (index == rv::settingsCount()) break;
        const rv::Setting& s = rv::settingAt(index);
        if (!changeable(s)) break;
        if (s.type == rv::SettingType::Text || s.type == rv::SettingType::KeyList) {
            auto kept = s.type == rv::SettingType::Text ? sequenceText(text) : keyListText(text);
            if (!kept) break;
            texts[index] = *kept;
            continue;
        }
        std::optional<double> value;
        if (s.type == rv::SettingType::Speed) {
            value = rv::parseDouble(text);
        } else if (auto whole = rv::parseInt32(text)) {
            value = *whole;
        }
        if (!value || !(*value >= s.min && *value <= s.max)) break;
        if (s.isCode && !s.isCode(static_cast<int32_t>(*value))) break;
        // As the live value holds it.
        if (s.type == rv::SettingType::Flag) value = *value != 0 ? 1 : 0;
        if (s.type == rv::SettingType::Speed) value = static_cast<float>(*value);
        if (s.type == rv::SettingType::Integer) value = static_cast<int32_t>(*value);
        changes[index] = *value;
    }
    return changes;
}

// Every setting changeSettings reaches away from its default, each to a value of its own where its range
// allows, so that a value written to the wrong member shows.
void spreadSettings() {
    for (size_t i = 0; i < rv::settingsCount(); ++i) {
        const rv::Setting& s = rv::settingAt(i);
        if (!changeable(s)) continue;
        double value = s.min + static_cast<double>(i % 7) + 1;
        if (s.type == rv::SettingType::Flag) value = i % 2;
        if (s.type == rv::SettingType::Text) s.text->store("1:2:0:0:" + std::to_string(i));
        if (value > s.max || (s.isCode && !s.isCode(static_cast<int32_t>(value)))) continue;
        rv::storeSetting(s, value);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::freshState();
    rv::resetPanelSyncForTests();
    rv::profiles = {rv::Profile{rv::kDefaultProfileName, "", {}}};
    spreadSettings();
    std::vector<double> before;
    std::vector<std::string> textsBefore;
    for (size_t i = 0; i < rv::settingsCount(); ++i) {
        before.push_back(rv::settingValue(rv::settingAt(i)));
        textsBefore.push_back(rv::settingText(rv::settingAt(i)));
    }

    std::string reply = rv::servePanelMessage(reinterpret_cast<const char*>(data), size);
    fuzz::check(reply.empty() || fuzz::isJson(reply), "a reply is one JSON text");
    fuzz::check(fuzz::codesValid(), "hotkeys and the key-spam target hold valid codes");

    std::string_view text(reinterpret_cast<const char*>(data), size);
    text = text.substr(0, text.find('\0'));
    constexpr std::string_view kChange = "changeSettings|";
    if (text.substr(0, kChange.size()) != kChange) return 0;
    std::map<size_t, std::string> texts;
    std::map<size_t, double> changes = expectedChanges(text.substr(kChange.size()), texts);
    for (size_t i = 0; i < rv::settingsCount(); ++i) {
        if (rv::settingAt(i).type == rv::SettingType::Text ||
            rv::settingAt(i).type == rv::SettingType::KeyList) {
            auto changed = texts.find(i);
            fuzz::check(rv::settingText(rv::settingAt(i)) ==
                            (changed == texts.end() ? textsBefore[i] : changed->second),
                        "changeSettings sets a text to the value sent");
            continue;
        }
        auto changed = changes.find(i);
        const double expected = changed == changes.end() ? before[i] : changed->second;
        const double now = rv::settingValue(rv::settingAt(i));
        fuzz::check(now == expected || (now != now && expected != expected),
                    "changeSettings changes exactly the named settings to the values sent");
    }
    return 0;
}
