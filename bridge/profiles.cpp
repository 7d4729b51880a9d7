#include "bridge/profiles.h"

#include <mutex>

#include "bridge/json_text.h"
#include "state/numbers.h"
#include "state/profile_settings.h"
#include "state/state.h"

namespace rv {

namespace {

constexpr size_t kProfileCap = 3;

bool currentInRange() {
    return currentProfile >= 0 && static_cast<size_t>(currentProfile) < profiles.size();
}

// A profile without its own settings text takes the defaults.
void applyProfileCopy(const std::string& settingsText) {
    if (settingsText.empty()) {
        profileDefaults();
    } else {
        applyProfileSettingsText(settingsText);
    }
}

}  // namespace

void addProfile(const std::string& name) {
    if (name.empty() || recording.load()) return;
    std::string settings = profileSettingsText();
    std::lock_guard<std::mutex> lock(profilesLock);
    if (profiles.size() >= kProfileCap) return;
    profiles.push_back(Profile{name, std::move(settings), {}});
    currentProfile = static_cast<int32_t>(profiles.size() - 1);
}

void deleteProfile() {
    if (recording.load()) return;
    std::string settings;
    {
        std::lock_guard<std::mutex> lock(profilesLock);
        if (profiles.size() < 2 || !currentInRange()) return;
        profiles.erase(profiles.begin() + currentProfile);
        if (static_cast<size_t>(currentProfile) >= profiles.size()) {
            currentProfile = static_cast<int32_t>(profiles.size() - 1);
        }
        settings = profiles[static_cast<size_t>(currentProfile)].settingsText;
    }
    applyProfileCopy(settings);
}

void switchProfile(const std::string& stripped) {
    if (recording.load()) return;
    auto index = parseInt32(stripped);
    if (!index) return;
    std::string settings;
    {
        std::lock_guard<std::mutex> lock(profilesLock);
        if (*index < 0 || static_cast<size_t>(*index) >= profiles.size()) return;
        currentProfile = *index;
        settings = profiles[static_cast<size_t>(currentProfile)].settingsText;
    }
    applyProfileCopy(settings);
}

void clearProfile() {
    if (recording.load()) return;
    profileDefaults();
    std::string settings = profileSettingsText();
    std::lock_guard<std::mutex> lock(profilesLock);
    if (!currentInRange()) return;
    Profile& current = profiles[static_cast<size_t>(currentProfile)];
    current.events.clear();
    current.settingsText = std::move(settings);
}

std::string profilesText() {
    std::lock_guard<std::mutex> lock(profilesLock);
    std::string text = "{\"current\":" + std::to_string(currentProfile) + ",\"names\":[";
    for (size_t i = 0; i < profiles.size(); ++i) {
        if (i > 0) text += ',';
        text += jsonString(profiles[i].name);
    }
    text += "],\"cap\":" + std::to_string(kProfileCap) + "}";
    return text;
}

}  // namespace rv
