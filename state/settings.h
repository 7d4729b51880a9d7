// The settings table: every setting the user chooses, declared once with its name, where it lives,
// its type, default and valid range, and its place in each text that carries it. The session line,
// the profile settings text, the page's update calls, the panel sync, the settings text, the page's
// change fingerprint, the resets and the page's own defaults all read this table; a new setting is
// one entry here plus the code that uses it.
//
// The live values stay the atomics of state.h (the workers and the capture thread read them without
// a lock); the table points at them.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "state/click_sequence.h"
#include "state/key_codes.h"

namespace rv {

struct GuardedText;

enum class SettingType : uint8_t {
    Integer,   // an int32 atomic; session and profile texts hold it in decimal
    Flag,      // a bool atomic; "1" or "0" in the session line, true or false in JSON
    Speed,     // the float atomic of the playback speed; %.6g in the session line
    Reserved,  // a slot of the session line written as "0" and never read
    Text,      // a guarded string with a rule of its own; kept by name only, "" by default
    KeyList,   // keySpamKeys: key codes joined by '.' ("65.66"), "" none; `integer` is its first atomic
};

enum class SettingScope : uint8_t {
    Global,   // one value for every profile
    Profile,  // each profile keeps its own copy in its settings text
};

// Where the setting is kept. The session line and the profile settings text hold the first settings
// by place; settings added since are kept by name, so that older readers pass them over: per profile
// on the profile's options line of the session file, shared ones as keys of appsettings.txt. A value
// equal to its default is not written, so files without such settings stay as they were.
// Preferences are the first lines of appsettings.txt, each written whatever its value, in table
// order; a key the file lacks leaves its value as it was. The page reads them through
// getAppSettings, so neither getSettings nor the page's change fingerprint holds them, and they are
// no setting that changeSettings or ravelin-cli set reaches. A setting with a file of its own
// (`file`) holds its value alone on the file's first line, and has page calls of its own too.
enum class SettingStore : uint8_t { SessionLine, ProfileOptions, AppSettings, Preferences, OwnFile };

// Which page call sends the setting, in table order: updateSpammer, updateKeySpam, updateTracker;
// hotkeys change through reassignment, the preference switches through setAppSetting, the main
// window's size through its placement (the rest through their own calls: pick, key change). A reset
// puts a group back to its defaults; the window's position is in no group and stays where it is.
enum class SettingGroup : uint8_t { None, Clicker, KeySpam, Tracker, Hotkey, Preference, Window };

struct Setting {
    const char* name;  // the page's, the pipe's and the settings text's name
    SettingType type;
    SettingScope scope;
    SettingGroup group;
    std::atomic<int32_t>* integer;  // the live value, by type
    std::atomic<bool>* flag;
    std::atomic<float>* speed;
    double byDefault;
    double min, max;          // what the page and the pipe accept
    bool (*isCode)(int32_t);  // codes: a stored number that is no such code keeps the value in use
    int profileField;         // place in the profile settings text, -1 none
    bool inSettingsText;      // a member of getSettings
    SettingStore store = SettingStore::SessionLine;
    GuardedText* text = nullptr;  // the live value of a text
    // A text's rule: the value in its canonical form, or nothing when it is refused. A stored text
    // (`stored`) keeps what it can of a damaged value; one from the page or the pipe is all or nothing.
    std::optional<std::string> (*textRule)(std::string_view text, bool stored) = nullptr;
    const char* file = nullptr;  // the file of a setting kept in its own
};

// The table, in the order of the session line (its index is the setting's field there).
const Setting* settingsBegin();
const Setting* settingsEnd();
size_t settingsCount();
inline const Setting& settingAt(size_t i) {
    return settingsBegin()[i];
}

// How many settings the session line holds: the first entries of the table.
size_t sessionLineCount();

// The entry of that name, or nothing (the reserved slot has no name).
const Setting* settingNamed(std::string_view name);

// The live value as a number (a flag 0 or 1, the speed as it is, a text 0), and its default.
double settingValue(const Setting& setting);
void storeSetting(const Setting& setting, double value);
void settingDefault(const Setting& setting);

// Puts every setting of the scope (or of the group, or of the store) back to its default. No lock.
void settingsDefaults(SettingScope scope);
void settingsDefaults(SettingGroup group);
void settingsDefaults(SettingStore store);

// Whether the setting changes only through page calls of its own (the preferences, the settings
// kept in files of their own): ravelin-cli set and changeSettings pass it over.
bool hasOwnCalls(const Setting& setting);
// Whether changeSettings (the page, the panels) may change it by name: the settings kept by name in
// the session file or appsettings.txt, but the hotkeys, which change through reassignment.
bool changedByName(const Setting& setting);

// A value as the page and the pipe send it: an integer (a flag 0 or 1, the speed a decimal number),
// within the setting's range; nothing otherwise.
std::optional<double> parseSettingValue(const Setting& setting, std::string_view text);

// A value as the page, the panels and the pipe send it, in the form it is stored in (a number as
// parseSettingValue reads it, a text by its rule); nothing when it is refused.
std::optional<std::string> acceptSettingText(const Setting& setting, std::string_view text);
// Stores a value that acceptSettingText gave for the setting.
void storeAcceptedText(const Setting& setting, const std::string& accepted);
// The live value as its stored form: a number in decimal, a text as it is.
std::string settingText(const Setting& setting);
// Sets a setting from its text as the page, a panel, the pipe or a file holds it (a number, or a key
// list): false, changing nothing, when the text is no value of the setting.
bool setSettingText(const Setting& setting, std::string_view text);

// A key list's text and its reading: at most kKeySpamMoreKeys codes of keys the key spammer can press,
// each in decimal digits, joined by '.'; nothing for any other text.
std::string keyListText(const std::atomic<int32_t>* keys);
std::optional<std::vector<int32_t>> parseKeyList(std::string_view text);

// A field of a stored text (session line, profile settings text): false when it does not parse;
// codes that are no valid code and the reserved slot are passed over. Stored texts keep values out
// of the page's ranges as they were written.
bool applyStoredField(const Setting& setting, std::string_view text);

// The settings' stored form in the session line ("0" for the reserved slot).
void appendStoredField(std::string& out, const Setting& setting);

// The number of fields the first session lines held, read as blocks: fewer than the first block
// changes nothing, fewer than the second leaves the second block alone. Fields after the last block
// are read one by one while present.
inline constexpr size_t kSessionBlockEnds[] = {23, 31};
// The profile settings text's first block likewise.
inline constexpr size_t kProfileBlockEnd = 18;

// The settings kept by name in `store` as "name=value" fields joined by `separator`, only those that
// differ from their default, in table order; and their reading: every such setting takes its default,
// then each field that names one and holds a value in its range sets it (others are passed over).
std::string namedSettingsText(SettingStore store, char separator);
void applyNamedSettingsText(SettingStore store, std::string_view text, char separator);

// How many fields the profile settings text has, and the entry at field `i`.
size_t profileFieldCount();
const Setting& profileField(size_t i);

// Applies the fields of a stored text to the entries `at(i)` for i below `count`. A block is read
// only when the text holds all of it, and up to its first field that does not parse; fields after the
// last block are read one by one while present and parse.
void applyStoredFields(const std::vector<std::string>& fields, size_t count, const Setting& (*at)(size_t),
                       const size_t* blockEnds, size_t blocks);

// The interval of the auto-clicker or the key spammer: its four parts as one value, so that no call
// can take them in the wrong order.
struct Hours {
    int32_t value;
};
struct Minutes {
    int32_t value;
};
struct Seconds {
    int32_t value;
};
struct Milliseconds {
    int32_t value;
};
struct Interval {
    Hours hours;
    Minutes minutes;
    Seconds seconds;
    Milliseconds milliseconds;
};

// The random parts of a worker's timing, in milliseconds: a maximum at or below its minimum (the
// interval, the press) leaves that value fixed. The press is automatic when pressMs is kAutomaticPress.
struct Timing {
    int32_t intervalMaxMs;
    int32_t pressMs;
    int32_t pressMaxMs;
    int32_t limitSeconds;  // the run stops after this long; 0 never
};

// What one pass of the auto-clicker works with, read once at its start.
struct ClickerSettings {
    Interval interval;
    int32_t button;  // 0 left, 1 right, 2 middle
    bool doubleClick;
    bool limited;  // stop after `times` clicks
    int32_t times;
    bool fixedPoint;  // click at (x, y), else at the pointer
    int32_t x, y;
    Timing timing;
    int32_t jitterPx;  // the fixed point, or each point of the sequence, moves by up to this
    bool sequence;     // click the points of the sequence in turn; `times` counts its rounds
    std::vector<SequencePoint> points;
};
ClickerSettings clickerSettings();

// What one pass of the key spammer works with.
struct KeySpamSettings {
    Interval interval;
    bool limited;
    int32_t times;
    int32_t key;  // virtual-key code
    Timing timing;
    int32_t modifiers;  // held around the key: 1 Ctrl, 2 Shift, 4 Alt, 8 Win
    // The keys pressed in turn, `key` first.
    int32_t keys[1 + kKeySpamMoreKeys];
    size_t keyCount;
};

// The virtual-key codes of the modifiers in `mask` (1 Ctrl, 2 Shift, 4 Alt, 8 Win), in the order they
// are pressed; released in the reverse order.
std::vector<int32_t> modifierKeys(int32_t mask);
KeySpamSettings keySpamSettings();

// The table as the page takes it: a script that sets window.ravelinSettings to an array of
// {name, group, scope, byDefault, min, max, profileField, page} objects (page: a getSettings member),
// in table order, the reserved slot left out. The main window and the panels put it in their page's
// head.
std::string pageSettingsScript();

}  // namespace rv
