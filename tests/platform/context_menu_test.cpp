// Trimming the browser's context menu to its editing entries.
#include "platform/context_menu.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// A menu written as one letter per entry: 'e' editing, 'o' other, '-' separator; the result as the
// letters kept.
std::string trimmed(const std::string& menu) {
    std::vector<plat::MenuEntry> entries;
    for (char c : menu) entries.push_back({c == '-', c == 'e'});
    std::vector<bool> kept = plat::keptMenuEntries(entries);
    std::string out;
    for (size_t i = 0; i < menu.size(); ++i) {
        if (kept[i]) out += menu[i];
    }
    return out;
}

TEST(ContextMenu, OnlyEditingEntriesStayWithSeparatorsBetweenThem) {
    const struct {
        const char* menu;
        const char* kept;
    } cases[] = {
        {"", ""},
        {"ooo", ""},          // Back, Forward, Reload: no menu at all
        {"o-o-o", ""},        // separators alone are no menu either
        {"eee", "eee"},       // a text field's cut, copy, paste
        {"eee-e", "eee-e"},   // … and select all after a separator
        {"ooo-eee", "eee"},   // no separator left at the top
        {"eee-ooo", "eee"},   // nor at the bottom
        {"ee-oo-e", "ee-e"},  // two separators around removed entries become one
        {"e--e", "e-e"},      // nor two in a row
        {"-e-", "e"},
        {"o-e-o-e-o", "e-e"},
    };
    for (const auto& c : cases) EXPECT_EQ(trimmed(c.menu), c.kept) << c.menu;
}

}  // namespace
