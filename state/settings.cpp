#include "state/settings.h"

#include <charconv>
#include <cmath>
#include <limits>

#include "state/click_sequence.h"
#include "state/key_codes.h"
#include "state/numbers.h"
#include "state/preferences.h"
#include "state/state.h"

namespace rv {

namespace {

constexpr double kIntMin = std::numeric_limits<int32_t>::min();
constexpr double kIntMax = std::numeric_limits<int32_t>::max();
constexpr double kMaxIntervalPart = 99999;
constexpr double kMaxRepeatTimes = 999999999;

using S = SettingScope;
using G = SettingGroup;

Setting integer(const char* name, S scope, G group, std::atomic<int32_t>& value, double byDefault, double min,
                double max, int profileField) {
    return {name,    SettingType::Integer, scope, group, &value, nullptr, nullptr, byDefault, min, max,
            nullptr, profileField,         true};
}
// A code (hotkey, key): kept out of getSettings, which names keys in the status text instead.
Setting code(const char* name, S scope, std::atomic<int32_t>& value, double byDefault,
             bool (*isCode)(int32_t), int profileField) {
    G group = scope == S::Global ? G::Hotkey : G::None;
    return {name,   SettingType::Integer, scope, group, &value, nullptr, nullptr, byDefault, kIntMin, kIntMax,
            isCode, profileField,         false};
}
Setting flag(const char* name, std::atomic<bool>& value, bool byDefault) {
    return {name,    SettingType::Flag,     S::Global, G::Tracker, nullptr, &value,
            nullptr, byDefault ? 1.0 : 0.0, 0,         1,          nullptr, -1,
            true};
}

// Kept by name, changed through changeSettings (page, panels, pipe).
Setting named(const char* name, S scope, std::atomic<int32_t>& value, double byDefault, double min,
              double max) {
    return {name,    SettingType::Integer,
            scope,   G::None,
            &value,  nullptr,
            nullptr, byDefault,
            min,     max,
            nullptr, -1,
            true,    scope == S::Profile ? SettingStore::ProfileOptions : SettingStore::AppSettings};
}
// The modifiers of a hotkey: kept in appsettings.txt (the session line of older versions has no room
// for them, and a plain hotkey's 0 is not written), changed with their hotkey by reassignment.
Setting modifiers(const char* name, std::atomic<int32_t>& value) {
    return {name,      SettingType::Integer,
            S::Global, G::Hotkey,
            &value,    nullptr,
            nullptr,   0,
            0,         kModifierMask,
            nullptr,   -1,
            false,     SettingStore::AppSettings};
}
// The preferences: first lines of appsettings.txt, written whatever their value.
Setting preference(const char* name, G group, std::atomic<bool>& value, bool byDefault) {
    return {name,    SettingType::Flag,        S::Global, group, nullptr, &value,
            nullptr, byDefault ? 1.0 : 0.0,    0,         1,     nullptr, -1,
            false,   SettingStore::Preferences};
}
Setting preference(const char* name, G group, std::atomic<int32_t>& value, int32_t byDefault) {
    return {name,    SettingType::Integer,           S::Global, group,   &value,  nullptr,
            nullptr, static_cast<double>(byDefault), kIntMin,   kIntMax, nullptr, -1,
            false,   SettingStore::Preferences};
}
// A whole number from 0 to `max` alone in a file of its own (0 by default, and when the file holds
// anything else).
Setting ownFile(const char* name, std::atomic<int32_t>& value, double max, const char* file) {
    Setting setting{
        name,  SettingType::Integer, S::Global, G::None, &value, nullptr, nullptr, 0, 0, max, nullptr, -1,
        false, SettingStore::OwnFile};
    setting.file = file;
    return setting;
}
bool isStopHotkeyCode(int32_t code) {
    return code == 0 || isHotkeyCode(code);
}
constexpr double kMaxPressMs = 10000;
constexpr double kMaxIntervalMs = 86400000;   // a day
constexpr double kMaxLimitSeconds = 8640000;  // a hundred days
constexpr double kMaxJitterPx = 1000;
constexpr double kMostPasses = 1000000;

std::optional<std::string> sequenceRule(std::string_view text, bool stored) {
    if (stored) return formatClickSequence(readClickSequence(text));
    auto points = parseClickSequence(text);
    if (!points) return std::nullopt;
    return formatClickSequence(*points);
}

// In the order of the session line, then the settings kept by name.
const Setting kSettings[] = {
    integer("sh", S::Profile, G::Clicker, sh, 0, 0, kMaxIntervalPart, 0),
    integer("sm", S::Profile, G::Clicker, sm, 0, 0, kMaxIntervalPart, 1),
    integer("ss", S::Profile, G::Clicker, ss, 0, 0, kMaxIntervalPart, 2),
    integer("sms", S::Profile, G::Clicker, sms, kDefaultIntervalMs, 0, kMaxIntervalPart, 3),
    integer("sbtn", S::Profile, G::Clicker, sbtn, 0, 0, 2, 4),
    integer("stype", S::Profile, G::Clicker, stype, 0, 0, 1, 5),
    integer("rptMode", S::Profile, G::Clicker, rptMode, kDefaultRepeatMode, 0, 1, 6),
    integer("rptTimes", S::Profile, G::Clicker, rptTimes, kDefaultRepeatTimes, 1, kMaxRepeatTimes, 7),
    integer("locMode", S::Profile, G::Clicker, locMode, 0, 0, 2, 8),
    integer("fixedX", S::Profile, G::None, fixedX, 0, kIntMin, kIntMax, 9),
    integer("fixedY", S::Profile, G::None, fixedY, 0, kIntMin, kIntMax, 10),
    flag("tmv", tmv, true),
    flag("tclk", tclk, true),
    flag("tscr", tscr, true),
    flag("tkey", tkey, true),
    flag("trel", trel, false),
    {"tspd", SettingType::Speed, S::Global, G::Tracker, nullptr, nullptr, &tspd, kDefaultPlaybackSpeed,
     kSlowestSpeed, kFastestSpeed, nullptr, -1, true},
    flag("tloop", tloop, false),
    integer("tloopMs", S::Global, G::Tracker, tloopMs, kDefaultLoopPauseMs, 0, kMaxRepeatTimes, -1),
    code("hkRec", S::Global, hkRec, kDefaultRecordHotkey, &isHotkeyCode, -1),
    code("hkPlay", S::Global, hkPlay, kDefaultPlayHotkey, &isHotkeyCode, -1),
    {"", SettingType::Reserved, S::Global, G::None, nullptr, nullptr, nullptr, 0, 0, 0, nullptr, -1, false},
    code("hkAuto", S::Global, hkAuto, kDefaultClickerHotkey, &isHotkeyCode, -1),
    integer("ksh", S::Profile, G::KeySpam, ksh, 0, 0, kMaxIntervalPart, 11),
    integer("ksm", S::Profile, G::KeySpam, ksm, 0, 0, kMaxIntervalPart, 12),
    integer("kss", S::Profile, G::KeySpam, kss, 0, 0, kMaxIntervalPart, 13),
    integer("ksms", S::Profile, G::KeySpam, ksms, kDefaultIntervalMs, 0, kMaxIntervalPart, 14),
    integer("ksRptMode", S::Profile, G::KeySpam, ksRptMode, kDefaultRepeatMode, 0, 1, 15),
    integer("ksRptTimes", S::Profile, G::KeySpam, ksRptTimes, kDefaultRepeatTimes, 1, kMaxRepeatTimes, 16),
    code("hkKeySpam", S::Global, hkKeySpam, kDefaultKeySpamHotkey, &isHotkeyCode, -1),
    code("keySpamTarget", S::Profile, keySpamTarget, kDefaultKeySpamTarget, &isKeySpamTargetCode, 17),
    named("clickPressMs", S::Profile, clickPressMs, kAutomaticPress, kAutomaticPress, kMaxPressMs),
    named("clickPressMaxMs", S::Profile, clickPressMaxMs, 0, 0, kMaxPressMs),
    named("clickIntervalMaxMs", S::Profile, clickIntervalMaxMs, 0, 0, kMaxIntervalMs),
    named("clickJitterPx", S::Profile, clickJitterPx, 0, 0, kMaxJitterPx),
    named("clickLimitSeconds", S::Profile, clickLimitSeconds, 0, 0, kMaxLimitSeconds),
    named("keySpamPressMs", S::Profile, keySpamPressMs, kAutomaticPress, kAutomaticPress, kMaxPressMs),
    named("keySpamPressMaxMs", S::Profile, keySpamPressMaxMs, 0, 0, kMaxPressMs),
    named("keySpamIntervalMaxMs", S::Profile, keySpamIntervalMaxMs, 0, 0, kMaxIntervalMs),
    named("keySpamLimitSeconds", S::Profile, keySpamLimitSeconds, 0, 0, kMaxLimitSeconds),
    named("keySpamModifiers", S::Profile, keySpamModifiers, 0, 0, 15),
    named("clickActivation", S::Global, clickActivation, kToggle, kToggle, kHold),
    named("keySpamActivation", S::Global, keySpamActivation, kToggle, kToggle, kHold),
    named("playActivation", S::Global, playActivation, kToggle, kToggle, kHold),
    named("playLimitSeconds", S::Global, playLimitSeconds, 0, 0, kMaxLimitSeconds),
    {"hkStopAll", SettingType::Integer, S::Global, G::Hotkey, &hkStopAll, nullptr, nullptr, 0, kIntMin,
     kIntMax, &isStopHotkeyCode, -1, false, SettingStore::AppSettings},
    {"hkProfile1", SettingType::Integer, S::Global, G::Hotkey, &hkProfile1, nullptr, nullptr, 0, kIntMin,
     kIntMax, &isStopHotkeyCode, -1, false, SettingStore::AppSettings},
    {"hkProfile2", SettingType::Integer, S::Global, G::Hotkey, &hkProfile2, nullptr, nullptr, 0, kIntMin,
     kIntMax, &isStopHotkeyCode, -1, false, SettingStore::AppSettings},
    {"hkProfile3", SettingType::Integer, S::Global, G::Hotkey, &hkProfile3, nullptr, nullptr, 0, kIntMin,
     kIntMax, &isStopHotkeyCode, -1, false, SettingStore::AppSettings},
    {"failSafe", SettingType::Flag, S::Global, G::None, nullptr, &failSafe, nullptr, 1, 0, 1, nullptr, -1,
     true, SettingStore::AppSettings},
    {"keySpamKeys", SettingType::KeyList, S::Profile, G::None, &keySpamKeys[0], nullptr, nullptr, 0, 0, 0,
     nullptr, -1, true, SettingStore::ProfileOptions},
    modifiers("hkRecModifiers", hkRecModifiers),
    modifiers("hkPlayModifiers", hkPlayModifiers),
    modifiers("hkAutoModifiers", hkAutoModifiers),
    modifiers("hkKeySpamModifiers", hkKeySpamModifiers),
    modifiers("hkStopAllModifiers", hkStopAllModifiers),
    modifiers("hkProfile1Modifiers", hkProfile1Modifiers),
    modifiers("hkProfile2Modifiers", hkProfile2Modifiers),
    modifiers("hkProfile3Modifiers", hkProfile3Modifiers),
    {"commandStartsMinimized", SettingType::Flag, S::Global, G::None, nullptr, &commandStartsMinimized,
     nullptr, 1, 0, 1, nullptr, -1, true, SettingStore::AppSettings},
    {"clickSequence", SettingType::Text, S::Profile, G::None, nullptr, nullptr, nullptr, 0, 0,
     static_cast<double>(kMaxSequencePoints), nullptr, -1, true, SettingStore::ProfileOptions, &clickSequence,
     &sequenceRule},
    preference("alwaysOnTop", G::Preference, alwaysOnTop, false),
    preference("launchOnStartup", G::Preference, launchOnStartup, false),
    preference("startMinimized", G::Preference, startMinimized, false),
    preference("hotkeysEnabled", G::Preference, hotkeysEnabled, true),
    preference("disableAnimations", G::Preference, disableAnimations, false),
    preference("windowX", G::None, windowX, 0),
    preference("windowY", G::None, windowY, 0),
    preference("windowWidth", G::Window, windowWidth, kDefaultWindowWidth),
    preference("windowHeight", G::Window, windowHeight, kDefaultWindowHeight),
    preference("windowMaximized", G::Window, windowMaximized, false),
    ownFile("playRepeat", playRepeat, kMostPasses, "playback.txt"),
    ownFile("clickStartDelay", clickStartDelay, kLongestStartDelay, "clickdelay.txt"),
};
constexpr size_t kSettingsCount = sizeof kSettings / sizeof kSettings[0];

// The profile settings text's fields, in their order.
struct ProfileOrder {
    const Setting* fields[kSettingsCount] = {};
    size_t count = 0;
    ProfileOrder() {
        for (const Setting& s : kSettings) {
            if (s.profileField < 0) continue;
            fields[s.profileField] = &s;
            if (static_cast<size_t>(s.profileField) + 1 > count)
                count = static_cast<size_t>(s.profileField) + 1;
        }
    }
};
const ProfileOrder& profileOrder() {
    static const ProfileOrder order;
    return order;
}

void appendNumber(std::string& out, double value) {
    if (value == std::floor(value) && std::fabs(value) <= kIntMax + 1.0) {
        out += std::to_string(static_cast<int64_t>(value));
    } else {
        out += formatG6(value);
    }
}

}  // namespace

const Setting* settingsBegin() {
    return kSettings;
}
const Setting* settingsEnd() {
    return kSettings + kSettingsCount;
}
size_t settingsCount() {
    return kSettingsCount;
}

size_t sessionLineCount() {
    static const size_t count = [] {
        size_t n = 0;
        while (n < kSettingsCount && kSettings[n].store == SettingStore::SessionLine) ++n;
        return n;
    }();
    return count;
}

std::string namedSettingsText(SettingStore store, char separator) {
    std::string out;
    for (const Setting& s : kSettings) {
        if (s.store != store) continue;
        if (s.type == SettingType::Text ? s.text->load().empty() : settingValue(s) == s.byDefault) continue;
        if (!out.empty()) out += separator;
        out += s.name;
        out += '=';
        out += settingText(s);
    }
    return out;
}

void applyNamedSettingsText(SettingStore store, std::string_view text, char separator) {
    settingsDefaults(store);
    for (const std::string& field : splitFields(text, separator)) {
        size_t equals = field.find('=');
        if (equals == std::string::npos) continue;
        const Setting* s = settingNamed(std::string_view(field).substr(0, equals));
        if (!s || s->store != store) continue;
        const std::string_view value = std::string_view(field).substr(equals + 1);
        if (s->type == SettingType::Text) {
            if (auto kept = s->textRule(value, true)) s->text->store(*kept);
        } else {
            setSettingText(*s, value);
        }
    }
}

const Setting* settingNamed(std::string_view name) {
    if (name.empty()) return nullptr;
    for (const Setting& s : kSettings) {
        if (name == s.name) return &s;
    }
    return nullptr;
}

double settingValue(const Setting& setting) {
    switch (setting.type) {
        case SettingType::Integer:
            return setting.integer->load();
        case SettingType::Flag:
            return setting.flag->load() ? 1 : 0;
        case SettingType::Speed:
            return setting.speed->load();
        case SettingType::KeyList: {
            // A number that tells lists apart (for the page's change fingerprint), 0 only for none.
            double value = 0;
            for (size_t i = 0; i < kKeySpamMoreKeys; ++i)
                value = std::fmod(value * 257 + setting.integer[i].load(), 4503599627370496.0);
            return value;
        }
        case SettingType::Reserved:
        case SettingType::Text:
            break;
    }
    return 0;
}

void storeSetting(const Setting& setting, double value) {
    switch (setting.type) {
        case SettingType::Integer:
            setting.integer->store(static_cast<int32_t>(value));
            break;
        case SettingType::Flag:
            setting.flag->store(value != 0);
            break;
        case SettingType::Speed:
            setting.speed->store(static_cast<float>(value));
            break;
        case SettingType::KeyList:
            // Only the default, none, is a number.
            if (value == 0) {
                for (size_t i = 0; i < kKeySpamMoreKeys; ++i) setting.integer[i].store(0);
            }
            break;
        case SettingType::Reserved:
        case SettingType::Text:
            break;
    }
}

void settingDefault(const Setting& setting) {
    if (setting.type == SettingType::Text) {
        setting.text->store("");
    } else {
        storeSetting(setting, setting.byDefault);
    }
}

std::optional<std::string> acceptSettingText(const Setting& setting, std::string_view text) {
    if (setting.type == SettingType::Text) return setting.textRule(text, false);
    if (setting.type == SettingType::KeyList) {
        auto keys = parseKeyList(text);
        if (!keys) return std::nullopt;
        std::string canonical;
        for (int32_t code : *keys) canonical += (canonical.empty() ? "" : ".") + std::to_string(code);
        return canonical;
    }
    // A number is kept as it was sent, so that storing it reads exactly the value checked here.
    if (!parseSettingValue(setting, text)) return std::nullopt;
    return std::string(text);
}

void storeAcceptedText(const Setting& setting, const std::string& accepted) {
    if (setting.type == SettingType::Text) {
        setting.text->store(accepted);
    } else if (setting.type == SettingType::KeyList) {
        setSettingText(setting, accepted);
    } else if (auto value = parseSettingValue(setting, accepted)) {
        storeSetting(setting, *value);
    }
}

std::string settingText(const Setting& setting) {
    if (setting.type == SettingType::Text) return setting.text->load();
    std::string out;
    appendStoredField(out, setting);
    return out;
}

void settingsDefaults(SettingScope scope) {
    for (const Setting& s : kSettings) {
        if (s.scope == scope && s.type != SettingType::Reserved) settingDefault(s);
    }
}

void settingsDefaults(SettingGroup group) {
    for (const Setting& s : kSettings) {
        if (s.group == group) settingDefault(s);
    }
}

void settingsDefaults(SettingStore store) {
    for (const Setting& s : kSettings) {
        if (s.store == store) settingDefault(s);
    }
}

bool hasOwnCalls(const Setting& setting) {
    return setting.store == SettingStore::Preferences || setting.store == SettingStore::OwnFile;
}

bool changedByName(const Setting& setting) {
    return (setting.store == SettingStore::ProfileOptions || setting.store == SettingStore::AppSettings) &&
           setting.group != SettingGroup::Hotkey;
}

std::optional<double> parseSettingValue(const Setting& setting, std::string_view text) {
    std::optional<double> value;
    if (setting.type == SettingType::Speed) {
        value = parseDouble(text);
        if (value && !std::isfinite(*value)) value.reset();
    } else if (setting.type != SettingType::Reserved && setting.type != SettingType::Text &&
               setting.type != SettingType::KeyList) {
        if (auto whole = parseInt32(text)) value = *whole;
    }
    if (!value || *value < setting.min || *value > setting.max) return std::nullopt;
    if (setting.isCode && !setting.isCode(static_cast<int32_t>(*value))) return std::nullopt;
    return value;
}

bool setSettingText(const Setting& setting, std::string_view text) {
    if (setting.type == SettingType::KeyList) {
        auto keys = parseKeyList(text);
        if (!keys) return false;
        for (size_t i = 0; i < kKeySpamMoreKeys; ++i)
            setting.integer[i].store(i < keys->size() ? (*keys)[i] : 0);
        return true;
    }
    auto value = parseSettingValue(setting, text);
    if (!value) return false;
    storeSetting(setting, *value);
    return true;
}

std::string keyListText(const std::atomic<int32_t>* keys) {
    std::string text;
    for (size_t i = 0; i < kKeySpamMoreKeys; ++i) {
        const int32_t code = keys[i].load();
        if (code == 0) break;
        if (!text.empty()) text += '.';
        text += std::to_string(code);
    }
    return text;
}

std::optional<std::vector<int32_t>> parseKeyList(std::string_view text) {
    std::vector<int32_t> keys;
    if (text.empty()) return keys;
    if (text.back() == '.') return std::nullopt;
    for (const std::string& piece : splitFields(text, '.')) {
        // Digits only: the text travels inside comma-, semicolon- and equals-separated lines.
        if (piece.empty() || piece.size() > 3 || piece.find_first_not_of("0123456789") != std::string::npos)
            return std::nullopt;
        const int32_t code = std::stoi(piece);
        if (!isKeySpamTargetCode(code) || keys.size() == kKeySpamMoreKeys) return std::nullopt;
        keys.push_back(code);
    }
    return keys;
}

bool applyStoredField(const Setting& setting, std::string_view text) {
    switch (setting.type) {
        case SettingType::Integer: {
            auto value = parseInt32(text);
            if (!value) return false;
            if (setting.isCode && !setting.isCode(*value)) return true;
            setting.integer->store(*value);
            return true;
        }
        case SettingType::Flag:
            setting.flag->store(text == "1");
            return true;
        case SettingType::Speed: {
            auto value = parseFloat(text);
            if (!value) return false;
            setting.speed->store(*value);
            return true;
        }
        case SettingType::KeyList:
            setSettingText(setting, text);
            return true;
        case SettingType::Reserved:
        case SettingType::Text:
            break;
    }
    return true;
}

void appendStoredField(std::string& out, const Setting& setting) {
    switch (setting.type) {
        case SettingType::Integer: {
            char buffer[16];
            auto result = std::to_chars(buffer, buffer + sizeof buffer, setting.integer->load());
            out.append(buffer, result.ptr);
            break;
        }
        case SettingType::Flag:
            out += setting.flag->load() ? '1' : '0';
            break;
        case SettingType::Speed:
            out += formatG6(static_cast<double>(setting.speed->load()));
            break;
        case SettingType::KeyList:
            out += keyListText(setting.integer);
            break;
        case SettingType::Reserved:
            out += '0';
            break;
        case SettingType::Text:
            out += setting.text->load();
            break;
    }
}

size_t profileFieldCount() {
    return profileOrder().count;
}

const Setting& profileField(size_t i) {
    return *profileOrder().fields[i];
}

void applyStoredFields(const std::vector<std::string>& fields, size_t count, const Setting& (*at)(size_t),
                       const size_t* blockEnds, size_t blocks) {
    size_t start = 0;
    for (size_t b = 0; b < blocks; ++b) {
        if (fields.size() < blockEnds[b]) return;
        for (size_t i = start; i < blockEnds[b]; ++i) {
            if (!applyStoredField(at(i), fields[i])) break;
        }
        start = blockEnds[b];
    }
    for (size_t i = start; i < count && i < fields.size(); ++i) {
        if (!applyStoredField(at(i), fields[i])) return;
    }
}

ClickerSettings clickerSettings() {
    return {
        {Hours{sh.load()}, Minutes{sm.load()}, Seconds{ss.load()}, Milliseconds{sms.load()}},
        sbtn.load(),
        stype.load() == 1,
        rptMode.load() == 0,
        rptTimes.load(),
        locMode.load() == 1,
        fixedX.load(),
        fixedY.load(),
        {clickIntervalMaxMs.load(), clickPressMs.load(), clickPressMaxMs.load(), clickLimitSeconds.load()},
        clickJitterPx.load(),
        locMode.load() == 2,
        locMode.load() == 2 ? clickSequencePoints() : std::vector<SequencePoint>()};
}

KeySpamSettings keySpamSettings() {
    KeySpamSettings settings{
        {Hours{ksh.load()}, Minutes{ksm.load()}, Seconds{kss.load()}, Milliseconds{ksms.load()}},
        ksRptMode.load() == 0,
        ksRptTimes.load(),
        keySpamTarget.load(),
        {keySpamIntervalMaxMs.load(), keySpamPressMs.load(), keySpamPressMaxMs.load(),
         keySpamLimitSeconds.load()},
        keySpamModifiers.load(),
        {},
        0};
    settings.keys[settings.keyCount++] = settings.key;
    for (size_t i = 0; i < kKeySpamMoreKeys; ++i) {
        const int32_t code = keySpamKeys[i].load();
        if (code == 0) break;
        settings.keys[settings.keyCount++] = code;
    }
    return settings;
}

std::vector<int32_t> modifierKeys(int32_t mask) {
    static constexpr int32_t kKeys[] = {17, 16, 18, 91};  // Ctrl, Shift, Alt, left Win
    std::vector<int32_t> keys;
    for (int bit = 0; bit < 4; ++bit) {
        if (mask & (1 << bit)) keys.push_back(kKeys[bit]);
    }
    return keys;
}

std::string pageSettingsScript() {
    static const char* const kGroups[] = {"",       "clicker",    "keyspam", "tracker",
                                          "hotkey", "preference", "window"};
    std::string out = "window.ravelinSettings = [";
    bool first = true;
    for (const Setting& s : kSettings) {
        if (s.type == SettingType::Reserved) continue;
        out += first ? "{" : ",{";
        first = false;
        out += "\"name\":\"";
        out += s.name;
        out += "\",\"group\":\"";
        out += kGroups[static_cast<int>(s.group)];
        out += "\",\"scope\":\"";
        out += s.scope == SettingScope::Profile ? "profile" : "global";
        out += "\",\"byDefault\":";
        if (s.type == SettingType::Flag) {
            out += s.byDefault != 0 ? "true" : "false";
        } else if (s.type == SettingType::Text || s.type == SettingType::KeyList) {
            out += "\"\"";
        } else {
            appendNumber(out, s.byDefault);
        }
        out += ",\"min\":";
        appendNumber(out, s.min);
        out += ",\"max\":";
        appendNumber(out, s.max);
        out += ",\"profileField\":" + std::to_string(s.profileField);
        out += s.inSettingsText ? ",\"page\":true}" : ",\"page\":false}";
    }
    out += "];";
    return out;
}

}  // namespace rv
