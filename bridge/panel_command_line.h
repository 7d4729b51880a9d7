// A panel instance's command line: what the main instance hands a panel it starts, the other half of
// the panel protocol beside the pipe's messages (panel_messages.h).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "state/state.h"

namespace rv {

inline constexpr int kPanelWidth = 450;
inline constexpr int kPanelHeight = 400;
// The command line's point is where the panel's header is held: the window's top-left corner lies
// this far up and to the left of it.
inline constexpr int kPanelHoldX = 150;
inline constexpr int kPanelHoldY = 20;

struct PanelParameters {
    std::string name = "Panel";
    std::string elementId;
    std::optional<int32_t> x, y;  // both or neither: the window's top-left corner
    std::string theme = kDefaultTheme;
    // Field 6, added by the main instance that opens the panel: the profile settings text in use, so
    // the panel starts from the settings in use rather than the page's defaults. Empty when absent
    // or not a list of integers.
    std::string settings;
};

// The text after the first "--child " with every double quote removed, cut at "|": name, element id,
// x, y, theme. The position is x − 150, y − 20 when both fields read as numbers.
PanelParameters parsePanelCommandLine(std::string_view commandLine);

// The command line that starts a panel of this executable, with the settings in use.
std::string panelCommandLine(const std::string& name, const std::string& elementId, int32_t x, int32_t y,
                             const std::string& theme, const std::string& settings);

}  // namespace rv
