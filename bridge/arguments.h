// How page calls and pipe payloads are read: the JSON argument array is stripped of every '[', ']'
// and '"' (nothing is unescaped, white space stays) and cut at commas into fields.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace rv {

std::string stripArguments(std::string_view request);

// The fields of a stripped text (cut at commas; see splitFields).
std::vector<std::string> argumentFields(std::string_view stripped);

struct SizeArguments {
    int32_t width, height;
};
// resizeWindow's arguments: at least two fields, the width and the height, both integers; nothing
// otherwise.
std::optional<SizeArguments> sizeArguments(std::string_view request);

// Applies an auto-clicker update: at least 9 integer fields, stored one by one into sh, sm, ss, sms,
// sbtn, stype, rptMode, rptTimes, locMode; a bad field ends the update there and the profile's
// settings text is then not refreshed. Returns whether the whole update was applied (and the
// profile refreshed). Page and pipe threads.
bool applySpammerUpdate(std::string_view stripped);

// The same for the key spammer: at least 6 fields into ksh, ksm, kss, ksms, ksRptMode, ksRptTimes.
bool applyKeySpamUpdate(std::string_view stripped);

// The same for the recording switches and the playback values: at least 8 fields into tmv, tclk,
// tscr, tkey, trel (each the integer 0 or 1), tspd (a decimal number, finite, 0.1 to 10), tloop (0
// or 1) and tloopMs (an integer, 0 or more); a field outside these ends the update there.
bool applyTrackerUpdate(std::string_view stripped);

}  // namespace rv
