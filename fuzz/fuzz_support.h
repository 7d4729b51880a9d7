// What every fuzz target shares: a fresh process-wide state and fake platform for each input, with
// the program's files in a private temporary folder, and a check that a text is one JSON value.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace fuzz {

// Every state item at its default, a fresh fake platform whose executable and data folder lie in this
// process's own temporary folder (emptied first), the counter frequency set.
void freshState();

// The temporary folder of this process.
const std::string& folder();

// True when `text` is exactly one JSON value (objects, arrays, strings, numbers, true, false, null),
// with nothing but white space around it.
bool isJson(std::string_view text);

// True when the four hotkeys and the key-spam target hold codes they may hold.
bool codesValid();

// Stops the run with a message when `condition` is false, so that libFuzzer keeps the input.
void check(bool condition, const char* what);

}  // namespace fuzz
