// The application preferences and the small files beside the executable: appsettings.txt (one
// key=value line per preference, CR LF on disk), theme.txt (the theme name, no line end) and
// status.txt (the last status text, no line end). Main thread at start-up, user-interface thread
// after.
#pragma once

#include <cstdint>
#include <string>

namespace rv {

// Reads appsettings.txt into the preferences and windowPositionKnown; a missing file, unknown keys
// and numbers that do not parse are skipped.
void loadAppSettings();

// Writes appsettings.txt from the live preferences (ten lines); a failed write changes nothing.
void saveAppSettings();

// getAppSettings: the five switches as a JSON object, e.g. {"alwaysOnTop":false,…}. No lock.
std::string appSettingsText();

// The first line of theme.txt (a CR before its line end dropped), or kDefaultTheme when the file is
// missing or that line is no name saveTheme would take.
std::string loadTheme();

// Keeps the theme the user chose: sets `theme` (which panels open with) and writes theme.txt, so the
// next start shows it too. Only names of letters, digits, "-" and "_" (1 to 40) are taken; false
// for any other text, which changes nothing.
bool saveTheme(const std::string& name);

// The playback repeat count (playRepeat) kept in playback.txt beside the executable, its first line
// a whole number of passes. loadPlayRepeat: 0 when the file is missing or its number is not one
// savePlayRepeat takes. savePlayRepeat: takes 0 to 1000000 (else false, nothing changes), sets
// playRepeat and writes the file.
int32_t loadPlayRepeat();
bool savePlayRepeat(int32_t passes);

// The auto-clicker's start delay from the page (clickStartDelay), kept in clickdelay.txt beside the
// executable as a whole number of seconds, like the repeat count: load gives 0 for a missing file
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
