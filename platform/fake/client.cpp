// The fake platform: what ravelin-cli asks of the system.
#include "platform/fake/fake_state.h"

namespace fake {

void setMainInstanceRunning(bool running) {
    Lock lock(state().mutex);
    state().mainInstanceRunning = running;
}

void setProgramStart(bool starts, bool serves) {
    Lock lock(state().mutex);
    state().programStarts = starts;
    state().startedProgramServes = serves;
}

}  // namespace fake

namespace plat {

void prepareClientProcess() {}

std::vector<std::string> commandLineWords(int argc, char** argv) {
    std::vector<std::string> words;
    for (int i = 1; i < argc; ++i) words.emplace_back(argv[i]);
    return words;
}

bool mainInstanceRunning() {
    Lock lock(fake::state().mutex);
    return fake::state().mainInstanceRunning;
}

bool startMainProgram(const std::string& executable, const std::string& arguments) {
    Lock lock(fake::state().mutex);
    fake::State& s = fake::state();
    if (!s.programStarts) return false;
    auto process = std::make_unique<fake::FakeProcess>();
    process->executable = executable, process->arguments = arguments;
    s.processList.push_back(std::move(process));
    if (s.startedProgramServes) {
        s.mainInstanceRunning = true;
        s.pipeServerPresent = true;
    }
    return true;
}

std::string absolutePath(const std::string& path) {
    return !path.empty() && path[0] == '/' ? path : "/current/" + path;
}

}  // namespace plat
