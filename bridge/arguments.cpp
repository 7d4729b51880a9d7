#include "bridge/arguments.h"

#include <atomic>
#include <cmath>
#include <cstdint>

#include "state/numbers.h"
#include "state/profile_settings.h"
#include "state/state.h"

namespace rv {

namespace {

template <size_t N>
bool applyUpdate(std::string_view stripped, std::atomic<int32_t>* const (&settings)[N]) {
    std::vector<std::string> fields = argumentFields(stripped);
    if (fields.size() < N) return false;
    for (size_t i = 0; i < N; ++i) {
        auto value = parseInt32(fields[i]);
        if (!value) return false;
        settings[i]->store(*value);
    }
    refreshProfileSettings();
    return true;
}

std::atomic<int32_t>* const kSpammerFields[] = {&sh,    &sm,      &ss,       &sms,    &sbtn,
                                                &stype, &rptMode, &rptTimes, &locMode};
std::atomic<int32_t>* const kKeySpamFields[] = {&ksh, &ksm, &kss, &ksms, &ksRptMode, &ksRptTimes};

constexpr double kSlowestSpeed = 0.1;
constexpr double kFastestSpeed = 10.0;

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
    return applyUpdate(stripped, kSpammerFields);
}

bool applyKeySpamUpdate(std::string_view stripped) {
    return applyUpdate(stripped, kKeySpamFields);
}

bool applyTrackerUpdate(std::string_view stripped) {
    std::vector<std::string> fields = argumentFields(stripped);
    if (fields.size() < 8) return false;
    auto applySwitch = [](const std::string& field, std::atomic<bool>& setting) {
        auto value = parseInt32(field);
        if (!value || (*value != 0 && *value != 1)) return false;
        setting.store(*value == 1);
        return true;
    };
    std::atomic<bool>* const switches[] = {&tmv, &tclk, &tscr, &tkey, &trel};
    for (size_t i = 0; i < 5; ++i) {
        if (!applySwitch(fields[i], *switches[i])) return false;
    }
    auto speed = parseDouble(fields[5]);
    if (!speed || !std::isfinite(*speed) || *speed < kSlowestSpeed || *speed > kFastestSpeed) return false;
    tspd.store(static_cast<float>(*speed));
    if (!applySwitch(fields[6], tloop)) return false;
    auto pause = parseInt32(fields[7]);
    if (!pause || *pause < 0) return false;
    tloopMs.store(*pause);
    refreshProfileSettings();
    return true;
}

}  // namespace rv
