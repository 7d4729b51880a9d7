// The macro library: one .rvm file per macro in the folder "macros" of the data folder, shared by
// every profile. A macro's name is its file name without the extension (macroNameProblem says which
// names may be used). Every function reads or writes files and may take a second for a large macro:
// the macro worker thread (bridge/macro_jobs.h) and tests call them, never the window thread.
// Each returns the empty text when it did what it says, else a sentence for the user; a refused
// operation changes no file.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "state/macro_file.h"

namespace rv {

// dataFolder() + separator + "macros" (not created here).
std::string macroFolder();

struct MacroEntry {
    std::string name;
    size_t steps = 0;
    int64_t lengthUs = 0;  // the time of the last step, microseconds
    int64_t modified = 0;  // seconds since 1970 (UTC)
    std::string problem;   // why the file cannot be loaded; empty when it can
};

// Every .rvm file of the library, by name (byte order). Files unchanged since the last listing are
// not read again.
std::vector<MacroEntry> listMacros();

// Reads a macro file from anywhere: refused unread when larger than kMacroMaxFileBytes; the problem
// text holds the file's problems (macroProblemsText) when it is not a good macro file.
std::string readMacroFile(const std::string& path, MacroFile& file);

// Writes `file` as the library's macro `name` (its header named so), through a temporary file that
// then replaces it; an existing macro of that name only when `replace`.
std::string saveLibraryMacro(const std::string& name, MacroFile file, bool replace);
std::string loadLibraryMacro(const std::string& name, MacroFile& file);
std::string renameLibraryMacro(const std::string& from, const std::string& to);
// A copy under a new name; `to` receives the name used: "<from> copy", "<from> copy 2", … when empty.
std::string duplicateLibraryMacro(const std::string& from, std::string& to);
std::string deleteLibraryMacro(const std::string& name);
// Copies a good macro file into the library, its bytes as they are, under the file's own name (or
// the name in its header, when the file name cannot be one), with " 2", " 3", … added when taken;
// `name` receives the name used.
std::string importMacro(const std::string& path, std::string& name);
// Copies the library's macro to `path`; an existing file there only when `replace`.
std::string exportMacro(const std::string& name, const std::string& path, bool replace);
// Shows the library's folder (made first when missing) in the file manager.
std::string openMacroFolder();

}  // namespace rv
