// The fake platform: the panel pipe and panel processes.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <mutex>
#include <set>
#include <sstream>
#include <thread>

#include "platform/fake/fake_state.h"
#include "platform/input_math.h"
#include "platform/platform.h"

namespace fake {

std::vector<std::string> sentMessages() {
    Lock lock(state().mutex);
    return state().sent;
}

void setPipeServerPresent(bool present) {
    Lock lock(state().mutex);
    state().pipeServerPresent = present;
}

void setPipeResponder(plat::PipeHandler responder) {
    Lock lock(state().mutex);
    state().pipeResponder = responder;
}

bool pipeServerRunning() {
    Lock lock(state().mutex);
    return state().pipeRunning;
}

int pipeNotices() {
    Lock lock(state().mutex);
    return state().pipeNotices;
}

int watchesMade() {
    Lock lock(state().mutex);
    return state().watchesMade;
}

void endPipeWatches(bool end) {
    Lock lock(state().mutex);
    state().watchesEnd = end;
}

std::vector<FakeProcess*> processes() {
    Lock lock(state().mutex);
    std::vector<FakeProcess*> out;
    for (auto& process : state().processList) out.push_back(process.get());
    return out;
}

}  // namespace fake

namespace plat {

void runPipeServer(PipeHandler, void (*)()) {
    {
        Lock lock(fake::state().mutex);
        fake::state().pipeRunning = true;
    }
    for (;;) {
        {
            Lock lock(fake::state().mutex);
            if (fake::state().pipeStop) {
                fake::state().pipeRunning = false;
                fake::state().pipeStop = false;
                return;
            }
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

void stopPipeServer() {
    Lock lock(fake::state().mutex);
    fake::state().pipeStop = true;
}

void notifyPipeWatchers() {
    Lock lock(fake::state().mutex);
    ++fake::state().pipeNotices;
}

bool watchPipe(void (*told)()) {
    int seen = 0;
    {
        Lock lock(fake::state().mutex);
        if (!fake::state().pipeServerPresent || fake::state().watchesEnd) return false;
        ++fake::state().watchesMade;
        seen = fake::state().pipeNotices;
    }
    told();
    for (;;) {
        int notices = 0;
        {
            Lock lock(fake::state().mutex);
            if (fake::state().watchStop) {
                fake::state().watchStop = false;
                return true;
            }
            if (fake::state().watchesEnd || !fake::state().pipeServerPresent) return true;
            notices = fake::state().pipeNotices;
        }
        // Outside the lock: `told` is program code that may use the platform itself.
        for (; seen < notices; ++seen) told();
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

void stopPipeWatch() {
    Lock lock(fake::state().mutex);
    fake::state().watchStop = true;
}

bool sendPipeMessage(const std::string& message) {
    Lock lock(fake::state().mutex);
    if (!fake::state().pipeServerPresent) return false;
    fake::state().sent.push_back(message);
    return true;
}

std::optional<std::string> pipeRequest(const std::string& message, int) {
    PipeHandler responder = nullptr;
    {
        Lock lock(fake::state().mutex);
        if (!fake::state().pipeServerPresent) return std::nullopt;
        fake::state().sent.push_back(message);
        responder = fake::state().pipeResponder;
    }
    // Outside the lock: the responder is program code that may use the platform itself.
    if (!responder) return std::nullopt;
    std::string reply = responder(message.data(), message.size());
    if (reply.empty()) return std::nullopt;
    return reply;
}

ProcessHandle startProcess(const std::string& executable, const std::string& arguments) {
    Lock lock(fake::state().mutex);
    auto process = std::make_unique<fake::FakeProcess>();
    process->executable = executable, process->arguments = arguments;
    fake::state().processList.push_back(std::move(process));
    return fake::state().processList.back().get();
}

ProcessStatus processStatus(ProcessHandle process) {
    Lock lock(fake::state().mutex);
    return static_cast<fake::FakeProcess*>(process)->status;
}

void terminateProcess(ProcessHandle process) {
    Lock lock(fake::state().mutex);
    auto* p = static_cast<fake::FakeProcess*>(process);
    p->terminated = true;
    p->status = ProcessStatus::Ended;
}

void closeProcess(ProcessHandle process) {
    Lock lock(fake::state().mutex);
    static_cast<fake::FakeProcess*>(process)->closed = true;
}

}  // namespace plat
