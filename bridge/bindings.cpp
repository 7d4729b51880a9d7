#include "bridge/bindings.h"

#include <algorithm>

#include "bridge/arguments.h"
#include "bridge/display_session.h"
#include "bridge/json_text.h"
#include "bridge/macro_jobs.h"
#include "bridge/panel_sync.h"
#include "bridge/profiles.h"
#include "bridge/texts.h"
#include "capture/capture.h"
#include "capture/recording.h"
#include "engine/control.h"
#include "platform/platform.h"
#include "state/numbers.h"
#include "state/preferences.h"
#include "state/profile_settings.h"
#include "state/state.h"
#include "state/wakes.h"

namespace rv {

namespace {

// "Show here" for a popped-out panel: its window ends, so the panel is never shown twice.
std::string closePanel(const std::string& request) {
    auto open = panelProcesses.find(stripArguments(request));
    if (open == panelProcesses.end()) return "";
    plat::terminateProcess(open->second);
    plat::closeProcess(open->second);
    panelProcesses.erase(open);
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
std::string togglePlay(const std::string&) {
    raiseRequest(playToggleRequest);
    return "";
}

std::string getPlayRepeat(const std::string&) {
    return std::to_string(playRepeat.load());
}

// The repeat count: the stripped text read as an integer (0 to 1000000); anything else changes
// nothing.
std::string setPlayRepeat(const std::string& request) {
    if (auto passes = parseInt32(stripArguments(request))) savePlayRepeat(*passes);
    return "";
}

std::string pickLocation(const std::string&) {
    if (refusedOnThisSession(SessionFeature::PickingPoints)) return "";
    pickSequenceRequest.exchange(false);
    pickLocationRequest.exchange(true);
    plat::wakeCaptureLoop();
    return "";
}

// "1" starts picking points of the click sequence on screen, anything else ends it.
std::string pickSequence(const std::string& request) {
    const bool start = stripArguments(request) == "1";
    if (start && refusedOnThisSession(SessionFeature::PickingPoints)) return "";
    if (start) pickLocationRequest.exchange(false);
    pickSequenceRequest.exchange(start);
    plat::wakeCaptureLoop();
    wake(Sleeper::Control);
    return "";
}

std::string getAppSettings(const std::string&) {
    return appSettingsText();
}

std::string resetHotkeys(const std::string&) {
    hotkeyDefaults();
    plat::wakeCaptureLoop();
    return "";
}

// Whether the auto-clicker is on but waiting for the pointer to leave our windows.
std::string getClickerWaiting(const std::string&) {
    return jsonBool(clickerWaiting.load() && autoClicking.load());
}

std::string getClickStartDelay(const std::string&) {
    return std::to_string(clickStartDelay.load());
}

// Seconds, 0 to 10; anything else changes nothing.
std::string setClickStartDelay(const std::string& request) {
    if (auto seconds = parseInt32(stripArguments(request))) saveClickStartDelay(*seconds);
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

std::string deleteProfileAtCall(const std::string& request) {
    if (auto index = parseInt32(stripArguments(request))) deleteProfileAt(*index);
    return "";
}

std::string renameProfileCall(const std::string& request) {
    renameProfile(stripArguments(request));
    return "";
}

// The recording the last recording replaced: how many events it holds for the current profile
// (0 for none), and the call that puts it back.
std::string getReplacedRecording(const std::string&) {
    return std::to_string(replacedRecordingSize());
}

std::string restoreRecording(const std::string&) {
    return jsonBool(restoreReplacedRecording());
}

std::string switchProfileCall(const std::string& request) {
    switchProfile(stripArguments(request));
    return "";
}

std::string getProfiles(const std::string&) {
    return profilesText();
}

std::string getSettings(const std::string&) {
    return settingsText();
}

// The settings kept by name, as the pipe's changeSettings takes them: "name=value,...".
std::string changeSettings(const std::string& request) {
    applySettingChanges(stripArguments(request));
    return "";
}

// The theme the page shows, kept between runs and handed to panels (not part of the preferences
// text, whose members are fixed).
std::string getTheme(const std::string&) {
    return jsonString(theme);
}

std::string setTheme(const std::string& request) {
    saveTheme(stripArguments(request));
    return "";
}

// Where no key is heard outside the page (Wayland), the key to spam is taken from the page itself
// (keyPressedInPage); a hotkey, which would fire only from the page, is refused with the reason.
std::string reassignKey(const std::string& request) {
    const std::string word = stripArguments(request);
    const int32_t target = reassignTargetForWord(word);
    const bool spamKey = target == kKeySpamKey || target == kKeySpamMoreKey;
    if (!spamKey && refusedOnThisSession(SessionFeature::HearingKeys)) return "";
    armReassignment(word);
    return "";
}

// [vk]: a key pressed in the page, taken as the key to spam while one is being chosen on a session
// whose capture hears nothing; elsewhere the capture loop has heard it already.
std::string keyPressedInPage(const std::string& request) {
    const std::vector<std::string> fields = argumentFields(stripArguments(request));
    if (fields.size() != 1 || unavailableText(displaySession(), SessionFeature::HearingKeys).empty())
        return "";
    if (auto vk = parseInt32(fields[0])) takeSpamKeyFromPage(*vk);
    return "";
}

// Why the last reassignment was refused: {"key":<name>,"holder":<word>}, or null when it was not.
std::string getReassignRefusal(const std::string&) {
    int32_t holder = reassignRefusedBy.load();
    int32_t code = reassignRefusedCode.load();
    if (holder == 0 || code == 0) return "null";
    return "{\"key\":" + jsonString(hotkeyDisplayName(code, hotkeyModifiersOf(holder))) +
           ",\"holder\":" + jsonString(reassignWord(holder)) + "}";
}

// The step editor plays part of the recording: the steps [from, to) of it, `to` -1 for the end; true
// when the playback was asked for (not while one runs or a recording does).
std::string playSteps(const std::string& request) {
    std::vector<std::string> fields = argumentFields(stripArguments(request));
    if (fields.size() != 2) return "false";
    auto from = parseInt32(fields[0]);
    auto to = parseInt32(fields[1]);
    if (!from || !to || *from < 0 || (*to >= 0 && *to <= *from) || recording.load() || playing.load())
        return "false";
    playRangeFrom.store(*from);
    playRangeTo.store(*to);
    raiseRequest(playToggleRequest);
    return "true";
}

// The macro library's calls start a job on the macro worker and return its number at once.
// [job], or [job, part] for a further part of the step editor's copy of the recording.
std::string getMacroJob(const std::string& request) {
    std::vector<std::string> fields = argumentFields(stripArguments(request));
    int64_t job = fields.empty() ? 0 : parseInt32(fields[0]).value_or(0);
    if (fields.size() > 1)
        return macroJobPart(job, static_cast<size_t>(std::max(0, parseInt32(fields[1]).value_or(0))));
    return macroJobText(job);
}

}  // namespace

const std::vector<MainBinding>& pageBindings() {
    static const std::vector<MainBinding> bindings = {
        {"updateSpammer", &updateSpammer},
        {"toggleSpammer", &toggleSpammer},
        {"updateKeySpam", &updateKeySpam},
        {"toggleKeySpam", &toggleKeySpam},
        {"pickLocation", &pickLocation},
        {"pickSequence", &pickSequence},
        {"getAppSettings", &getAppSettings},
        {"resetHotkeys", &resetHotkeys},
        {"clearProfile", &clearProfileCall},
        {"addProfile", &addProfileCall},
        {"deleteProfile", &deleteProfileCall},
        {"switchProfile", &switchProfileCall},
        {"getProfiles", &getProfiles},
        {"getSettings", &getSettings},
        {"changeSettings", &changeSettings},
        {"reassignKey", &reassignKey},
        {"getTheme", &getTheme},
        {"setTheme", &setTheme},
        {"updateTracker", &updateTracker},
        {"togglePlay", &togglePlay},
        {"getPlayRepeat", &getPlayRepeat},
        {"setPlayRepeat", &setPlayRepeat},
        {"renameProfile", &renameProfileCall},
        {"deleteProfileAt", &deleteProfileAtCall},
        {"getReplacedRecording", &getReplacedRecording},
        {"restoreRecording", &restoreRecording},
        {"getReassignRefusal", &getReassignRefusal},
        {"getClickerWaiting", &getClickerWaiting},
        {"getClickStartDelay", &getClickStartDelay},
        {"setClickStartDelay", &setClickStartDelay},
        {"closePanel", &closePanel},
        {"getMacroJob", &getMacroJob},
        {"playSteps", &playSteps},
        {"keyPressedInPage", &keyPressedInPage},
    };
    static const std::vector<MainBinding> withMacros = [] {
        std::vector<MainBinding> all = bindings;
        for (const char* name :
             {"listMacros", "saveMacro", "loadMacro", "renameMacro", "duplicateMacro", "deleteMacro",
              "importMacro", "exportMacro", "openMacroFolder", "readRecording", "saveRecording"}) {
            all.push_back(
                {name, [name](const std::string& request) { return startMacroJob(name, request); }});
        }
        return all;
    }();
    return withMacros;
}

}  // namespace rv
