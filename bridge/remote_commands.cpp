#include "bridge/remote_commands.h"

#include <algorithm>
#include <atomic>
#include <mutex>
#include <tuple>
#include <vector>

#include "bridge/arguments.h"
#include "bridge/display_session.h"
#include "bridge/json_text.h"
#include "bridge/macro_jobs.h"
#include "bridge/profiles.h"
#include "bridge/texts.h"
#include "capture/capture.h"
#include "capture/recording.h"
#include "engine/control.h"
#include "platform/platform.h"
#include "state/macro_file.h"
#include "state/macro_library.h"
#include "state/numbers.h"
#include "state/page_notice.h"
#include "state/preferences.h"
#include "state/profile_settings.h"
#include "state/settings.h"
#include "state/state.h"
#include "state/wakes.h"

#ifndef RAVELIN_BRIDGE_VERSION
#define RAVELIN_BRIDGE_VERSION "unknown"
#endif

namespace rv {

namespace {

std::string okReply(bool ok, const std::string& message) {
    return std::string("{\"ok\":") + jsonBool(ok) + ",\"message\":" + jsonString(message) + "}";
}

std::string refused(const std::string& why) {
    return okReply(false, why);
}

// ---- functions ---------------------------------------------------------------------------------

struct Function {
    const char* word;
    const char* title;  // for the replies: "Started the auto-clicker."
    std::atomic<bool>* running;
    std::atomic<bool>* request;  // the control thread's toggle request
};

const Function kFunctions[] = {
    {"clicker", "the auto-clicker", &autoClicking, &clickerToggleRequest},
    {"keyspam", "the key spammer", &keySpamming, &keySpamToggleRequest},
    {"record", "the recording", &recording, &recordToggleRequest},
    {"play", "the playback", &playing, &playToggleRequest},
};

const Function* functionNamed(std::string_view word) {
    for (const Function& function : kFunctions) {
        if (word == function.word) return &function;
    }
    return nullptr;
}

size_t currentEventCount() {
    std::lock_guard<std::mutex> lock(profilesLock);
    const Profile* current = currentProfileEntry();
    return current ? current->events.size() : 0;
}

// Why the function cannot start now, by the control thread's own rules; empty when it can.
std::string startProblem(const Function& function) {
    if (function.running == &recording) {
        std::string unavailable = unavailableText(displaySession(), SessionFeature::Recording);
        if (!unavailable.empty()) return unavailable;
    }
    if (function.running == &recording && playing.load()) return "Stop the playback first.";
    if (function.running == &playing) {
        if (recording.load()) return "Stop the recording first.";
        if (currentEventCount() == 0) return "The current profile has no recording to play.";
    }
    return "";
}

// How long a stop's request may have been taken while the function still runs before the request is
// raised again, in ms: the control thread takes a request and switches in one pass, microseconds apart.
constexpr int kRetakenAfterMs = 50;
// How often the flags are looked at while waiting: the control thread acts within microseconds of
// the request.
constexpr int kPollUs = 100;
constexpr int kPollsPerMs = 1000 / kPollUs;

// Waits until every flag has its wanted value, or kSwitchWaitMs have gone; true when they have. The
// requests only invert: a function that stopped by itself just before its stop was carried out is
// started again by it, so a stop whose request was taken long ago while the function runs is raised
// once more. (A start is never raised again: a clicker that runs to its count and stops within the
// wait has done what it was started for.)
bool waitForFlags(const std::vector<std::pair<const Function*, bool>>& wanted) {
    std::vector<int> takenFor(wanted.size(), 0);
    for (int polls = 0;; ++polls) {
        bool all = true;
        for (size_t i = 0; i < wanted.size(); ++i) {
            const auto& [function, on] = wanted[i];
            // A start is carried out once the control thread has taken its request: a short macro or a
            // clicker with a small count may have finished again before this looks.
            const bool there = function->running->load() == on || (on && !function->request->load());
            all = all && there;
            takenFor[i] = !there && !on && !function->request->load() ? takenFor[i] + 1 : 0;
            if (takenFor[i] >= kRetakenAfterMs * kPollsPerMs) {
                raiseRequest(*function->request);
                takenFor[i] = 0;
            }
        }
        if (all) return true;
        if (polls >= kSwitchWaitMs * kPollsPerMs) return false;
        plat::sleepUs(kPollUs);
    }
}

std::string capitalised(std::string text) {
    if (!text.empty() && text[0] >= 'a' && text[0] <= 'z') text[0] = static_cast<char>(text[0] - 'a' + 'A');
    return text;
}

std::string switchFunction(std::string_view action, std::string_view word) {
    if (action == "stop" && word == "all") {
        std::vector<std::pair<const Function*, bool>> wanted;
        for (const Function& function : kFunctions) {
            if (!function.running->load()) continue;
            raiseRequest(*function.request);
            wanted.emplace_back(&function, false);
        }
        if (wanted.empty()) return okReply(true, "Nothing runs.");
        if (!waitForFlags(wanted)) return refused("Not everything stopped in time.");
        return okReply(true, "Stopped everything.");
    }
    const Function* function = functionNamed(word);
    if (!function) return refused("Unknown function \"" + std::string(word) + "\".");
    const bool now = function->running->load();
    const bool want = action == "start" ? true : action == "stop" ? false : !now;
    const std::string title = function->title;
    if (now == want) return okReply(true, capitalised(title) + (now ? " runs already." : " is not running."));
    if (want) {
        std::string problem = startProblem(*function);
        if (!problem.empty()) return refused(problem);
    }
    raiseRequest(*function->request);
    if (!waitForFlags({{function, want}}))
        return refused(capitalised(title) + " did not " + (want ? "start" : "stop") + " in time.");
    return okReply(true, std::string(want ? "Started " : "Stopped ") + title + ".");
}

// ---- playing a macro ---------------------------------------------------------------------------

// Applies what a playback was asked for, as the Macro panel's fields would: the speed, and the passes
// (1 plays once; more, or 0 for until stopped, loop with that repeat count). Macro worker.
void applyPlayback(std::optional<double> speed, std::optional<int32_t> passes) {
    if (speed) tspd.store(static_cast<float>(*speed));
    if (passes) {
        tloop.store(*passes != 1);
        if (*passes != 1) savePlayRepeat(*passes);
    }
}

MacroTaskResult playTask(bool file, const std::string& source, std::optional<double> speed,
                         std::optional<int32_t> passes) {
    MacroFile macro;
    std::string problem = file ? readMacroFile(source, macro) : loadLibraryMacro(source, macro);
    const std::string shown = file ? source : "\"" + source + "\"";
    if (!problem.empty()) return {false, shown + " was not played:\n" + problem, source};
    if (macro.events.empty()) return {false, shown + " has no steps to play.", source};
    const size_t steps = macro.events.size();
    if (!replaceRecording(std::move(macro.events)))
        return {false, "Stop the recording or playback first.", source};
    applyPlayback(speed, passes);
    raiseRequest(playToggleRequest);
    static const Function& play = kFunctions[3];
    if (!waitForFlags({{&play, true}}))
        return {false, shown + " was loaded but the playback did not start.", source};
    return {true, "Playing " + shown + " (" + std::to_string(steps) + (steps == 1 ? " step)." : " steps)."),
            source};
}

// SPEED|PASSES|SOURCE: the speed and passes checked here, so a refusal changes nothing; the file work
// goes to the macro worker.
std::string playMacro(bool file, std::string_view payload) {
    std::vector<std::string> fields;
    for (int i = 0; i < 2; ++i) {
        const size_t bar = payload.find('|');
        if (bar == std::string_view::npos) return refused("The request is malformed.");
        fields.emplace_back(payload.substr(0, bar));
        payload.remove_prefix(bar + 1);
    }
    const std::string source(payload);
    std::optional<double> speed;
    if (!fields[0].empty()) {
        const Setting* tspdSetting = settingNamed("tspd");
        speed = tspdSetting ? parseSettingValue(*tspdSetting, fields[0]) : std::nullopt;
        if (!speed) return refused("The speed must be a number from 0.1 to 10.");
    }
    std::optional<int32_t> passes;
    if (!fields[1].empty()) {
        passes = parseInt32(fields[1]);
        if (!passes || *passes < 0 || *passes > kMostRemotePasses)
            return refused("The passes must be a whole number from 0 (until stopped) to 1000000.");
    }
    if (file) {
        if (source.empty()) return refused("No macro file was named.");
    } else {
        std::string problem = macroNameProblem(source);
        if (!problem.empty()) return refused(problem);
    }
    if (recording.load()) return refused("Stop the recording first.");
    if (playing.load()) return refused("A playback runs already; stop it first.");
    const int64_t job =
        startMacroTask([file, source, speed, passes] { return playTask(file, source, speed, passes); });
    if (job == 0) return refused("Too many macro operations wait.");
    return "{\"job\":" + std::to_string(job) + "}";
}

// ---- profiles --------------------------------------------------------------------------------------

std::string lowerAscii(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return out;
}

std::string useProfile(std::string_view name) {
    int32_t found = -1;
    std::string names;
    {
        std::lock_guard<std::mutex> lock(profilesLock);
        // The exact name first; else the one name that differs only in the case of ASCII letters.
        int32_t loose = -1, looseCount = 0;
        for (size_t i = 0; i < profiles.size(); ++i) {
            if (profiles[i].name == name) found = static_cast<int32_t>(i);
            if (lowerAscii(profiles[i].name) == lowerAscii(name))
                loose = static_cast<int32_t>(i), ++looseCount;
            names += (i > 0 ? ", " : "") + jsonString(profiles[i].name);
        }
        if (found < 0 && looseCount == 1) found = loose;
    }
    if (found < 0)
        return refused("No profile named \"" + std::string(name) + "\". The profiles: " + names + ".");
    if (recording.load()) return refused("Stop the recording first.");
    switchProfile(std::to_string(found));
    tellPage();
    wake(Sleeper::Control);
    return okReply(true, "Profile \"" + std::string(name) + "\" is in use.");
}

// ---- settings ----------------------------------------------------------------------------------------

// What the setting takes, for a refusal.
std::string rangeText(const Setting& setting) {
    if (setting.type == SettingType::Flag) return "0 or 1";
    if (setting.isCode) return "a key code that is free for it";
    if (setting.type == SettingType::Speed) return "a number from 0.1 to 10";
    if (setting.type == SettingType::Text)
        return "up to " + std::to_string(kMaxSequencePoints) +
               " points X:Y:BUTTON:DOUBLE:WAIT joined by / (button 0 to 2, double 0 or 1, wait in ms)";
    auto whole = [](double value) { return std::to_string(static_cast<int64_t>(value)); };
    return "a whole number from " + whole(setting.min) + " to " + whole(setting.max);
}

// A number and nothing else: an optional minus and digits, with one point among them when `decimal`.
bool plainNumber(std::string_view text, bool decimal) {
    if (!text.empty() && text[0] == '-') text.remove_prefix(1);
    const size_t point = text.find('.');
    if (point != std::string_view::npos && (!decimal || text.find('.', point + 1) != std::string_view::npos))
        return false;
    return !text.empty() && text != "." && text.find_first_not_of("0123456789.") == std::string_view::npos;
}

std::string setSettings(std::string_view payload) {
    std::vector<std::pair<const Setting*, std::string>> changes;
    // The hotkeys the changes touch, as they would be, and the name of the last setting of each.
    std::vector<KeyChoice> choices;
    std::vector<std::string> choiceNames;
    for (const std::string& field : argumentFields(payload)) {
        const size_t equals = field.find('=');
        if (equals == std::string::npos) return refused("\"" + field + "\" is not NAME=VALUE.");
        const std::string name = field.substr(0, equals);
        const Setting* setting = settingNamed(name);
        if (!setting || setting->type == SettingType::Reserved || hasOwnCalls(*setting))
            return refused("No setting named \"" + name + "\".");
        const std::string_view text = std::string_view(field).substr(equals + 1);
        if (setting->type == SettingType::KeyList) {
            auto keys = acceptSettingText(*setting, text);
            if (!keys)
                return refused(name + " takes up to " + std::to_string(kKeySpamMoreKeys) +
                               " key codes (7 to 254) joined by '.', or nothing.");
            changes.emplace_back(setting, *keys);
            continue;
        }
        // The whole text is the number: "2.5" or "12px" is refused, not read as 2 or 12.
        const bool wellFormed =
            setting->type == SettingType::Text || plainNumber(text, setting->type == SettingType::Speed);
        auto value = wellFormed ? acceptSettingText(*setting, text) : std::nullopt;
        if (!value) return refused(name + " takes " + rangeText(*setting) + ".");
        // A hotkey's key or modifiers: the pair they make is checked against the other keys below.
        if (const ReassignMembers* members = reassignMembersHolding(setting->integer)) {
            auto chosen = std::find_if(choices.begin(), choices.end(),
                                       [&](const KeyChoice& c) { return c.target == members->target; });
            if (chosen == choices.end()) {
                chosen = choices.insert(choices.end(), {members->target, members->key->load(),
                                                        hotkeyModifiersOf(members->target)});
                choiceNames.emplace_back();
            }
            const int32_t number = parseInt32(*value).value_or(0);
            (setting->integer == members->key ? chosen->code : chosen->modifiers) = number;
            choiceNames[static_cast<size_t>(chosen - choices.begin())] = name;
        }
        changes.emplace_back(setting, *value);
    }
    if (changes.empty()) return refused("No setting was named.");
    const KeyClash clash = keyClash(choices);
    if (clash.holder != kNoTarget) return refused(choiceNames[clash.choice] + ": that key is taken already.");
    bool profileScope = false, codes = false, shared = false;
    for (const auto& [setting, value] : changes) {
        storeAcceptedText(*setting, value);
        profileScope = profileScope || setting->scope == SettingScope::Profile;
        codes = codes || setting->isCode || setting->group == SettingGroup::Hotkey;
        shared = shared || setting->store == SettingStore::AppSettings;
    }
    if (profileScope) refreshProfileSettings();
    if (shared) saveAppSettings();
    if (codes) plat::wakeCaptureLoop();
    wake(Sleeper::Control);
    return okReply(true, changes.size() == 1 ? "Set 1 setting."
                                             : "Set " + std::to_string(changes.size()) + " settings.");
}

}  // namespace

std::string remoteStatusText() {
    std::string profile;
    size_t steps = 0;
    int32_t index = 0;
    {
        std::lock_guard<std::mutex> lock(profilesLock);
        index = currentProfile;
        if (const Profile* current = currentProfileEntry()) {
            profile = current->name;
            steps = current->events.size();
        }
    }
    // The reply has a size limit; a name is cut at a character boundary well within it.
    constexpr size_t kNameShown = 200;
    if (profile.size() > kNameShown) {
        size_t cut = kNameShown;
        while (cut > 0 && (static_cast<unsigned char>(profile[cut]) & 0xC0) == 0x80) --cut;
        profile.resize(cut);
    }
    const int64_t now = plat::ticks();
    const bool clicking = autoClicking.load(), spamming = keySpamming.load();
    std::string out = "{\"tracker\":" + jsonString(trackerState());
    out += ",\"profile\":" + jsonString(profile) + ",\"profileIndex\":" + std::to_string(index);
    out += ",\"clicker\":{\"running\":" + std::string(jsonBool(clicking)) +
           ",\"clicks\":" + std::to_string(clickCount.load()) +
           ",\"rate\":" + jsonRate(clickMeter.perSecond(now, counterFrequency)) +
           ",\"waiting\":" + jsonBool(clicking && clickerWaiting.load()) + "}";
    out += ",\"keyspam\":{\"running\":" + std::string(jsonBool(spamming)) +
           ",\"presses\":" + std::to_string(keyPressCount.load()) +
           ",\"rate\":" + jsonRate(keyPressMeter.perSecond(now, counterFrequency)) + "}";
    out += ",\"record\":{\"running\":" + std::string(jsonBool(recording.load())) +
           ",\"steps\":" + std::to_string(steps) + "}";
    out += ",\"play\":{\"running\":" + std::string(jsonBool(playing.load())) +
           ",\"pass\":" + std::to_string(playPass.load()) +
           ",\"step\":" + std::to_string(playEventIndex.load()) +
           ",\"steps\":" + std::to_string(playEventTotal.load()) + ",\"speed\":" + jsonSpeed(tspd.load()) +
           "}";
    out += ",\"inputBlocked\":" + std::string(jsonBool((clicking || spamming) && inputBlocked.load()));
    // The hotkeys as the page names them ("Ctrl+F6"); "" for one that is none.
    out += ",\"hotkeys\":{";
    const char* comma = "";
    for (auto [word, code, modifiers] : {std::tuple{"record", hkRec.load(), hkRecModifiers.load()},
                                         {"play", hkPlay.load(), hkPlayModifiers.load()},
                                         {"clicker", hkAuto.load(), hkAutoModifiers.load()},
                                         {"keyspam", hkKeySpam.load(), hkKeySpamModifiers.load()},
                                         {"stopAll", hkStopAll.load(), hkStopAllModifiers.load()}}) {
        out += comma;
        out += jsonString(word) + ":" + jsonString(code == 0 ? "" : hotkeyDisplayName(code, modifiers));
        comma = ",";
    }
    out += "}";
    out += ",\"scheduling\":" + jsonString(schedulingText());
    out += ",\"session\":" + jsonString(displaySessionText()) + "}";
    return out;
}

std::optional<std::string> answerRemoteCommand(std::string_view name, std::string_view payload) {
    if (name == "startFunction") return switchFunction("start", payload);
    if (name == "stopFunction") return switchFunction("stop", payload);
    if (name == "toggleFunction") return switchFunction("toggle", payload);
    if (name == "playMacro") return playMacro(false, payload);
    if (name == "playMacroFile") return playMacro(true, payload);
    if (name == "useProfile") return useProfile(payload);
    if (name == "setSettings") return setSettings(payload);
    if (name == "getStatus") return remoteStatusText();
    if (name == "getVersion") return std::string("{\"version\":") + jsonString(RAVELIN_BRIDGE_VERSION) + "}";
    return std::nullopt;
}

}  // namespace rv
