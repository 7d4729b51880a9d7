// The profile operations behind the page's profile calls, and the profiles text. All run on the
// user-interface thread, change nothing while a recording is in progress, and hold profilesLock only
// for the copy or change of the list (never while the live settings are applied).
#pragma once

#include <string>

namespace rv {

// Appends a profile named `name` (the stripped argument text, unchanged) with a copy of the live
// settings and no events, and makes it current. Refused when the name is empty or holds a line end,
// or 3 profiles exist.
void addProfile(const std::string& name);

// Removes the current profile; the one after it (or the new last) becomes current and its settings
// are applied. Refused when only one profile is left.
void deleteProfile();

// Removes the profile at `index` (-1: the current one). When another than the current one goes, the
// current one stays current with its live settings. Refused when only one profile is left or there
// is no such profile.
void deleteProfileAt(int32_t index);

// Renames a profile: `stripped` is "<index>,<name>", the name being everything after the first
// comma, under the same rules as addProfile's. Refused while recording or for no such profile.
void renameProfile(const std::string& stripped);

// Makes the profile at the index that `stripped` starts with current and applies its settings (the
// defaults when it has none). Refused when there is no number or no such profile.
void switchProfile(const std::string& stripped);

// Any change of profile drops the recording that the last recording replaced.
// Empties the current profile's events and returns it and the live profile settings to defaults.
void clearProfile();

// getProfiles: {"current":<index>,"names":[<names>],"cap":3}. Holds profilesLock while it reads.
std::string profilesText();

}  // namespace rv
