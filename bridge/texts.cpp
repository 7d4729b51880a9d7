#include "bridge/texts.h"

#include <cmath>
#include <mutex>
#include <utility>

#include "bridge/display_session.h"
#include "bridge/json_text.h"
#include "capture/capture.h"
#include "capture/recording.h"
#include "engine/control.h"
#include "platform/platform.h"
#include "state/preferences.h"
#include "state/save_problems.h"
#include "state/settings.h"
#include "state/state.h"
#include "state/text_file.h"

namespace rv {

namespace {

void member(std::string& out, const char* key, const std::string& value) {
    out += out.size() > 1 ? ",\"" : "\"";
    out += key;
    out += "\":";
    out += value;
}

void member(std::string& out, const char* key, int32_t value) {
    member(out, key, std::to_string(value));
}
void member(std::string& out, const char* key, bool value) {
    member(out, key, std::string(jsonBool(value)));
}

std::string stringArray(const std::vector<std::string>& items) {
    std::string out = "[";
    for (size_t i = 0; i < items.size(); ++i) {
        if (i > 0) out += ',';
        out += jsonString(items[i]);
    }
    return out + "]";
}

// The names of the keys the key spammer presses after keySpamTarget, as a JSON array.
std::string keyNamesArray() {
    std::string out = "[";
    for (const std::atomic<int32_t>& key : keySpamKeys) {
        const int32_t code = key.load();
        if (code == 0) break;
        if (out.size() > 1) out += ',';
        out += jsonString(keyDisplayName(code));
    }
    return out + "]";
}

int32_t secondsLeft(bool running, int64_t startedAt, int32_t limitSeconds, int64_t now) {
    if (!running || limitSeconds <= 0) return -1;
    if (startedAt == 0) return limitSeconds;
    const double left =
        limitSeconds - static_cast<double>(now - startedAt) / static_cast<double>(counterFrequency);
    return left <= 0 ? 0 : static_cast<int32_t>(std::ceil(left));
}

}  // namespace

std::string settingsText() {
    std::string out = "{";
    for (const Setting* s = settingsBegin(); s != settingsEnd(); ++s) {
        if (!s->inSettingsText) continue;
        if (s->type == SettingType::Flag) {
            member(out, s->name, s->flag->load());
        } else if (s->type == SettingType::Speed) {
            member(out, s->name, jsonSpeed(s->speed->load()));
        } else if (s->type == SettingType::Text || s->type == SettingType::KeyList) {
            member(out, s->name, jsonString(settingText(*s)));
        } else {
            member(out, s->name, s->integer->load());
        }
    }
    out += "}";
    return out;
}

std::vector<std::string> reapEndedPanels() {
    std::vector<std::string> ended;
    for (const auto& [name, process] : panelProcesses) {
        if (plat::processStatus(process) == plat::ProcessStatus::Ended) ended.push_back(name);
    }
    for (const std::string& name : ended) {
        plat::closeProcess(panelProcesses[name]);
        panelProcesses.erase(name);
    }
    // A panel that ended while dragged leaves no hover behind.
    if (!ended.empty()) panelHover.exchange(false);
    return ended;
}

namespace {

// The status text; without `figures` it leaves out what changes while something runs (the rates
// and counts, the player's position, the size of a recording in progress).
std::string statusMembers(const std::vector<std::string>& restore, bool figures) {
    size_t count = 0;
    {
        std::lock_guard<std::mutex> lock(profilesLock);
        if (const Profile* current = currentProfileEntry()) count = current->events.size();
    }
    if (recording.load()) count += recordedEventsPending();
    const bool clicking = autoClicking.load();
    std::string out = "{";
    member(out, "state", jsonString(trackerState()));
    if (figures || !recording.load()) member(out, "count", std::to_string(count));
    member(out, "restore", stringArray(restore));
    // Each hotkey by its name ("Ctrl+F6"), "" for one that is none.
    for (const Setting* s = settingsBegin(); s != settingsEnd(); ++s) {
        const ReassignMembers* hotkey =
            s->group == SettingGroup::Hotkey ? reassignMembersHolding(s->integer) : nullptr;
        if (!hotkey || hotkey->key != s->integer) continue;
        const int32_t code = s->integer->load();
        member(out, s->name, jsonString(code == 0 ? "" : hotkeyDisplayName(code, hotkey->modifiers->load())));
    }
    member(out, "keySpamTarget", jsonString(keyDisplayName(keySpamTarget.load())));
    member(out, "keySpamKeys", keyNamesArray());
    member(out, "reassigning", jsonString(reassignWord(reassignTarget.load())));
    member(out, "panelHover", panelHover.load());
    member(out, "autoClicking", clicking);
    member(out, "keySpamming", keySpamming.load());
    member(out, "pickingSequence", pickSequenceRequest.load());
    // Live figures of what runs; all 0 while it is idle.
    if (figures) {
        int64_t now = plat::ticks();
        member(out, "clickRate", jsonRate(clickMeter.perSecond(now, counterFrequency)));
        member(out, "clicks", clickCount.load());
        member(out, "keyPressRate", jsonRate(keyPressMeter.perSecond(now, counterFrequency)));
        member(out, "keyPresses", keyPressCount.load());
    }
    // What the last run made, until the next starts; a count its worker has yet to put aside counts.
    const bool spamming = keySpamming.load();
    const int32_t clicks = clickCount.load(), presses = keyPressCount.load();
    member(out, "lastClicks", clicking ? 0 : clicks > 0 ? clicks : lastClickRun.load());
    member(out, "lastKeyPresses", spamming ? 0 : presses > 0 ? presses : lastKeyPressRun.load());
    if (figures) member(out, "playEvent", playEventIndex.load());
    member(out, "playEvents", playEventTotal.load());
    if (figures) {
        member(out, "playPass", playPass.load());
        // Whole seconds a time-limited run has left, -1 without a limit or while it does not run.
        const int64_t now = plat::ticks();
        member(out, "clickLeft",
               secondsLeft(clicking, clickerStartedAt.load(), clickLimitSeconds.load(), now));
        member(out, "keySpamLeft",
               secondsLeft(spamming, keySpamStartedAt.load(), keySpamLimitSeconds.load(), now));
        member(
            out, "playLeft",
            secondsLeft(playing.load() && tloop.load(), playStartedAt.load(), playLimitSeconds.load(), now));
    }
    // Whether the running clicker waits (its pointer rests on one of our windows), as
    // getClickerWaiting says: one read a second then tells the page all it shows.
    member(out, "clickerWaiting", clicking && clickerWaiting.load());
    member(out, "inputBlocked", (clicking || keySpamming.load()) && inputBlocked.load());
    // What could not be saved, said until it is (empty while everything is kept).
    member(out, "saveProblem", jsonString(saveProblemText()));
    // How the timing threads run, for Settings (with the figures: status.txt stays as it was).
    if (figures) member(out, "scheduling", jsonString(schedulingText()));
    // Where the program runs and what its input reaches there (empty on Windows).
    if (figures) member(out, "session", jsonString(displaySessionText()));
    // What the user just tried that cannot work there, for a few seconds (empty otherwise).
    if (figures) member(out, "sessionNotice", jsonString(sessionNotice()));
    out += "}";
    return out;
}

// What status.txt holds now, and where; written again only when that changes, so that a synced
// folder or a folder guard sees one write per change of state rather than one a second while
// something runs.
struct StatusFile {
    std::string path, text;
};
StatusFile statusFileHolds;

}  // namespace

void noteScheduling(plat::Scheduling got) {
    static std::mutex noting;
    std::lock_guard<std::mutex> lock(noting);
    // Normal below nice below the raised priorities; within a kind, the lesser level.
    const auto rank = [](int32_t kind) { return kind == 0 ? 0 : kind == 1 ? 1 : 2; };
    const auto kind = static_cast<int32_t>(got.kind);
    const int32_t was = schedulingKind.load(), wasLevel = schedulingLevel.load();
    const bool weaker = rank(kind) < rank(was) ||
                        (kind == was && (got.kind == plat::SchedulingKind::Nice ? got.level > wasLevel
                                                                                : got.level < wasLevel));
    if (schedulingNoted.fetch_add(1) == 0 || weaker) {
        schedulingKind.store(kind);
        schedulingLevel.store(got.level);
    }
}

std::string schedulingText() {
    const int32_t level = schedulingLevel.load();
    switch (static_cast<plat::SchedulingKind>(schedulingKind.load())) {
        case plat::SchedulingKind::RealTime:
            return "real-time (priority " + std::to_string(level) + ")";
        case plat::SchedulingKind::Nice:
            return "nice " + std::to_string(level);
        case plat::SchedulingKind::TimeCritical:
            return "time-critical priority";
        case plat::SchedulingKind::Normal:
            break;
    }
    return "normal";
}

std::string statusText(const std::vector<std::string>& restore) {
    return statusMembers(restore, true);
}

std::string trackerStatus() {
    const std::vector<std::string> restore = reapEndedPanels();
    StatusFile now{besideExe("status.txt"), statusMembers(restore, false)};
    if ((now.text != statusFileHolds.text || now.path != statusFileHolds.path) && writeStatusFile(now.text))
        statusFileHolds = std::move(now);
    return statusText(restore);
}

std::string panelStatusText() {
    std::string out = "{";
    member(out, "state", jsonString(trackerState()));
    member(out, "hkAuto", jsonString(hotkeyDisplayName(hkAuto.load(), hkAutoModifiers.load())));
    member(out, "hkKeySpam", jsonString(hotkeyDisplayName(hkKeySpam.load(), hkKeySpamModifiers.load())));
    member(out, "keySpamTarget", jsonString(keyDisplayName(keySpamTarget.load())));
    member(out, "keySpamKeys", keyNamesArray());
    member(out, "reassigning", jsonString(reassignWord(reassignTarget.load())));
    member(out, "autoClicking", autoClicking.load());
    member(out, "keySpamming", keySpamming.load());
    out += "}";
    return out;
}

}  // namespace rv
