#include "state/macro_library.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <mutex>

#include "platform/platform.h"
#include "state/session_file.h"

namespace rv {

namespace {

std::string pathOf(const std::string& name) {
    return macroFolder() + plat::kPathSeparator + name + kMacroExtension;
}

bool endsWith(const std::string& text, const std::string& suffix) {
    return text.size() >= suffix.size() &&
           text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

// The bytes of a file we are ready to read: refused unread when larger than any macro file may be.
std::string readBounded(const std::string& path, std::string& bytes) {
    plat::FileInfo info;
    if (!plat::fileInfo(path, info)) return "There is no file at " + path + ".";
    if (info.size > kMacroMaxFileBytes)
        return "The file is " + std::to_string(info.size / (1024 * 1024)) +
               " MB; a macro file holds at most " + std::to_string(kMacroMaxFileBytes / (1024 * 1024)) +
               " MB.";
    auto read = plat::readFile(path);
    if (!read) return "The file " + path + " cannot be read.";
    bytes = std::move(*read);
    return "";
}

// Written beside the target and then swapped in: a failed write leaves what was there.
std::string writeWhole(const std::string& path, const std::string& bytes) {
    std::string temporary = path + ".tmp";
    if (plat::writeFile(temporary, bytes) && plat::replaceFile(temporary, path)) return "";
    plat::removeFile(temporary);
    return "The file " + path + " could not be written.";
}

std::string existingMacro(const std::string& name) {
    std::string problem = macroNameProblem(name);
    if (!problem.empty()) return problem;
    if (!plat::pathExists(pathOf(name))) return "There is no macro named \"" + name + "\".";
    return "";
}

std::string newMacro(const std::string& name) {
    std::string problem = macroNameProblem(name);
    if (!problem.empty()) return problem;
    if (plat::pathExists(pathOf(name))) return "A macro named \"" + name + "\" exists already.";
    return "";
}

// The name a file brings with it: its file name without folder and extension.
std::string fileStem(const std::string& path) {
    size_t cut = path.find_last_of("\\/");
    std::string name = cut == std::string::npos ? path : path.substr(cut + 1);
    if (endsWith(name, kMacroExtension)) name.resize(name.size() - std::string(kMacroExtension).size());
    return name;
}

// The first of `base`, `base 2`, `base 3` … that names no macro yet; empty when all up to 999 do.
std::string freeName(const std::string& base) {
    for (int n = 1; n < 1000; ++n) {
        std::string name = n == 1 ? base : base + " " + std::to_string(n);
        if (macroNameProblem(name).empty() && !plat::pathExists(pathOf(name))) return name;
    }
    return "";
}

// The data folder is made at start-up; a test or a first run may come here before.
void makeMacroFolder() {
    plat::createDirectory(dataFolder());
    plat::createDirectory(macroFolder());
}

struct Listed {
    uint64_t size = 0;
    int64_t modified = 0;
    MacroEntry entry;
};
std::mutex listedLock;
std::map<std::string, Listed> listed;  // the last listing, by file path

}  // namespace

std::string macroFolder() {
    return dataFolder() + plat::kPathSeparator + "macros";
}

std::vector<MacroEntry> listMacros() {
    std::vector<MacroEntry> entries;
    std::lock_guard<std::mutex> lock(listedLock);
    std::map<std::string, Listed> seen;
    for (const std::string& file : plat::listFiles(macroFolder())) {
        if (!endsWith(file, kMacroExtension)) continue;
        std::string name = file.substr(0, file.size() - std::string(kMacroExtension).size());
        if (!macroNameProblem(name).empty()) continue;
        std::string path = pathOf(name);
        plat::FileInfo info;
        if (!plat::fileInfo(path, info)) continue;
        auto known = listed.find(path);
        Listed item;
        if (known != listed.end() && known->second.size == info.size &&
            known->second.modified == info.modified) {
            item = known->second;
        } else {
            item.size = info.size, item.modified = info.modified;
            item.entry.name = name;
            item.entry.modified = info.modified;
            MacroFile macro;
            item.entry.problem = readMacroFile(path, macro);
            item.entry.steps = macro.events.size();
            if (!macro.events.empty()) item.entry.lengthUs = std::llround(macro.events.back().time * 1e6);
        }
        entries.push_back(item.entry);
        seen[path] = std::move(item);
    }
    listed = std::move(seen);
    std::sort(entries.begin(), entries.end(),
              [](const MacroEntry& a, const MacroEntry& b) { return a.name < b.name; });
    return entries;
}

std::string readMacroFile(const std::string& path, MacroFile& file) {
    std::string bytes;
    std::string problem = readBounded(path, bytes);
    if (!problem.empty()) return problem;
    MacroReading reading = readMacroText(bytes);
    if (!reading.file) return macroProblemsText(reading);
    file = std::move(*reading.file);
    return "";
}

std::string saveLibraryMacro(const std::string& name, MacroFile file, bool replace) {
    std::string problem = replace ? macroNameProblem(name) : newMacro(name);
    if (!problem.empty()) return problem;
    file.name = name;
    std::string text;
    if (!writeMacroText(file, text, problem)) return problem;
    makeMacroFolder();
    return writeWhole(pathOf(name), text);
}

std::string loadLibraryMacro(const std::string& name, MacroFile& file) {
    std::string problem = existingMacro(name);
    if (!problem.empty()) return problem;
    return readMacroFile(pathOf(name), file);
}

std::string renameLibraryMacro(const std::string& from, const std::string& to) {
    std::string problem = existingMacro(from);
    if (problem.empty() && from != to) problem = newMacro(to);
    if (!problem.empty() || from == to) return problem;
    if (!plat::moveFile(pathOf(from), pathOf(to))) return "\"" + from + "\" could not be renamed.";
    return "";
}

std::string duplicateLibraryMacro(const std::string& from, std::string& to) {
    std::string problem = existingMacro(from);
    if (!problem.empty()) return problem;
    if (to.empty()) to = freeName(from.substr(0, kMacroMaxNameBytes - 9) + " copy");
    problem = newMacro(to);
    if (!problem.empty()) return problem;
    std::string bytes;
    problem = readBounded(pathOf(from), bytes);
    if (!problem.empty()) return problem;
    return writeWhole(pathOf(to), bytes);
}

std::string deleteLibraryMacro(const std::string& name) {
    std::string problem = existingMacro(name);
    if (!problem.empty()) return problem;
    if (!plat::removeFile(pathOf(name))) return "\"" + name + "\" could not be deleted.";
    return "";
}

std::string importMacro(const std::string& path, std::string& name) {
    std::string bytes;
    std::string problem = readBounded(path, bytes);
    if (!problem.empty()) return problem;
    MacroReading reading = readMacroText(bytes);
    if (!reading.file) return "The file is not a macro Ravelin can read:\n" + macroProblemsText(reading);
    std::string base = fileStem(path);
    if (!macroNameProblem(base).empty()) base = reading.file->name;
    if (!macroNameProblem(base).empty()) base = "Imported macro";
    name = freeName(base.substr(0, kMacroMaxNameBytes - 4));
    if (name.empty()) return "Every name like \"" + base + "\" is taken.";
    makeMacroFolder();
    return writeWhole(pathOf(name), bytes);
}

std::string exportMacro(const std::string& name, const std::string& path, bool replace) {
    std::string problem = existingMacro(name);
    if (!problem.empty()) return problem;
    if (path.empty() || path.find('\0') != std::string::npos) return "Give the path of the file to write.";
    if (!replace && plat::pathExists(path)) return "There is a file at " + path + " already.";
    std::string bytes;
    problem = readBounded(pathOf(name), bytes);
    if (!problem.empty()) return problem;
    return writeWhole(path, bytes);
}

std::string openMacroFolder() {
    makeMacroFolder();
    if (!plat::openInFileManager(macroFolder())) return "The file manager could not be started.";
    return "";
}

}  // namespace rv
