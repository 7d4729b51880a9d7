#include "state/preferences.h"

#include <array>
#include <mutex>
#include <string_view>

#include "platform/platform.h"
#include "state/numbers.h"
#include "state/profile_settings.h"
#include "state/settings.h"
#include "state/state.h"
#include "state/text_file.h"
#include "state/wakes.h"

namespace rv {

namespace {

struct FlagKey {
    const char* key;
    std::atomic<bool>* value;
};
struct NumberKey {
    const char* key;
    std::atomic<int32_t>* value;
};

// The file's ten lines in order: five switches, the four window numbers, then windowMaximized.
const std::array<FlagKey, 5> kFlagKeys = {{
    {"alwaysOnTop", &alwaysOnTop},
    {"launchOnStartup", &launchOnStartup},
    {"startMinimized", &startMinimized},
    {"hotkeysEnabled", &hotkeysEnabled},
    {"disableAnimations", &disableAnimations},
}};
const std::array<NumberKey, 4> kNumberKeys = {{
    {"windowX", &windowX},
    {"windowY", &windowY},
    {"windowWidth", &windowWidth},
    {"windowHeight", &windowHeight},
}};

void applyPreference(std::string_view key, std::string_view value) {
    for (const FlagKey& flag : kFlagKeys) {
        if (key == flag.key) flag.value->store(value == "1");
    }
    if (key == "windowMaximized") windowMaximized.store(value == "1");
    for (const NumberKey& number : kNumberKeys) {
        if (key != number.key) continue;
        auto parsed = parseInt32(value);
        if (!parsed) return;
        number.value->store(*parsed);
        if (number.value == &windowX) windowPositionKnown.store(true);
    }
}

}  // namespace

void loadAppSettings() {
    auto text = readTextFile(besideExe("appsettings.txt"));
    if (!text) return;
    std::string_view rest(*text);
    while (!rest.empty()) {
        size_t end = rest.find('\n');
        std::string_view line = rest.substr(0, end);
        rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
        size_t equals = line.find('=');
        if (equals == std::string_view::npos) continue;
        applyPreference(line.substr(0, equals), line.substr(equals + 1));
    }
    applyNamedSettingsText(SettingStore::AppSettings, *text, '\n');
}

void saveAppSettings() {
    // On Linux the end of a window move is reported on a thread of the window watch, so saves may
    // come from two threads: one at a time, each replacing the file whole.
    static std::mutex saving;
    std::lock_guard<std::mutex> lock(saving);
    std::string text;
    for (const FlagKey& flag : kFlagKeys) {
        text += flag.key;
        text += flag.value->load() ? "=1\n" : "=0\n";
    }
    for (const NumberKey& number : kNumberKeys) {
        text += number.key;
        text += '=';
        text += std::to_string(number.value->load());
        text += '\n';
    }
    text += windowMaximized.load() ? "windowMaximized=1\n" : "windowMaximized=0\n";
    // The shared settings added since, by name, those that differ from their default.
    std::string named = namedSettingsText(SettingStore::AppSettings, '\n');
    if (!named.empty()) text += named + '\n';
    replaceTextFile(besideExe("appsettings.txt"), text);
}

std::string appSettingsText() {
    std::string text = "{";
    for (const FlagKey& flag : kFlagKeys) {
        if (text.size() > 1) text += ',';
        text += '"';
        text += flag.key;
        text += "\":";
        text += flag.value->load() ? "true" : "false";
    }
    return text + "}";
}

namespace {

// Letters, digits, "-" and "_", 1 to 40 of them: what the page and panels can be handed as a theme.
bool isThemeName(std::string_view name) {
    return !name.empty() && name.size() <= 40 &&
           name.find_first_not_of("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789-_") ==
               std::string_view::npos;
}

}  // namespace

bool saveTheme(const std::string& name) {
    if (!isThemeName(name)) return false;
    theme = name;
    writeTextFile(besideExe("theme.txt"), name);
    return true;
}

std::string loadTheme() {
    auto text = readTextFile(besideExe("theme.txt"));
    if (!text) return kDefaultTheme;
    std::string first = text->substr(0, text->find('\n'));
    if (!first.empty() && first.back() == '\r') first.pop_back();
    // A file changed by hand is held to the rule a saved name meets: a panel opens with it.
    return isThemeName(first) ? first : kDefaultTheme;
}

namespace {

constexpr int32_t kMostPasses = 1000000;

// A whole number from 0 to `most` kept alone on the first line of a file beside the executable;
// 0 when the file is missing or holds anything else.
int32_t loadNumberFile(const char* name, int32_t most) {
    auto text = readTextFile(besideExe(name));
    if (!text) return 0;
    auto number = parseInt32(text->substr(0, text->find('\n')));
    return number && *number >= 0 && *number <= most ? *number : 0;
}

bool saveNumberFile(const char* name, int32_t most, std::atomic<int32_t>& item, int32_t number) {
    if (number < 0 || number > most) return false;
    item.store(number);
    writeTextFile(besideExe(name), std::to_string(number));
    return true;
}

}  // namespace

int32_t loadPlayRepeat() {
    return loadNumberFile("playback.txt", kMostPasses);
}

bool savePlayRepeat(int32_t passes) {
    return saveNumberFile("playback.txt", kMostPasses, playRepeat, passes);
}

int32_t loadClickStartDelay() {
    return loadNumberFile("clickdelay.txt", kLongestStartDelay);
}

bool saveClickStartDelay(int32_t seconds) {
    return saveNumberFile("clickdelay.txt", kLongestStartDelay, clickStartDelay, seconds);
}

void applyAppSetting(const std::string& key, const std::string& value) {
    bool on = value == "1";
    if (key == "alwaysOnTop") {
        alwaysOnTop.store(on);
    } else if (key == "launchOnStartup") {
        // What the system registered, not what was asked: the page shows the real state.
        launchOnStartup.store(plat::setStartupRegistration(on, plat::exePath()));
    } else if (key == "startMinimized") {
        startMinimized.store(on);
    } else if (key == "hotkeysEnabled") {
        hotkeysEnabled.exchange(on);
        plat::wakeCaptureLoop();
    } else if (key == "disableAnimations") {
        disableAnimations.store(on);
    }
    saveAppSettings();
}

void resetToDefaults() {
    recording.exchange(false);
    playing.exchange(false);
    autoClicking.exchange(false);
    keySpamming.exchange(false);
    // Lets the workers see their flags cleared before the settings under them change.
    wakeAll();
    plat::sleepMs(20);

    profileDefaults();
    trackerDefaults();
    hotkeyDefaults();
    applyNamedSettingsText(SettingStore::AppSettings, "", '\n');

    alwaysOnTop = false;
    launchOnStartup = plat::setStartupRegistration(false, plat::exePath());

    startMinimized = false;
    hotkeysEnabled.exchange(true);
    plat::wakeCaptureLoop();
    disableAnimations = false;
    windowWidth = kDefaultWindowWidth, windowHeight = kDefaultWindowHeight;
    windowMaximized = false;

    saveTheme(kDefaultTheme);
    savePlayRepeat(0);
    saveClickStartDelay(0);

    saveAppSettings();

    std::string settings = profileSettingsText();
    std::lock_guard<std::mutex> lock(profilesLock);
    if (Profile* current = currentProfileEntry()) {
        current->events.clear();
        current->settingsText = std::move(settings);
    }
    heldEvents.clear();
    replacedEvents.clear();
    replacedProfile = -1;
}

bool writeStatusFile(const std::string& text) {
    return writeTextFile(besideExe("status.txt"), text);
}

}  // namespace rv
