// The functions bound into the main window's page: the bridge's (bridge/bindings.h) and those that
// concern the program's windows, in their fixed registration order. User-interface thread.
#pragma once

#include <string>
#include <vector>

#include "bridge/bindings.h"

namespace rv {

// The main instance's functions, in registration order.
const std::vector<MainBinding>& mainBindings();

// The file dialog's calls (chooseMacroFile, getMacroFileChoice), bound in the main window and in a
// panel window alike: the dialog is modal to the window of the instance that shows it.
std::vector<MainBinding> fileDialogBindings();

// A preference from the page (applyAppSetting), and the main window put into or out of the topmost
// band for alwaysOnTop.
void setAppSetting(const std::string& key, const std::string& value);

// What getTrackerStatus answers the page (and writes to status.txt), for handing it to the page
// unasked while something runs. User-interface thread.
std::string pageStatus();

// Everything back to its defaults (resetToDefaults), then the main window out of the topmost band,
// restored, sized to the default size and centred, its placement saved.
void resetEverything();

}  // namespace rv
