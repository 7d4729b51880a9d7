#include "state/profile_settings.h"

#include "state/numbers.h"
#include "state/settings.h"
#include "state/state.h"

namespace rv {

void profileDefaults() {
    settingsDefaults(SettingScope::Profile);
}

std::string profileSettingsText() {
    std::string text;
    for (size_t i = 0; i < profileFieldCount(); ++i) {
        if (i > 0) text += ',';
        appendStoredField(text, profileField(i));
    }
    return text;
}

void applyProfileSettingsText(std::string_view text) {
    applyStoredFields(splitFields(text, ','), profileFieldCount(), &profileField, &kProfileBlockEnd, 1);
}

void refreshProfileSettings() {
    std::string text = profileSettingsText();
    std::lock_guard<std::mutex> lock(profilesLock);
    if (Profile* profile = currentProfileEntry()) profile->settingsText = std::move(text);
}

}  // namespace rv
