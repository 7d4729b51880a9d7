#include "bridge/panel_messages.h"

#include <optional>
#include <string_view>

#include "bridge/arguments.h"
#include "bridge/bindings.h"
#include "bridge/display_session.h"
#include "bridge/macro_jobs.h"
#include "bridge/panel_sync.h"
#include "bridge/remote_commands.h"
#include "capture/capture.h"
#include "platform/platform.h"
#include "state/page_notice.h"
#include "state/state.h"
#include "state/wakes.h"

namespace rv {

namespace {

struct Message {
    std::string_view name, payload;
};

// The text up to the first zero byte, split at its first "|"; nothing without a bar.
std::optional<Message> splitMessage(const char* bytes, size_t length) {
    std::string_view text(bytes, length);
    text = text.substr(0, text.find('\0'));
    size_t bar = text.find('|');
    if (bar == std::string_view::npos) return std::nullopt;
    return Message{text.substr(0, bar), text.substr(bar + 1)};
}

}  // namespace

void sendPanelMessage(const std::string& name, const std::string& payload) {
    plat::sendPipeMessage(name + "|" + payload);
}

void handlePanelMessage(const char* bytes, size_t length) {
    std::string_view text(bytes, length);
    text = text.substr(0, text.find('\0'));
    if (text.empty()) return;
    size_t bar = text.find('|');
    if (bar == std::string_view::npos) return;
    std::string_view name = text.substr(0, bar);
    std::string_view payload = text.substr(bar + 1);
    // Payloads arrive already stripped by the panel; they are taken as they are.
    if (name == "updateSpammer") {
        applySpammerUpdate(payload);
    } else if (name == "updateKeySpam") {
        applyKeySpamUpdate(payload);
    } else if (name == "updateTracker") {
        applyTrackerUpdate(payload);
    } else if (name == "toggleSpammer") {
        raiseRequest(clickerToggleRequest);
    } else if (name == "toggleKeySpam") {
        raiseRequest(keySpamToggleRequest);
    } else if (name == "panelHover") {
        panelHover.exchange(payload == "1");
    } else if (name == "reassignKey") {
        if (!refusedOnThisSession(SessionFeature::HearingKeys)) armReassignment(payload);
    } else if (name == "changeSettings") {
        applySettingChanges(payload);
    } else if (name == "setClickStartDelay" || name == "setPlayRepeat" || name == "pickLocation" ||
               name == "togglePlay") {
        for (const MainBinding& binding : pageBindings())
            if (name == binding.name) binding.call("[" + std::string(payload) + "]");
    } else if (name == "toggleRecord") {
        toggleRecordFromPanel(payload);
    } else {
        return;
    }
    // What the message changed reaches the main page and the other panels at once.
    wake(Sleeper::Control);
}

std::string servePanelMessage(const char* bytes, size_t length) {
    if (auto message = splitMessage(bytes, length)) {
        if (auto reply = answerPanelRequest(message->name, message->payload)) return *reply;
        if (auto reply = answerRemoteCommand(message->name, message->payload)) return *reply;
        if (message->name == "saveMacro" || message->name == "loadMacro" || message->name == "macroJob" ||
            message->name == "macroCall")
            return macroPipeMessage(message->name, message->payload);
    }
    handlePanelMessage(bytes, length);
    return "";
}

void pipeServerThread() {
    // A panel's watch ends with the panel: the main page then shows that panel again.
    plat::runPipeServer(&servePanelMessage, &tellPage);
}

}  // namespace rv
