#include "bridge/arguments.h"

#include <cstdint>

#include "state/numbers.h"
#include "state/profile_settings.h"
#include "state/settings.h"

namespace rv {

namespace {

// The group's settings in table order, as the page sends them. Integers as they come: the clicker
// and key-spam calls store what the page's own fields have already checked.
bool applyGroup(std::string_view stripped, SettingGroup group, bool checked) {
    std::vector<std::string> fields = argumentFields(stripped);
    size_t needed = 0;
    for (const Setting* s = settingsBegin(); s != settingsEnd(); ++s) needed += s->group == group;
    if (fields.size() < needed) return false;
    size_t i = 0;
    for (const Setting* s = settingsBegin(); s != settingsEnd(); ++s) {
        if (s->group != group) continue;
        std::optional<double> value;
        if (checked) {
            value = parseSettingValue(*s, fields[i]);
        } else if (auto whole = parseInt32(fields[i])) {
            value = *whole;
        }
        if (!value) return false;
        storeSetting(*s, *value);
        ++i;
    }
    refreshProfileSettings();
    return true;
}

}  // namespace

std::string stripArguments(std::string_view request) {
    std::string stripped;
    stripped.reserve(request.size());
    for (char c : request) {
        if (c != '[' && c != ']' && c != '"') stripped += c;
    }
    return stripped;
}

std::vector<std::string> argumentFields(std::string_view stripped) {
    return splitFields(stripped, ',');
}

std::optional<SizeArguments> sizeArguments(std::string_view request) {
    std::vector<std::string> fields = argumentFields(stripArguments(request));
    if (fields.size() < 2) return std::nullopt;
    auto width = parseInt32(fields[0]);
    auto height = parseInt32(fields[1]);
    if (!width || !height) return std::nullopt;
    return SizeArguments{*width, *height};
}

bool applySpammerUpdate(std::string_view stripped) {
    return applyGroup(stripped, SettingGroup::Clicker, false);
}

bool applyKeySpamUpdate(std::string_view stripped) {
    return applyGroup(stripped, SettingGroup::KeySpam, false);
}

bool applyTrackerUpdate(std::string_view stripped) {
    return applyGroup(stripped, SettingGroup::Tracker, true);
}

}  // namespace rv
