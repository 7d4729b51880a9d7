// The session file session.mcr in the per-user data folder: the settings line, the current index and
// every profile with its settings text and recorded events, one line each, CR LF on disk.
//
//   SETTINGS:<31 fields>      first line, always
//   CURRENT:<index>           second line
//   PROFILE:<name>            one per profile, in list order
//   PROFILESETTINGS:<text>    after its PROFILE line, when the profile has a settings text
//   kind,time,x,y,flags,vk,down,wheel   one per event, after its profile
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <string_view>

namespace rv {

// LOCALAPPDATA when it holds 1 to 259 characters, else the platform's default base; then
// separator + "Tapforge".
std::string dataFolder();

// Creates the data folder (one level), sets sessionPath, and moves a session.mcr found beside the
// executable into the data folder when none is there yet. Main thread, once, before loadSession.
void prepareSessionPath();

// Reads sessionPath; returns true when at least one profile was loaded (then profiles and
// currentProfile are replaced under profilesLock). A readable settings line is applied even when
// it returns false; a leading UTF-8 byte-order mark is skipped. A file that exists but cannot be
// read, or whose first line is not a settings line, is moved aside to
// sessionPath + ".unreadable-YYYYMMDD-HHMMSS" (UTC) so that no save replaces it; if that fails, saves
// are blocked for the run. Main thread, before the workers start.
bool loadSession();

// Start-up: loadSession, and when no profile loads, one profile named "Default Tracking Profile"
// with no settings of its own and no events (a fresh start's file is then the three default lines).
// Returns whether the session loaded. Main thread, once.
bool loadSessionAtStart();

// Writes the whole file from the live state, through a temporary file in the same folder that then
// replaces the old one, so a failed or cut-short write leaves the last good file. Skipped when
// profilesLock is busy; saves from several threads are written one after the other. Nothing is
// written over a read-only session file, or while saves are blocked. Any thread (autosave,
// shutdown, crash handler).
void saveSession();

// The same, waiting for profilesLock instead of skipping: the last save of a run, once the workers
// that take the lock have stopped, so that the last changes are never lost. Nothing is written when
// the session is what this run last wrote to the file. Main thread.
void saveSessionAfterWorkers();

// The 31 settings fields joined by "," (no tag, no line end). No lock.
std::string settingsLine();

// Applies the text after "SETTINGS:": 23 to 30 fields apply indexes 0 to 22; 31 or more also the
// key-spam block 23 to 30. A bad field ends its block. No lock.
void applySettingsLine(std::string_view text);

// Autosave thread body: saves every 5 s while appRunning, unless the session is what this run last
// wrote to the file. It naps between saves; shutdown wakes it (wakeAll) after clearing appRunning,
// and it then ends without a save of its own.
void autosaveThread();

// The longest time any save held profilesLock, in plat::ticks() units (for measurements).
inline std::atomic<int64_t> sessionLockHeldMaxTicks{0};

}  // namespace rv
