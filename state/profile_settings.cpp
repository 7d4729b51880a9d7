#include "state/profile_settings.h"

#include <array>
#include <atomic>

#include "state/key_codes.h"
#include "state/numbers.h"
#include "state/state.h"

namespace rv {

namespace {

// The 18 settings in text order.
const std::array<std::atomic<int32_t>*, 18> kProfileFields = {
    &sh,     &sm,     &ss,  &sms, &sbtn, &stype, &rptMode,   &rptTimes,   &locMode,
    &fixedX, &fixedY, &ksh, &ksm, &kss,  &ksms,  &ksRptMode, &ksRptTimes, &keySpamTarget,
};

const std::array<int32_t, 18> kProfileDefaults = {0,
                                                  0,
                                                  0,
                                                  kDefaultIntervalMs,
                                                  0,
                                                  0,
                                                  kDefaultRepeatMode,
                                                  kDefaultRepeatTimes,
                                                  0,
                                                  0,
                                                  0,
                                                  0,
                                                  0,
                                                  0,
                                                  kDefaultIntervalMs,
                                                  kDefaultRepeatMode,
                                                  kDefaultRepeatTimes,
                                                  kDefaultKeySpamTarget};

}  // namespace

void profileDefaults() {
    for (size_t i = 0; i < kProfileFields.size(); ++i) kProfileFields[i]->store(kProfileDefaults[i]);
}

std::string profileSettingsText() {
    std::string text;
    for (size_t i = 0; i < kProfileFields.size(); ++i) {
        if (i > 0) text += ',';
        text += std::to_string(kProfileFields[i]->load());
    }
    return text;
}

void applyProfileSettingsText(std::string_view text) {
    std::vector<std::string> fields = splitFields(text, ',');
    if (fields.size() < kProfileFields.size()) return;
    for (size_t i = 0; i < kProfileFields.size(); ++i) {
        auto value = parseInt32(fields[i]);
        if (!value) return;
        // A target that is no key (a mouse button, 0, out of range) keeps the one in use.
        if (kProfileFields[i] == &keySpamTarget && !isKeySpamTargetCode(*value)) continue;
        kProfileFields[i]->store(*value);
    }
}

void refreshProfileSettings() {
    std::string text = profileSettingsText();
    std::lock_guard<std::mutex> lock(profilesLock);
    if (currentProfile >= 0 && static_cast<size_t>(currentProfile) < profiles.size()) {
        profiles[static_cast<size_t>(currentProfile)].settingsText = std::move(text);
    }
}

}  // namespace rv
