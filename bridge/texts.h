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

}  // namespace rv
