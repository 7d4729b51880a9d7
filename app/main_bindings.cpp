#include "app/main_bindings.h"

#include <string_view>

#include "app/app.h"
#include "app/main_window.h"
#include "app/version.h"
#include "app/webview.h"
#include "bridge/arguments.h"
#include "bridge/display_session.h"
#include "bridge/file_choice.h"
#include "bridge/json_text.h"
#include "bridge/panel_command_line.h"
#include "bridge/texts.h"
#include "platform/display_scale.h"
#include "platform/platform.h"
#include "state/numbers.h"
#include "state/preferences.h"
#include "state/profile_settings.h"
#include "state/state.h"
#include "state/wakes.h"

namespace rv {

void setAppSetting(const std::string& key, const std::string& value) {
    applyAppSetting(key, value);
    if (key == "alwaysOnTop") setTopmost(plat::findWindow(kMainWindowTitle), alwaysOnTop.load());
}

void resetEverything() {
    resetToDefaults();
    plat::WindowHandle window = plat::findWindow(kMainWindowTitle);
    if (window && hostView) {
        resetWindowGeometry(*hostView, window);
        saveWindowPlacement(window);
    }
}

namespace {

std::string resizeWindow(const std::string& request) {
    if (auto size = sizeArguments(request)) resizeMainWindow(size->width, size->height);
    return "";
}

// Pops a panel out into a window of its own: panel name, element id, and the screen point the
// window is placed by. A panel already open stays as it is; texts that would break the panel's
// command line ("|") are refused.
std::string openPanel(const std::string& request) {
    std::vector<std::string> fields = argumentFields(stripArguments(request));
    if (fields.size() < 4) return "";
    const std::string& name = fields[0];
    const std::string& elementId = fields[1];
    auto x = parseInt32(fields[2]);
    auto y = parseInt32(fields[3]);
    // The page's point is only a fallback: WebKitGTK gives it relative to the window, and a panel
    // there would open over the main window, hidden under it when that is on top.
    plat::Rect main, work;
    plat::WindowHandle window = plat::findWindow(kMainWindowTitle);
    if (x && y && window && plat::windowRect(window, main) && plat::workAreaOfWindow(window, work)) {
        const double scale = plat::windowScale(window);
        Point beside =
            panelBeside(main, work, windowPixels(kPanelWidth, scale), windowPixels(kPanelHeight, scale));
        x = beside.x + kPanelHoldX;
        y = beside.y + kPanelHoldY;
    }
    if (!x || !y || name.empty() || name.find('|') != std::string::npos ||
        elementId.find('|') != std::string::npos || theme.find('|') != std::string::npos) {
        return "";
    }
    auto open = panelProcesses.find(name);
    if (open != panelProcesses.end()) {
        if (plat::processStatus(open->second) != plat::ProcessStatus::Ended) return "";
        plat::closeProcess(open->second);
        panelProcesses.erase(open);
    }
    if (plat::ProcessHandle process = plat::startProcess(
            plat::exePath(), panelCommandLine(name, elementId, *x, *y, theme, profileSettingsText()))) {
        panelProcesses[name] = process;
    }
    return "";
}

std::string toggleRecord(const std::string&) {
    if (!recording.load() && refusedOnThisSession(SessionFeature::Recording)) return "";
    // Stopping from here: the click on the button that asked for it is in the recording.
    plat::Rect area;
    plat::WindowHandle window = plat::findWindow(kMainWindowTitle);
    if (recording.load() && window && plat::windowRect(window, area)) {
        recordTrimLeft.store(area.left);
        recordTrimTop.store(area.top);
        recordTrimRight.store(area.right);
        recordTrimBottom.store(area.bottom);
        recordTrimRequest.exchange(true);
    }
    raiseRequest(recordToggleRequest);
    return "";
}

std::string setAppSettingCall(const std::string& request) {
    std::vector<std::string> fields = argumentFields(stripArguments(request));
    if (fields.size() == 2) setAppSetting(fields[0], fields[1]);
    return "";
}

std::string getTrackerStatus(const std::string&) {
    return pageStatus();
}

std::string resetEverythingCall(const std::string&) {
    resetEverything();
    return "";
}

// The program's version for the Settings panel ("0.1.0"); our own call, not one the page must have.
std::string getVersion(const std::string&) {
    return jsonString(RAVELIN_VERSION);
}

// The system's file dialog for Import and Export, modal to this instance's window (the main window,
// or a panel's).
std::string chooseMacroFile(const std::string& request) {
    Webview* view = hostView;
    if (!view) return "0";
    return startFileChoice(request, view->nativeWindow(),
                           [view](std::function<void()> work) { view->dispatch(std::move(work)); });
}

std::string getMacroFileChoice(const std::string& request) {
    return fileChoiceText(request);
}

// The order the page's functions are registered in.
constexpr const char* kRegistrationOrder[] = {
    "resizeWindow",      "updateSpammer",        "toggleSpammer",      "updateKeySpam",
    "toggleKeySpam",     "pickLocation",         "getAppSettings",     "setAppSetting",
    "resetHotkeys",      "getTrackerStatus",     "resetEverything",    "clearProfile",
    "addProfile",        "deleteProfile",        "switchProfile",      "getProfiles",
    "getSettings",       "reassignKey",          "openPanel",          "getTheme",
    "setTheme",          "updateTracker",        "toggleRecord",       "togglePlay",
    "getPlayRepeat",     "setPlayRepeat",        "getVersion",         "renameProfile",
    "deleteProfileAt",   "getReplacedRecording", "restoreRecording",   "getReassignRefusal",
    "getClickerWaiting", "getClickStartDelay",   "setClickStartDelay", "closePanel"};

}  // namespace

std::string pageStatus() {
    // The page has the status about once a second while it shows: a fresh note of where our
    // windows are for the auto-clicker.
    noteOwnWindows();
    return trackerStatus();
}

std::vector<MainBinding> fileDialogBindings() {
    return {{"chooseMacroFile", &chooseMacroFile}, {"getMacroFileChoice", &getMacroFileChoice}};
}

const std::vector<MainBinding>& mainBindings() {
    static const std::vector<MainBinding> bindings = [] {
        std::vector<MainBinding> own = {
            {"resizeWindow", &resizeWindow},
            {"setAppSetting", &setAppSettingCall},
            {"getTrackerStatus", &getTrackerStatus},
            {"resetEverything", &resetEverythingCall},
            {"openPanel", &openPanel},
            {"toggleRecord", &toggleRecord},
            {"getVersion", &getVersion},
        };
        for (const MainBinding& binding : fileDialogBindings()) own.push_back(binding);
        const std::vector<MainBinding>& page = pageBindings();
        own.insert(own.end(), page.begin(), page.end());
        // What a call changed reaches the open panels (and the page, for a change it did not make
        // itself) at the control thread's next pass, which the call starts at once.
        for (MainBinding& binding : own) {
            binding.call = [call = std::move(binding.call)](const std::string& request) {
                std::string result = call(request);
                wake(Sleeper::Control);
                return result;
            };
        }
        // The known names in their order, then any other in the order of the lists above.
        std::vector<MainBinding> ordered;
        for (const char* name : kRegistrationOrder) {
            for (const MainBinding& binding : own) {
                if (std::string_view(binding.name) == name) ordered.push_back(binding);
            }
        }
        for (const MainBinding& binding : own) {
            bool known = false;
            for (const char* name : kRegistrationOrder)
                known = known || std::string_view(binding.name) == name;
            if (!known) ordered.push_back(binding);
        }
        return ordered;
    }();
    return bindings;
}

}  // namespace rv
