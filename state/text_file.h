// Text files as the program keeps them: written whole with CR LF line ends on every platform (so
// files move between Windows and Linux), read back with CR LF and LF both taken as a line end.
#pragma once

#include <optional>
#include <string>

namespace rv {

// The executable's folder: its full path cut before the last '\' or '/' (the whole path if neither).
std::string exeFolder();

// exeFolder() + the separator + `name`.
std::string besideExe(const std::string& name);

// The file's text with every CR LF turned into LF, or nothing when it cannot be opened.
std::optional<std::string> readTextFile(const std::string& path);

// Writes `text` whole with every LF turned into CR LF (truncating first); false when it failed.
bool writeTextFile(const std::string& path, const std::string& text);

// The same through `path` + ".tmp" in the same folder, which then replaces the file in one step, so
// that readers and a crash see the old file or the new one, never a part. When `path` is a link, the
// file it leads to is replaced (through a temporary file beside that one) and the link stays.
bool replaceTextFile(const std::string& path, const std::string& text);

// Removes the temporary file that a replaceTextFile of `path` cut short (a killed process) left
// behind. Only where no other process may be writing the file. Main thread.
void removeLeftTemporary(const std::string& path);

}  // namespace rv
