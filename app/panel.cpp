#include "app/panel.h"

#include <cstdio>

namespace rv {

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
