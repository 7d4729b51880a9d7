// The JSON texts the page reads. Each is built afresh from the live state on every call.
#pragma once

#include <string>

namespace rv {

// getSettings: the 25 automation settings in their fixed order. Takes no lock; reads the playback
// speed first, then the others in member order.
std::string settingsText();

// getTrackerStatus: what the system is doing, the hotkey names and a pending reassignment. Holds
// profilesLock while it reads; then writes the text to status.txt beside the executable.
std::string statusText();

// What a panel window's getTrackerStatus reads, answered over the panel pipe: the members of the
// status text that a panel shows (state, the clicker and key-spam hotkey names, the key to spam, a
// pending reassignment, and whether the clicker and the key spammer run). Takes no lock, writes no
// file and leaves the panel bookkeeping of statusText alone. Pipe server thread.
std::string panelStatusText();

}  // namespace rv
