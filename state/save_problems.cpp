#include "state/save_problems.h"

#include <map>
#include <mutex>

#include "platform/platform.h"
#include "state/page_notice.h"

namespace rv {

namespace {

std::mutex problemsLock;
std::map<std::string, KeepFailure> problems;  // guarded by problemsLock; only files that failed
std::string closeRefused;                     // guarded by problemsLock

KeepFailure fromWriteFailure(plat::WriteFailure failure) {
    switch (failure) {
        case plat::WriteFailure::DiskFull:
            return KeepFailure::DiskFull;
        case plat::WriteFailure::NotAllowed:
            return KeepFailure::NotAllowed;
        default:
            return KeepFailure::Other;
    }
}

// Notes `failure` for `file` and tells the page when the notice changed.
void note(const std::string& file, KeepFailure failure) {
    bool changed = false;
    {
        std::lock_guard<std::mutex> lock(problemsLock);
        auto found = problems.find(file);
        const KeepFailure before = found == problems.end() ? KeepFailure::Kept : found->second;
        if (failure == KeepFailure::Kept) {
            if (found != problems.end()) problems.erase(found);
        } else {
            problems[file] = failure;
        }
        changed = before != failure;
        if (changed && !closeRefused.empty()) closeRefused.clear();
    }
    if (changed) tellPage();
}

// The sentence for one failure; files that fail for the same reason share it.
std::string problemWords(KeepFailure failure, const std::string& files) {
    switch (failure) {
        case KeepFailure::DiskFull:
            return "Could not save: the disk is full — changes are kept in memory and saved when space is "
                   "free";
        case KeepFailure::NotAllowed:
            return "Could not save " + files +
                   ": writing there is not allowed — changes are kept in memory and saved when it can be "
                   "written";
        case KeepFailure::Other:
            return "Could not save " + files +
                   " — changes are kept in memory and saved when it can be written";
        case KeepFailure::ReadOnly:
            return files + (files.find(',') == std::string::npos ? " is" : " are") +
                   " read-only — the change cannot be kept and lasts only until the program closes";
        case KeepFailure::Kept:
            break;
    }
    return "";
}

std::string problemTextLocked() {
    std::string text;
    for (KeepFailure failure :
         {KeepFailure::DiskFull, KeepFailure::NotAllowed, KeepFailure::Other, KeepFailure::ReadOnly}) {
        std::string files;
        for (const auto& [file, why] : problems) {
            if (why != failure) continue;
            if (!files.empty()) files += ", ";
            files += file;
        }
        if (files.empty()) continue;
        if (!text.empty()) text += ". ";
        text += problemWords(failure, files);
    }
    return text;
}

}  // namespace

void noteWritten(const std::string& file, bool written) {
    note(file, written ? KeepFailure::Kept : fromWriteFailure(plat::lastWriteFailure()));
}

void noteReadOnly(const std::string& file) {
    note(file, KeepFailure::ReadOnly);
}

KeepFailure keepFailure(const std::string& file) {
    std::lock_guard<std::mutex> lock(problemsLock);
    auto found = problems.find(file);
    return found == problems.end() ? KeepFailure::Kept : found->second;
}

bool anyWriteFailing() {
    std::lock_guard<std::mutex> lock(problemsLock);
    for (const auto& [file, why] : problems) {
        if (why != KeepFailure::ReadOnly) return true;
    }
    return false;
}

std::string saveProblemText() {
    std::lock_guard<std::mutex> lock(problemsLock);
    return closeRefused.empty() ? problemTextLocked() : closeRefused;
}

std::string closeProblemText(bool windowStays) {
    std::lock_guard<std::mutex> lock(problemsLock);
    bool diskFull = false, failing = false;
    std::string files;
    for (const auto& [file, why] : problems) {
        if (why == KeepFailure::ReadOnly) continue;
        failing = true;
        diskFull = diskFull || why == KeepFailure::DiskFull;
        if (!files.empty()) files += ", ";
        files += file;
    }
    if (!failing) return "";
    std::string text = diskFull ? "Could not save: the disk is full" : "Could not save " + files;
    if (windowStays)
        return text + " — the last changes are lost if the program closes now. " +
               (diskFull ? "Free some space, then close again: " : "Close again: ") +
               "the program tries once more and then quits either way.";
    return text + " — the last changes of this run are lost.";
}

void noteCloseRefused(const std::string& text) {
    {
        std::lock_guard<std::mutex> lock(problemsLock);
        closeRefused = text;
    }
    tellPage();
}

void clearSaveProblems() {
    std::lock_guard<std::mutex> lock(problemsLock);
    problems.clear();
    closeRefused.clear();
}

}  // namespace rv
