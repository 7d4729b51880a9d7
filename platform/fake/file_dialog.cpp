// The fake platform's file dialogs: shown at once, answered by the test.
#include "platform/fake/fake_state.h"
#include "platform/platform.h"

namespace fake {

std::vector<FileDialogShown> fileDialogs() {
    Lock lock(state().mutex);
    return state().fileDialogs;
}

bool answerFileDialog(const std::string& path) {
    std::function<void(const std::string&)> done;
    {
        Lock lock(state().mutex);
        if (state().openDialogs.empty()) return false;
        done = std::move(state().openDialogs.front());
        state().openDialogs.erase(state().openDialogs.begin());
    }
    done(path);
    return true;
}

void setFileDialogsAvailable(bool available) {
    Lock lock(state().mutex);
    state().fileDialogsAvailable = available;
}

}  // namespace fake

namespace plat {

bool showFileDialog(void* ownerWindow, const FileDialogRequest& request,
                    std::function<void(const std::string& path)> done) {
    fake::Lock lock(fake::state().mutex);
    fake::State& s = fake::state();
    if (!s.fileDialogsAvailable || !ownerWindow || !done) return false;
    s.fileDialogs.push_back({ownerWindow, request});
    s.openDialogs.push_back(std::move(done));
    return true;
}

}  // namespace plat
