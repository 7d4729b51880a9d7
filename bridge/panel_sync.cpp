#include "bridge/panel_sync.h"

#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <vector>

#include "bridge/arguments.h"
#include "bridge/bindings.h"
#include "bridge/display_session.h"
#include "bridge/panel_messages.h"
#include "bridge/texts.h"
#include "platform/platform.h"
#include "state/numbers.h"
#include "state/preferences.h"
#include "state/profile_settings.h"
#include "state/settings.h"
#include "state/state.h"
#include "state/wakes.h"

namespace rv {

namespace {

// The members a panel edits: the clicker group, then the key-spam group, as the page sends them.
bool panelEdits(const Setting& s) {
    return s.group == SettingGroup::Clicker || s.group == SettingGroup::KeySpam;
}

const std::vector<const Setting*>& panelKeys() {
    static const std::vector<const Setting*> keys = [] {
        std::vector<const Setting*> out;
        for (SettingGroup group : {SettingGroup::Clicker, SettingGroup::KeySpam}) {
            for (const Setting* s = settingsBegin(); s != settingsEnd(); ++s) {
                if (s->group == group) out.push_back(s);
            }
        }
        return out;
    }();
    return keys;
}

using Values = std::vector<int32_t>;

// Panel instance: what the main instance reported last (and what this panel has sent since).
std::optional<Values> known;

// The integer after "key": in a JSON object text of the settings, or nothing.
std::optional<int32_t> jsonInteger(std::string_view text, const char* key) {
    const std::string marker = std::string("\"") + key + "\":";
    size_t at = text.find(marker);
    if (at == std::string_view::npos) return std::nullopt;
    std::string_view rest = text.substr(at + marker.size());
    if (rest.empty() || (rest[0] != '-' && (rest[0] < '0' || rest[0] > '9'))) return std::nullopt;
    return parseInt32(rest);
}

std::optional<Values> valuesOfSettingsText(std::string_view text) {
    Values values(panelKeys().size());
    for (size_t i = 0; i < values.size(); ++i) {
        auto value = jsonInteger(text, panelKeys()[i]->name);
        if (!value) return std::nullopt;
        values[i] = *value;
    }
    return values;
}

// After a request that got no answer the panel asks again only after a pause: a panel without a main
// instance must not spend its page's every poll waiting (on Windows a missing pipe is looked for a
// moment before the open gives up).
constexpr int64_t kSilenceMs = 2000;
int64_t askAgainAt = 0;  // counter ticks

std::optional<std::string> request(const char* name) {
    if (askAgainAt != 0 && plat::ticks() < askAgainAt) return std::nullopt;
    auto reply = plat::pipeRequest(std::string(name) + "|", kPanelRequestTimeoutMs);
    askAgainAt = reply ? 0 : plat::ticks() + kSilenceMs * plat::tickFrequency() / 1000;
    return reply;
}

}  // namespace

namespace {

constexpr const char* kForwardedRequests[] = {"getClickStartDelay", "getPlayRepeat", "getReassignRefusal",
                                              "getReplacedRecording", "restoreRecording"};

}  // namespace

std::optional<std::string> answerPanelRequest(std::string_view name, std::string_view) {
    if (name == "getSettings") return settingsText();
    if (name == "getPanelStatus") return panelStatusText();
    if (name == "getTrackerStatus") return statusText();
    // What the panels show and do through the main page's own calls of those names.
    for (const char* shared : kForwardedRequests) {
        if (name != shared) continue;
        for (const MainBinding& binding : pageBindings()) {
            if (name != binding.name) continue;
            std::string reply = binding.call("[]");
            wake(Sleeper::Control);  // what it changed reaches the pages
            return reply;
        }
    }
    return std::nullopt;
}

void toggleRecordFromPanel(std::string_view rectangle) {
    if (!recording.load() && refusedOnThisSession(SessionFeature::Recording)) return;
    std::vector<int32_t> edges;
    for (const std::string& field : argumentFields(rectangle)) {
        auto value = parseInt32(field);
        if (!value) break;
        edges.push_back(*value);
    }
    if (recording.load() && edges.size() == 4 && edges[0] < edges[2] && edges[1] < edges[3]) {
        recordTrimLeft.store(edges[0]);
        recordTrimTop.store(edges[1]);
        recordTrimRight.store(edges[2]);
        recordTrimBottom.store(edges[3]);
        recordTrimRequest.exchange(true);
    }
    raiseRequest(recordToggleRequest);
}

int applySettingChanges(std::string_view payload) {
    int applied = 0;
    bool shared = false;
    for (const std::string& field : argumentFields(payload)) {
        size_t equals = field.find('=');
        if (equals == std::string::npos) break;
        const Setting* key = settingNamed(std::string_view(field).substr(0, equals));
        if (!key || !(panelEdits(*key) || changedByName(*key))) break;
        auto value = acceptSettingText(*key, std::string_view(field).substr(equals + 1));
        if (!value) break;
        storeAcceptedText(*key, *value);
        shared = shared || key->store == SettingStore::AppSettings;
        ++applied;
    }
    if (applied > 0) refreshProfileSettings();
    if (shared) saveAppSettings();
    return applied;
}

void seedPanelSettings(std::string_view profileSettingsText) {
    std::vector<std::string> fields = splitFields(profileSettingsText, ',');
    if (fields.size() < profileFieldCount()) return;
    Values values(panelKeys().size());
    for (size_t i = 0; i < values.size(); ++i) {
        auto value = parseInt32(fields[static_cast<size_t>(panelKeys()[i]->profileField)]);
        if (!value) return;
        values[i] = *value;
    }
    known = values;
}

std::string panelGetSettings() {
    auto reply = request("getSettings");
    if (!reply) return "";
    if (auto values = valuesOfSettingsText(*reply)) known = values;
    return *reply;
}

std::string panelGetStatus() {
    return request("getTrackerStatus").value_or("");
}

std::string panelRequest(const char* name) {
    return request(name).value_or("");
}

void panelUpdateGroup(SettingsGroup group, std::string_view stripped) {
    const bool clicker = group == SettingsGroup::Clicker;
    size_t clickerCount = 0;
    for (const Setting* key : panelKeys()) clickerCount += key->group == SettingGroup::Clicker;
    const size_t first = clicker ? 0 : clickerCount;
    const size_t count = clicker ? clickerCount : panelKeys().size() - clickerCount;
    const char* wholeGroup = clicker ? "updateSpammer" : "updateKeySpam";

    std::vector<std::string> fields = argumentFields(stripped);
    std::vector<int32_t> values;
    for (size_t i = 0; i < count && i < fields.size(); ++i) {
        auto value = parseInt32(fields[i]);
        if (!value) break;
        values.push_back(*value);
    }
    if (!known) panelGetSettings();
    if (values.size() < count || !known) {
        // The main instance applies its own rules to it, as it would for its own page.
        sendPanelMessage(wholeGroup, std::string(stripped));
        return;
    }
    std::string changes;
    for (size_t i = 0; i < count; ++i) {
        if (values[i] == (*known)[first + i]) continue;
        if (!changes.empty()) changes += ',';
        changes += panelKeys()[first + i]->name;
        changes += '=';
        changes += std::to_string(values[i]);
    }
    if (changes.empty()) return;
    if (plat::sendPipeMessage("changeSettings|" + changes)) {
        for (size_t i = 0; i < count; ++i) (*known)[first + i] = values[i];
    }
}

namespace {

std::mutex watchLock;
std::condition_variable watchWake;
bool watchStopped = false;  // guarded by watchLock

}  // namespace

void runPanelWatch(void (*told)()) {
    for (;;) {
        {
            std::lock_guard<std::mutex> lock(watchLock);
            if (watchStopped) return;
        }
        plat::watchPipe(told);
        std::unique_lock<std::mutex> lock(watchLock);
        if (watchWake.wait_for(lock, std::chrono::milliseconds(kPanelWatchRetryMs),
                               [] { return watchStopped; }))
            return;
    }
}

void stopPanelWatch() {
    {
        std::lock_guard<std::mutex> lock(watchLock);
        watchStopped = true;
    }
    watchWake.notify_all();
    plat::stopPipeWatch();
}

void resetPanelSyncForTests() {
    {
        std::lock_guard<std::mutex> lock(watchLock);
        watchStopped = false;
    }
    known.reset();
    askAgainAt = 0;
}

}  // namespace rv
