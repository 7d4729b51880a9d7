// Private to the fake platform's files: the one state they all share, behind one recursive mutex.
#pragma once

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

#include "platform/fake/fake_platform.h"
#include "platform/platform.h"

namespace fake {

struct Bound {
    std::string name;
    void (*fn)(const char* id, const char* req, void* arg);
    void* arg;
};

struct Wake {
    bool signalled = false;
    std::condition_variable_any signal;
};

struct State {
    std::recursive_mutex mutex;
    std::vector<InputRecord> records;
    std::vector<size_t> settles;
    int64_t clock = 0;
    int64_t sleeps = 0;
    std::function<void(int64_t)> sleepHook;
    bool realSleep = false;
    int32_t screenWidth = 1920, screenHeight = 1080;
    std::optional<plat::Rect> desk;  // the virtual desktop; none: the screen alone
    bool inputRefused = false;
    void (*sessionEnding)() = nullptr;
    int32_t cursorX = 0, cursorY = 0;
    plat::InputRoute inputRoute = plat::InputRoute::X11;
    std::optional<bool> pointerOnOwnWindow;
    std::map<int32_t, std::string> keyNames;
    std::string exePath;
    std::map<std::string, std::optional<std::string>> environment;
    int failingWrites = 0;
    size_t failKeep = 0;
    plat::WriteFailure failWhy = plat::WriteFailure::DiskFull;
    std::optional<std::string> unwritableFolder;
    std::set<std::string> unreadable;
    std::map<std::string, void*> windows;
    std::map<void*, FakeWindow> windowStates;
    std::vector<plat::Rect> workAreas{plat::Rect{0, 0, 1920, 1040}};
    std::optional<plat::DragHandlers> drag;
    std::vector<std::string> sent;
    bool pipeServerPresent = true;
    plat::PipeHandler pipeResponder = nullptr;
    bool pipeRunning = false, pipeStop = false;
    int pipeNotices = 0;      // notifyPipeWatchers calls; a watch is told each one made while it runs
    int watchesMade = 0;      // watchPipe calls that connected
    bool watchStop = false;   // stopPipeWatch, until a watch obeys it
    bool watchesEnd = false;  // the server closes every watch (endPipeWatches)
    std::vector<std::unique_ptr<FakeProcess>> processList;
    std::vector<std::string> calls;
    WebviewState webview;
    std::vector<Bound> bindings;
    std::vector<std::pair<void (*)(void*, void*), void*>> dispatches;
    std::string lastResult;
    std::vector<std::pair<std::string, std::string>> boxes;
    std::optional<plat::CaptureHandlers> capture;
    bool captureStop = false;
    std::optional<std::string> registration;
    bool registrationFails = false;            // the system refuses every change of the registration
    std::vector<std::unique_ptr<Wake>> wakes;  // never freed: the program keeps its handles for good
    std::vector<std::string> threadNames;
    std::vector<std::string> raisedThreads;  // the names of the threads that raised their scheduling
    plat::Scheduling scheduling;             // what a raise gets
    int captureWakes = 0;
    int mainInstanceHeldFor = 0;
    int mainInstanceClaims = 0;
    std::string mainInstanceProblem;  // claims fail with it while not empty
    bool mainInstanceRunning = false;
    bool programStarts = true, startedProgramServes = true;
    bool fileDialogsAvailable = true;
    std::vector<FileDialogShown> fileDialogs;
    std::vector<std::function<void(const std::string&)>> openDialogs;  // their `done`, oldest first
};

// Whether the system refuses injected input now (refuseInput).
bool refused();

inline State& state() {
    static State s;
    return s;
}

using Lock = std::lock_guard<std::recursive_mutex>;

inline void record(InputRecord r) {
    Lock lock(state().mutex);
    r.at = state().clock;
    state().records.push_back(r);
}

}  // namespace fake

// The fake's implementation of the seam uses the same names.
namespace plat {
using fake::InputKind;
using fake::InputRecord;
using fake::Lock;
}  // namespace plat
