#include "bridge/texts.h"

#include <mutex>

#include "bridge/json_text.h"
#include "capture/capture.h"
#include "platform/platform.h"
#include "state/preferences.h"
#include "state/save_problems.h"
#include "state/settings.h"
#include "state/state.h"

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

}  // namespace

std::string settingsText() {
    std::string out = "{";
    for (const Setting* s = settingsBegin(); s != settingsEnd(); ++s) {
        if (!s->inSettingsText) continue;
        if (s->type == SettingType::Flag) {
            member(out, s->name, s->flag->load());
        } else if (s->type == SettingType::Speed) {
            member(out, s->name, jsonSpeed(s->speed->load()));
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

std::string statusText(const std::vector<std::string>& restore) {
    size_t count = 0;
    {
        std::lock_guard<std::mutex> lock(profilesLock);
        if (const Profile* current = currentProfileEntry()) count = current->events.size();
    }
    const bool clicking = autoClicking.load();
    std::string out = "{";
    member(out, "state", jsonString(trackerState()));
    member(out, "count", std::to_string(count));
    member(out, "restore", stringArray(restore));
    member(out, "hkRec", jsonString(keyDisplayName(hkRec.load())));
    member(out, "hkPlay", jsonString(keyDisplayName(hkPlay.load())));
    member(out, "hkAuto", jsonString(keyDisplayName(hkAuto.load())));
    member(out, "hkKeySpam", jsonString(keyDisplayName(hkKeySpam.load())));
    member(out, "keySpamTarget", jsonString(keyDisplayName(keySpamTarget.load())));
    member(out, "reassigning", jsonString(reassignWord(reassignTarget.load())));
    member(out, "panelHover", panelHover.load());
    member(out, "autoClicking", clicking);
    member(out, "keySpamming", keySpamming.load());
    // Live figures of what runs; all 0 while it is idle.
    int64_t now = plat::ticks();
    member(out, "clickRate", jsonRate(clickMeter.perSecond(now, counterFrequency)));
    member(out, "clicks", clickCount.load());
    member(out, "keyPressRate", jsonRate(keyPressMeter.perSecond(now, counterFrequency)));
    member(out, "keyPresses", keyPressCount.load());
    // What the last run made, until the next starts; a count its worker has yet to put aside counts.
    const bool spamming = keySpamming.load();
    const int32_t clicks = clickCount.load(), presses = keyPressCount.load();
    member(out, "lastClicks", clicking ? 0 : clicks > 0 ? clicks : lastClickRun.load());
    member(out, "lastKeyPresses", spamming ? 0 : presses > 0 ? presses : lastKeyPressRun.load());
    member(out, "playEvent", playEventIndex.load());
    member(out, "playEvents", playEventTotal.load());
    member(out, "playPass", playPass.load());
    // Whether the running clicker waits (its pointer rests on one of our windows), as
    // getClickerWaiting says: one read a second then tells the page all it shows.
    member(out, "clickerWaiting", clicking && clickerWaiting.load());
    member(out, "inputBlocked", (clicking || keySpamming.load()) && inputBlocked.load());
    // What could not be saved, said until it is (empty while everything is kept).
    member(out, "saveProblem", jsonString(saveProblemText()));
    out += "}";
    return out;
}

std::string trackerStatus() {
    std::string text = statusText(reapEndedPanels());
    writeStatusFile(text);
    return text;
}

std::string panelStatusText() {
    std::string out = "{";
    member(out, "state", jsonString(trackerState()));
    member(out, "hkAuto", jsonString(keyDisplayName(hkAuto.load())));
    member(out, "hkKeySpam", jsonString(keyDisplayName(hkKeySpam.load())));
    member(out, "keySpamTarget", jsonString(keyDisplayName(keySpamTarget.load())));
    member(out, "reassigning", jsonString(reassignWord(reassignTarget.load())));
    member(out, "autoClicking", autoClicking.load());
    member(out, "keySpamming", keySpamming.load());
    out += "}";
    return out;
}

}  // namespace rv
