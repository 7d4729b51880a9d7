// A panel's command line as any text: parsed without failing badly, and whatever it holds, the texts
// put into the panel's script cannot end the script string or the script element.
#include <string>

#include "app/panel.h"
#include "bridge/panel_command_line.h"
#include "fuzz_support.h"

namespace {

// Inside a single-quoted script string: no bare quote, no line end, no "<" (which could close the
// script element).
bool safeInScriptString(const std::string& text) {
    for (size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c == '\\') {
            ++i;
            continue;
        }
        if (c == '\'' || c == '<' || c == '\n' || c == '\r') return false;
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string commandLine(reinterpret_cast<const char*>(data), size);
    rv::PanelParameters parameters = rv::parsePanelCommandLine(commandLine);
    fuzz::check(parameters.x.has_value() == parameters.y.has_value(), "both coordinates or neither");
    fuzz::check(safeInScriptString(rv::scriptStringContent(parameters.name)), "name escaped");
    fuzz::check(safeInScriptString(rv::scriptStringContent(parameters.elementId)), "element id escaped");
    fuzz::check(safeInScriptString(rv::scriptStringContent(parameters.theme)), "theme escaped");
    fuzz::check(safeInScriptString(rv::scriptStringContent(parameters.settings)), "settings escaped");
    rv::panelScript(parameters.theme, parameters.elementId);
    return 0;
}
