#include "bridge/bindings.h"

#include "app/app.h"
#include "app/panel.h"
#include "app/windows.h"
#include "bridge/arguments.h"
#include "app/version.h"
#include "bridge/json_text.h"
#include "bridge/profiles.h"
#include "bridge/texts.h"
#include "capture/capture.h"
#include "platform/platform.h"
#include "state/numbers.h"
#include "state/preferences.h"
#include "state/profile_settings.h"
#include "state/state.h"
#include "state/wakes.h"

namespace rv {

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
    if (!x || !y || name.empty() || name.find('|') != std::string::npos || elementId.find('|') != std::string::npos ||
        theme.find('|') != std::string::npos) {
        return "";
    }
    auto open = panelProcesses.find(name);
    if (open != panelProcesses.end()) {
        if (plat::processStatus(open->second) != plat::ProcessStatus::Ended) return "";
        plat::closeProcess(open->second);
        panelProcesses.erase(open);
    }
    if (plat::ProcessHandle process =
            plat::startProcess(plat::exePath(),
                               panelCommandLine(name, elementId, *x, *y, theme, profileSettingsText()))) {
        panelProcesses[name] = process;
    }
    return "";
}

std::string updateSpammer(const std::string& request) {
    applySpammerUpdate(stripArguments(request));
    return "";
}

std::string toggleSpammer(const std::string&) {
    raiseRequest(clickerToggleRequest);
    return "";
}

std::string updateKeySpam(const std::string& request) {
    applyKeySpamUpdate(stripArguments(request));
    return "";
}

std::string toggleKeySpam(const std::string&) {
    raiseRequest(keySpamToggleRequest);
    return "";
}

std::string updateTracker(const std::string& request) {
    applyTrackerUpdate(stripArguments(request));
    return "";
}

// Recording and playback from the page: the same requests the record and play hotkeys set, so the
// control thread's rules hold (no playback during a recording, no recording during playback).
std::string toggleRecord(const std::string&) {
    // Stopping from here: the click on the button that asked for it is in the recording.
    plat::Rect area;
    plat::WindowHandle window = plat::findWindow(mainWindowTitle);
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

std::string togglePlay(const std::string&) {
    raiseRequest(playToggleRequest);
    return "";
}

std::string getPlayRepeat(const std::string&) { return std::to_string(playRepeat.load()); }

// The repeat count: the stripped text read as an integer (0 to 1000000); anything else changes
// nothing.
std::string setPlayRepeat(const std::string& request) {
    if (auto passes = parseInt32(stripArguments(request))) savePlayRepeat(*passes);
    return "";
}

std::string pickLocation(const std::string&) {
    pickLocationRequest.exchange(true);
    plat::wakeCaptureLoop();
    return "";
}

std::string getAppSettings(const std::string&) { return appSettingsText(); }

std::string setAppSettingCall(const std::string& request) {
    std::vector<std::string> fields = argumentFields(stripArguments(request));
    if (fields.size() == 2) setAppSetting(fields[0], fields[1]);
    return "";
}

std::string resetHotkeys(const std::string&) {
    hkRec.exchange(119);
    hkPlay.exchange(118);
    hkAuto.exchange(117);
    hkKeySpam.exchange(120);
    plat::wakeCaptureLoop();
    return "";
}

std::string getTrackerStatus(const std::string&) { return statusText(); }

std::string resetEverythingCall(const std::string&) {
    resetEverything();
    return "";
}

std::string clearProfileCall(const std::string&) {
    clearProfile();
    return "";
}

std::string addProfileCall(const std::string& request) {
    addProfile(stripArguments(request));
    return "";
}

std::string deleteProfileCall(const std::string&) {
    deleteProfile();
    return "";
}

std::string switchProfileCall(const std::string& request) {
    switchProfile(stripArguments(request));
    return "";
}

std::string getProfiles(const std::string&) { return profilesText(); }

std::string getSettings(const std::string&) { return settingsText(); }

// The theme the page shows, kept between runs and handed to panels (not part of the preferences
// text, whose members are fixed).
std::string getTheme(const std::string&) { return jsonString(theme); }

// The program's version for the Settings panel ("0.1.0"); our own call, not one the page must have.
std::string getVersion(const std::string&) { return jsonString(RAVELIN_VERSION); }

std::string setTheme(const std::string& request) {
    saveTheme(stripArguments(request));
    return "";
}

std::string reassignKey(const std::string& request) {
    if (int32_t target = reassignTargetForWord(stripArguments(request))) {
        reassignTarget.exchange(target);
        plat::wakeCaptureLoop();
    }
    return "";
}

}  // namespace

const std::vector<MainBinding>& mainBindings() {
    static const std::vector<MainBinding> bindings = {
        {"resizeWindow", &resizeWindow},
        {"updateSpammer", &updateSpammer},
        {"toggleSpammer", &toggleSpammer},
        {"updateKeySpam", &updateKeySpam},
        {"toggleKeySpam", &toggleKeySpam},
        {"pickLocation", &pickLocation},
        {"getAppSettings", &getAppSettings},
        {"setAppSetting", &setAppSettingCall},
        {"resetHotkeys", &resetHotkeys},
        {"getTrackerStatus", &getTrackerStatus},
        {"resetEverything", &resetEverythingCall},
        {"clearProfile", &clearProfileCall},
        {"addProfile", &addProfileCall},
        {"deleteProfile", &deleteProfileCall},
        {"switchProfile", &switchProfileCall},
        {"getProfiles", &getProfiles},
        {"getSettings", &getSettings},
        {"reassignKey", &reassignKey},
        {"openPanel", &openPanel},
        {"getTheme", &getTheme},
        {"setTheme", &setTheme},
        {"updateTracker", &updateTracker},
        {"toggleRecord", &toggleRecord},
        {"togglePlay", &togglePlay},
        {"getPlayRepeat", &getPlayRepeat},
        {"setPlayRepeat", &setPlayRepeat},
        {"getVersion", &getVersion},
    };
    return bindings;
}

}  // namespace rv
