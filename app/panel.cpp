#include "app/panel.h"

#include <algorithm>
#include <cstdio>

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
                static_cast<int32_t>(std::max<int64_t>(INT32_MIN, static_cast<int64_t>(*x) - panelHoldX));
            parameters.y =
                static_cast<int32_t>(std::max<int64_t>(INT32_MIN, static_cast<int64_t>(*y) - panelHoldY));
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

std::string scriptStringContent(std::string_view text) {
    std::string out;
    for (char c : text) {
        unsigned char byte = static_cast<unsigned char>(c);
        if (c == '\'' || c == '\\') {
            out += '\\';
            out += c;
        } else if (c == '<' || byte < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\x%02x", byte);
            out += escaped;
        } else {
            out += c;
        }
    }
    return out;
}

std::string panelScript(const std::string& theme, const std::string& elementId) {
    const std::string themeText = scriptStringContent(theme);
    const std::string idText = scriptStringContent(elementId);
    return "<script>\n"
           "if (typeof applyTheme === 'function') applyTheme('" +
           themeText +
           "');\n"
           "let themeSel = document.getElementById('theme-select');\n"
           "if (themeSel) themeSel.value = '" +
           themeText +
           "';\n"
           "document.querySelectorAll('.panel').forEach(p => p.style.display = 'none');\n"
           "let activePanel = document.getElementById('" +
           idText +
           "');\n"
           "if (activePanel) {\n"
           "  activePanel.style.display = 'block';\n"
           "  activePanel.style.borderRadius = '0';\n"
           "  activePanel.style.boxShadow = 'none';\n"
           "  activePanel.style.border = 'none';\n"
           "  let header = activePanel.querySelector('.panel-header');\n"
           "  header.style.cursor = 'move';\n"
           "  header.addEventListener('mousedown', (e) => {\n"
           "    if (e.button !== 0 || e.target.closest('.panel-btn')) return;\n"
           "    e.preventDefault();\n"
           "    if (window.beginWindowDrag) window.beginWindowDrag('');\n"
           "  });\n"
           "}\n"
           "document.body.style.padding = '0';\n"
           "let dash = document.getElementById('dashboard');\n"
           "if (dash) dash.style.gap = '0';\n"
           "document.body.style.visibility = 'visible';\n"
           "if (typeof resizeHostWindow === 'function') resizeHostWindow();\n"
           "</script>\n"
           "</body>";
}

std::string withPanelSettings(const std::string& page, const std::string& settings) {
    size_t head = page.find("<head>");
    if (settings.empty() || head == std::string::npos) return page;
    head += 6;
    return page.substr(0, head) + "<script>window.panelSettings = '" + scriptStringContent(settings) +
           "';</script>" + page.substr(head);
}

std::string withPanelScript(const std::string& page, const std::string& script) {
    size_t at = page.rfind("</body>");
    if (at == std::string::npos) return page;
    return page.substr(0, at) + script + page.substr(at + 7);
}

}  // namespace rv
