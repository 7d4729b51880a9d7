// The application preferences and the small files kept with them: appsettings.txt (one key=value
// line per preference, CR LF on disk), theme.txt (the theme name, no line end), playback.txt,
// clickdelay.txt and status.txt (the last status text, no line end). They live beside the
// executable when that folder can be written (a program unpacked anywhere, carried on a stick),
// else in the configuration folder (Linux) or the data folder (Windows). A preference file the user
// made read-only is left alone, and a write that fails (a full disk) leaves the old file whole;
// either is told to the page (state/save_problems.h) and the change is written again at each
// autosave until it is kept. Main thread at start-up, user-interface thread after.
#pragma once

#include <cstdint>
#include <string>

namespace rv {

// Picks the folder of the preference files for this run: the executable's folder when a file can
// be made there, else $XDG_CONFIG_HOME/Tapforge or ~/.config/Tapforge (Linux) or the data folder
// (Windows), created when missing, into which preference files left beside the executable are
// copied where it has none yet. Main thread, once, before anything below reads or writes.
void choosePreferencesFolder();
// The chosen folder (the executable's until choosePreferencesFolder), and a file in it.
std::string preferencesFolder();
std::string preferencesFile(const std::string& name);

// Writes again the preference files whose last write did not happen, with the values they were to
// hold. Autosave thread.
void savePendingPreferences();
// Back to the executable's folder, nothing waiting (tests).
void resetPreferencesForTests();

// Reads appsettings.txt into the preferences and windowPositionKnown; a missing file, unknown keys
// and numbers that do not parse are skipped.
void loadAppSettings();

// Writes appsettings.txt from the live preferences (ten lines); a failed write changes nothing on
// disk. False when the file was not written.
bool saveAppSettings();

// getAppSettings: the five switches as a JSON object, e.g. {"alwaysOnTop":false,…}. No lock.
std::string appSettingsText();

// The first line of theme.txt (a CR before its line end dropped), or kDefaultTheme when the file is
// missing or that line is no name saveTheme would take.
std::string loadTheme();

// Keeps the theme the user chose: sets `theme` (which panels open with) and writes theme.txt, so the
// next start shows it too. Only names of letters, digits, "-" and "_" (1 to 40) are taken; false
// for any other text, which changes nothing.
bool saveTheme(const std::string& name);

// The playback repeat count (playRepeat) kept in playback.txt, its first line
// a whole number of passes. loadPlayRepeat: 0 when the file is missing or its number is not one
// savePlayRepeat takes. savePlayRepeat: takes 0 to 1000000 (else false, nothing changes), sets
// playRepeat and writes the file.
int32_t loadPlayRepeat();
bool savePlayRepeat(int32_t passes);

// The auto-clicker's start delay from the page (clickStartDelay), kept in clickdelay.txt in the
// preferences folder as a whole number of seconds, like the repeat count: load gives 0 for a missing file
// or a number out of range; save takes 0 to 10 (else false, nothing changes).
inline constexpr int32_t kLongestStartDelay = 10;
int32_t loadClickStartDelay();
bool saveClickStartDelay(int32_t seconds);

// One preference from the page: alwaysOnTop, launchOnStartup (also writes or removes the start-up
// registration), startMinimized, hotkeysEnabled or disableAnimations, true exactly when `value` is
// "1"; any other key sets nothing. appsettings.txt is rewritten in every case. What the main window
// does about it (the topmost band) is the caller's: setAppSetting (app/main_bindings.h).
void applyAppSetting(const std::string& key, const std::string& value);

// Stops all activity and returns the settings, hotkeys, preferences, theme and the current profile
// (its events and settings text) to their defaults; other profiles are kept. Writes theme.txt,
// playback.txt and appsettings.txt, not the session file. The main window's geometry is the
// caller's: resetEverything (app/main_bindings.h).
void resetToDefaults();

// Replaces status.txt with `text`; false when it could not be written.
bool writeStatusFile(const std::string& text);

}  // namespace rv
