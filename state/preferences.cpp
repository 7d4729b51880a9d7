#include "state/preferences.h"

#include <array>
#include <map>
#include <mutex>
#include <string_view>

#include "platform/platform.h"
#include "state/numbers.h"
#include "state/profile_settings.h"
#include "state/save_problems.h"
#include "state/session_file.h"
#include "state/settings.h"
#include "state/state.h"
#include "state/text_file.h"
#include "state/wakes.h"

namespace rv {

namespace {

// A preference's value was set: what else follows from it.
void preferenceChanged(const Setting& setting) {
    if (setting.flag == &launchOnStartup) {
        // What the system registered, not what was asked: the page shows the real state.
        launchOnStartup.store(plat::setStartupRegistration(launchOnStartup.load(), plat::exePath()));
    } else if (setting.flag == &hotkeysEnabled) {
        plat::wakeCaptureLoop();
    }
}

// The folder the files below live in: beside the executable until choosePreferencesFolder says
// otherwise.
std::mutex folderLock;
std::string chosenFolder;  // guarded by folderLock; empty: beside the executable

constexpr std::array<const char*, 5> kPreferenceFiles = {"appsettings.txt", "theme.txt", "playback.txt",
                                                         "clickdelay.txt", "status.txt"};

// The preference files whose last write did not happen (a full disk, a read-only file), with the
// text each is to hold: the autosave tries them again until they are written. One write of a
// preference file at a time, so that a retry never puts back an older text.
std::mutex keepLock;
std::map<std::string, std::string> pending;  // guarded by keepLock

bool keepLocked(const std::string& name, const std::string& text) {
    const std::string path = preferencesFile(name);
    if (plat::isReadOnlyFile(path)) {
        noteReadOnly(name);
        pending[name] = text;
        return false;
    }
    const bool written = replaceTextFile(path, text);
    noteWritten(name, written);
    if (written) {
        pending.erase(name);
    } else {
        pending[name] = text;
    }
    return written;
}

// Writes a preference file whole through a temporary file, so a full disk leaves the old file as
// it was. A file the user made read-only is left alone. Either way the page is told when the change
// could not be kept.
bool keepPreferenceFile(const std::string& name, const std::string& text) {
    std::lock_guard<std::mutex> lock(keepLock);
    return keepLocked(name, text);
}

// Whether files can be made in the folder now: one is made and removed again.
bool folderWritable(const std::string& folder) {
    const std::string probe = folder + plat::kPathSeparator + ".ravelin-write-check";
    if (!plat::writeFile(probe, "")) return false;
    plat::removeFile(probe);
    return true;
}

}  // namespace

std::string preferencesFolder() {
    std::lock_guard<std::mutex> lock(folderLock);
    return chosenFolder.empty() ? exeFolder() : chosenFolder;
}

std::string preferencesFile(const std::string& name) {
    return preferencesFolder() + plat::kPathSeparator + name;
}

void choosePreferencesFolder() {
    const std::string beside = exeFolder();
    std::string folder = beside;
    if (!folderWritable(beside)) {
        auto base = plat::configBase();
        folder = base ? *base + plat::kPathSeparator + "Tapforge" : dataFolder();
        plat::createDirectory(folder);
        // Files left beside the executable (from a run that could write there, or put there by hand)
        // are read once: copied where the new folder has none yet.
        for (const char* name : kPreferenceFiles) {
            const std::string from = beside + plat::kPathSeparator + name;
            const std::string to = folder + plat::kPathSeparator + name;
            if (plat::pathExists(to)) continue;
            if (auto bytes = plat::readFile(from)) plat::writeFile(to, *bytes);
        }
    }
    std::lock_guard<std::mutex> lock(folderLock);
    chosenFolder = folder;
}

void loadAppSettings() {
    auto text = readTextFile(preferencesFile("appsettings.txt"));
    if (!text) return;
    for (const std::string& line : splitFields(*text, '\n')) {
        const size_t equals = line.find('=');
        if (equals == std::string::npos) continue;
        const Setting* setting = settingNamed(std::string_view(line).substr(0, equals));
        if (!setting || setting->store != SettingStore::Preferences) continue;
        // A number that does not parse leaves the value as it was.
        const bool read = applyStoredField(*setting, std::string_view(line).substr(equals + 1));
        if (read && setting->integer == &windowX) windowPositionKnown.store(true);
    }
    applyNamedSettingsText(SettingStore::AppSettings, *text, '\n');
}

bool saveAppSettings() {
    // On Linux the end of a window move is reported on a thread of the window watch, so saves may
    // come from two threads: one at a time, each replacing the file whole.
    static std::mutex saving;
    std::lock_guard<std::mutex> lock(saving);
    std::string text;
    for (const Setting* s = settingsBegin(); s != settingsEnd(); ++s) {
        if (s->store != SettingStore::Preferences) continue;
        text += s->name;
        text += '=';
        appendStoredField(text, *s);
        text += '\n';
    }
    // The shared settings added since, by name, those that differ from their default.
    std::string named = namedSettingsText(SettingStore::AppSettings, '\n');
    if (!named.empty()) text += named + '\n';
    return keepPreferenceFile("appsettings.txt", text);
}

std::string appSettingsText() {
    std::string text = "{";
    for (const Setting* s = settingsBegin(); s != settingsEnd(); ++s) {
        if (s->group != SettingGroup::Preference) continue;
        if (text.size() > 1) text += ',';
        text += '"';
        text += s->name;
        text += "\":";
        text += s->flag->load() ? "true" : "false";
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
    keepPreferenceFile("theme.txt", name);
    return true;
}

std::string loadTheme() {
    auto text = readTextFile(preferencesFile("theme.txt"));
    if (!text) return kDefaultTheme;
    std::string first = text->substr(0, text->find('\n'));
    if (!first.empty() && first.back() == '\r') first.pop_back();
    // A file changed by hand is held to the rule a saved name meets: a panel opens with it.
    return isThemeName(first) ? first : kDefaultTheme;
}

namespace {

// A setting kept alone on the first line of a file of its own: its value, or its default when the
// file is missing or holds anything else.
int32_t loadOwnFile(const Setting& setting) {
    auto text = readTextFile(preferencesFile(setting.file));
    if (!text) return static_cast<int32_t>(setting.byDefault);
    auto number = parseSettingValue(setting, text->substr(0, text->find('\n')));
    return static_cast<int32_t>(number.value_or(setting.byDefault));
}

bool saveOwnFile(const Setting& setting, int32_t number) {
    if (!parseSettingValue(setting, std::to_string(number))) return false;
    setting.integer->store(number);
    keepPreferenceFile(setting.file, std::to_string(number));
    return true;
}

}  // namespace

int32_t loadPlayRepeat() {
    return loadOwnFile(*settingNamed("playRepeat"));
}

bool savePlayRepeat(int32_t passes) {
    return saveOwnFile(*settingNamed("playRepeat"), passes);
}

int32_t loadClickStartDelay() {
    return loadOwnFile(*settingNamed("clickStartDelay"));
}

bool saveClickStartDelay(int32_t seconds) {
    return saveOwnFile(*settingNamed("clickStartDelay"), seconds);
}

void applyAppSetting(const std::string& key, const std::string& value) {
    const Setting* setting = settingNamed(key);
    if (setting && setting->group == SettingGroup::Preference) {
        setting->flag->store(value == "1");
        preferenceChanged(*setting);
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
    settingsDefaults(SettingStore::AppSettings);
    settingsDefaults(SettingGroup::Window);
    for (const Setting* s = settingsBegin(); s != settingsEnd(); ++s) {
        if (s->group != SettingGroup::Preference) continue;
        settingDefault(*s);
        preferenceChanged(*s);
    }

    saveTheme(kDefaultTheme);
    for (const Setting* s = settingsBegin(); s != settingsEnd(); ++s) {
        if (s->store == SettingStore::OwnFile) saveOwnFile(*s, static_cast<int32_t>(s->byDefault));
    }

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
    return writeTextFile(preferencesFile("status.txt"), text);
}

void resetPreferencesForTests() {
    {
        std::lock_guard<std::mutex> lock(keepLock);
        pending.clear();
    }
    std::lock_guard<std::mutex> lock(folderLock);
    chosenFolder.clear();
}

void savePendingPreferences() {
    std::lock_guard<std::mutex> lock(keepLock);
    const std::map<std::string, std::string> waiting = pending;
    for (const auto& [name, text] : waiting) keepLocked(name, text);
}

}  // namespace rv
