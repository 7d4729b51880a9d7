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
    std::string options = namedSettingsText(SettingStore::ProfileOptions, ',');
    if (!options.empty()) text += kProfileOptionsMark + options;
    return text;
}

void applyProfileSettingsText(std::string_view text) {
    size_t mark = text.find(kProfileOptionsMark);
    std::string_view options = mark == std::string_view::npos ? std::string_view() : text.substr(mark + 1);
    std::vector<std::string> fields = splitFields(text.substr(0, mark), ',');
    if (fields.size() < kProfileBlockEnd) return;
    applyStoredFields(fields, profileFieldCount(), &profileField, &kProfileBlockEnd, 1);
    applyNamedSettingsText(SettingStore::ProfileOptions, options, ',');
}

void refreshProfileSettings() {
    std::string text = profileSettingsText();
    std::lock_guard<std::mutex> lock(profilesLock);
    if (Profile* profile = currentProfileEntry()) profile->settingsText = std::move(text);
}

}  // namespace rv
