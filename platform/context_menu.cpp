#include "platform/context_menu.h"

namespace plat {

std::vector<bool> keptMenuEntries(const std::vector<MenuEntry>& entries) {
    std::vector<bool> kept(entries.size(), false);
    bool editingBefore = false;  // a kept editing entry since the last kept separator
    size_t pendingSeparator = entries.size();
    for (size_t i = 0; i < entries.size(); ++i) {
        if (entries[i].separator) {
            if (editingBefore && pendingSeparator == entries.size()) pendingSeparator = i;
            continue;
        }
        if (!entries[i].editing) continue;
        if (pendingSeparator != entries.size()) {
            kept[pendingSeparator] = true;
            pendingSeparator = entries.size();
        }
        kept[i] = true;
        editingBefore = true;
    }
    return kept;
}

}  // namespace plat
