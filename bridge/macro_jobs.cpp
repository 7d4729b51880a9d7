#include "bridge/macro_jobs.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <map>
#include <mutex>
#include <optional>
#include <vector>

#include "bridge/json_text.h"
#include "capture/recording.h"
#include "platform/platform.h"
#include "state/macro_file.h"
#include "state/macro_library.h"
#include "state/state.h"
#include "state/wakes.h"

namespace rv {

namespace {

enum class Kind {
    List,
    Save,
    Load,
    Rename,
    Duplicate,
    Delete,
    Import,
    Export,
    OpenFolder,
    Task,
    ReadSteps,
    SaveSteps
};

struct Job {
    int64_t id = 0;
    Kind kind = Kind::List;
    std::vector<std::string> arguments;
    std::function<MacroTaskResult()> task;  // Kind::Task
};

struct Outcome {
    bool ok = false;
    std::string message;
    std::string name;
    std::optional<std::vector<std::string>> macros;  // listMacros only: each macro as a JSON object
    std::string steps;  // readRecording only: "steps":N,"parts":P,"keys":[…] (the text is in editorParts)
};

constexpr size_t kMostWaiting = 32;
constexpr size_t kOutcomesKept = 64;

std::mutex jobsLock;
std::condition_variable jobsWaiting;
std::deque<Job> waiting;          // guarded by jobsLock
std::map<int64_t, Outcome> done;  // guarded by jobsLock; the last kOutcomesKept
int64_t lastJob = 0;              // guarded by jobsLock
int64_t runningJob = 0;           // guarded by jobsLock; 0 while none runs
// The text of the last readRecording job in parts cut at line ends, handed to the page one by one
// (the page shows the first rows while the rest come); dropped once the last is handed over, or by
// the next readRecording. Guarded by jobsLock.
int64_t editorJob = 0;
std::vector<std::string> editorParts;
constexpr size_t kEditorPartBytes = 1u << 21;
// The parts of an edited recording that came before its last, as their calls' JSON texts (the
// strings in them are read on the worker when the last comes). Guarded by jobsLock.
std::vector<std::string> savingParts;
size_t savingBytes = 0;

// The strings, numbers and literals of a JSON array, each as its text; nothing when `request` is
// not one flat array of them.
std::optional<std::vector<std::string>> arrayItems(std::string_view request) {
    std::vector<std::string> items;
    size_t i = 0;
    auto blank = [&] {
        while (i < request.size() &&
               (request[i] == ' ' || request[i] == '\t' || request[i] == '\n' || request[i] == '\r'))
            ++i;
    };
    auto hex4 = [&](uint32_t& value) {
        if (i + 4 > request.size()) return false;
        value = 0;
        for (size_t k = 0; k < 4; ++k) {
            char c = request[i++];
            value <<= 4;
            if (c >= '0' && c <= '9')
                value |= static_cast<uint32_t>(c - '0');
            else if (c >= 'a' && c <= 'f')
                value |= static_cast<uint32_t>(c - 'a' + 10);
            else if (c >= 'A' && c <= 'F')
                value |= static_cast<uint32_t>(c - 'A' + 10);
            else
                return false;
        }
        return true;
    };
    auto utf8 = [](std::string& out, uint32_t code) {
        if (code < 0x80) {
            out += static_cast<char>(code);
        } else if (code < 0x800) {
            out += static_cast<char>(0xC0 | (code >> 6)), out += static_cast<char>(0x80 | (code & 0x3F));
        } else if (code < 0x10000) {
            out += static_cast<char>(0xE0 | (code >> 12)),
                out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (code & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (code >> 18)),
                out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((code >> 6) & 0x3F)),
                out += static_cast<char>(0x80 | (code & 0x3F));
        }
    };
    blank();
    if (i >= request.size() || request[i++] != '[') return std::nullopt;
    blank();
    if (i < request.size() && request[i] == ']') return ++i, items;
    for (;;) {
        blank();
        if (i >= request.size()) return std::nullopt;
        std::string item;
        if (request[i] == '"') {
            ++i;
            for (;;) {
                if (i >= request.size()) return std::nullopt;
                char c = request[i++];
                if (c == '"') break;
                if (c != '\\') {
                    item += c;
                    continue;
                }
                if (i >= request.size()) return std::nullopt;
                char e = request[i++];
                const char* plain = "\"\\/bfnrt";
                const char* meant = "\"\\/\b\f\n\r\t";
                if (const char* at = std::strchr(plain, e); at && e) {
                    item += meant[at - plain];
                } else if (e == 'u') {
                    uint32_t code = 0, low = 0;
                    if (!hex4(code)) return std::nullopt;
                    if (code >= 0xD800 && code < 0xDC00 && i + 1 < request.size() && request[i] == '\\' &&
                        request[i + 1] == 'u') {
                        i += 2;
                        if (!hex4(low)) return std::nullopt;
                        code = low >= 0xDC00 && low < 0xE000
                                   ? 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00)
                                   : 0xFFFD;
                    } else if (code >= 0xD800 && code < 0xE000) {
                        code = 0xFFFD;
                    }
                    utf8(item, code);
                } else {
                    return std::nullopt;
                }
            }
        } else {
            // A number or a literal: nothing else stands bare in a flat array.
            auto bare = [](char c) {
                return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || c == '-' || c == '+' || c == '.' ||
                       c == 'E';
            };
            while (i < request.size() && bare(request[i])) item += request[i++];
            if (item.empty()) return std::nullopt;
        }
        items.push_back(std::move(item));
        blank();
        if (i >= request.size()) return std::nullopt;
        if (request[i] == ']') break;
        if (request[i++] != ',') return std::nullopt;
    }
    ++i;
    blank();
    if (i != request.size()) return std::nullopt;
    return items;
}

bool truthy(const std::vector<std::string>& items, size_t index) {
    return index < items.size() && (items[index] == "true" || items[index] == "1");
}

std::string countText(size_t count) {
    std::string digits = std::to_string(count);
    for (size_t at = digits.size(); at > 3; at -= 3) digits.insert(at - 3, ",");
    return digits;
}

// A list entry's problem: its first line, cut to at most kListedProblemBytes (at a character's
// start), so that any one entry fits a pipe reply with room to spare.
constexpr size_t kListedProblemBytes = 200;
std::string listedProblem(const std::string& problem) {
    std::string line = problem.substr(0, problem.find('\n'));
    if (line.size() <= kListedProblemBytes) return line;
    size_t cut = kListedProblemBytes;
    while (cut > 0 && (static_cast<unsigned char>(line[cut]) & 0xC0) == 0x80) --cut;
    return line.substr(0, cut) + "\xE2\x80\xA6";
}

std::vector<std::string> listEntries() {
    std::vector<std::string> entries;
    for (const MacroEntry& entry : listMacros()) {
        entries.push_back("{\"name\":" + jsonString(entry.name) +
                          ",\"steps\":" + std::to_string(entry.steps) +
                          ",\"lengthMs\":" + std::to_string(entry.lengthUs / 1000) +
                          ",\"modified\":" + std::to_string(entry.modified) +
                          ",\"problem\":" + jsonString(listedProblem(entry.problem)) + "}");
    }
    return entries;
}

Outcome save(const std::string& name, bool replace) {
    MacroFile file;
    {
        std::lock_guard<std::mutex> lock(profilesLock);
        if (Profile* current = currentProfileEntry()) file.events = current->events;
    }
    if (recording.load()) return {false, "Stop the recording first.", name, {}, ""};
    if (file.events.empty()) return {false, "There is no recording to save.", name, {}, ""};
    plat::screenSize(file.screenWidth, file.screenHeight);
    size_t steps = file.events.size();
    std::string problem = saveLibraryMacro(name, std::move(file), replace);
    if (!problem.empty()) return {false, problem, name, {}, ""};
    return {true, "Saved \"" + name + "\" (" + countText(steps) + " steps).", name, {}, ""};
}

Outcome load(const std::string& name) {
    MacroFile file;
    std::string problem = loadLibraryMacro(name, file);
    if (!problem.empty()) return {false, "\"" + name + "\" was not loaded:\n" + problem, name, {}, ""};
    size_t steps = file.events.size();
    if (!replaceRecording(std::move(file.events)))
        return {false, "Stop the recording or playback first.", name, {}, ""};
    return {true, "Loaded \"" + name + "\" (" + countText(steps) + " steps).", name, {}, ""};
}

// The macro text as a JSON string with LF line ends, a line end written \n (the text is well-formed
// UTF-8 already: steps are ASCII, and the header's name and note are made so when written).
std::string macroTextJson(const std::string& text) {
    std::string json;
    json.reserve(text.size() + text.size() / 16 + 2);
    json += '"';
    for (char c : text) {
        if (c == '\r') continue;
        if (c == '\n') {
            json += "\\n";
        } else if (c == '"' || c == '\\') {
            json += '\\', json += c;
        } else if (static_cast<unsigned char>(c) < 0x20) {
            json += "\\u00", json += "0123456789abcdef"[(c >> 4) & 1], json += "0123456789abcdef"[c & 15];
        } else {
            json += c;
        }
    }
    return json += '"';
}

// The step editor's copy of the current recording: the macro file's text with LF line ends (the
// smaller wire), and the key names the page shows, by code.
Outcome readSteps(int64_t job) {
    MacroFile file;
    if (recording.load()) return {false, "Stop the recording first.", "", {}, ""};
    {
        std::lock_guard<std::mutex> lock(profilesLock);
        if (Profile* current = currentProfileEntry()) file.events = current->events;
    }
    plat::screenSize(file.screenWidth, file.screenHeight);
    std::string text, problem;
    if (!writeMacroText(file, text, problem)) return {false, problem, "", {}, ""};
    std::string keys = "[";
    for (int32_t vk = 0; vk < 256; ++vk) keys += (vk ? "," : "") + jsonString(macroKeyName(vk));
    keys += "]";
    std::vector<std::string> parts;
    for (size_t at = 0; at < text.size();) {
        size_t end =
            at + kEditorPartBytes < text.size() ? text.find('\n', at + kEditorPartBytes) : std::string::npos;
        end = end == std::string::npos ? text.size() : end + 1;
        parts.push_back(text.substr(at, end - at));
        at = end;
    }
    std::string head = "\"steps\":" + std::to_string(file.events.size()) +
                       ",\"parts\":" + std::to_string(parts.size()) + ",\"keys\":" + keys;
    {
        std::lock_guard<std::mutex> lock(jobsLock);
        editorJob = job;
        editorParts = std::move(parts);
    }
    return {true, countText(file.events.size()) + " steps.", "", {}, head};
}

// The edited recording from the step editor, as macro text in a JSON array: read whole by the same
// rules as a macro file, and either put in place of the current recording (which can then be
// brought back once) or refused with its problems, the recording untouched.
Outcome saveSteps(const std::vector<std::string>& requests) {
    std::string text;
    for (const std::string& request : requests) {
        auto items = arrayItems(request);
        if (!items || items->empty()) return {false, "The edited steps did not arrive.", "", {}, ""};
        text += (*items)[0];
    }
    MacroReading reading = readMacroText(text);
    if (!reading.file) return {false, "The steps were not saved:\n" + macroProblemsText(reading), "", {}, ""};
    size_t steps = reading.file->events.size();
    if (!replaceRecording(std::move(reading.file->events)))
        return {false, "Stop the recording or playback first.", "", {}, ""};
    return {true, "Saved the edited recording (" + countText(steps) + " steps).", "", {}, ""};
}

Outcome run(const Job& job) {
    const std::vector<std::string>& a = job.arguments;
    auto arg = [&a](size_t index) { return index < a.size() ? a[index] : std::string(); };
    auto outcome = [](const std::string& problem, const std::string& name, const std::string& said) {
        return problem.empty() ? Outcome{true, said, name, {}, ""} : Outcome{false, problem, name, {}, ""};
    };
    switch (job.kind) {
        case Kind::List:
            return Outcome{true, "", "", listEntries(), ""};
        case Kind::Save:
            return save(arg(0), truthy(a, 1));
        case Kind::Load:
            return load(arg(0));
        case Kind::Rename:
            return outcome(renameLibraryMacro(arg(0), arg(1)), arg(1), "Renamed to \"" + arg(1) + "\".");
        case Kind::Duplicate: {
            std::string copy;
            std::string problem = duplicateLibraryMacro(arg(0), copy);
            return outcome(problem, copy, "Copied as \"" + copy + "\".");
        }
        case Kind::Delete:
            return outcome(deleteLibraryMacro(arg(0)), arg(0), "Deleted \"" + arg(0) + "\".");
        case Kind::Import: {
            std::string name;
            std::string problem = importMacro(arg(0), name);
            return outcome(problem, name, "Imported as \"" + name + "\".");
        }
        case Kind::OpenFolder:
            return outcome(openMacroFolder(), "", "");
        case Kind::Export:
            return outcome(exportMacro(arg(0), arg(1), truthy(a, 2)), arg(0), "Exported to " + arg(1) + ".");
        case Kind::ReadSteps:
            return readSteps(job.id);
        case Kind::SaveSteps:
            return saveSteps(job.arguments);
        case Kind::Task: {
            MacroTaskResult result = job.task ? job.task() : MacroTaskResult{};
            return Outcome{result.ok, result.message, result.name, {}, ""};
        }
    }
    return {};
}

int64_t enqueue(Kind kind, std::vector<std::string> arguments, std::function<MacroTaskResult()> task = {}) {
    std::lock_guard<std::mutex> lock(jobsLock);
    if (waiting.size() >= kMostWaiting) return 0;
    waiting.push_back(Job{++lastJob, kind, std::move(arguments), std::move(task)});
    jobsWaiting.notify_one();
    return lastJob;
}

struct CallWord {
    const char* name;
    Kind kind;
    size_t arguments;  // at least
};
constexpr CallWord kCalls[] = {
    {"listMacros", Kind::List, 0},
    {"saveMacro", Kind::Save, 1},
    {"loadMacro", Kind::Load, 1},
    {"renameMacro", Kind::Rename, 2},
    {"duplicateMacro", Kind::Duplicate, 1},
    {"deleteMacro", Kind::Delete, 1},
    {"importMacro", Kind::Import, 1},
    {"exportMacro", Kind::Export, 2},
    {"openMacroFolder", Kind::OpenFolder, 0},
    {"readRecording", Kind::ReadSteps, 0},
};

// saveRecording ["text"], or ["text", part, parts] for one part of it (from 0; the browser hands a
// long text to the window thread more smoothly in parts): the parts before the last are kept and
// answered true; the last starts the job that reads them all. The text can be tens of megabytes:
// its JSON is read on the worker, not here. A part out of turn, or more than a macro file can be,
// drops what was kept and is answered 0.
std::string saveRecordingCall(const std::string& request) {
    size_t quote = request.rfind('"');
    std::vector<int64_t> numbers;
    for (size_t i = quote == std::string::npos ? request.size() : quote + 1; i < request.size(); ++i) {
        if (request[i] < '0' || request[i] > '9') continue;
        int64_t value = 0;
        for (; i < request.size() && request[i] >= '0' && request[i] <= '9' && value < INT32_MAX; ++i)
            value = value * 10 + (request[i] - '0');
        numbers.push_back(value);
    }
    const int64_t part = numbers.size() == 2 ? numbers[0] : 0, parts = numbers.size() == 2 ? numbers[1] : 1;
    std::vector<std::string> requests;
    {
        std::lock_guard<std::mutex> lock(jobsLock);
        if (part == 0) savingParts.clear(), savingBytes = 0;
        savingBytes += request.size();
        if (part >= parts || part != static_cast<int64_t>(savingParts.size()) ||
            savingBytes > 2 * kMacroMaxFileBytes) {
            savingParts.clear(), savingBytes = 0;
            return "0";
        }
        savingParts.push_back(request);
        if (part + 1 < parts) return "true";
        requests.swap(savingParts);
        savingBytes = 0;
    }
    return std::to_string(enqueue(Kind::SaveSteps, std::move(requests)));
}

}  // namespace

std::string startMacroJob(std::string_view call, const std::string& request) {
    if (call == "saveRecording") return saveRecordingCall(request);
    auto items = arrayItems(request);
    if (!items) return "0";
    for (const CallWord& word : kCalls) {
        if (call == word.name && items->size() >= word.arguments)
            return std::to_string(enqueue(word.kind, std::move(*items)));
    }
    return "0";
}

std::optional<std::vector<std::string>> macroCallArguments(std::string_view request) {
    return arrayItems(request);
}

int64_t startMacroTask(std::function<MacroTaskResult()> work) {
    return enqueue(Kind::Task, {}, std::move(work));
}

namespace {

// The outcome's text. A list gives its macros from `from` on, only as many as keep the text within
// `most` bytes, each macro whole; a list given so in part says where it starts ("from") and how many
// macros come after it ("more").
std::string outcomeText(const Outcome& outcome, size_t most, size_t from) {
    std::string text = std::string("{\"done\":true,\"ok\":") + jsonBool(outcome.ok) +
                       ",\"message\":" + jsonString(outcome.message) +
                       ",\"name\":" + jsonString(outcome.name);
    // The editor's copy of a recording goes to the main window's page only, never into a pipe reply.
    if (!outcome.steps.empty() && most == std::string::npos) return text + "," + outcome.steps + "}";
    if (!outcome.steps.empty() || !outcome.macros) return text + "}";
    const std::vector<std::string>& entries = *outcome.macros;
    const size_t first = std::min(from, entries.size());
    // Room kept for the list's own words and the two counts.
    constexpr size_t kListWords = 64;
    std::string list = "[";
    size_t end = first;
    for (; end < entries.size(); ++end) {
        if (most != std::string::npos && text.size() + list.size() + entries[end].size() + kListWords > most)
            break;
        if (end > first) list += ',';
        list += entries[end];
    }
    text += ",\"macros\":" + list + "]";
    if (first > 0 || end < entries.size())
        text += ",\"from\":" + std::to_string(first) + ",\"more\":" + std::to_string(entries.size() - end);
    return text + "}";
}

}  // namespace

std::string macroJobText(int64_t job) {
    return macroJobReply(job, std::string::npos);
}

std::string macroJobReply(int64_t job, size_t most, size_t from) {
    std::lock_guard<std::mutex> lock(jobsLock);
    auto found = done.find(job);
    if (found == done.end()) {
        bool pending = job != 0 && job == runningJob;
        for (const Job& queued : waiting) pending = pending || queued.id == job;
        if (pending) return "{\"done\":false}";
        return "{\"done\":true,\"ok\":false,\"message\":\"No such job.\",\"name\":\"\"}";
    }
    std::string text = outcomeText(found->second, most, from);
    // The first part of the editor's text comes with the outcome.
    if (job == editorJob && !editorParts.empty() && most == std::string::npos) {
        text.pop_back();
        text += ",\"text\":" + macroTextJson(editorParts[0]) + "}";
        if (editorParts.size() == 1) editorParts.clear(), editorJob = 0;
    }
    return text;
}

std::string macroJobPart(int64_t job, size_t part) {
    std::lock_guard<std::mutex> lock(jobsLock);
    if (job == 0 || job != editorJob || part >= editorParts.size())
        return "{\"done\":true,\"ok\":false,\"message\":\"That part of the recording is "
               "gone.\",\"name\":\"\"}";
    std::string text =
        "{\"done\":true,\"ok\":true,\"message\":\"\",\"name\":\"\",\"part\":" + std::to_string(part) +
        ",\"text\":" + macroTextJson(editorParts[part]) + "}";
    // Handed over once: the parts can be tens of megabytes together.
    editorParts[part].clear();
    editorParts[part].shrink_to_fit();
    if (part + 1 == editorParts.size()) editorParts.clear(), editorJob = 0;
    return text;
}

std::string macroPipeMessage(std::string_view name, std::string_view payload) {
    if (name == "macroJob") {
        // "N", or "N FROM" for a list's macros from FROM on.
        int64_t numbers[2] = {0, 0};
        size_t at = 0;
        for (char c : payload) {
            if (c == ' ' && at == 0) ++at;
            if (c >= '0' && c <= '9' && numbers[at] < INT32_MAX) numbers[at] = numbers[at] * 10 + (c - '0');
        }
        return macroJobReply(numbers[0], plat::kPipeReplyMax, static_cast<size_t>(numbers[1]));
    }
    if (name == "macroCall") {
        size_t blank = payload.find(' ');
        if (blank == std::string_view::npos) return "0";
        return startMacroJob(payload.substr(0, blank), std::string(payload.substr(blank + 1)));
    }
    std::string macro(payload);
    std::string problem = macroNameProblem(macro);
    // Replies on the pipe are JSON texts, like every other reply there.
    if (!problem.empty()) return "{\"refused\":" + jsonString(problem) + "}";
    int64_t job = enqueue(name == "saveMacro" ? Kind::Save : Kind::Load, {macro, "0"});
    if (job == 0) return "{\"refused\":\"too many macro operations wait.\"}";
    return "{\"job\":" + std::to_string(job) + "}";
}

std::string panelMacroCall(std::string_view call, const std::string& request) {
    std::string message = "macroCall|" + std::string(call) + " " + request;
    if (message.size() > plat::kPipeMessageMax) return "0";
    auto reply = plat::pipeRequest(message, 1000);
    return reply && !reply->empty() ? *reply : "0";
}

std::string panelMacroJob(const std::string& request) {
    auto items = arrayItems(request);
    int64_t job = items && !items->empty() ? std::strtoll(items->front().c_str(), nullptr, 10) : 0;
    std::string question = "macroJob|" + std::to_string(job);
    if (items && items->size() >= 3 && (*items)[1] == "macros")
        question +=
            " " + std::to_string(std::max<int64_t>(0, std::strtoll((*items)[2].c_str(), nullptr, 10)));
    auto reply = plat::pipeRequest(question, 1000);
    if (reply && !reply->empty()) return *reply;
    return "{\"done\":true,\"ok\":false,\"message\":\"The main window did not answer.\",\"name\":\"\"}";
}

bool runNextMacroJob() {
    Job job;
    {
        std::lock_guard<std::mutex> lock(jobsLock);
        if (waiting.empty()) return false;
        job = std::move(waiting.front());
        waiting.pop_front();
        runningJob = job.id;
    }
    Outcome outcome = run(job);
    {
        std::lock_guard<std::mutex> lock(jobsLock);
        done[job.id] = std::move(outcome);
        runningJob = 0;
        while (done.size() > kOutcomesKept) done.erase(done.begin());
    }
    // What a load changed (the recording, "Bring it back") reaches the pages at the control thread's
    // next pass.
    wake(Sleeper::Control);
    return true;
}

void macroWorkerThread() {
    while (appRunning.load()) {
        if (runNextMacroJob()) continue;
        std::unique_lock<std::mutex> lock(jobsLock);
        jobsWaiting.wait_for(lock, std::chrono::milliseconds(200), [] { return !waiting.empty(); });
    }
}

}  // namespace rv
