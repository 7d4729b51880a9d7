// The main instance from start-up to shutdown: it owns all state and all worker threads, shows the
// whole page in the main window, and stops everything in order when that window closes.
#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "app/app.h"
#include "app/main_bindings.h"
#include "app/main_window.h"
#include "app/page_telling.h"
#include "app/webview.h"
#include "bridge/macro_jobs.h"
#include "bridge/panel_messages.h"
#include "bridge/profiles.h"
#include "bridge/texts.h"
#include "capture/capture.h"
#include "engine/auto_clicker.h"
#include "engine/control.h"
#include "engine/key_spammer.h"
#include "engine/macro_player.h"
#include "platform/markup_text.h"
#include "platform/platform.h"
#include "state/page_notice.h"
#include "state/preferences.h"
#include "state/save_problems.h"
#include "state/session_file.h"
#include "state/state.h"
#include "state/text_file.h"
#include "state/wakes.h"

namespace rv {

namespace {

// The worker threads in start order; each returns when appRunning reads false.
// Those whose timing the user sees (a hotkey's answer, a click, a replayed step) are raised as far as
// the system permits.
struct WorkerBody {
    const char* name;
    void (*body)();
    bool timeCritical;
};
const std::vector<WorkerBody> kWorkers = {
    {"auto-clicker", &autoClickerThread, true}, {"key spammer", &keySpammerThread, true},
    {"capture", &captureThread, true},          {"macro player", &macroPlayerThread, true},
    {"autosave", &autosaveThread, false},       {"control", &controlThread, true},
    {"pipe server", &pipeServerThread, false},  {"macro files", &macroWorkerThread, false},
};

// The order in which shutdown joins them (the autosave last).
const std::vector<const char*> kJoinOrder = {"auto-clicker", "key spammer", "capture",     "macro player",
                                             "control",      "pipe server", "macro files", "autosave"};

struct RunningWorker {
    const char* name;
    std::thread thread;
};

void onCrash() {
    saveSession();
}

std::vector<RunningWorker> startWorkers() {
    std::vector<RunningWorker> running;
    for (const WorkerBody& worker : kWorkers) {
        running.push_back({worker.name, std::thread([worker] {
                               plat::nameThread(worker.name);
                               if (worker.timeCritical) noteScheduling(plat::raiseThreadScheduling());
                               worker.body();
                           })});
    }
    return running;
}

// Ends the workers: clears appRunning, wakes the threads that wait on something else, and joins them
// in shutdown order.
void stopWorkers(std::vector<RunningWorker>& running) {
    appRunning.exchange(false);
    wakeAll();
    plat::stopCaptureLoop();
    plat::stopPipeServer();
    for (const char* name : kJoinOrder) {
        for (RunningWorker& worker : running) {
            if (worker.name == std::string(name) && worker.thread.joinable()) worker.thread.join();
        }
    }
    for (RunningWorker& worker : running) {
        if (worker.thread.joinable()) worker.thread.join();
    }
}

// Whether the page in the main window was last told that nothing of it shows; cleared by a
// hand-over, and by any change told to the page, after which it is told again if still unseen.
std::atomic<bool> mainPageToldUnseen{false};

// What the main page shows changed: the open panels show part of it and are told too.
void tellPages() {
    mainPageToldUnseen.store(false);
    tellToldView();
    plat::notifyPipeWatchers();
}

// Only the main window shows live figures; panels are not handed them. Nor is the main window's
// page while nothing of it shows (minimized, or covered by other windows): the browser would still
// run each hand-over in it. Such a page is told once that it is unseen, so that it does not read
// the figures itself either; the next hand-over after the window shows again brings them back.
// Decided on the calling thread, so that an unseen page's window thread is not woken at all. Our
// windows are still noted for the auto-clicker.
bool mainWindowShows() {
    const plat::WindowHandle window = plat::findWindow(kMainWindowTitle);
    return !window || !(plat::isMinimized(window) || plat::isCovered(window));
}

void handMainPageFigures() {
    if (mainWindowShows()) {
        mainPageToldUnseen.store(false);
        handToldView(&pageStatus);
    } else if (!mainPageToldUnseen.exchange(true)) {
        tellToldViewUnseen();
    }
}

void askForOwnWindowsNote() {
    runOnToldViewThread(&noteOwnWindows);
}

// Binds the page's native functions in their registration order.
void bindMainFunctions(Webview& view) {
    for (const MainBinding& binding : mainBindings()) view.bind(binding.name, binding.call);
}

void loadPageInto(Webview& view) {
    std::string path = pagePath();
    if (auto page = loadPage(path)) {
        view.setHtml(*page);
        return;
    }
    std::string text = "Failed to read:\n" + path;
    plat::errorBox("UI Error", text);
    // Where the box is only a line on stderr, the window says it too; otherwise it stays empty.
    if (!plat::kErrorBoxIsModal) view.setHtml("<pre>" + markupEscaped(text) + "</pre>");
}

// Placement, always-on-top, minimized start and foreground need the window as the window system
// knows it, which it may only learn once the window loop has run; so these steps retry on the
// user-interface thread until the window can be found by its title (for about a second).
void applyWindowPreferences(Webview& view, int attemptsLeft) {
    plat::WindowHandle window = plat::findWindow(kMainWindowTitle);
    if (!window) {
        if (attemptsLeft > 0) {
            plat::sleepMs(10);
            view.dispatch([&view, attemptsLeft] { applyWindowPreferences(view, attemptsLeft - 1); });
        }
        return;
    }
    applyMainWindowPreferences(window);
}

// How often a second main instance looks again for the running one's window or a free claim.
constexpr int kHandOverPauseMs = 100;

enum class Claim { Main, HandedOver, Refused };

// Main when this process is to be the main instance. HandedOver when another main instance runs and
// its window has been brought to the front (restored if minimized). Refused when the claim's name is
// taken by something not ours, which the user has been told. In either of the last two this process
// leaves without writing anything. While the other holds the claim without a window it is starting
// (loading a long session) or closing (saving one, which takes seconds): this one waits, as long as
// that takes, for its window or for the claim to come free, which makes this the main instance.
Claim claimOrHandOver() {
    for (;;) {
        if (plat::claimMainInstance()) return Claim::Main;
        const std::string problem = plat::mainInstanceProblem();
        if (!problem.empty()) {
            plat::errorBox("Ravelin", problem);
            return Claim::Refused;
        }
        if (plat::WindowHandle window = plat::findWindow(kMainWindowTitle)) {
            if (plat::isMinimized(window)) plat::showWindow(window, plat::Show::Restore);
            plat::forceForeground(window);
            return Claim::HandedOver;
        }
        plat::sleepMs(kHandOverPauseMs);
    }
}

// Panel instances still open end with the main instance, in name order.
void terminatePanels() {
    for (auto& [name, process] : panelProcesses) {
        plat::terminateProcess(process);
        plat::closeProcess(process);
    }
    panelProcesses.clear();
}

// The end of a run, once: after the window loop, or earlier when the user's session ends. The
// lock makes the second caller wait until the first has finished.
std::mutex finishLock;
bool finished = false;                          // guarded by finishLock
std::vector<RunningWorker>* running = nullptr;  // guarded by finishLock

// A profile hotkey: the profile at that place, as the page's switch does; the page is told.
void switchToProfileOfHotkey(int32_t index) {
    switchProfile(std::to_string(index));
    tellPage();
}

void finishRun() {
    std::lock_guard<std::mutex> lock(finishLock);
    if (finished) return;
    finished = true;
    // The view stays until the workers are joined, so a telling already under way is harmless.
    setFiguresHander(nullptr);
    ownWindowsNoter.store(nullptr);
    setProfileSwitcher(nullptr);
    setPageTeller(nullptr);
    setToldView(nullptr);

    saveSession();
    stopWorkers(*running);
    // The save above is skipped when the recorder, the player or a panel message holds the profile
    // lock; with the workers stopped nothing holds it for long, so this one waits for it.
    saveSessionAfterWorkers();
    savePendingPreferences();
    terminatePanels();
}

// Asked before the main window closes (where the platform lets the program ask). While saves fail
// (a full disk) the close saves once more; if that fails too, the first close keeps the window and
// says so in the page and on standard error, and the next close goes through whatever happens.
bool closeRefusalTold = false;  // user-interface thread

bool mayCloseMainWindow() {
    bool& told = closeRefusalTold;
    if (!anyWriteFailing()) return true;
    saveSessionAfterWorkers();
    savePendingPreferences();
    if (!anyWriteFailing() || told) return true;
    told = true;
    const std::string text = closeProblemText(true);
    // Said before the window could go: on Windows a message box over it, on Linux on standard error.
    plat::errorBox("Ravelin", text);
    noteCloseRefused(text);
    return false;
}

// The last saves of the run failed too: said before the process goes (a message box on Windows, a
// line on standard error on Linux).
void tellOfLostChanges() {
    const std::string text = closeProblemText(false);
    if (!text.empty()) plat::errorBox("Ravelin", text);
}

// Sign-out, restart or shutdown (Windows, on the window's thread: the process may be ended as soon
// as this returns), or SIGTERM/SIGHUP (Linux, on a thread of its own): everything is saved and let
// go as when the window closes, then the window loop is asked to end, so the run ends normally
// where the process is left to do so.
void onSessionEnd() {
    if (plat::WindowHandle window = plat::findWindow(kMainWindowTitle)) saveWindowPlacement(window);
    finishRun();
    std::lock_guard<std::mutex> lock(finishLock);
    if (Webview* view = hostView) view->dispatch([view] { view->terminate(); });
}

}  // namespace

int runMainInstance() {
    // A second start (the logon start and a manual one) would hook the hotkeys twice, serve the pipe
    // twice and race on the session file.
    switch (claimOrHandOver()) {
        case Claim::Main:
            break;
        case Claim::HandedOver:
            return 0;
        case Claim::Refused:
            return 1;
    }

    prepareSessionPath();
    choosePreferencesFolder();
    closeRefusalTold = false;
    // A save cut short by a killed process left its temporary file (as large as the session); this
    // instance alone saves, so nothing else is writing it now.
    removeLeftTemporary(sessionPath);
    plat::installCrashHandler(&onCrash);

    loadSessionAtStart();

    std::string libraryError;
    if (!Webview::loadLibrary(libraryError)) {
        plat::errorBox("Ravelin", libraryError);
        return 1;
    }

    counterFrequency = plat::tickFrequency();

    loadAppSettings();
    // Rewritten with this executable's path (it may have moved) or removed; the preference then
    // says what is registered.
    launchOnStartup = plat::setStartupRegistration(launchOnStartup, plat::exePath());
    theme = loadTheme();
    playRepeat = loadPlayRepeat();
    clickStartDelay = loadClickStartDelay();

    std::vector<RunningWorker> workers = startWorkers();
    {
        std::lock_guard<std::mutex> lock(finishLock);
        finished = false;
        running = &workers;
    }

    Webview view;
    if (!view.create()) {
        // Nothing was changed yet that needs saving: stop the workers and leave.
        stopWorkers(workers);
        plat::errorBox("Ravelin", plat::browserFailureText());
        return 1;
    }
    {
        std::lock_guard<std::mutex> lock(finishLock);
        hostView = &view;
    }
    plat::watchSessionEnd(&onSessionEnd);
    view.setTitle(kMainWindowTitle);
    plat::applyBrowserSettings(view.browserController());
    plat::restBrowserWhileMinimized(view.nativeWindow(), view.browserController());
    plat::routeWindowClose(view.nativeWindow(), &Webview::terminateView, &view, &mayCloseMainWindow);
    view.setSize(kDefaultWindowWidth, kDefaultWindowHeight, SizeHint::None);
    bindMainFunctions(view);
    loadPageInto(view);
    view.dispatch([&view] { applyWindowPreferences(view, 100); });
    setToldView(&view);
    setPageTeller(&tellPages);
    setFiguresHander(&handMainPageFigures);
    ownWindowsNoter.store(&askForOwnWindowsNote);
    setProfileSwitcher(&switchToProfileOfHotkey);

    view.run();

    finishRun();
    tellOfLostChanges();
    plat::watchSessionEnd(nullptr);
    {
        std::lock_guard<std::mutex> lock(finishLock);
        hostView = nullptr;
        running = nullptr;
    }
    view.destroy();
    return 0;
}

}  // namespace rv
