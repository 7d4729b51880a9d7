// The script that makes the page show only a panel instance's one panel.
#pragma once

#include <string>
#include <string_view>

namespace rv {

// The script that applies the theme, hides every panel but `elementId`, lets its header drag the
// window, and shows the body; the two texts are inserted as script string literals.
std::string panelScript(const std::string& theme, const std::string& elementId);

// The page with `script` in place of its last "</body>"; a page without one stays as it is.
std::string withPanelScript(const std::string& page, const std::string& script);

// The page with the panel's starting settings handed to its script (window.panelSettings), right
// after its "<head>"; unchanged when there are none or the page has no head.
std::string withPanelSettings(const std::string& page, const std::string& settings);

// `text` as the inside of a single-quoted script string: quotes, backslashes, "<" and control
// characters escaped, so no value can end the string or the script element early.
std::string scriptStringContent(std::string_view text);

}  // namespace rv
