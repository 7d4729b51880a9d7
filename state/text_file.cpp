#include "state/text_file.h"

#include "platform/platform.h"

namespace rv {

std::string exeFolder() {
    std::string path = plat::exePath();
    size_t cut = path.find_last_of("\\/");
    return cut == std::string::npos ? path : path.substr(0, cut);
}

std::string besideExe(const std::string& name) {
    return exeFolder() + plat::kPathSeparator + name;
}

std::optional<std::string> readTextFile(const std::string& path) {
    auto bytes = plat::readFile(path);
    if (!bytes) return std::nullopt;
    std::string text;
    text.reserve(bytes->size());
    for (size_t i = 0; i < bytes->size(); ++i) {
        if ((*bytes)[i] == '\r' && i + 1 < bytes->size() && (*bytes)[i + 1] == '\n') continue;
        text += (*bytes)[i];
    }
    return text;
}

bool writeTextFile(const std::string& path, const std::string& text) {
    std::string bytes;
    bytes.reserve(text.size() + text.size() / 16);
    for (char c : text) {
        if (c == '\n') bytes += '\r';
        bytes += c;
    }
    return plat::writeFile(path, bytes);
}

bool replaceTextFile(const std::string& path, const std::string& text) {
    // A file the user keeps elsewhere through a link (a synced folder) stays linked: its target is
    // replaced, from a temporary file beside the target, since a rename cannot cross volumes.
    const std::string target = plat::linkTarget(path);
    const std::string temporary = target + ".tmp";
    if (writeTextFile(temporary, text) && plat::replaceFile(temporary, target)) return true;
    plat::removeFile(temporary);
    return false;
}

void removeLeftTemporary(const std::string& path) {
    plat::removeFile(plat::linkTarget(path) + ".tmp");
    plat::removeFile(path + ".tmp");
}

}  // namespace rv
