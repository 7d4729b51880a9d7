// A panel instance: the same executable started with "--child", showing one panel of the page in a
// small frameless window of its own. It keeps no state and starts no worker: every change made in it
// goes to the main instance over the panel pipe. It ends when its window loop ends.
#include <string>
#include <thread>

#include "app/app.h"
#include "app/main_bindings.h"
#include "app/main_window.h"
#include "app/page_telling.h"
#include "app/panel.h"
#include "app/panel_drag.h"
#include "app/webview.h"
#include "bridge/arguments.h"
#include "bridge/macro_jobs.h"
#include "bridge/panel_command_line.h"
#include "bridge/panel_messages.h"
#include "bridge/panel_sync.h"
#include "platform/platform.h"

namespace rv {

namespace {

plat::WindowHandle panelWindow = nullptr;

std::string forward(const char* name, const std::string& request) {
    sendPanelMessage(name, stripArguments(request));
    return "";
}

void bindPanelFunctions(Webview& view) {
    view.bind("updateSpammer", [](const std::string& request) {
        panelUpdateGroup(SettingsGroup::Clicker, stripArguments(request));
        return std::string();
    });
    view.bind("toggleSpammer", [](const std::string&) { return forward("toggleSpammer", ""); });
    view.bind("updateKeySpam", [](const std::string& request) {
        panelUpdateGroup(SettingsGroup::KeySpam, stripArguments(request));
        return std::string();
    });
    view.bind("toggleKeySpam", [](const std::string&) { return forward("toggleKeySpam", ""); });
    view.bind("reassignKey", [](const std::string& request) { return forward("reassignKey", request); });
    view.bind("changeSettings",
              [](const std::string& request) { return forward("changeSettings", request); });
    view.bind("updateTracker", [](const std::string& request) { return forward("updateTracker", request); });
    view.bind("resizeWindow", [&view](const std::string& request) {
        if (auto size = sizeArguments(request))
            fitWindowToMonitor(view, panelWindow, size->width, size->height);
        return std::string();
    });
    view.bind("beginWindowDrag", [](const std::string&) {
        beginPanelDrag(panelWindow);
        return std::string();
    });
    view.bind("closeThisWindow", [&view](const std::string&) {
        view.terminate();
        return std::string();
    });
    // The page reads the settings in use and the running state from the main instance as it polls.
    view.bind("getSettings", [](const std::string&) { return panelGetSettings(); });
    view.bind("getTrackerStatus", [](const std::string&) { return panelGetStatus(); });
    // The start delay, the passes of a replay, point picking and a refused key, as in the main window.
    for (const char* name : {"getClickStartDelay", "getPlayRepeat", "getReassignRefusal",
                             "getReplacedRecording", "restoreRecording"})
        view.bind(name, [name](const std::string&) { return panelRequest(name); });
    for (const char* name : {"setClickStartDelay", "setPlayRepeat", "pickLocation", "togglePlay"})
        view.bind(name, [name](const std::string& request) { return forward(name, request); });
    // The click on the panel's own button that stops a recording is left out of it.
    view.bind("toggleRecord", [](const std::string&) {
        plat::Rect area{};
        if (!panelWindow || !plat::windowRect(panelWindow, area)) area = {};
        sendPanelMessage("toggleRecord", std::to_string(area.left) + "," + std::to_string(area.top) + "," +
                                             std::to_string(area.right) + "," + std::to_string(area.bottom));
        return std::string();
    });
    // The macro library, through the main instance, which does the file work.
    for (const char* name : {"listMacros", "saveMacro", "loadMacro", "renameMacro", "duplicateMacro",
                             "deleteMacro", "importMacro", "exportMacro", "openMacroFolder"}) {
        view.bind(name, [name](const std::string& request) { return panelMacroCall(name, request); });
    }
    view.bind("getMacroJob", [](const std::string& request) { return panelMacroJob(request); });
    // The file dialog for Import and Export opens over the panel's own window; the chosen path then
    // goes to the main instance with importMacro or exportMacro.
    for (const MainBinding& binding : fileDialogBindings()) view.bind(binding.name, binding.call);
}

// The window as the window system knows it may only be found once the loop has run (see the main
// instance); until then the frameless style and the placement wait.
void setUpPanelWindow(Webview& view, const PanelParameters& parameters, const std::string& title,
                      int attempts) {
    plat::WindowHandle window = plat::findWindow(title);
    if (!window) {
        if (attempts > 0) {
            plat::sleepMs(10);
            view.dispatch([&view, &parameters, title, attempts] {
                setUpPanelWindow(view, parameters, title, attempts - 1);
            });
        }
        return;
    }
    panelWindow = window;
    plat::setWindowIcon(window);
    bool positioned = parameters.x.has_value();
    plat::makePanelWindow(window, positioned, parameters.x.value_or(0), parameters.y.value_or(0), kPanelWidth,
                          kPanelHeight);
}

}  // namespace

int runPanelInstance(const std::string& commandLine) {
    PanelParameters parameters = parsePanelCommandLine(commandLine);
    seedPanelSettings(parameters.settings);
    std::string libraryError;
    if (!Webview::loadLibrary(libraryError)) {
        plat::errorBox("Ravelin", libraryError);
        return 1;
    }
    Webview view;
    if (!view.create()) {
        plat::errorBox("Ravelin", plat::browserFailureText());
        return 1;
    }
    hostView = &view;
    // A drop on the main window may come from the backend's drag thread: end the loop on its own thread.
    closePanelCallback = [&view] { view.dispatch([&view] { view.terminate(); }); };
    std::string title = panelWindowTitle(parameters.name);
    view.setTitle(title);
    plat::applyBrowserSettings(view.browserController());
    plat::routeWindowClose(view.nativeWindow(), &Webview::terminateView, &view);
    view.setSize(kPanelWidth, kPanelHeight, SizeHint::None);
    bindPanelFunctions(view);
    auto page = loadPage(pagePath());
    view.setHtml(
        page ? withPanelSettings(withPanelScript(*page, panelScript(parameters.theme, parameters.elementId)),
                                 parameters.settings)
             : "<h2>Error loading UI in child process</h2>");
    view.dispatch([&view, &parameters, title] { setUpPanelWindow(view, parameters, title, 100); });
    // The main instance tells the panel when what it shows changes, so its page reads seldom.
    setToldView(&view);
    std::thread watch([] {
        plat::nameThread("panel watch");
        runPanelWatch(&tellToldView);
    });
    view.run();
    stopPanelWatch();
    watch.join();
    setToldView(nullptr);
    closePanelCallback = nullptr;
    hostView = nullptr;
    panelWindow = nullptr;
    view.destroy();
    return 0;
}

}  // namespace rv
