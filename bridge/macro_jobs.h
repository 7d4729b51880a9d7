// The macro library's operations, run one after another on the macro worker thread so that the
// window thread and the pipe server never wait for a file: the page (and a panel message) asks for
// one and gets a job number at once, then asks for the job's outcome until it is done.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace rv {

// The page's library calls, by name: listMacros [], saveMacro [name, replace], loadMacro [name],
// renameMacro [from, to], duplicateMacro [name], deleteMacro [name], importMacro [path],
// exportMacro [name, path, replace], openMacroFolder [], and the step editor's readRecording [] and
// saveRecording [text] (the text's JSON is read on the worker). `request` is the call's JSON argument
// array. Returns the job number (from 1) as JSON, or 0 when the call is malformed or too many jobs
// wait. Any thread.
std::string startMacroJob(std::string_view call, const std::string& request);

// Other file work run on the macro worker, in turn with the library's jobs, and asked about the same
// way (macroJobText): `work` says whether it did what it says, a sentence for the user and a name.
// The job number, or 0 when too many jobs wait. Any thread.
struct MacroTaskResult {
    bool ok = false;
    std::string message, name;
};
int64_t startMacroTask(std::function<MacroTaskResult()> work);

// A job's outcome as JSON: {"done":false} while it waits or runs; then
// {"done":true,"ok":…,"message":…,"name":…,"macros":[{"name","steps","lengthMs","modified","problem"}…]}
// ("macros" for listMacros only). An unknown or long-forgotten job: {"done":true,"ok":false,…}.
std::string macroJobText(int64_t job);
// The same within `most` bytes, a list's macros from the `from`th on (from 0): as many whole macros as
// fit, then "from" (where they start) and "more" (how many come after them) whenever the list is
// given in part. The panel's page asks for the rest this way, a reply at a time.
std::string macroJobReply(int64_t job, size_t most, size_t from = 0);

// The step editor's copy of the recording (readRecording): its outcome says "steps" (how many),
// "parts" and the key names by code ("keys"), and carries the first part of the macro text (LF line
// ends) as "text"; this gives part `part` (from 1) as {"done":true,"ok":true,…,"part":N,"text":…},
// each once. Any thread.
std::string macroJobPart(int64_t job, size_t part);

// The pipe's saveMacro|NAME (never over an existing macro) and loadMacro|NAME: starts the job and
// answers at once with {"job":N}, or {"refused":"<why>"} for a name no macro can have; and
// macroJob|<job> or macroJob|<job> <from>, answered with macroJobReply (a list cut to what a reply
// holds, from its `from`th macro on); and a panel's
// macroCall|CALL ARGUMENTS, answered as startMacroJob. Pipe server thread.
std::string macroPipeMessage(std::string_view name, std::string_view payload);

// A panel instance's library calls: the same call forwarded to the main instance over the pipe
// (macroCall|CALL ARGUMENTS, answered with the job number), and the job's outcome asked the same way
// (macroJob|N; for getMacroJob [N, "macros", FROM], a list's macros from FROM on: macroJob|N FROM). Panel
// instance, user-interface thread; waits up to a second for each answer.
std::string panelMacroCall(std::string_view call, const std::string& request);
std::string panelMacroJob(const std::string& request);

// The strings, numbers and literals of a page call's flat JSON argument array, each as its text
// (strings unescaped); nothing when `request` is not one. Any thread.
std::optional<std::vector<std::string>> macroCallArguments(std::string_view request);

// Runs the oldest waiting job on the calling thread; false when none waits. The worker's pass.
bool runNextMacroJob();

// Thread body: runs jobs as they come while appRunning.
void macroWorkerThread();

}  // namespace rv
