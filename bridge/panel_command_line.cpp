#include "bridge/panel_command_line.h"

#include <algorithm>

#include "state/numbers.h"

namespace rv {

PanelParameters parsePanelCommandLine(std::string_view commandLine) {
    PanelParameters parameters;
    const std::string_view marker = "--child ";
    size_t at = commandLine.find(marker);
    if (at == std::string_view::npos) return parameters;
    std::string rest;
    for (char c : commandLine.substr(at + marker.size())) {
        if (c != '"') rest += c;
    }
    std::vector<std::string> fields = splitFields(rest, '|');
    if (fields.size() >= 1) parameters.name = fields[0];
    if (fields.size() >= 2) parameters.elementId = fields[1];
    if (fields.size() >= 4) {
        auto x = parseInt32(fields[2]);
        auto y = parseInt32(fields[3]);
        if (x && y) {
            parameters.x =
                static_cast<int32_t>(std::max<int64_t>(INT32_MIN, static_cast<int64_t>(*x) - kPanelHoldX));
            parameters.y =
                static_cast<int32_t>(std::max<int64_t>(INT32_MIN, static_cast<int64_t>(*y) - kPanelHoldY));
        }
    }
    if (fields.size() >= 5) parameters.theme = fields[4];
    if (fields.size() >= 6 && fields[5].find_first_not_of("-0123456789,") == std::string::npos) {
        parameters.settings = fields[5];
    }
    return parameters;
}

std::string panelCommandLine(const std::string& name, const std::string& elementId, int32_t x, int32_t y,
                             const std::string& theme, const std::string& settings) {
    return "--child " + name + "|" + elementId + "|" + std::to_string(x) + "|" + std::to_string(y) + "|" +
           theme + "|" + settings;
}

}  // namespace rv
