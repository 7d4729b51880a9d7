// What could not be written to disk, kept until it can be, so that nothing is lost without a word:
// the page shows it as a lasting notice, and the close says it once more when it still stands.
// Any thread.
#pragma once

#include <string>

namespace rv {

// Why the last write of a kept file did not happen.
enum class KeepFailure { Kept, DiskFull, NotAllowed, Other, ReadOnly };

// The outcome of writing the file named `file` (its name alone, e.g. "theme.txt"): written (clears
// what was noted for it), or failed for the reason plat::lastWriteFailure gives on this thread.
void noteWritten(const std::string& file, bool written);
// The file was left alone because the user made it read-only.
void noteReadOnly(const std::string& file);

// What stands for the file now (Kept when its last write succeeded or none failed).
KeepFailure keepFailure(const std::string& file);
// Whether any file's last write failed for a reason other than its being read-only: changes wait in
// memory for a save that succeeds.
bool anyWriteFailing();

// The lasting notice for the page: empty while every file was written the last time it was tried.
std::string saveProblemText();

// The words for a close that could not save, when writes still fail; empty when none does.
// `windowStays`: the window stays up for another try (the text says how), else it goes now.
std::string closeProblemText(bool windowStays);

// A close could not save and the user has been told so in the page: the notice says it instead of
// the lasting one until a write succeeds. Any thread.
void noteCloseRefused(const std::string& text);

// Forgets everything noted (tests).
void clearSaveProblems();

}  // namespace rv
