// Start at logon: the desktop entry Tapforge.desktop in the user's autostart folder
// ($XDG_CONFIG_HOME/autostart, else ~/.config/autostart), which session managers run at login.
#include <string>

#include "platform/platform.h"

namespace plat {

namespace {

// The folder of autostart entries, or empty when neither XDG_CONFIG_HOME nor HOME says where it is.
// A relative XDG_CONFIG_HOME is invalid and ignored, as the base-directory rules require.
std::string configHome() {
    auto xdg = environment("XDG_CONFIG_HOME");
    if (xdg && !xdg->empty() && (*xdg)[0] == '/') return *xdg;
    auto home = environment("HOME");
    if (home && !home->empty()) return *home + "/.config";
    return "";
}

// The path as one quoted argument of an Exec line. Two layers of escaping apply: inside the quotes
// '"', '`', '$' and '\' take a backslash; then the whole value is a desktop-entry string, in which
// every backslash is doubled and control characters are written as escapes. A literal '%' would
// start a field code and is written "%%".
std::string execArgument(const std::string& path) {
    std::string quoted;
    for (char c : path) {
        if (c == '"' || c == '`' || c == '$' || c == '\\') quoted += '\\';
        if (c == '%') quoted += '%';
        quoted += c;
    }
    std::string value = "\"";
    for (char c : quoted) {
        switch (c) {
            case '\\':
                value += "\\\\";
                break;
            case '\n':
                value += "\\n";
                break;
            case '\t':
                value += "\\t";
                break;
            case '\r':
                value += "\\r";
                break;
            default:
                value += c;
        }
    }
    return value + "\"";
}

}  // namespace

bool setStartupRegistration(bool on, const std::string& executablePath) {
    std::string config = configHome();
    if (config.empty()) return false;
    std::string folder = config + "/autostart";
    std::string entry = folder + "/Tapforge.desktop";
    if (!on) {
        removeFile(entry);
        return pathExists(entry);
    }
    createDirectory(config);
    createDirectory(folder);
    bool written = writeFile(entry, "[Desktop Entry]\nType=Application\nName=Ravelin\nExec=" +
                                        execArgument(executablePath) + "\n");
    // A half-written entry starts nothing: none rather than a broken one.
    if (!written) removeFile(entry);
    return written;
}

}  // namespace plat
