// Which entries of the browser's own context menu stay: the editing ones alone, with the separators
// that still separate something. Both backends trim the engine's menu with it.
#pragma once

#include <cstddef>
#include <vector>

namespace plat {

struct MenuEntry {
    bool separator = false;
    bool editing = false;  // cut, copy, paste, select all and the like
};

// For each entry, in order, whether it stays: every editing entry, and a separator only between two
// of them (never first, last or next to another kept separator). None stays when no editing entry
// does, so the menu is then not shown at all.
std::vector<bool> keptMenuEntries(const std::vector<MenuEntry>& entries);

}  // namespace plat
