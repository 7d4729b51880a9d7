// The pipe messages of ravelin-cli: commands from outside the program (a script, a scheduled task, a
// key binding of the desktop), each answered with a JSON reply. A refused command changes nothing and
// says why:
//   startFunction|WHAT, stopFunction|WHAT, toggleFunction|WHAT   WHAT: clicker, keyspam, record, play;
//                                                  stopFunction|all stops whatever runs
//   playMacro|SPEED|PASSES|NAME, playMacroFile|SPEED|PASSES|PATH  loads a macro of the library, or a
//                                                  macro file (absolute path), into the current
//                                                  profile and plays it; SPEED and PASSES may be empty
//   useProfile|NAME      makes the profile of that name current
//   setSettings|NAME=VALUE,...   settings of the settings table, all or none
//   getStatus|           what runs, the live figures and the current profile
//   getVersion|          the running program's version
// Replies: {"ok":true|false,"message":"…"}; playMacro* {"job":N} (then macroJob|N as for the library's
// jobs) or the refusal; getStatus and getVersion their own objects.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace rv {

// The reply to one of the messages above, or nothing when the name is none of them. Pipe server
// thread: a switch waits (at most kSwitchWaitMs) for the control thread to carry it out, so that the
// reply tells what happened.
std::optional<std::string> answerRemoteCommand(std::string_view name, std::string_view payload);

inline constexpr int kSwitchWaitMs = 1000;
// The most passes a playback may be asked for (0 plays until stopped).
inline constexpr int32_t kMostRemotePasses = 1000000;

// getStatus's reply. Any thread.
std::string remoteStatusText();

}  // namespace rv
