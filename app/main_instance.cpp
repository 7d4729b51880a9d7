// The main instance from start-up to shutdown: it owns all state and all worker threads, shows the
// whole page in the main window, and stops everything in order when that window closes.
#include <atomic>
#include <functional>
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
#include "capture/capture.h"
#include "engine/auto_clicker.h"
#include "engine/control.h"
#include "engine/key_spammer.h"
#include "engine/macro_player.h"
#include "platform/markup_text.h"
#include "platform/platform.h"
#include "state/page_notice.h"
#include "state/preferences.h"
#include "state/session_file.h"
#include "state/state.h"
#include "state/wakes.h"

namespace rv {

namespace {

// The worker threads in start order; each returns when appRunning reads false.
struct WorkerBody {
    const char* name;
    void (*body)();
};
const std::vector<WorkerBody> kWorkers = {
    {"auto-clicker", &autoClickerThread}, {"key spammer", &keySpammerThread},  {"capture", &captureThread},
    {"macro player", &macroPlayerThread}, {"autosave", &autosaveThread},       {"control", &controlThread},
    {"pipe server", &pipeServerThread},   {"macro files", &macroWorkerThread},
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

// What the main page shows changed: the open panels show part of it and are told too.
void tellPages() {
    tellToldView();
    plat::notifyPipeWatchers();
}

// Only the main window shows live figures; panels are not handed them. Nor is a minimized main
// window's page: it shows nothing, and the browser would still run each hand-over in it. Our windows
// are still noted for the auto-clicker; the page reads the status itself once it shows again.
std::string mainPageFigures() {
    std::string status = pageStatus();
    return plat::isMinimized(plat::findWindow(mainWindowTitle)) ? std::string() : status;
}

void handMainPageFigures() {
    handToldView(&mainPageFigures);
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
    if (!plat::errorBoxIsModal) view.setHtml("<pre>" + markupEscaped(text) + "</pre>");
}

// Placement, always-on-top, minimized start and foreground need the window as the window system
// knows it, which it may only learn once the window loop has run; so these steps retry on the
// user-interface thread until the window can be found by its title (for about a second).
void applyWindowPreferences(Webview& view, int attemptsLeft) {
    plat::WindowHandle window = plat::findWindow(mainWindowTitle);
    if (!window) {
        if (attemptsLeft > 0) {
            plat::sleepMs(10);
            view.dispatch([&view, attemptsLeft] { applyWindowPreferences(view, attemptsLeft - 1); });
        }
        return;
    }
    applyMainWindowPreferences(window);
}

// How long a second main instance looks for the running one's window before it gives up: the other
// may still be starting (no window yet) or ending (window gone, claim not yet let go).
constexpr int kHandOverAttempts = 50;
constexpr int kHandOverPauseMs = 100;

// True when this process is to be the main instance. Otherwise another main instance runs and its
// window has been brought to the front (restored if minimized), or could not be found in time; this
// process then leaves without writing anything. A claim that comes free while looking (the other
// instance has just ended) makes this one the main instance after all.
bool claimOrHandOver() {
    for (int attempt = 0;; ++attempt) {
        if (plat::claimMainInstance()) return true;
        if (plat::WindowHandle window = plat::findWindow(mainWindowTitle)) {
            if (plat::isMinimized(window)) plat::showWindow(window, plat::Show::Restore);
            plat::forceForeground(window);
            return false;
        }
        if (attempt + 1 >= kHandOverAttempts) return false;
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

}  // namespace

int runMainInstance() {
    // A second start (the logon start and a manual one) would hook the hotkeys twice, serve the pipe
    // twice and race on the session file.
    if (!claimOrHandOver()) return 0;

    prepareSessionPath();
    plat::installCrashHandler(&onCrash);

    loadSessionAtStart();

    std::string libraryError;
    if (!Webview::loadLibrary(libraryError)) {
        plat::errorBox("Ravelin", libraryError);
        return 1;
    }

    plat::raiseTimerResolution();
    counterFrequency = plat::tickFrequency();

    loadAppSettings();
    // Rewritten with this executable's path (it may have moved) or removed; the preference then
    // says what is registered.
    launchOnStartup = plat::setStartupRegistration(launchOnStartup, plat::exePath());
    theme = loadTheme();
    playRepeat = loadPlayRepeat();
    clickStartDelay = loadClickStartDelay();

    std::vector<RunningWorker> workers = startWorkers();

    Webview view;
    if (!view.create()) {
        // Nothing was changed yet that needs saving: stop the workers and leave.
        stopWorkers(workers);
        plat::restoreTimerResolution();
        plat::errorBox("Ravelin", plat::browserMissingText);
        return 1;
    }
    hostView = &view;
    view.setTitle(mainWindowTitle);
    plat::applyBrowserSettings(view.browserController());
    view.setSize(kDefaultWindowWidth, kDefaultWindowHeight, SizeHint::None);
    bindMainFunctions(view);
    loadPageInto(view);
    view.dispatch([&view] { applyWindowPreferences(view, 100); });
    setToldView(&view);
    setPageTeller(&tellPages);
    setFiguresHander(&handMainPageFigures);

    view.run();

    // The view stays until the workers are joined, so a telling already under way is harmless.
    setFiguresHander(nullptr);
    setPageTeller(nullptr);
    setToldView(nullptr);

    saveSession();
    stopWorkers(workers);
    // The save above is skipped when the recorder, the player or a panel message holds the profile
    // lock; with the workers stopped nothing holds it for long, so this one waits for it.
    saveSessionAfterWorkers();
    terminatePanels();
    plat::restoreTimerResolution();
    hostView = nullptr;
    view.destroy();
    return 0;
}

}  // namespace rv
