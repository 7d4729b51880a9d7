#include "bridge/profiles.h"

#include <mutex>
#include <string_view>

#include "bridge/json_text.h"
#include "capture/recording.h"
#include "state/numbers.h"
#include "state/profile_settings.h"
#include "state/state.h"

namespace rv {

namespace {

constexpr size_t kProfileCap = 3;

// A profile without its own settings text takes the defaults.
void applyProfileCopy(const std::string& settingsText) {
    if (settingsText.empty()) {
        profileDefaults();
    } else {
        applyProfileSettingsText(settingsText);
    }
}

// Session files keep one name a line.
bool validName(std::string_view name) {
    return !name.empty() && name.find_first_of("\r\n") == std::string_view::npos;
}

// A name as profiles are told apart: surrounding blanks dropped, ASCII letters in lower case.
std::string nameKey(std::string_view name) {
    size_t first = name.find_first_not_of(" \t"), last = name.find_last_not_of(" \t");
    std::string key(first == std::string_view::npos ? std::string_view()
                                                    : name.substr(first, last - first + 1));
    for (char& c : key) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return key;
}

// Another profile than `except` has the name already. The caller holds profilesLock.
bool nameTaken(std::string_view name, int32_t except) {
    const std::string key = nameKey(name);
    for (size_t i = 0; i < profiles.size(); ++i) {
        if (static_cast<int32_t>(i) != except && nameKey(profiles[i].name) == key) return true;
    }
    return false;
}

}  // namespace

void addProfile(const std::string& name) {
    if (!validName(name) || recording.load()) return;
    std::string settings = profileSettingsText();
    std::lock_guard<std::mutex> lock(profilesLock);
    if (profiles.size() >= kProfileCap || nameTaken(name, -1)) return;
    profiles.push_back(Profile{name, std::move(settings), {}});
    currentProfile = static_cast<int32_t>(profiles.size() - 1);
    forgetReplacedRecordingLocked();
}

void deleteProfile() {
    deleteProfileAt(-1);
}

void deleteProfileAt(int32_t index) {
    if (recording.load()) return;
    std::string settings;
    {
        std::lock_guard<std::mutex> lock(profilesLock);
        int32_t doomed = index == -1 ? currentProfile : index;
        if (profiles.size() < 2 || doomed < 0 || static_cast<size_t>(doomed) >= profiles.size()) return;
        profiles.erase(profiles.begin() + doomed);
        forgetReplacedRecordingLocked();
        if (doomed < currentProfile) {
            // Another profile went: the current one stays current and its live settings stay.
            --currentProfile;
            return;
        }
        if (doomed > currentProfile) return;
        if (static_cast<size_t>(currentProfile) >= profiles.size()) {
            currentProfile = static_cast<int32_t>(profiles.size() - 1);
        }
        settings = profiles[static_cast<size_t>(currentProfile)].settingsText;
    }
    applyProfileCopy(settings);
}

void renameProfile(const std::string& stripped) {
    size_t comma = stripped.find(',');
    if (comma == std::string::npos || recording.load()) return;
    auto index = parseInt32(std::string_view(stripped).substr(0, comma));
    std::string name = stripped.substr(comma + 1);
    if (!index || !validName(name)) return;
    std::lock_guard<std::mutex> lock(profilesLock);
    if (*index < 0 || static_cast<size_t>(*index) >= profiles.size() || nameTaken(name, *index)) return;
    profiles[static_cast<size_t>(*index)].name = std::move(name);
}

void switchProfile(const std::string& stripped) {
    if (recording.load()) return;
    auto index = parseInt32(stripped);
    if (!index) return;
    std::string settings;
    {
        std::lock_guard<std::mutex> lock(profilesLock);
        if (*index < 0 || static_cast<size_t>(*index) >= profiles.size()) return;
        if (currentProfile != *index) forgetReplacedRecordingLocked();
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
    Profile* current = currentProfileEntry();
    if (!current) return;
    current->events.clear();
    current->settingsText = std::move(settings);
    forgetReplacedRecordingLocked();
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
