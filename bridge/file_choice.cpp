#include "bridge/file_choice.h"

#include <cstdint>
#include <cstdlib>
#include <map>
#include <mutex>

#include "bridge/json_text.h"
#include "bridge/macro_jobs.h"
#include "platform/platform.h"
#include "state/macro_file.h"

namespace rv {

namespace {

struct Answer {
    std::string path;
    bool unavailable = false;
};

constexpr size_t kAnswersKept = 16;

std::mutex choicesLock;
int64_t lastChoice = 0;             // guarded by choicesLock
int64_t openChoice = 0;             // guarded by choicesLock; 0 while no dialog is open
std::map<int64_t, Answer> answers;  // guarded by choicesLock; the last kAnswersKept

void answer(int64_t choice, const std::string& path, bool unavailable) {
    std::lock_guard<std::mutex> lock(choicesLock);
    answers[choice] = Answer{path, unavailable};
    if (openChoice == choice) openChoice = 0;
    while (answers.size() > kAnswersKept) answers.erase(answers.begin());
}

}  // namespace

std::string startFileChoice(const std::string& request, void* owner,
                            const std::function<void(std::function<void()>)>& later) {
    auto items = macroCallArguments(request);
    if (!items || items->empty() || !owner || !later) return "0";
    plat::FileDialogRequest dialog;
    dialog.typeName = "Ravelin macro";
    dialog.extension = std::string(kMacroExtension).substr(1);
    if ((*items)[0] == "open") {
        dialog.kind = plat::FileDialogRequest::Kind::Open;
        dialog.title = "Import a macro";
    } else if ((*items)[0] == "save" && items->size() >= 2 && !(*items)[1].empty()) {
        dialog.kind = plat::FileDialogRequest::Kind::Save;
        dialog.title = "Export \"" + (*items)[1] + "\"";
        dialog.proposedName = (*items)[1] + kMacroExtension;
    } else {
        return "0";
    }
    int64_t choice = 0;
    {
        std::lock_guard<std::mutex> lock(choicesLock);
        // One dialog at a time: a second ask while one is open waits for the same answer.
        if (openChoice != 0) return std::to_string(openChoice);
        choice = openChoice = ++lastChoice;
    }
    later([owner, dialog, choice] {
        bool shown = plat::showFileDialog(owner, dialog,
                                          [choice](const std::string& path) { answer(choice, path, false); });
        if (!shown) answer(choice, "", true);
    });
    return std::to_string(choice);
}

std::string fileChoiceText(const std::string& request) {
    auto items = macroCallArguments(request);
    const int64_t choice = items && !items->empty() ? std::strtoll(items->front().c_str(), nullptr, 10) : 0;
    std::lock_guard<std::mutex> lock(choicesLock);
    auto found = answers.find(choice);
    if (found == answers.end()) {
        if (choice != 0 && choice == openChoice) return "{\"done\":false}";
        return "{\"done\":true,\"path\":\"\",\"unavailable\":true}";
    }
    std::string text = "{\"done\":true,\"path\":" + jsonString(found->second.path);
    return text + (found->second.unavailable ? ",\"unavailable\":true}" : "}");
}

}  // namespace rv
