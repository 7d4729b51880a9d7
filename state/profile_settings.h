// The profile settings text: the comma-separated integers in which each profile keeps its own copy of
// the settings of profile scope, each at its place of the settings table (18 today; defaults read
// 0,0,0,100,0,0,1,10,0,0,0,0,0,0,100,1,10,32).
#pragma once

#include <string>
#include <string_view>

namespace rv {

// Sets the 18 profile settings to their defaults. No lock; leaves the recording switches, playback
// values and the four hotkeys alone.
void profileDefaults();

// The text of the 18 live values. No lock; may mix values of a concurrent change.
std::string profileSettingsText();

// In memory a profile's settings text is followed by its options (the settings kept by name, those
// that differ from their default) after this mark; the session file keeps them on a line of their own.
inline constexpr char kProfileOptionsMark = ';';

// Applies a settings text to the live values: fewer than 18 fields change nothing; otherwise fields
// are stored one by one until the first that is not a number (that and later fields keep their old
// values); fields past the table's last are ignored. The options after the mark then set the
// settings they name, and the others kept by name take their defaults. No lock; reports nothing.
void applyProfileSettingsText(std::string_view text);

// Stores profileSettingsText() as the current profile's settingsText under profilesLock (nothing when
// the current index is out of range). Any thread.
void refreshProfileSettings();

}  // namespace rv
