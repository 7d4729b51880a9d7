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

// Applies an auto-clicker update: one integer field for each setting of the table's clicker group,
// in table order (more are ignored, fewer change nothing), stored one by one as they come; a bad
// field ends the update there and the profile's settings text is then not refreshed. Returns whether
// the whole update was applied (and the profile refreshed). Page and pipe threads.
bool applySpammerUpdate(std::string_view stripped);

// The same for the key spammer's group.
bool applyKeySpamUpdate(std::string_view stripped);

// The same for the tracker's group (recording switches and playback values), each field checked
// against its setting's range (a switch 0 or 1, the speed a finite decimal number from 0.1 to 10);
// a field outside it ends the update there.
bool applyTrackerUpdate(std::string_view stripped);

}  // namespace rv
