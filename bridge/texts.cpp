#include "bridge/texts.h"

#include <mutex>

#include "bridge/json_text.h"
#include "capture/capture.h"
#include "platform/platform.h"
#include "state/preferences.h"
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

std::string statusText() {
    std::string out = "{";
    {
        std::lock_guard<std::mutex> lock(profilesLock);
        const Profile* current = currentProfileEntry();
        size_t count = current ? current->events.size() : 0;
        const char* state = trackerState();
        // Panels whose process has ended are reported once, so the page shows them again.
        std::vector<std::string> restore;
        for (const auto& [name, process] : panelProcesses) {
            if (plat::processStatus(process) == plat::ProcessStatus::Ended) restore.push_back(name);
        }
        for (const std::string& name : restore) {
            plat::closeProcess(panelProcesses[name]);
            panelProcesses.erase(name);
        }
        if (!restore.empty()) panelHover.exchange(false);
        const char* reassigning = reassignWord(reassignTarget.load());
        bool spamming = keySpamming.load(), clicking = autoClicking.load(), hover = panelHover.load();
        std::string target = keyDisplayName(keySpamTarget.load());
        std::string keySpamHotkey = keyDisplayName(hkKeySpam.load());
        std::string autoHotkey = keyDisplayName(hkAuto.load());
        std::string playHotkey = keyDisplayName(hkPlay.load());
        std::string recordHotkey = keyDisplayName(hkRec.load());

        member(out, "state", jsonString(state));
        member(out, "count", std::to_string(count));
        member(out, "restore", stringArray(restore));
        member(out, "hkRec", jsonString(recordHotkey));
        member(out, "hkPlay", jsonString(playHotkey));
        member(out, "hkAuto", jsonString(autoHotkey));
        member(out, "hkKeySpam", jsonString(keySpamHotkey));
        member(out, "keySpamTarget", jsonString(target));
        member(out, "reassigning", jsonString(reassigning));
        member(out, "panelHover", hover);
        member(out, "autoClicking", clicking);
        member(out, "keySpamming", spamming);
        // Live figures of what runs; all 0 while it is idle.
        int64_t now = plat::ticks();
        member(out, "clickRate", jsonRate(clickMeter.perSecond(now, counterFrequency)));
        member(out, "clicks", clickCount.load());
        member(out, "keyPressRate", jsonRate(keyPressMeter.perSecond(now, counterFrequency)));
        member(out, "keyPresses", keyPressCount.load());
        member(out, "playEvent", playEventIndex.load());
        member(out, "playEvents", playEventTotal.load());
        member(out, "playPass", playPass.load());
        // Whether the running clicker waits (its pointer rests on one of our windows), as
        // getClickerWaiting says: one read a second then tells the page all it shows.
        member(out, "clickerWaiting", clicking && clickerWaiting.load());
        out += "}";
    }
    // The file is written after the lock is released, so file access never delays its holders.
    writeStatusFile(out);
    return out;
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
