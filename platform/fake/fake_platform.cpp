// The fake platform: its state and reset, the process, time, wakes, start-up registration and
// the main-instance claim.
#include "platform/fake/fake_platform.h"

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

int64_t now() {
    Lock lock(state().mutex);
    return state().clock;
}

void advance(int64_t ticksToAdd) {
    Lock lock(state().mutex);
    state().clock += ticksToAdd;
}

void onSleep(std::function<void(int64_t)> hook) {
    Lock lock(state().mutex);
    state().sleepHook = std::move(hook);
}

void setRealSleep(bool on) {
    Lock lock(state().mutex);
    state().realSleep = on;
}

int64_t sleepCount() {
    Lock lock(state().mutex);
    return state().sleeps;
}

std::vector<std::string> calls() {
    Lock lock(state().mutex);
    return state().calls;
}

bool endSession() {
    void (*ending)() = nullptr;
    {
        Lock lock(state().mutex);
        ending = state().sessionEnding;
    }
    if (!ending) return false;
    ending();
    return true;
}

std::vector<std::pair<std::string, std::string>> errorBoxes() {
    Lock lock(state().mutex);
    return state().boxes;
}

std::vector<std::string> threadNames() {
    Lock lock(state().mutex);
    return state().threadNames;
}

std::vector<std::string> raisedThreads() {
    Lock lock(state().mutex);
    return state().raisedThreads;
}

void setScheduling(plat::Scheduling scheduling) {
    Lock lock(state().mutex);
    state().scheduling = scheduling;
}

std::optional<std::string> startupRegistration() {
    Lock lock(state().mutex);
    return state().registration;
}

void failRegistration(bool fails) {
    Lock lock(state().mutex);
    state().registrationFails = fails;
}

void holdMainInstanceElsewhere(int attempts) {
    Lock lock(state().mutex);
    state().mainInstanceHeldFor = attempts;
}

void blockMainInstance(const std::string& problem) {
    Lock lock(state().mutex);
    state().mainInstanceProblem = problem;
}

int mainInstanceClaims() {
    Lock lock(state().mutex);
    return state().mainInstanceClaims;
}

void reset() {
    Lock lock(state().mutex);
    State& s = state();
    for (auto& wake : s.wakes) wake->signalled = false;
    s.threadNames.clear();
    s.raisedThreads.clear();
    s.scheduling = {};
    s.captureWakes = 0;
    s.capture.reset();
    s.captureStop = false;
    s.registration.reset();
    s.registrationFails = false;
    s.mainInstanceHeldFor = 0, s.mainInstanceClaims = 0;
    s.mainInstanceProblem.clear();
    s.records.clear();
    s.settles.clear();
    s.clock = 0, s.sleeps = 0, s.sleepHook = nullptr, s.realSleep = false;
    s.screenWidth = 1920, s.screenHeight = 1080, s.cursorX = 0, s.cursorY = 0;
    s.inputRoute = plat::InputRoute::X11;
    s.pointerOnOwnWindow.reset();
    s.desk.reset();
    s.sessionEnding = nullptr;
    s.inputRefused = false;
    s.keyNames = {{117, "F6"}, {118, "F7"}, {119, "F8"}, {120, "F9"}, {32, "Space"}, {65, "A"}};
    s.exePath.clear();
    s.environment.clear();
    s.failingWrites = 0, s.failKeep = 0;
    s.unreadable.clear();
    s.windows.clear();
    s.windowStates.clear();
    s.workAreas = {plat::Rect{0, 0, 1920, 1040}};
    s.drag.reset();
    s.sent.clear();
    s.pipeServerPresent = true;
    s.pipeResponder = nullptr;
    s.pipeRunning = false, s.pipeStop = false;
    s.pipeNotices = 0, s.watchesMade = 0;
    s.watchStop = false, s.watchesEnd = false;
    s.processList.clear();
    s.mainInstanceRunning = false;
    s.programStarts = true, s.startedProgramServes = true;
    s.calls.clear();
    s.webview = WebviewState{};
    s.bindings.clear();
    s.dispatches.clear();
    s.boxes.clear();
    s.fileDialogsAvailable = true;
    s.fileDialogs.clear();
    s.openDialogs.clear();
}

}  // namespace fake

namespace plat {

const bool kErrorBoxIsModal = true;
const char* const kWindowSystem = "x11";
const char kPathSeparator = '/';
const char* const webviewLibraryFile = "fake-webview";
std::string browserFailureText() {
    return "No browser.";
}

bool initProcess() {
    return true;
}
void endProcess(bool) {}

void errorBox(const std::string& caption, const std::string& text) {
    Lock lock(fake::state().mutex);
    fake::state().boxes.emplace_back(caption, text);
}

void installCrashHandler(void (*)()) {}

std::string mainInstanceProblem() {
    Lock lock(fake::state().mutex);
    return fake::state().mainInstanceProblem;
}

void watchSessionEnd(void (*ending)()) {
    Lock lock(fake::state().mutex);
    fake::state().sessionEnding = ending;
}

bool claimMainInstance() {
    Lock lock(fake::state().mutex);
    fake::State& s = fake::state();
    ++s.mainInstanceClaims;
    if (!s.mainInstanceProblem.empty()) return false;
    if (s.mainInstanceHeldFor == 0) return true;
    if (s.mainInstanceHeldFor > 0) --s.mainInstanceHeldFor;
    return false;
}

// Every read moves the clock on by one tick, so that code spinning on the counter ends.
int64_t ticks() {
    Lock lock(fake::state().mutex);
    return ++fake::state().clock;
}
int64_t tickFrequency() {
    return fake::kFrequency;
}

void sleepUs(int64_t microseconds) {
    std::function<void(int64_t)> hook;
    bool real = false;
    int64_t now = 0;
    {
        Lock lock(fake::state().mutex);
        fake::state().clock += microseconds * (fake::kFrequency / 1'000'000);
        ++fake::state().sleeps;
        hook = fake::state().sleepHook;
        real = fake::state().realSleep;
        now = fake::state().clock;
    }
    if (real) std::this_thread::sleep_for(std::chrono::microseconds(microseconds / 10 + 1));
    if (hook) hook(now);
}

void sleepMs(int milliseconds) {
    sleepUs(static_cast<int64_t>(milliseconds) * 1000);
}

WakeHandle createWake() {
    Lock lock(fake::state().mutex);
    fake::state().wakes.push_back(std::make_unique<fake::Wake>());
    return fake::state().wakes.back().get();
}

void signalWake(WakeHandle wake) {
    Lock lock(fake::state().mutex);
    auto* w = static_cast<fake::Wake*>(wake);
    w->signalled = true;
    w->signal.notify_all();
}

// A nap passes a millisecond at a time, each slice a sleep like sleepUs (the virtual clock moves on,
// the sleep hook runs, and a tenth of it passes for real when real sleeps are on), and ends after the
// first slice during which the wake was signalled; one already signalled ends it at once, taking no
// time.
bool napOnWake(WakeHandle wake, int64_t microseconds) {
    auto* w = static_cast<fake::Wake*>(wake);
    auto taken = [w] {
        Lock lock(fake::state().mutex);
        bool signalled = w->signalled;
        w->signalled = false;
        return signalled;
    };
    if (taken()) return true;
    for (int64_t left = microseconds; left > 0;) {
        const int64_t slice = left < 1000 ? left : 1000;
        left -= slice;
        std::function<void(int64_t)> hook;
        int64_t now = 0;
        {
            std::unique_lock<std::recursive_mutex> lock(fake::state().mutex);
            fake::state().clock += slice * (fake::kFrequency / 1'000'000);
            ++fake::state().sleeps;
            hook = fake::state().sleepHook;
            now = fake::state().clock;
            if (fake::state().realSleep) {
                w->signal.wait_for(lock, std::chrono::microseconds(slice / 10 + 1),
                                   [w] { return w->signalled; });
            }
        }
        if (hook) hook(now);
        if (taken()) return true;
    }
    return false;
}

namespace {
thread_local std::string threadName;
}

Scheduling raiseThreadScheduling() {
    Lock lock(fake::state().mutex);
    fake::state().raisedThreads.push_back(threadName);
    return fake::state().scheduling;
}

void nameThread(const char* name) {
    Lock lock(fake::state().mutex);
    fake::state().threadNames.push_back(name);
    threadName = name;
}

void raiseTimerResolution() {
    Lock lock(fake::state().mutex);
    fake::state().calls.push_back("raiseTimerResolution");
}

void restoreTimerResolution() {
    Lock lock(fake::state().mutex);
    fake::state().calls.push_back("restoreTimerResolution");
}

bool setStartupRegistration(bool on, const std::string& executablePath) {
    Lock lock(fake::state().mutex);
    if (fake::state().registrationFails) return fake::state().registration.has_value();
    if (on) {
        fake::state().registration = "\"" + executablePath + "\"";
    } else {
        fake::state().registration.reset();
    }
    return on;
}

}  // namespace plat
