#include "bridge/texts.h"

#include <mutex>

#include "bridge/json_text.h"
#include "capture/capture.h"
#include "platform/platform.h"
#include "state/preferences.h"
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
    float speed = tspd.load();
    std::string out = "{";
    member(out, "sh", sh.load());
    member(out, "sm", sm.load());
    member(out, "ss", ss.load());
    member(out, "sms", sms.load());
    member(out, "sbtn", sbtn.load());
    member(out, "stype", stype.load());
    member(out, "rptMode", rptMode.load());
    member(out, "rptTimes", rptTimes.load());
    member(out, "locMode", locMode.load());
    member(out, "fixedX", fixedX.load());
    member(out, "fixedY", fixedY.load());
    member(out, "tmv", tmv.load());
    member(out, "tclk", tclk.load());
    member(out, "tscr", tscr.load());
    member(out, "tkey", tkey.load());
    member(out, "trel", trel.load());
    member(out, "tspd", jsonSpeed(speed));
    member(out, "tloop", tloop.load());
    member(out, "tloopMs", tloopMs.load());
    member(out, "ksh", ksh.load());
    member(out, "ksm", ksm.load());
    member(out, "kss", kss.load());
    member(out, "ksms", ksms.load());
    member(out, "ksRptMode", ksRptMode.load());
    member(out, "ksRptTimes", ksRptTimes.load());
    out += "}";
    return out;
}

std::string statusText() {
    std::string out = "{";
    {
        std::lock_guard<std::mutex> lock(profilesLock);
        size_t count = 0;
        if (currentProfile >= 0 && static_cast<size_t>(currentProfile) < profiles.size()) {
            count = profiles[static_cast<size_t>(currentProfile)].events.size();
        }
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
        member(out, "inputBlocked", (clicking || spamming) && inputBlocked.load());
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
