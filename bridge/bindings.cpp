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

// The calls that answer nothing: one that hands its arguments, stripped, to `take`; one that runs
// `act`; one that raises `request` for the control thread.
template <auto take>
std::string handOn(const std::string& request) {
    take(stripArguments(request));
    return "";
}
template <void (*act)()>
std::string running(const std::string&) {
    act();
    return "";
}
template <std::atomic<bool>* request>
std::string raising(const std::string&) {
    raiseRequest(*request);
    return "";
}
// A call answered by `text`; a whole number, as the program keeps it, read and set (the stripped
// text read as an integer that `save` takes; anything else changes nothing).
template <std::string (*text)()>
std::string answer(const std::string&) {
    return text();
}
template <std::atomic<int32_t>* value>
std::string number(const std::string&) {
    return std::to_string(value->load());
}
template <bool (*save)(int32_t)>
std::string setNumber(const std::string& request) {
    if (auto number = parseInt32(stripArguments(request))) save(*number);
    return "";
}

// "Show here" for a popped-out panel: its window ends, so the panel is never shown twice.
std::string closePanel(const std::string& request) {
    auto open = panelProcesses.find(stripArguments(request));
    if (open == panelProcesses.end()) return "";
    plat::terminateProcess(open->second);
    plat::closeProcess(open->second);
    panelProcesses.erase(open);
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

std::string resetHotkeys(const std::string&) {
    hotkeyDefaults();
    plat::wakeCaptureLoop();
    return "";
}

// Whether the auto-clicker is on but waiting for the pointer to leave our windows.
std::string getClickerWaiting(const std::string&) {
    return jsonBool(clickerWaiting.load() && autoClicking.load());
}

std::string deleteProfileAtCall(const std::string& request) {
    if (auto index = parseInt32(stripArguments(request))) deleteProfileAt(*index);
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

// The theme the page shows, kept between runs and handed to panels (not part of the preferences
// text, whose members are fixed).
std::string getTheme(const std::string&) {
    return jsonString(theme);
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
// [job], or [job, part] for a further part of the step editor's copy of the recording, or
// [job, "macros", from] for a list's macros from the `from`th on.
std::string getMacroJob(const std::string& request) {
    std::vector<std::string> fields = argumentFields(stripArguments(request));
    int64_t job = fields.empty() ? 0 : parseInt32(fields[0]).value_or(0);
    if (fields.size() > 2 && fields[1] == "macros")
        return macroJobReply(job, std::string::npos,
                             static_cast<size_t>(std::max(0, parseInt32(fields[2]).value_or(0))));
    if (fields.size() > 1)
        return macroJobPart(job, static_cast<size_t>(std::max(0, parseInt32(fields[1]).value_or(0))));
    return macroJobText(job);
}

}  // namespace

const std::vector<MainBinding>& pageBindings() {
    static const std::vector<MainBinding> bindings = {
        {"updateSpammer", &handOn<applySpammerUpdate>},
        {"toggleSpammer", &raising<&clickerToggleRequest>},
        {"updateKeySpam", &handOn<applyKeySpamUpdate>},
        {"toggleKeySpam", &raising<&keySpamToggleRequest>},
        {"pickLocation", &pickLocation},
        {"pickSequence", &pickSequence},
        {"getAppSettings", &answer<appSettingsText>},
        {"resetHotkeys", &resetHotkeys},
        {"clearProfile", &running<clearProfile>},
        {"addProfile", &handOn<addProfile>},
        {"deleteProfile", &running<deleteProfile>},
        {"switchProfile", &handOn<switchProfile>},
        {"getProfiles", &answer<profilesText>},
        {"getSettings", &answer<settingsText>},
        // The settings kept by name, as the pipe's changeSettings takes them: "name=value,...".
        {"changeSettings", &handOn<applySettingChanges>},
        {"reassignKey", &reassignKey},
        {"getTheme", &getTheme},
        {"setTheme", &handOn<saveTheme>},
        {"updateTracker", &handOn<applyTrackerUpdate>},
        // Playback from the page: the request the play hotkey raises, so the control thread's rules
        // hold (no playback during a recording).
        {"togglePlay", &raising<&playToggleRequest>},
        {"getPlayRepeat", &number<&playRepeat>},
        {"setPlayRepeat", &setNumber<savePlayRepeat>},
        {"renameProfile", &handOn<renameProfile>},
        {"deleteProfileAt", &deleteProfileAtCall},
        {"getReplacedRecording", &getReplacedRecording},
        {"restoreRecording", &restoreRecording},
        {"getReassignRefusal", &getReassignRefusal},
        {"getClickerWaiting", &getClickerWaiting},
        {"getClickStartDelay", &number<&clickStartDelay>},
        {"setClickStartDelay", &setNumber<saveClickStartDelay>},
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
