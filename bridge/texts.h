// The JSON texts the page reads. Each is built afresh from the live state on every call.
#pragma once

#include <string>
#include <vector>

#include "platform/platform.h"

namespace rv {

// getSettings: the settings table's page members, in table order. Takes no lock.
std::string settingsText();

// The status text: what the system is doing, the hotkey names, a pending reassignment, the live
// figures, and `restore`, the panels the page shows again. Reads the state only (profilesLock for
// the event count). Any thread.
std::string statusText(const std::vector<std::string>& restore = {});

// Panels whose process has ended: their handles are closed and forgotten, a drag hover they left is
// cleared, and their names returned. User-interface thread.
std::vector<std::string> reapEndedPanels();

// getTrackerStatus: the status text with the panels that ended since the last call. status.txt
// beside the executable holds the same text without the live figures (rates, counts, the player's
// position, the size of a recording in progress), written only when that text changes.
// User-interface thread.
std::string trackerStatus();

// What a panel window's getTrackerStatus reads, answered over the panel pipe: the members of the
// status text that a panel shows (state, the clicker and key-spam hotkey names, the key to spam, a
// pending reassignment, and whether the clicker and the key spammer run). Takes no lock, writes no
// file and leaves the panel bookkeeping of statusText alone. Pipe server thread.
std::string panelStatusText();

// Notes how a time-critical thread got scheduled as it starts; the status says the least any got:
// "real-time (priority 10)", "nice -5", "time-critical priority" or "normal". Any thread.
void noteScheduling(plat::Scheduling got);
std::string schedulingText();

}  // namespace rv
